// The console the headless program writes to.
#pragma once

#include <cstdio>

namespace exo::shell {

// Readies the console for the program's output, which is UTF-8: on Windows the console's output
// code page becomes UTF-8 (what cmd.exe shows), elsewhere the terminal already reads UTF-8.
// Call once at start-up.
void prepareConsole();

// True when `stream` is a terminal (a console window on Windows), not a file or a pipe.
bool isTerminal(std::FILE* stream);

}  // namespace exo::shell
