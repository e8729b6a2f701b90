// A company folder for the XML writer tests: the session with its header, the writer's
// functions on the interpreter, and review workbooks written through the spreadsheet script.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expr/TPublic.h"
#include "generation/XmlWriter.h"
#include "import/LedgerFixture.h"
#include "reports/WorkbookScript.h"

namespace xmltest {

namespace fs = std::filesystem;
using exo::Value;

class XmlCompany : public ledgertest::LedgerCompany {
 public:
  XmlCompany() {
    exo::reports::registerWorkbookFunctions(ip, &ui, folders);
    exo::generation::registerXmlFunctions(ip, *session);
    header("1.- Inserci\xF3n", "1");
  }

  // The header as the header dialog leaves it.
  void header(const std::string& kind, const std::string& sending) {
    exo::TPublic& c = session->cabez();
    auto set = [&](const char* key, const std::string& value) {
      if (c.isDef(key)) c.set(key, Value::text(value));
      else c.add(key, Value::text(value));
    };
    set("ano", "2011");
    set("CodCpt", kind);
    set("Format", "1001");
    set("Versi", "7");
    set("NumEnv", sending);
    set("FecEnv", "2011-03-15T10:20:30");
    set("FecIni", "2010-01-01");
    set("FecFin", "2010-12-31");
  }

  fs::path output() const { return work() / "SALIDA"; }

  // Writes the review workbook of `format` with the script: title rows 1 to 4, then one row per
  // record from row 5 (amounts as numbers).
  fs::path workbook(int format, const std::vector<std::vector<std::string>>& rows) {
    fs::create_directories(output());
    const fs::path path = exo::generation::excelWorkbookPath(*session, format);
    run("oX := TExcelScript():New()");
    run("oX:Create(\"" + path.string() + "\")");
    run("oX:Say(1, 1, \"EMPRESA DE PRUEBA\")");
    run("oX:Say(2, 1, \"Formato " + std::to_string(1000 + format) + "  A\xF1o 2010\")");
    const auto& fields = exo::generation::LOSCAMPOSXML(format).fields;
    for (std::size_t c = 0; c < fields.size(); ++c)
      run("oX:Say(4, " + std::to_string(c + 1) + ", \"" + fields[c].name + "\")");
    for (std::size_t r = 0; r < rows.size(); ++r)
      for (std::size_t c = 0; c < rows[r].size(); ++c) {
        const std::string& v = rows[r][c];
        if (v.empty()) continue;
        // Amounts as numbers, codes and names as text.
        const bool number = c < fields.size() && fields[c].width == 20 &&
                            v.find_first_not_of("-.0123456789") == std::string::npos;
        run("oX:Say(" + std::to_string(r + 5) + ", " + std::to_string(c + 1) + ", " +
            (number ? v : "\"" + v + "\"") + ")");
      }
    run("oX:Save()");
    run("oX:End(.F.)");
    return path;
  }

  void run(const std::string& line) { ip.evalText(line); }
};

}  // namespace xmltest
