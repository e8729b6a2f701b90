// The console: UTF-8 output and terminal detection, per system.
#include "shell/Console.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace exo::shell {

#ifdef _WIN32
void prepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

bool isTerminal(std::FILE* stream) {
  DWORD mode = 0;
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}
#else
void prepareConsole() {}

bool isTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }
#endif

}  // namespace exo::shell
