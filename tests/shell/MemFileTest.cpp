#include "shell/MemFile.h"

#include <gtest/gtest.h>

#include "ShellTestSupport.h"
#include "expr/Dates.h"
#include "expr/Interp.h"
#include "store/FileFaults.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

using exo::Value;
using exo::shell::MemVar;
using shelltest::readFile;
using shelltest::TempDir;
using shelltest::writeFile;

std::string displayOf(exo::Interp& ip, const char* name) {
  return exo::displayValue(ip.memvars().find(name)->value());
}

TEST(MemFile, SubmissionNumberFileIsByteForByteTheLayout) {
  TempDir dir;
  exo::Interp ip;
  ip.memvars().declarePublic("CCONSECUT", Value::text("1  "));
  ip.memvars().declarePublic("CANIOINI", Value::text("2010"));
  EXPECT_EQ(exo::shell::saveMemvars(ip, dir.file("Consecut.mem"), "cConsecut*"), 1u);

  std::string expected("CCONSECUT\0\0", 11);
  expected += '\xC3';
  expected += std::string(4, '\0');
  expected += std::string("\x04\x00", 2);
  expected += std::string(14, '\0');
  expected += std::string("1  \0", 4);
  expected += '\x1A';
  EXPECT_EQ(readFile(dir.file("Consecut.mem")), expected);
}

TEST(MemFile, EveryTypeRoundTripsAndRestoreKeepsOtherVariables) {
  TempDir dir;
  exo::Interp ip;
  ip.memvars().declarePublic("NMESTRPRIM", Value::number(1));
  ip.memvars().declarePublic("NMESTRULTI", Value::number(12.5, 2));
  ip.memvars().declarePublic("NMESTRAMUCHOLARGO", Value::logical(true));  // cut to 10
  ip.memvars().declarePublic("NMESTRFEC", Value::date(exo::julianFromYmd(2011, 2, 28)));
  ip.memvars().declarePublic("NMESTRVACIA", Value::date(0));
  ip.memvars().declarePublic("NMESTRARRAY", Value::newArray(2));  // not storable: left out
  ip.memvars().declarePublic("CNOMBRE", Value::text("Compa\361\355a"));
  const auto path = dir.file("Periodos.mem");
  EXPECT_EQ(exo::shell::saveMemvars(ip, path, "nMesTr*"), 5u);

  const std::string bytes = readFile(path);
  // The second record (after 32 + 8 bytes) holds 12.50: display width 13, two decimals.
  ASSERT_GT(bytes.size(), 60u);
  EXPECT_EQ(bytes[40 + 11], '\xCE');
  EXPECT_EQ(bytes[40 + 16], 13);
  EXPECT_EQ(bytes[40 + 17], 2);

  const std::vector<MemVar> vars = exo::shell::readMemFile(path);
  ASSERT_EQ(vars.size(), 5u);
  EXPECT_EQ(vars[2].name, "NMESTRAMUC");

  exo::Interp other;
  other.memvars().declarePublic("NMESTRPRIM", Value::number(7));
  other.memvars().declarePublic("CCONSECUT", Value::text("009"));
  ASSERT_TRUE(exo::shell::restoreMemvars(other, path));
  EXPECT_EQ(displayOf(other, "NMESTRPRIM"), "         1");
  EXPECT_EQ(displayOf(other, "NMESTRULTI"), "        12.50");
  EXPECT_EQ(displayOf(other, "NMESTRAMUC"), ".T.");
  EXPECT_EQ(displayOf(other, "NMESTRFEC"), "28-02-2011");
  EXPECT_EQ(displayOf(other, "NMESTRVACI"), "  -  -    ");
  EXPECT_EQ(displayOf(other, "CCONSECUT"), "009");
  EXPECT_EQ(other.memvars().find("NMESTRARRA"), nullptr);
}

TEST(MemFile, TruncatedOrDamagedFilesFailAndChangeNothing) {
  TempDir dir;
  const std::string good = exo::shell::encodeMemFile({{"MVAR01", Value::text("EMPRESA1\\")},
                                                      {"MVAR03", Value::text("2011")},
                                                      {"LX", Value::logical(false)}});
  std::vector<std::string> bad;
  for (std::size_t n = 0; n < good.size(); ++n)
    bad.push_back(good.substr(0, n));  // every truncation
  std::string wrongType = good;
  wrongType[11] = '\xD4';
  bad.push_back(wrongType);
  std::string longName = good;
  longName.replace(0, 11, "ABCDEFGHIJK");
  bad.push_back(longName);
  std::string hugeLength = good;
  hugeLength[16] = '\xFF';
  bad.push_back(hugeLength);

  const auto path = dir.file("VarMem01.mem");
  for (const std::string& bytes : bad) {
    writeFile(path, bytes);
    try {
      exo::shell::readMemFile(path);
      ADD_FAILURE() << "accepted " << bytes.size() << " bytes";
    } catch (const exo::FailureError& e) {
      EXPECT_EQ(e.failure().genCode, exo::GenCode::Corruption);
      EXPECT_EQ(e.failure().fileName, path.string());
      EXPECT_NE(e.failure().description.find("da\361ado"), std::string::npos);
    }
    exo::Interp ip;
    ip.setErrorHandler(
        [](exo::Interp&, const exo::Failure&) { return exo::ErrorReply::byDefault(); });
    ip.memvars().declarePublic("MVAR01", Value::text("ANTES\\"));
    EXPECT_FALSE(exo::shell::restoreMemvars(ip, path));
    EXPECT_EQ(displayOf(ip, "MVAR01"), "ANTES\\");
  }
  writeFile(path, good);
  EXPECT_EQ(exo::shell::readMemFile(path).size(), 3u);
}

TEST(MemFile, WritingReplacesTheFileAndLeavesNothingBeside) {
  TempDir dir;
  const auto path = dir.file("VarMem01.mem");
  writeFile(path, "old contents that are not a memory file");
  exo::shell::writeMemFile(path, {{"mVar02", Value::text("ACME - 2011")}});
  EXPECT_EQ(exo::shell::readMemFile(path)[0].name, "MVAR02");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  EXPECT_THROW(exo::shell::writeMemFile(path, {{"BAD NAME", Value::text("x")}}), exo::FailureError);
  EXPECT_THROW(exo::shell::writeMemFile(path, {{"AVAR", Value::newArray(1)}}), exo::FailureError);
  EXPECT_THROW(exo::shell::writeMemFile(path, {{"CBIG", Value::text(std::string(70000, 'x'))}}),
               exo::FailureError);
  EXPECT_EQ(exo::shell::readMemFile(path)[0].name, "MVAR02");  // the old file stands
  EXPECT_THROW(exo::shell::writeMemFile(dir.file("no/such/folder.mem"), {}), exo::FailureError);
  EXPECT_THROW(exo::shell::readMemFile(dir.file("missing.mem")), exo::FailureError);
}

// The session files go through the store's file operations: a full disk at their write leaves
// the old file and nothing beside it, and a whole write ends with the folder synced after the
// rename, so that the new file survives a loss of power.
TEST(MemFile, WritesThroughTheStoresFileOperations) {
  using exo::store::FileOp;
  using exo::store::FileOpDecision;
  TempDir dir;
  const auto path = dir.file("VarMem01.mem");
  exo::shell::writeMemFile(path, {{"mVar02", Value::text("ANTES")}});
  const std::string before = readFile(path);
  std::vector<std::pair<FileOp, std::string>> ops;
  exo::store::setFileOpHook([&](FileOp op, const std::string& p) -> FileOpDecision {
    ops.emplace_back(op, p);
    if (op == FileOp::Write) return {FileOpDecision::Kind::Fail, ENOSPC};
    return {};
  });
  try {
    exo::shell::writeMemFile(path, {{"mVar02", Value::text("DESPUES")}});
    ADD_FAILURE() << "no failure";
  } catch (const exo::FailureError& e) {
    EXPECT_EQ(e.failure().fileName, path.string());  // the user's file, not its temporary name
    EXPECT_NE(e.failure().osCode, 0);
    EXPECT_EQ(e.failure().description, "No hay espacio en el disco");  // the cause, said plainly
  }
  exo::store::setFileOpHook({});
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  ASSERT_FALSE(ops.empty());

  ops.clear();
  exo::store::setFileOpHook([&](FileOp op, const std::string& p) -> FileOpDecision {
    ops.emplace_back(op, p);
    return {};
  });
  exo::shell::writeMemFile(path, {{"mVar02", Value::text("DESPUES")}});
  exo::store::setFileOpHook({});
  const auto rename =
      std::find_if(ops.begin(), ops.end(), [](const auto& o) { return o.first == FileOp::Rename; });
  ASSERT_NE(rename, ops.end());
  EXPECT_EQ(rename->second, path.string());
  EXPECT_TRUE(std::any_of(rename, ops.end(), [&](const auto& o) {
    return o.first == FileOp::Sync && std::filesystem::path(o.second) == path.parent_path();
  }));
  EXPECT_EQ(exo::displayValue(exo::shell::readMemFile(path)[0].value), "DESPUES");
}

TEST(MemCommand, WritesExactlyWhatTheSessionWritesAndListsIt) {
  TempDir dir;
  const auto viaCli = dir.file("cli.mem");
  const auto viaSession = dir.file("session.mem");
  const auto r = shelltest::runCli("mem '" + viaCli.string() +
                                   "' MVAR02='Año - 2011' NMES=N:12.50 DFEC=D:28-02-2011 LOK=L:.T. "
                                   "CNUM=C:N:1 NCERO=N:0");
  ASSERT_EQ(r.exitCode, 0);
  exo::Interp ip;
  ip.memvars().declarePublic("MVAR02", Value::text("A\361o - 2011"));
  ip.memvars().declarePublic("NMES", Value::number(12.5, 2));
  ip.memvars().declarePublic("DFEC", Value::date(exo::julianFromYmd(2011, 2, 28)));
  ip.memvars().declarePublic("LOK", Value::logical(true));
  ip.memvars().declarePublic("CNUM", Value::text("N:1"));
  ip.memvars().declarePublic("NCERO", Value::number(0));
  exo::shell::saveMemvars(ip, viaSession, "*");
  EXPECT_EQ(readFile(viaCli), readFile(viaSession));

  const auto listed = shelltest::runCli("mem '" + viaCli.string() + "'");
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_EQ(listed.out,
            "MVAR02\tC\tAño - 2011\n"
            "NMES\tN\t        12.50\n"
            "DFEC\tD\t28-02-2011\n"
            "LOK\tL\t.T.\n"
            "CNUM\tC\tN:1\n"
            "NCERO\tN\t         0\n");
}

TEST(MemCommand, RejectsBadArgumentsAndDamagedFiles) {
  TempDir dir;
  const std::string file = "'" + dir.file("x.mem").string() + "'";
  EXPECT_EQ(shelltest::runCli("mem " + file + " N=N:12a").exitCode, 2);
  EXPECT_EQ(shelltest::runCli("mem " + file + " D=D:31-02-2011").exitCode, 2);
  EXPECT_EQ(shelltest::runCli("mem " + file + " L=L:si").exitCode, 2);
  EXPECT_EQ(shelltest::runCli("mem " + file + " =x").exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.mem")));
  EXPECT_EQ(shelltest::runCli("mem " + file + " '1BAD=x'").exitCode, 1);

  writeFile(dir.file("x.mem"), std::string("CCONSECUT\0\0\xC3", 12));
  const auto err = dir.file("err.txt");
  EXPECT_EQ(shelltest::runCli("mem " + file, err).exitCode, 1);
  const std::string message = readFile(err);
  EXPECT_NE(message.find("dañado"), std::string::npos) << message;
  EXPECT_NE(message.find("x.mem"), std::string::npos) << message;
}

}  // namespace
