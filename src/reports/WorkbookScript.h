// The spreadsheet script of report definitions: the class TExcelScript over the in-memory
// workbook, and the free functions definitions use with it (CMAKERANGE, CCOLUMN2LETTER,
// CLETTER2COLUMN).
#pragma once

#include "shell/Paths.h"
#include "shell/UserInterface.h"

namespace exo {
class Interp;
}

namespace exo::reports {

// Registers TEXCELSCRIPT (the class), CMAKERANGE, CCOLUMN2LETTER and CLETTER2COLUMN on the
// interpreter. Scripts created on it talk to the user through `ui` (messages, opening a saved
// workbook with the desktop's program); without one their messages are dropped. Workbook names
// are stored paths resolved against `folders` (the program folder and the drive root; by
// default the working folder and EXOGENA_DRIVE); absolute native paths are taken as they are.
// `ui` must outlive the interpreter's scripts.
void registerWorkbookFunctions(Interp& ip, shell::UserInterface* ui = nullptr);
void registerWorkbookFunctions(Interp& ip, shell::UserInterface* ui, shell::Folders folders);

}  // namespace exo::reports
