// Starting another program and waiting for it: the port through which a command runs other
// commands of the program (one company's return per process), with the program's own path.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace exo::shell {

// The path of the running program's executable; empty when the system does not say.
std::filesystem::path currentExecutable();

// Runs `program` with `arguments` (not through a shell), its standard output and error appended
// to `output`, its standard input empty, and waits for it. Returns its exit code; -1 when it
// could not be started or ended by a signal (`error` then says why, in Spanish).
int runProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& output, std::string& error);

}  // namespace exo::shell
