// Starting another program and waiting for it (the port `exogena-cli batch` runs each company's
// return through), on each system: the arguments arrive as given, whatever spaces, quotes and
// backslashes they hold; the output of both streams is appended to the file; the exit code comes
// back; a program that cannot start is said so. The program started is exogena-cli, built beside
// the tests; a hold of this process keeps its table opens out, as it keeps out another program's.
#include "shell/Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "store/Dbf.h"
#include "store/FileLock.h"
#include "support/Portable.h"

namespace {

namespace fs = std::filesystem;
using exo::shell::runProcess;

std::string contents(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Processes : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  // exogena-cli of this build: beside the test program.
  static fs::path cli() {
    return exo::shell::currentExecutable().parent_path() / fs::path(EXOGENA_CLI).filename();
  }
  fs::path m_dir = exotest::makeTempFolder("exo-process-");
};

TEST_F(Processes, TheProgramsOwnPathIsKnown) {
  const fs::path self = exo::shell::currentExecutable();
  ASSERT_FALSE(self.empty());
  EXPECT_TRUE(fs::exists(self));
  EXPECT_EQ(self.stem().string(), "tests_shell");
  EXPECT_TRUE(fs::exists(cli())) << cli();
}

TEST_F(Processes, ArgumentsArriveAsGivenAndTheOutputIsAppended) {
  const fs::path log = m_dir / "salida con espacio.txt";
  std::string error;
  // An unknown command: exogena-cli names it on its error stream and ends with 2.
  const std::string odd = "orden con \"comillas\", espacios y barra final\\";
  EXPECT_EQ(runProcess(cli(), {odd}, log, error), 2) << error;
  EXPECT_EQ(runProcess(cli(), {"tampoco\\\\ \\\"existe\\"}, log, error), 2) << error;
  const std::string out = contents(log);
  EXPECT_NE(out.find("comando desconocido: " + odd), std::string::npos) << out;
  EXPECT_NE(out.find("comando desconocido: tampoco\\\\ \\\"existe\\"), std::string::npos) << out;
  EXPECT_LT(out.find(odd), out.find("tampoco"));  // appended, in order
  EXPECT_EQ(runProcess(cli(), {"eval", "1 + 2"}, log, error), 0) << error;
  EXPECT_NE(contents(log).find("3"), std::string::npos);
}

TEST_F(Processes, AProgramThatCannotStartIsSaidSo) {
  std::string error;
  EXPECT_EQ(runProcess(m_dir / "no-existe.exe", {}, m_dir / "log.txt", error), -1);
  EXPECT_NE(error.find("no se pudo iniciar"), std::string::npos) << error;
  error.clear();
  EXPECT_EQ(runProcess(cli(), {}, m_dir / "falta" / "log.txt", error), -1);
  EXPECT_FALSE(error.empty());
}

// What another program sees of a hold: its table open fails as "in use", and succeeds once the
// hold is let go.
TEST_F(Processes, AHeldTableIsInUseForAnotherProgramUntilReleased) {
  const std::string table = (m_dir / "tabla.dbf").string();
  { exo::store::Dbf::create(table, {{"A", 'C', 4, 0}}); }
  const fs::path log = m_dir / "log.txt";
  std::string error;
  exo::store::FileHold hold;
  ASSERT_EQ(hold.take(table, false), exo::store::FileHold::Status::Held);
  EXPECT_EQ(runProcess(cli(), {"dbf", table}, log, error), 1) << error;
  EXPECT_NE(contents(log).find("en uso"), std::string::npos) << contents(log);
  hold.release();
  const fs::path after = m_dir / "despues.txt";
  EXPECT_EQ(runProcess(cli(), {"dbf", table}, after, error), 0) << contents(after);
  EXPECT_NE(contents(after).find("registros 0"), std::string::npos) << contents(after);
}

}  // namespace
