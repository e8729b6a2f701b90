// Helpers of the workbook tests: an interpreter with the spreadsheet script registered over a
// scripted user interface and a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../shell/ShellTestSupport.h"
#include "expr/Interp.h"
#include "reports/WorkbookScript.h"
#include "shell/ScriptedUserInterface.h"

namespace workbooktest {

struct ScriptFixture : ::testing::Test {
  ScriptFixture() {
    exo::shell::Folders folders{dir.path(), dir.path()};
    exo::reports::registerWorkbookFunctions(ip, &ui, folders);
  }
  // Evaluates a text; failures abandon (the default handler) and fail the test.
  exo::Value run(const std::string& text) { return ip.evalText(text); }
  std::string path(const std::string& name) const { return dir.file(name).string(); }

  shelltest::TempDir dir;
  exo::shell::ScriptedUserInterface ui;
  exo::Interp ip;
};

}  // namespace workbooktest
