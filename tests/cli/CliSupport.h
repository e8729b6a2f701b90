// Running the real exogena-cli on a demo installation: a fresh demo per test, and the output
// streams and exit code of a command run inside its program folder.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace clitest {

namespace fs = std::filesystem;

struct Run {
  int exitCode = -1;
  std::string out, err;
};

inline std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A demo laid out by `exogena-cli demo` in a fresh folder, removed at the end.
class Demo {
 public:
  explicit Demo(const std::string& options = "--lines 3000 --companies 2 --products both") {
    std::string templ = (fs::temp_directory_path() / "exo-cli-XXXXXX").string();
    m_root = ::mkdtemp(templ.data());
    m_ok = std::system(("'" + std::string(EXOGENA_CLI) + "' demo '" + (m_root / "demo").string() +
                        "' " + options + " >/dev/null")
                           .c_str()) == 0;
  }
  ~Demo() { fs::remove_all(m_root); }
  Demo(const Demo&) = delete;
  Demo& operator=(const Demo&) = delete;

  bool ok() const { return m_ok; }
  fs::path root() const { return m_root; }
  fs::path program() const { return m_root / "demo" / "program"; }
  fs::path drive() const { return m_root / "demo" / "drive"; }

  // `exogena-cli ARGS` (already quoted for the shell) run in the program folder with
  // EXOGENA_DRIVE set to the demo's drive; `wrapper` (a tracer, say) goes before the program.
  Run cli(const std::string& args, const std::string& wrapper = "") const {
    const fs::path out = m_root / "out.txt", err = m_root / "err.txt";
    const std::string command = "cd '" + program().string() + "' && EXOGENA_DRIVE='" +
                                drive().string() + "' " + wrapper + " '" + EXOGENA_CLI + "' " +
                                args + " >'" + out.string() + "' 2>'" + err.string() +
                                "' </dev/null";
    const int status = std::system(command.c_str());
    Run r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readAll(out);
    r.err = readAll(err);
    return r;
  }

 private:
  fs::path m_root;
  bool m_ok = false;
};

// The system-call tracer that stops or fails a command at a chosen call. Missing, it skips the
// tests that need it on a developer's machine and fails them where CI is set (the dependency
// script installs it there).
inline bool haveStrace() { return std::system("strace -V >/dev/null 2>&1") == 0; }
inline bool underCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0';
}

}  // namespace clitest

#define REQUIRE_STRACE()                                                   \
  do {                                                                     \
    if (!::clitest::haveStrace()) {                                        \
      if (::clitest::underCi()) FAIL() << "strace not installed under CI"; \
      GTEST_SKIP() << "strace not installed";                              \
    }                                                                      \
  } while (false)
