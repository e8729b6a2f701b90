// Handing a file to the program the desktop associates with it, and telling the user what
// happened when nothing could open it: the buttons that show a workbook or the pre-validation
// workbook must never end without a word.
#pragma once

#include <filesystem>

#include "shell/UserInterface.h"

namespace exo::shell {

// Opens `file` with the desktop. When the file is missing, or no program could open it, says so
// with the folder the file is (or should be) in, and offers to open that folder; a folder that
// cannot be opened either is reported too. True when the file itself was opened.
bool openOrExplain(UserInterface& ui, const std::filesystem::path& file);

}  // namespace exo::shell
