// A company folder for the withholding-base and manual-data tests: the reference tables of the
// repository in the program folder, the ledger's chart, account names and directory, the
// company's chart copy, directory copy and assignments, and format movement tables filled row
// by row with the dictionary's structure, all real DBF/CDX files.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "expr/Text.h"
#include "import/LedgerFixture.h"
#include "import/ThirdPartyTestSupport.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"

namespace basestest {

namespace fs = std::filesystem;
using exo::Value;

// One row of a format movement table.
struct Movement {
  std::string ctaDir, codigo, conc;
  double monto = 0;
  std::string nat = "1";
  double base = 0;  // the concept's threshold
  std::string nit = {};
};

class Company : public ledgertest::LedgerCompany {
 public:
  Company() {
    exo::store::writeRefTables(exo::store::loadRefData(EXOGENA_SOURCE_DIR "/data/refdata"),
                               folders.program.string());
    writePeriod(1, {});
    exo::store::createCompanyTable(engine, work().string(), exo::store::kYearMovements,
                                   ledger().string(), exo::store::ledgerPeriodFile(1));
    exo::store::createCompanyTable(engine, work().string(), exo::store::kAssignments);
  }

  // The ledger's chart (code, POR_RET, name) with its names table, and the company's copy.
  void chart(const std::vector<std::tuple<std::string, double, std::string>>& accounts) {
    std::vector<std::tuple<std::string, std::string, double>> rows;
    for (const auto& [code, pct, name] : accounts) rows.emplace_back(code, "", pct);
    writeChart(rows);
    // Account names through APU_NOM.
    const int maestro = engine.open((ledger() / "VRMAE.DBF").string(), "PUNTEROS", false);
    int n = 0;
    engine.forEach(maestro, [&] {
      engine.put(maestro, "APU_NOM", Value::number(++n * 7));
      return true;
    });
    engine.close(ip, maestro);
    std::vector<std::map<std::string, Value>> names;
    n = 0;
    for (const auto& [code, pct, name] : accounts)
      names.push_back({{"APU_NOM", Value::number(++n * 7)}, {"NOMBRE", Value::text(name)}});
    writeTable(ledger() / "VRNOM.DBF", {{"APU_NOM", 'N', 5, 0}, {"NOMBRE", 'C', 60, 0}}, names);
    index(ledger() / "VRNOM.DBF", "VRNOMX1.CDX", "APU_NOM", "Str(APU_NOM,5,0)");

    exo::store::createCompanyTable(engine, work().string(), exo::store::kChartCopy,
                                   ledger().string());
    const int copy = engine.open((work() / exo::store::kChartCopy).string(), "COPIA", false);
    for (const auto& [code, pct, name] : accounts) {
      engine.appendBlank(copy);
      engine.put(copy, "CODIGO", Value::text(code));
      engine.put(copy, "POR_RET", Value::number(pct));
    }
    exo::store::buildCompanyIndexes(engine, copy, work().string(), exo::store::kChartCopy);
    engine.close(ip, copy);
  }

  // The directory copy, from the ledger's directory (rows as terceros::Row).
  void directory(const std::vector<terceros::Row>& rows) {
    terceros::writeDirectory(ledger(), rows);
    exo::store::createCompanyTable(engine, work().string(), exo::store::kDirectoryCopy,
                                   ledger().string());
  }

  // Account assignments (format, concept, account).
  void assign(const std::vector<std::tuple<std::string, std::string, std::string>>& rows) {
    const int area = exo::store::openCompanyTable(engine, work().string(), exo::store::kAssignments,
                                                  "ASIGNA", false);
    for (const auto& [format, conc, account] : rows) {
      engine.appendBlank(area);
      engine.put(area, "FORMATO", Value::text(format));
      engine.put(area, "CONCEPTO", Value::text(conc));
      engine.put(area, "COD_CONT", Value::text(account));
    }
    engine.close(ip, area);
    const int again = engine.open((work() / exo::store::kAssignments).string(), "ASIGNA", false);
    exo::store::buildCompanyIndexes(engine, again, work().string(), exo::store::kAssignments);
    engine.close(ip, again);
  }

  // The format movement table of `code` with these rows.
  void formatTable(const std::string& code, const std::vector<Movement>& rows) {
    exo::store::createCompanyTable(engine, work().string(), exo::store::formatTableFile(code));
    const int area =
        engine.open((work() / exo::store::formatTableFile(code)).string(), "FORMATO", false);
    for (const Movement& m : rows) {
      engine.appendBlank(area);
      engine.put(area, "TIPO_COMP", Value::text("CE"));
      engine.put(area, "CTA_DIR", Value::text(m.ctaDir));
      engine.put(area, "CODIGO", Value::text(m.codigo));
      engine.put(area, "MONTO", Value::number(m.monto));
      engine.put(area, "FORM", Value::text(code));
      engine.put(area, "CONC", Value::text(m.conc));
      engine.put(area, "BASE", Value::number(m.base));
      engine.put(area, "NIT", Value::text(m.nit.empty() ? "NIT-" + m.ctaDir : m.nit));
      engine.put(area, "NAT", Value::text(m.nat));
    }
    engine.close(ip, area);
  }

  // The rows of an open area in its order: the values of `fields` joined by "|", texts trimmed,
  // numbers as whole numbers unless they have decimals.
  std::vector<std::string> rows(int area, const std::vector<std::string>& fields) {
    std::vector<std::string> out;
    engine.forEach(area, [&] {
      std::string line;
      for (const std::string& f : fields) {
        if (!line.empty()) line += "|";
        const Value v = engine.get(area, f);
        if (v.isText()) {
          line += exo::trimBlanks(v.textView());
        } else {
          char buf[64];
          std::snprintf(buf, sizeof buf, v.num() == std::floor(v.num()) ? "%.0f" : "%.2f", v.num());
          line += buf;
        }
      }
      out.push_back(line);
      return true;
    });
    engine.goTop(ip, area);
    return out;
  }
};

}  // namespace basestest
