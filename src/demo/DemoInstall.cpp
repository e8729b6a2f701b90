// Lays out the demo installation: program folder, sibling products with their control files and
// ledgers, the previous year's installation, and the first company's working folder as its first
// selection leaves it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "demo/Demo.h"
#include "demo/DemoLedger.h"
#include "expr/Codepage.h"
#include "expr/Interp.h"
#include "shell/Company.h"
#include "shell/MemFile.h"
#include "shell/Session.h"
#include "shell/TerminalUserInterface.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/FieldCodec.h"
#include "store/RefTables.h"
#include "store/StoreFailure.h"

namespace exo::demo {
namespace {

namespace fs = std::filesystem;
using store::Dbf;

struct CompanyPlan {
  const char* product;
  std::string name;  // Windows-1252
  std::string folder;
  int year;
  int lastMonth;
};

// The most company-years of the first product a demo lays out (a firm's many companies).
constexpr int kMaxCompanies = 40;

// The company-years of the installation, in control-file order per product.
std::vector<CompanyPlan> companyPlans(const DemoOptions& o) {
  static const CompanyPlan kOrbisal[] = {
      {"NRVVS", "DISTRIBUIDORA ANDINA DEL VALLE S.A.S.", "ANDINA10", 2010, 12},
      {"NRVVS", "DISTRIBUIDORA ANDINA DEL VALLE S.A.S.", "ANDINA09", 2009, 12},
      {"NRVVS", "FERRETER\315A EL PORVENIR LTDA", "PORVEN10", 2010, 6},
      {"NRVVS", "COMERCIALIZADORA LA SABANA S.A.", "SABANA10", 2010, 12},
      {"NRVVS", "IMPORTADORA SAN JORGE S.A.S.", "SJORGE10", 2010, 12},
      {"NRVVS", "ALMACENES DEL CARIBE LTDA", "CARIBE10", 2010, 12},
  };
  std::vector<CompanyPlan> out;
  const int n = std::clamp(o.companies, 1, kMaxCompanies);
  for (int i = 0; i < n; ++i) {
    if (i < static_cast<int>(std::size(kOrbisal))) {
      out.push_back(kOrbisal[i]);
      continue;
    }
    // Past the named ones, numbered companies of the same year.
    char number[16];
    std::snprintf(number, sizeof number, "%02d", i + 1);
    out.push_back({"NRVVS", std::string("EMPRESA DE DEMOSTRACI\323N ") + number + " S.A.S.",
                   std::string("EMPRE") + number, 2010, 12});
  }
  if (o.bothProducts)
    out.push_back({"NRVCONTB", "SERVICIOS T\311CNICOS DE LA COSTA S.A.S.", "COSTA10", 2010, 12});
  return out;
}

void stamp(const fs::path& table) { stampTable(table.string(), 2011, 1, 20); }

void writeFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) store::raise(GenCode::Write, "No se puede escribir el archivo", path.string());
}

// Control file of a product: one record per company-year.
void writeControlFile(const fs::path& root, const std::vector<CompanyPlan>& plans,
                      const char* product, LedgerCharset charset) {
  const fs::path path = root / store::kLedgerControl;
  Dbf ctl = Dbf::create(path.string(),
                        {{"EMPRESA", 'C', 40, 0},
                         {"CAMINO", 'C', 30, 0},
                         {"ULT_PER", 'C', 2, 0},
                         {"FECHA_INI", 'D', 8, 0},
                         {"FECHA_FIN", 'D', 8, 0},
                         {"NIT", 'C', 15, 0}},
                        {false, false, 2000}, charsetMark(charset));
  int n = 0;
  for (const CompanyPlan& c : plans) {
    if (std::strcmp(c.product, product) != 0) continue;
    std::vector<char> rec = ctl.blankRecord();
    char period[4];
    std::snprintf(period, sizeof period, "%02d", c.lastMonth);
    ctl.setText(rec.data(), 0, inCharset(charset, c.name));
    ctl.setText(rec.data(), 1, c.folder + "\\");
    ctl.setText(rec.data(), 2, period);
    ctl.setDate(rec.data(), 3, store::julianDay(c.year, 1, 1));
    ctl.setDate(rec.data(), 4, store::julianDay(c.year, 12, 31));
    const std::string nit = std::to_string(900123450 + 7 * ++n);
    ctl.setText(rec.data(), 5, nit + "-" + checkDigit(nit));
    ctl.append(rec.data());
  }
  ctl.close();
  stamp(path);
}

// The demo company's assignments of accounts to concepts, made as the program makes them;
// `previousYear` leaves out the accounts nobody had assigned yet.
void writeAssignments(store::Engine& e, const fs::path& folder, const store::RefData& ref,
                      bool previousYear) {
  store::createCompanyTable(e, folder.string(), store::kAssignments);
  const int area =
      store::openCompanyTable(e, folder.string(), store::kAssignments, "CodiCont", false);
  for (const Account& a : chartOfAccounts()) {
    if (*a.formatCode == '\0' || *a.aplica != '\0') continue;
    if (previousYear && std::strcmp(a.conceptCode, "5023") == 0) continue;
    const store::RefData::Concept* found = nullptr;
    for (const auto& c : ref.concepts)
      if (c.format == a.formatCode && c.code == a.conceptCode) found = &c;
    if (found == nullptr)
      store::raise(GenCode::Arg, "Concepto inexistente en los datos de referencia",
                   std::string(a.formatCode) + a.conceptCode, 0, "demo");
    e.appendBlank(area);
    e.put(area, "COD_CONT", Value::text(a.code));
    e.put(area, "DETALLE", Value::text(a.name));
    e.put(area, "FORMATO", Value::text(a.formatCode));
    e.put(area, "CONCEPTO", Value::text(a.conceptCode));
    e.put(area, "NATURALEZ", Value::text(found->nature));
  }
  store::buildCompanyIndexes(e, area, folder.string(), store::kAssignments);
  e.close(e.interp(), area);
  stamp(folder / store::kAssignments);
}

// The first company chosen as a user chooses it at the first start: the company selection lays
// out its working folder and writes the session file; then the assignments are filled in as the
// program's pages would, and the new tables get the demo's fixed header date.
void chooseFirstCompany(const fs::path& program, const fs::path& drive, const CompanyPlan& first,
                        const store::RefData& ref) {
  Interp ip;
  store::Engine e(ip);
  shell::TerminalUserInterface ui;
  const shell::Folders folders{program, drive};
  if (!shell::VARIABLPUBLIC(ip, ui, folders))
    store::raise(GenCode::Open, "No se encuentra el programa de contabilidad", drive.string(), 2,
                 "demo");
  shell::Session session(ip, ui, folders);
  const int product = std::string_view(first.product) == "NRVVS" ? 1 : 2;
  bool chosen = false;
  for (const shell::CompanyEntry& entry : shell::CARGAVRCTL(session, e, product)) {
    if (!chosen && entry.camino.rfind(first.folder + "\\", 0) == 0)
      chosen = shell::chooseCompany(session, e, entry, {});
  }
  if (!chosen)
    store::raise(GenCode::Open, "La empresa no est\341 en el archivo de control", first.folder, 2,
                 "demo");
  const fs::path work = program / first.product / first.folder;
  stamp(work / store::kChartCopy);
  writeAssignments(e, work, ref, false);
}

void copyFolder(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  if (!fs::is_directory(from)) return;
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(from))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) fs::copy_file(f, to / f.filename());
}

void layOutProgramFolder(const DemoOptions& o, const fs::path& program, const store::RefData& ref) {
  fs::create_directories(program);
  store::writeRefTables(ref, program.string());
  for (const char* table : {store::kFormatosFile, store::kConceptsFile, store::kDepartmentsFile,
                            store::kMunicipalitiesFile, store::kCountriesFile})
    stamp(program / table);
  const fs::path source(o.sourceFolder);
  copyFolder(source / "forms", program / "FORMS");
  copyFolder(source / "help", program / "help");
  fs::create_directories(program / "PREVALIDADOR");
}

}  // namespace

std::uint64_t DemoCompany::totalLines() const {
  std::uint64_t n = 0;
  for (std::uint64_t l : lines) n += l;
  return n;
}

void installProgramFolder(const std::string& sourceFolder, const std::string& programFolder) {
  DemoOptions o;
  o.sourceFolder = sourceFolder;
  layOutProgramFolder(o, programFolder,
                      store::loadRefData((fs::path(sourceFolder) / "data/refdata").string()));
}

DemoInstallation installDemo(const DemoOptions& o) {
  const fs::path root(o.folder);
  if (fs::exists(root) && !(fs::is_directory(root) && fs::is_empty(root)))
    store::raise(GenCode::Create,
                 "La carpeta de la demostraci\363n ya existe y no est\341 vac\355a", o.folder, 80,
                 "demo");
  const store::RefData ref =
      store::loadRefData((fs::path(o.sourceFolder) / "data/refdata").string());
  DemoInstallation inst{(root / "program").string(), (root / "drive").string(), {}};
  const fs::path program(inst.programFolder), drive(inst.driveFolder);
  layOutProgramFolder(o, program, ref);

  const std::vector<CompanyPlan> plans = companyPlans(o);
  for (std::size_t i = 0; i < plans.size(); ++i) {
    const CompanyPlan& c = plans[i];
    LedgerPlan plan;
    plan.folder = (drive / c.product / c.folder).string();
    plan.charset = o.ledgerCharset;
    plan.year = c.year;
    plan.lastMonth = c.lastMonth;
    plan.lines = o.lines;
    plan.seed = o.seed * 1000003u + i;
    const LedgerSummary s = writeLedger(plan);
    DemoCompany dc{c.product,   c.name,          c.folder,   c.year,
                   c.lastMonth, s.linesByPeriod, s.accounts, s.thirdParties};
    inst.companies.push_back(std::move(dc));
  }
  writeFile(drive / "NRVVS" / "VR.EXE", "");
  writeFile(drive / "NRVVS" / "VRNRVV32.DLL", "");
  writeControlFile(drive / "NRVVS", plans, "NRVVS", o.ledgerCharset);
  if (o.bothProducts) {
    writeFile(drive / "NRVCONTB" / "VRCONTAB.EXE", "");
    writeFile(drive / "NRVCONTB" / "NRVCNT32.DLL", "");
    writeControlFile(drive / "NRVCONTB", plans, "NRVCONTB", o.ledgerCharset);
  }

  // The previous year's installation keeps the assignments of the first company.
  const CompanyPlan& first = plans.front();
  const fs::path previous = drive / "NRVEXO10" / first.product / first.folder;
  fs::create_directories(previous);
  {
    Interp ip;
    store::Engine e(ip);
    writeAssignments(e, previous, ref, true);
  }

  // The first company as its first selection leaves it, and the session that selected it.
  chooseFirstCompany(program, drive, first, ref);
  return inst;
}

}  // namespace exo::demo
