// The desktop program from start to end: one running copy, the run-time settings, the session,
// the error handler with its windows, the main window with the reference tables open, the
// company choice at start-up, and every table committed and closed at the end.
#pragma once

namespace exo::app {

// INICIO: runs the desktop program; returns its exit code.
int INICIO(int argc, char** argv);

}  // namespace exo::app
