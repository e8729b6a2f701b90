// A small installation for the third-party tests: a program folder, a drive holding the sibling
// product with one company whose directory of third parties holds the rows a test gives
// (written as the ledger writes it: names in the OEM code page, a memo file, an index on the
// code), and the session standing on that company.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../store/StoreTestSupport.h"
#include "expr/Codepage.h"
#include "expr/Interp.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Engine.h"

namespace terceros {

namespace fs = std::filesystem;

// One third party: CLAVE, NOMBRE (Windows-1252), ESTR_NOMB, TP_P, TP_N, DIREC1, DIREC4, C_DPTO,
// C_MNCP, PAIS.
using Row = std::vector<std::string>;

inline Row sound(const std::string& key, const std::string& name = "DISTRIBUIDORA ANDINA S.A.") {
  return {key, name, "0000", "J", "31", "CRA 8 # 6C-38", "800197268-4", "11", "001", "0169"};
}

// Writes VRDIR.DBF, VRDIR.FPT and VRDIRX1.CDX (tag CLAVE) into `folder`, rows stored in reverse
// so that the code order differs from the physical one; names in code page 850, marked so.
inline void writeDirectory(const fs::path& folder, const std::vector<Row>& rows) {
  fs::create_directories(folder);
  using exo::store::FieldDef;
  exo::store::Dbf t = exo::store::Dbf::create((folder / "VRDIR.DBF").string(),
                                              {{"CLAVE", 'C', 5, 0},
                                               {"NOMBRE", 'C', 60, 0},
                                               {"ESTR_NOMB", 'C', 4, 0},
                                               {"TP_P", 'C', 1, 0},
                                               {"TP_N", 'C', 2, 0},
                                               {"DIREC1", 'C', 40, 0},
                                               {"DIREC4", 'C', 20, 0},
                                               {"C_DPTO", 'C', 2, 0},
                                               {"C_MNCP", 'C', 3, 0},
                                               {"PAIS", 'C', 4, 0},
                                               {"OBSERVA", 'M', 10, 0}},
                                              {false, false, 2000}, exo::store::kOem850Mark);
  exo::store::KeyBatch keys(5, exo::store::KeyKind::Character);
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    std::vector<char> rec = t.blankRecord();
    for (std::size_t i = 0; i < row->size(); ++i)
      t.setText(rec.data(), static_cast<int>(i), i == 1 ? exo::ansiToOem((*row)[i]) : (*row)[i]);
    t.setMemo(rec.data(), 10, "Ficha " + (*row)[0]);
    keys.add((*row)[0], t.append(rec.data()));
  }
  t.close();
  exo::store::Cdx::create((folder / "VRDIRX1.CDX").string())
      .buildTag({"CLAVE", "CLAVE", "", 5, exo::store::KeyKind::Character}, keys);
}

class Installation {
  storetest::TempDir m_dir;  // first made, last removed

 public:
  explicit Installation(const std::vector<Row>& rows) {
    m_folders.program = m_dir.file("program");
    m_folders.drive = m_dir.file("drive");
    for (const char* f : {"NRVVS/VR.EXE", "NRVVS/VRNRVV32.DLL"}) {
      fs::create_directories((m_folders.drive / f).parent_path());
      std::ofstream(m_folders.drive / f) << "x";
    }
    fs::create_directories(m_folders.program / "NRVVS" / "ACME10");
    writeDirectory(ledger(), rows);
    exo::shell::VARIABLPUBLIC(ip, ui, m_folders);
    m_session = std::make_unique<exo::shell::Session>(ip, ui, m_folders);
    m_session->setPathOrigen("\\NRVVS\\");
    m_session->setCelPath("NRVVS\\ACME10\\");
    m_session->formPaths();
  }
  exo::shell::Session& session() { return *m_session; }
  fs::path ledger() const { return m_folders.drive / "NRVVS" / "ACME10"; }
  fs::path work() const { return m_folders.program / "NRVVS" / "ACME10"; }

  exo::Interp ip;
  exo::store::Engine engine{ip};
  exo::shell::ScriptedUserInterface ui;

 private:
  exo::shell::Folders m_folders;
  std::unique_ptr<exo::shell::Session> m_session;
};

// The rows of a table: every field as stored, trailing blanks removed.
inline std::vector<std::vector<std::string>> readRows(const fs::path& path) {
  exo::store::Dbf t = exo::store::Dbf::open(path.string(), {true, true, 0});
  std::vector<std::vector<std::string>> out;
  std::vector<char> rec(t.recordLength());
  for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
    t.read(r, rec.data());
    std::vector<std::string> row;
    for (std::size_t f = 0; f < t.fields().size(); ++f) {
      std::string s(t.text(rec.data(), static_cast<int>(f)));
      s.erase(s.find_last_not_of(' ') + 1);
      row.push_back(s);
    }
    out.push_back(std::move(row));
  }
  return out;
}

}  // namespace terceros
