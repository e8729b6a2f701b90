// The desktop program run as a user starts it, on a demo installation: the trace log of an
// earlier run is gone, the reference indexes are built, the start-up dialog comes up and, once a
// company is chosen, the window shows it; the program ends cleanly.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "demo/Demo.h"

namespace {

namespace fs = std::filesystem;

TEST(Desktop, StartsOnTheDemoChoosesTheCompanyAndEnds) {
  const fs::path root = fs::temp_directory_path() / ("exo-desktop-" + std::to_string(::getpid()));
  fs::remove_all(root);
  exo::demo::DemoOptions o;
  o.folder = root.string();
  o.lines = 300;
  o.sourceFolder = EXOGENA_SOURCE_DIR;
  const auto demo = exo::demo::installDemo(o);
  const fs::path program = demo.programFolder;
  std::ofstream(program / "TRACE.LOG") << "de una ejecucion anterior\n";
  const fs::path picture = root / "ventana.png";

  const std::string command =
      "cd '" + program.string() + "' && EXOGENA_DRIVE='" + demo.driveFolder +
      "' EXOGENA_CAPTURE='" + picture.string() +
      "' QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 timeout 90 '" + EXOGENA_DESKTOP +
      "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(fs::exists(program / "TRACE.LOG"));
  EXPECT_TRUE(fs::exists(program / "Conceptx.cdx"));
  EXPECT_TRUE(fs::exists(root / "ventana-inicio.png"));  // the company dialog
  EXPECT_TRUE(fs::exists(picture));                      // the window after the choice
  fs::remove_all(root);
}

}  // namespace
