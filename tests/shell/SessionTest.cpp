#include "shell/Session.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "ShellTestSupport.h"
#include "expr/Interp.h"
#include "shell/MemFile.h"
#include "shell/ScriptedUserInterface.h"

namespace {

using exo::Value;
using exo::shell::Folders;
using exo::shell::ScriptedUserInterface;
using shelltest::TempDir;
using shelltest::writeFile;

// A program folder and a drive root inside one temporary folder.
struct Install {
  TempDir dir;
  Folders folders{dir.file("prog"), dir.file("drive")};
  Install() {
    std::filesystem::create_directories(folders.program);
    std::filesystem::create_directories(folders.drive);
  }
  void onDrive(const std::string& relative) { writeFile(folders.drive / relative, "x"); }
  void withContable() {
    onDrive("nrvcontb/VrContab.exe");
    onDrive("nrvcontb/nrvcnt32.dll");
  }
};

std::string shown(exo::Interp& ip, const char* expr) {
  return exo::displayValue(ip.evalText(expr));
}

TEST(Session, WithoutSiblingProductsStopsAndDeletesTheSessionFile) {
  Install in;
  in.onDrive("NRVCONTB/VRCONTAB.EXE");  // its library is missing: not installed
  in.onDrive("NRVVS/VR.EXE");
  writeFile(in.folders.program / "varmem01.MEM", exo::shell::encodeMemFile({}));
  exo::Interp ip;
  ScriptedUserInterface ui;
  EXPECT_FALSE(exo::shell::VARIABLPUBLIC(ip, ui, in.folders));
  ASSERT_EQ(ui.calls().size(), 1u);
  const auto& stop = ui.calls()[0];
  EXPECT_EQ(stop.kind, exo::shell::MessageKind::Stop);
  EXPECT_EQ(stop.title, "Atenci\363n.....");
  EXPECT_EQ(stop.text,
            "\r\n\r\nNo se detect\363 instalado en el equipo ni Norvasta Orbisal Plus ni Norvasta "
            "Contable,\r\npor lo que, al no haber fuente de informaci\363n, el sistema no puede "
            "continuar.\r\n\r\n");
  EXPECT_FALSE(std::filesystem::exists(in.folders.program / "varmem01.MEM"));
}

TEST(Session, DeclaresEveryVariableWithItsInitialValue) {
  Install in;
  in.withContable();
  exo::Interp ip;
  ScriptedUserInterface ui;
  ASSERT_TRUE(exo::shell::VARIABLPUBLIC(ip, ui, in.folders));
  EXPECT_TRUE(ui.calls().empty());
  EXPECT_EQ(shown(ip, "LHAYCONTABLE .AND. !LHAYORBISAL"), ".T.");
  EXPECT_EQ(shown(ip, "'[' + CELPATH + '][' + CCONSECUT + '][' + CANIOINI + CPERIODO + ']'"),
            "[                    ][   ][201000]");
  EXPECT_EQ(shown(ip, "Len(CEMPRESA) + Len(CPATHORIGEN) + NMESTRPRIM + NMESTRULTI"), "        50");
  EXPECT_EQ(shown(ip, "VRDIREXF"), std::string(20, ' ') + "VRDIREXO.FPT");
  EXPECT_EQ(shown(ip, "CODCONTX + '|' + CDIRSALIDA"),
            std::string(20, ' ') + "CodContx.cdx|SALIDA\\");
  EXPECT_EQ(shown(ip,
                  "Str(Len(ODLGT1) + Len(ODLGT2) * 100 + Len(ODLGT3) * 10000 + Len(AELPUC) + "
                  "Len(ANAMEFORMS), 6)"),
            "202010");
  EXPECT_EQ(shown(ip, "_FORM[1] + MVAR01 + MVAR04"), "EXT");
  EXPECT_EQ(shown(ip, "Str(OCABEZ:nCount(), 2) + OCABEZ:aVars[8][1]"), " 8FECFIN");
  EXPECT_EQ(shown(ip, "OCABEZ:ano + OCABEZ:FecFin + OFORXML:cElement + OIMPRE:cElConc"), "");
  EXPECT_EQ(shown(ip, "OIMPRE:nFormat + OAPEJEC:nLinEjec + OACOORS:nTop + OACOORS:nLeft"),
            "         0");
  EXPECT_EQ(shown(ip, "{ODLGMSG1, OBTNCANCEL, OINFOBARDLG, LUSAESCAPE}"), "{NIL, NIL, NIL, .F.}");
}

TEST(Session, RestoresTheLastSessionAndFormsProvisionalPaths) {
  Install in;
  in.onDrive("NRVVS/vr.exe");
  in.onDrive("NRVVS/VRNRVV32.DLL");
  exo::shell::writeMemFile(in.folders.program / "VARMEM01.MEM",
                           {{"MVAR01", Value::text("EMPRESA1\\")},
                            {"MVAR02", Value::text("ACME LTDA - 2011")},
                            {"MVAR03", Value::text("2011")},
                            {"MVAR04", Value::text("\\NRVVS\\")},
                            {"CPERIODO", Value::text("12")}});
  writeFile(in.folders.program / "empresa1" / "vrmaeexo.dbf", "x");
  exo::Interp ip;
  ScriptedUserInterface ui;
  ASSERT_TRUE(exo::shell::VARIABLPUBLIC(ip, ui, in.folders));
  exo::shell::Session s(ip, ui, in.folders);
  EXPECT_TRUE(s.hayOrbisal());
  EXPECT_EQ(s.celPath(), "EMPRESA1\\");
  EXPECT_EQ(s.empresa(), "ACME LTDA - 2011");
  EXPECT_EQ(s.anioIni(), "2011");
  EXPECT_EQ(s.pathOrigen(), "\\NRVVS\\");
  EXPECT_EQ(s.periodo(), "12");  // other variables of the file are restored too
  EXPECT_EQ(s.tablePath("VRMAEEXO"), "EMPRESA1\\VRMAEEXO.DBF");
  EXPECT_EQ(s.native(s.tablePath("VRMAEEXO")), in.folders.program / "empresa1" / "vrmaeexo.dbf");
  EXPECT_EQ(s.companyFile("CodCont.dbf"), in.folders.program / "empresa1" / "CodCont.dbf");

  s.setCelPath("NRVVS\\EMPRESA1\\");
  s.formPaths();
  EXPECT_EQ(shown(ip, "VRDIREXX"), "NRVVS\\EMPRESA1\\VRDIREXX.CDX");
  s.cabez().add("ano", Value::text("2011"));
  EXPECT_EQ(shown(ip, "OCABEZ:ANO"), "2011");
  s.setMeses(1, 12);
  EXPECT_EQ(s.mesUlti(), 12);
}

TEST(Session, UnusableOrDamagedSessionFilesLeaveTheDefaults) {
  const std::vector<std::vector<exo::shell::MemVar>> unusable = {
      {{"MVAR01", Value::text("   ")}, {"MVAR03", Value::text("2011")}},
      {{"MVAR01", Value::text("..\\..\\etc\\")}, {"MVAR04", Value::text("\\NRVVS\\")}},
      {{"MVAR01", Value::text("EMPRESA1\\")}, {"MVAR04", Value::text("\\OTRO\\")}},
  };
  for (const auto& vars : unusable) {
    Install in;
    in.withContable();
    exo::shell::writeMemFile(in.folders.program / "VarMem01.mem", vars);
    exo::Interp ip;
    ScriptedUserInterface ui;
    ASSERT_TRUE(exo::shell::VARIABLPUBLIC(ip, ui, in.folders));
    exo::shell::Session s(ip, ui, in.folders);
    EXPECT_EQ(s.celPath(), std::string(20, ' '));
    EXPECT_EQ(s.anioIni(), "2010");
  }
  Install in;
  in.withContable();
  writeFile(in.folders.program / "VarMem01.mem", std::string("MVAR01\0\0\0\0\0\xC3", 12));
  // A damaged file stops nothing: it is set aside with a warning and the defaults stand (a
  // listing, which writes nothing, only warns).
  for (const bool mayWrite : {false, true}) {
    exo::Interp ip;
    ScriptedUserInterface ui;
    int reported = 0;
    ip.setErrorHandler([&](exo::Interp&, const exo::Failure&) {
      ++reported;
      return exo::ErrorReply::abandon();
    });
    ASSERT_TRUE(exo::shell::VARIABLPUBLIC(ip, ui, in.folders, mayWrite));
    EXPECT_EQ(reported, 0);
    const auto messages = ui.callsOf("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.find("no se puede leer"), std::string::npos) << messages[0].text;
    EXPECT_EQ(exo::shell::Session(ip, ui, in.folders).anioIni(), "2010");
    EXPECT_EQ(std::filesystem::exists(in.folders.program / "VarMem01.mem"), !mayWrite);
    EXPECT_EQ(std::filesystem::exists(in.folders.program / "VarMem01.mem.danado"), mayWrite);
  }
}

TEST(Session, SavesOnlyTheSessionValuesToTheSessionFile) {
  Install in;
  in.withContable();
  exo::Interp ip;
  ScriptedUserInterface ui;
  ASSERT_TRUE(exo::shell::VARIABLPUBLIC(ip, ui, in.folders));
  exo::shell::Session s(ip, ui, in.folders);
  ip.evalText(
      "MVAR01 := 'EMPRESA2\\', MVAR02 := 'B - 2011', MVAR03 := '2011', MVAR04 := '\\NRVCONTB\\'");
  s.saveSessionFile();
  const auto vars = exo::shell::readMemFile(s.sessionFile());
  ASSERT_EQ(vars.size(), 4u);
  EXPECT_EQ(vars[3].name, "MVAR04");

  exo::Interp next;
  ASSERT_TRUE(exo::shell::VARIABLPUBLIC(next, ui, in.folders));
  EXPECT_EQ(exo::shell::Session(next, ui, in.folders).celPath(), "EMPRESA2\\");
}

TEST(Paths, NamesFromDataNeverLeaveTheirFolder) {
  using exo::shell::isPlainName;
  using exo::shell::isSafeRelativePath;
  EXPECT_TRUE(isPlainName("EMPRESA1"));
  EXPECT_TRUE(isPlainName("vrTraCon.99"));
  for (const char* bad : {"", ".", "..", "A\\B", "A/B", "C:", "..\\X"})
    EXPECT_FALSE(isPlainName(bad)) << bad;
  EXPECT_TRUE(isSafeRelativePath("NRVVS\\EMPRESA1\\"));
  EXPECT_TRUE(isSafeRelativePath("EMPRESA1"));
  for (const char* bad : {"", "\\NRVVS\\", "A\\..\\B", "A\\\\B", "C:\\X", "A/../B", "..\\"}) {
    EXPECT_FALSE(isSafeRelativePath(bad)) << bad;
  }

  Install in;
  writeFile(in.folders.drive / "NrvVs" / "vrctl.ORG", "x");
  EXPECT_EQ(exo::shell::nativePath(in.folders, "\\NRVVS\\VRCTL.ORG"),
            in.folders.drive / "NrvVs" / "vrctl.ORG");
  EXPECT_EQ(exo::shell::nativePath(in.folders, "NRVVS\\Nuevo.dbf"),
            in.folders.program / "NRVVS" / "Nuevo.dbf");
  EXPECT_EQ(exo::shell::nativePath(in.folders, "A\xD1O\\"), in.folders.program / "A\xC3\x91O");
  EXPECT_THROW(exo::shell::nativePath(in.folders, "EMPRESA1\\..\\..\\x"), exo::FailureError);
  EXPECT_THROW(exo::shell::nativePath(in.folders, "C:\\x"), exo::FailureError);
  EXPECT_THROW(exo::shell::entryPath(in.folders.program, "../x"), exo::FailureError);
}

}  // namespace

TEST(Paths, FileErrorsAreSaidInSpanishAFullDiskAsSuch) {
  using exo::shell::fileErrorText;
  EXPECT_EQ(fileErrorText(std::make_error_code(std::errc::no_space_on_device)),
            "No hay espacio en el disco");
  EXPECT_EQ(fileErrorText(std::error_code(EDQUOT, std::generic_category())),
            "No hay espacio en el disco");
  EXPECT_EQ(fileErrorText(std::make_error_code(std::errc::permission_denied)), "Acceso denegado");
  EXPECT_EQ(fileErrorText(std::make_error_code(std::errc::io_error)),
            "Error de entrada/salida del disco");
}
