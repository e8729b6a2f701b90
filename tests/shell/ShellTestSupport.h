// Helpers shared by the shell tests: temporary folders, whole-file reads and writes, running
// exogena-cli.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/Portable.h"

namespace shelltest {

// A fresh folder removed at the end of the test.
class TempDir {
 public:
  TempDir() { m_path = exotest::makeTempFolder("exo-shell-").string(); }
  // Never throws: on Windows a folder whose files are still open (a fixture member destroyed
  // later) cannot be removed, and stays.
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path file(const std::string& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Output and exit code of `exogena-cli ARGS` (ARGS already quoted for the shell); standard
// error goes to `err` when given.
struct CliResult {
  int exitCode = -1;
  std::string out;
};

inline CliResult runCli(const std::string& args, const std::filesystem::path& err = {}) {
  std::string command = std::string("'") + EXOGENA_CLI + "' " + args;
  command += err.empty() ? " 2>/dev/null" : " 2>'" + err.string() + "'";
  CliResult r;
  FILE* p = exotest::openPipe(command);
  if (p == nullptr) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  r.exitCode = exotest::closePipe(p);
  return r;
}

}  // namespace shelltest
