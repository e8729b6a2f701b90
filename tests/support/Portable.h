// What the tests need from the system, the same on Linux and on Windows (where the tests run
// under wine): fresh temporary folders and the exit code of a command run through a pipe.
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace exotest {

// A new empty folder in the system's temporary folder, named `prefix` and random letters.
inline std::filesystem::path makeTempFolder(const std::string& prefix) {
  static std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    std::string name = prefix;
    for (int i = 0; i < 8; ++i) name += static_cast<char>('a' + random() % 26);
    std::error_code ec;
    if (std::filesystem::create_directory(base / name, ec)) return base / name;
    if (ec) throw std::filesystem::filesystem_error("carpeta temporal", base / name, ec);
  }
}

inline std::FILE* openPipe(const std::string& command) {
#ifdef _WIN32
  return ::_popen(command.c_str(), "rb");
#else
  return ::popen(command.c_str(), "r");
#endif
}

// Closes a pipe of openPipe() and returns the command's exit code (-1 when it did not exit).
inline int closePipe(std::FILE* pipe) {
#ifdef _WIN32
  return ::_pclose(pipe);
#else
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace exotest
