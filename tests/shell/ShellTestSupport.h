// Helpers shared by the shell tests: temporary folders, whole-file reads and writes, running
// exogena-cli.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace shelltest {

// A fresh folder removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "exo-shell-XXXXXX").string();
    m_path = ::mkdtemp(templ.data());
  }
  ~TempDir() { std::filesystem::remove_all(m_path); }
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
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace shelltest
