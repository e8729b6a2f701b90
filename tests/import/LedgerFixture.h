// A company of the sibling ledger written by the test: the product's marker files, the ledger's
// chart, directory and period files as real DBF/CDX/FPT files, and a session whose company
// folder is empty. Shared by the import tests and the interop test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "expr/Interp.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

#include "support/Portable.h"

namespace ledgertest {

namespace fs = std::filesystem;
using exo::Value;

inline std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// One movement line; fields left empty stay blank.
struct Line {
  std::string tipoComp, comproba, codigo, ctaDir;
  double monto = 0;
  std::string tipo, detalle;
};

inline const std::vector<exo::store::FieldDef> kPeriodFields = {
    {"TIPO_COMP", 'C', 2, 0}, {"COMPROBA", 'C', 8, 0}, {"FECHA", 'D', 8, 0},
    {"CODIGO", 'C', 20, 0},   {"CTA_DIR", 'C', 5, 0},  {"DETALLE", 'C', 40, 0},
    {"MONTO", 'N', 16, 2},    {"TIPO", 'C', 2, 0},     {"CEN_COS", 'C', 4, 0}};

class LedgerCompany {
 public:
  LedgerCompany() {
    m_root = exotest::makeTempFolder("exo-import-");
    folders.program = m_root / "program";
    folders.drive = m_root / "drive";
    fs::create_directories(folders.program);
    fs::create_directories(ledger());
    fs::create_directories(work());
    std::ofstream(folders.drive / "NRVVS" / "VR.EXE") << "x";
    std::ofstream(folders.drive / "NRVVS" / "VRNRVV32.DLL") << "x";
    if (!exo::shell::VARIABLPUBLIC(ip, ui, folders)) std::abort();
    session = std::make_unique<exo::shell::Session>(ip, ui, folders);
    session->setCelPath("NRVVS\\EMP1\\");
    session->formPaths();
  }
  ~LedgerCompany() {
    session.reset();
    std::error_code ec;
    fs::remove_all(m_root, ec);
  }

  fs::path ledger() const { return folders.drive / "NRVVS" / "EMP1"; }
  fs::path work() const { return folders.program / "NRVVS" / "EMP1"; }
  fs::path root() const { return m_root; }

  // Writes a table of the ledger (or anywhere) from field values by name.
  void writeTable(const fs::path& path, const std::vector<exo::store::FieldDef>& fields,
                  const std::vector<std::map<std::string, Value>>& rows) {
    engine.createTable(path.string(), fields);
    const int area = engine.open(path.string(), "WRITING", false);
    for (const auto& row : rows) {
      engine.appendBlank(area);
      for (const auto& [name, value] : row) engine.put(area, name, value);
    }
    engine.close(ip, area);
  }
  void index(const fs::path& table, const std::string& bag, const std::string& tag,
             const std::string& key, const std::string& condition = {}) {
    const int area = engine.open(table.string(), "INDEXING", false);
    engine.buildIndex(area, bag, tag, key, condition);
    engine.close(ip, area);
  }

  // A period file "VRTRACON.pp" of the ledger.
  void writePeriod(int period, const std::vector<Line>& lines,
                   const std::vector<exo::store::FieldDef>& fields = kPeriodFields) {
    std::vector<std::map<std::string, Value>> rows;
    for (const Line& l : lines) {
      std::map<std::string, Value> row = {
          {"TIPO_COMP", Value::text(l.tipoComp)}, {"COMPROBA", Value::text(l.comproba)},
          {"CODIGO", Value::text(l.codigo)},      {"CTA_DIR", Value::text(l.ctaDir)},
          {"MONTO", Value::number(l.monto)},      {"TIPO", Value::text(l.tipo)},
          {"DETALLE", Value::text(l.detalle)}};
      for (auto it = row.begin(); it != row.end();) {
        bool known = false;
        for (const auto& f : fields) known = known || f.name == it->first;
        it = known ? std::next(it) : row.erase(it);
      }
      rows.push_back(row);
    }
    writeTable(ledger() / exo::store::ledgerPeriodFile(period), fields, rows);
  }

  // The directory: CLAVE, NOMBRE, DIREC4 and a memo, with the index on CLAVE.
  void writeDirectory(const std::vector<std::pair<std::string, std::string>>& parties) {
    std::vector<std::map<std::string, Value>> rows;
    for (const auto& [key, nit] : parties) {
      rows.push_back({{"CLAVE", Value::text(key)},
                      {"NOMBRE", Value::text("TERCERO " + key)},
                      {"DIREC4", Value::text(nit)},
                      {"NOTAS", Value::text("nota de " + key)}});
    }
    writeTable(ledger() / "VRDIR.DBF",
               {{"CLAVE", 'C', 5, 0},
                {"NOMBRE", 'C', 40, 0},
                {"DIREC4", 'C', 20, 0},
                {"NOTAS", 'M', 10, 0}},
               rows);
    index(ledger() / "VRDIR.DBF", "VRDIRX1.CDX", "CLAVE", "CLAVE");
  }

  // The chart: rows of CODIGO, APLICA and POR_RET, indexed on " "+CODIGO.
  void writeChart(const std::vector<std::tuple<std::string, std::string, double>>& accounts) {
    std::vector<std::map<std::string, Value>> rows;
    for (const auto& [code, aplica, pct] : accounts) {
      rows.push_back({{"CODIGO", Value::text(code)},
                      {"APLICA", Value::text(aplica)},
                      {"POR_RET", Value::number(pct)}});
    }
    writeTable(ledger() / "VRMAE.DBF",
               {{"CODIGO", 'C', 20, 0},
                {"APU_NOM", 'N', 5, 0},
                {"APLICA", 'C', 1, 0},
                {"MARCA", 'C', 1, 0},
                {"POR_RET", 'N', 6, 2}},
               rows);
    index(ledger() / "VRMAE.DBF", "VRMAEX1.CDX", "CUENTA", "\" \"+CODIGO");
  }

  // Every value of `field` of a company table in its natural order (deleted records left out).
  std::vector<std::string> column(const std::string& file, const std::string& field) {
    std::vector<std::string> out;
    const int area = engine.open((work() / file).string(), "READING", true, true);
    engine.forEach(area, [&] {
      const Value v = engine.get(area, field);
      out.push_back(v.isText() ? std::string(v.textView()) : std::to_string(v.num()));
      return true;
    });
    engine.close(ip, area);
    return out;
  }

  // Texts shown on status line `line`, in order.
  std::vector<std::string> statusTexts(int line) const {
    std::vector<std::string> out;
    for (const auto& c : ui.callsOf("status")) {
      if (c.number == line) out.push_back(c.text);
    }
    return out;
  }
  // Files of the company folder whose name begins with "~" (left-over temporary files).
  std::vector<std::string> leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(work())) {
      if (e.path().filename().string().front() == '~') out.push_back(e.path().filename().string());
    }
    return out;
  }

  exo::shell::Folders folders;
  exo::Interp ip;
  exo::store::Engine engine{ip};
  exo::shell::ScriptedUserInterface ui;
  std::unique_ptr<exo::shell::Session> session;

 private:
  fs::path m_root;
};

}  // namespace ledgertest
