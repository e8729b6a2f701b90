// The dictionary's entries, the naming rules and the resolution of field lists. Creation through
// the engine lives in DictionaryCreate.cpp.
#include "store/Dictionary.h"

#include <cstdio>
#include <filesystem>

#include "store/StoreFailure.h"

namespace exo::store {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}

const char* kAuditCondition = "!Deleted() .AND. MONTO <> 0.00";

std::vector<FieldDef> withholdingFields() {
  return {{"CTA_DIR", 'C', 5, 0}, {"NOMBRE", 'C', 40, 0},  {"NIT", 'C', 20, 0},
          {"CONC", 'C', 4, 0},    {"MONTO", 'N', 17, 0},   {"POR_RET", 'N', 6, 2},
          {"POR_IVA", 'N', 6, 2}, {"BASE_RET", 'N', 20, 0}};
}

std::vector<FieldDef> personNameFields() {
  return {{"APL1", 'C', 60, 0},
          {"APL2", 'C', 60, 0},
          {"NOM1", 'C', 60, 0},
          {"NOM2", 'C', 60, 0},
          {"RAZ", 'C', 250, 0}};
}

std::vector<FieldDef> partnerFields() {
  std::vector<FieldDef> f = {
      {"CLAVE", 'C', 5, 0}, {"TDOC", 'C', 2, 0}, {"NID", 'C', 20, 0}, {"DV", 'C', 1, 0}};
  for (FieldDef& d : personNameFields()) f.push_back(std::move(d));
  const std::vector<FieldDef> rest = {
      {"DIR", 'C', 200, 0}, {"DPTO", 'C', 2, 0},  {"MUN", 'C', 3, 0}, {"PAIS", 'C', 4, 0},
      {"VAL", 'N', 20, 0},  {"VPAR", 'N', 20, 0}, {"POR", 'N', 9, 5}, {"FULLNOMB", 'C', 240, 0}};
  f.insert(f.end(), rest.begin(), rest.end());
  return f;
}

std::vector<FieldDef> accountsBaseFields() {
  std::vector<FieldDef> f = {{"CLAVE", 'C', 5, 0},      {"CODI_CONT", 'C', 20, 0},
                             {"NOMB_CONT", 'C', 40, 0}, {"CPT", 'C', 4, 0},
                             {"TDOC", 'C', 2, 0},       {"NID", 'C', 20, 0},
                             {"DV", 'C', 1, 0}};
  for (FieldDef& d : personNameFields()) f.push_back(std::move(d));
  f.push_back({"PAIS", 'C', 4, 0});
  f.push_back({"VAL", 'N', 20, 0});
  f.push_back({"FULLNOMB", 'C', 240, 0});
  return f;
}

TableDef formatTable(int n) {
  const std::string code = formatCode(n);
  IndexDef index{formatIndexFile(code),
                 {{"FrmConCod", "FORM+CONC+CODIGO"}, {"TercConc", "CTA_DIR+CONC"}}};
  if (code == "1007") index.tags.push_back({"TipoComp", "TIPO_COMP+COMPROBA"});
  return {formatTableFile(code),
          "movimientos del formato " + code,
          Layout::StructureOf,
          kYearMovements,
          false,
          {{"FILTRO", 'C', 170, 0}, {"NAT", 'C', 1, 0}, {"VLR_ADIC1", 'N', 17, 0}},
          {index},
          {},
          false};
}

std::vector<TableDef> buildCompanyTables() {
  std::vector<TableDef> t;
  t.push_back({kChartCopy,
               "cuenta del plan contable",
               Layout::StructureOf,
               kLedgerChart,
               true,
               {},
               {{kChartCopyIndex, {{"Codigo", "CODIGO"}}}},
               {},
               false});
  t.push_back(
      {kAssignments,
       "cuenta asignada a un concepto de un formato",
       Layout::Own,
       {},
       false,
       {{"COD_CONT", 'C', 20, 0},
        {"DETALLE", 'C', 40, 0},
        {"FORMATO", 'C', 4, 0},
        {"CONCEPTO", 'C', 4, 0},
        {"NATURALEZ", 'C', 1, 0}},
       {{kAssignmentsIndex, {{"Codigo", "COD_CONT"}, {"CodiCont", "FORMATO+CONCEPTO+COD_CONT"}}}},
       {},
       false});
  t.push_back(
      {kDirectoryCopy,
       "tercero del directorio",
       Layout::ByteCopy,
       kLedgerDirectory,
       true,
       {},
       {},
       {{kLedgerDirectoryMemo, kDirectoryCopyMemo}, {kLedgerDirectoryIndex, kDirectoryCopyIndex}},
       false});
  // The source is the first month file found in the ledger: the caller names it.
  t.push_back(
      {kYearMovements,
       "movimiento contable del a\361o",
       Layout::StructureOf,
       {},
       true,
       {{"FORM", 'C', 4, 0}, {"CONC", 'C', 4, 0}, {"BASE", 'N', 20, 2}, {"NIT", 'C', 20, 0}},
       {{kYearMovementsIndex,
         {{"CmpCtaDir", "TIPO_COMP+COMPROBA+CTA_DIR"}, {"SoloCmp", "TIPO_COMP+COMPROBA"}}}},
       {},
       false});
  // Written by the movement import beside "vrTraCon.99", from the same lines of the same periods.
  t.push_back({kLinesWithoutParty,
               "l\355neas sin tercero del a\361o de una cuenta",
               Layout::Own,
               {},
               false,
               {{"CODIGO", 'C', 20, 0},
                {"LINEAS", 'N', 10, 0},
                {"DEBITOS", 'N', 20, 2},
                {"CREDITOS", 'N', 20, 2},
                {"MONTO", 'N', 20, 2}},
               {{kLinesWithoutPartyIndex, {{"Codigo", "CODIGO"}}}},
               {},
               false});
  for (int n = 1; n <= 12; ++n) t.push_back(formatTable(n));
  t.push_back({kVoucherTotals1007,
               "totales por comprobante del formato 1007",
               Layout::TotalsOf,
               formatTableFile("1007"),
               false,
               {},
               {{kVoucherTotals1007Index,
                 {{"FrmConCod", "FORM+CONC+CODIGO"},
                  {"TercConc", "CTA_DIR+CONC"},
                  {"TipoComp", "TIPO_COMP+COMPROBA"}}}},
               {},
               false});
  for (const char* code : {"1002", "1003"}) {
    t.push_back({baseTableFile(code),
                 std::string("base de retenci\363n por tercero y concepto, ") + code,
                 Layout::Own,
                 {},
                 false,
                 withholdingFields(),
                 {},
                 {},
                 false});
  }
  t.push_back({baseTableFile("1004"),
               "datos manuales del formato 1004",
               Layout::ByteCopy,
               formatTableFile("1004"),
               false,
               {},
               {},
               {{"TrF1004.fpt", "TrF1004B.fpt"}},
               false});
  t.push_back({baseTableFile("1010"),
               "socio o accionista",
               Layout::Own,
               {},
               false,
               partnerFields(),
               {{baseIndexFile("1010"), {{"FullNomb", "FULLNOMB"}}}},
               {},
               false});
  t.push_back({baseTableFile("1011"),
               "concepto del formato 1011 con su valor",
               Layout::StructureOf,
               formatTableFile("1011"),
               false,
               {},
               {},
               {},
               false});
  t.push_back({baseTableFile("1012"),
               "cuenta y concepto del formato 1012",
               Layout::Own,
               {},
               false,
               accountsBaseFields(),
               {{baseIndexFile("1012"), {{"ConcContab", "CPT+CODI_CONT"}}}},
               {},
               false});
  t.push_back({kDirectoryErrors,
               "error de un tercero del directorio",
               Layout::Own,
               {},
               false,
               {{"CODIGO", 'C', 8, 0},
                {"DOCUMENTO", 'C', 25, 0},
                {"NOMBRE", 'C', 100, 0},
                {"ERROR", 'C', 150, 0}},
               {},
               {},
               false});
  // Audit totals of format 1008 or 1009: the caller names the format table.
  t.push_back({"TotDat67.dbf",
               "total por tercero (auditor\355a 1008/1009)",
               Layout::TotalsOf,
               {},
               false,
               {},
               {{"TotDa67x.cdx", {{"TotTerc", "CTA_DIR", kAuditCondition}}}},
               {},
               false});
  t.push_back({"TotDat66.dbf",
               "total por tercero y concepto (auditor\355a 1008/1009)",
               Layout::TotalsOf,
               {},
               false,
               {},
               {{"TotDa66x.cdx", {{"TotConTer", "CONC+CTA_DIR", kAuditCondition}}}},
               {},
               false});
  return t;
}

std::vector<TableDef> buildScratchTables() {
  std::vector<TableDef> t;
  // Temporary tags on a format movement table; the conditions of CtaDir1 and CtaDir2 vary.
  t.push_back({{},
               "etiquetas temporales sobre una tabla de formato",
               Layout::Own,
               {},
               false,
               {},
               {{kScratchIndex,
                 {{"CtaDirConc", "CTA_DIR+CONC"}, {"CtaDir1", "CTA_DIR"}, {"CtaDir2", "CTA_DIR"}}}},
               {},
               true});
  for (int n = 1; n <= 6; ++n) {
    const std::string name = "TotDat" + std::to_string(n);
    std::vector<IndexDef> idx;
    if (n == 2) idx.push_back({name + "x.cdx", {{"CtaDir", "CTA_DIR"}}});
    if (n == 4 || n == 5) idx.push_back({name + "x.cdx", {{"Concepto", "CONC"}}});
    // 4 and 5 take the structure as it is; the regularisation appends POR_RET and POR_IVA
    // (N 6.2) itself. The others are totals targets.
    const bool copy = n == 4 || n == 5;
    t.push_back({name + ".dbf",
                 copy ? "filas de una tabla de formato" : "totales de una tabla de formato",
                 copy ? Layout::StructureOf : Layout::TotalsOf,
                 {},
                 false,
                 {},
                 idx,
                 {},
                 true});
  }
  t.push_back({"Tempor01.dbf",
               "copia de TrF1012B.dbf",
               Layout::StructureOf,
               baseTableFile("1012"),
               false,
               {},
               {{"Tempor01x.cdx", {{"ConcContab", "CPT+CODI_CONT"}}}},
               {},
               true});
  t.push_back({"Tmp1007.dbf",
               "copia de TrF1007.dbf",
               Layout::ByteCopy,
               formatTableFile("1007"),
               false,
               {},
               {},
               {{"TrF1007.fpt", "Tmp1007.fpt"}},
               true});
  // One record per workbook row, with the XML field list of the format: the caller's fields.
  t.push_back(
      {"TmpTraC.dbf", "fila de un libro de revisi\363n", Layout::Own, {}, false, {}, {}, {}, true});
  return t;
}

}  // namespace

std::string ledgerPeriodFile(int period) {
  char name[16];
  std::snprintf(name, sizeof name, "VRTRACON.%02d", period);
  return name;
}

std::string formatCode(int number) { return std::to_string(1000 + number); }

std::optional<int> formatNumberOf(std::string_view code) {
  for (int n = 1; n <= 12; ++n)
    if (code == formatCode(n)) return n;
  return std::nullopt;
}

std::string formatTableFile(std::string_view code) { return "TrF" + std::string(code) + ".dbf"; }
std::string formatIndexFile(std::string_view code) { return "TrF" + std::string(code) + "x.cdx"; }
std::string baseTableFile(std::string_view code) { return "TrF" + std::string(code) + "B.dbf"; }
std::string baseIndexFile(std::string_view code) { return "TrF" + std::string(code) + "z.cdx"; }

const std::vector<TableDef>& companyTables() {
  static const std::vector<TableDef> tables = buildCompanyTables();
  return tables;
}

const std::vector<TableDef>& scratchTables() {
  static const std::vector<TableDef> tables = buildScratchTables();
  return tables;
}

const TableDef* findTable(std::string_view file) {
  if (file.empty()) return nullptr;
  for (const auto* list : {&companyTables(), &scratchTables()}) {
    for (const TableDef& t : *list)
      if (sameName(t.file, file)) return &t;
  }
  return nullptr;
}

const TableDef& tableDef(std::string_view file) {
  const TableDef* t = findTable(file);
  if (t == nullptr) raise(GenCode::Arg, "Tabla desconocida", std::string(file), 0, "tableDef");
  return *t;
}

std::string auditTotalsCondition(std::string_view code) {
  return code == "1009" ? std::string() : std::string(kAuditCondition);
}

std::vector<FieldDef> tableFields(const TableDef& def, const std::string& folder,
                                  const std::string& ledgerFolder, const std::string& source) {
  if (def.layout == Layout::Own) return def.fields;
  const std::string from = source.empty() ? def.source : source;
  if (from.empty()) raise(GenCode::Arg, "Falta la tabla de origen", def.file, 0, "tableFields");
  const std::filesystem::path dir(def.sourceInLedger ? ledgerFolder : folder);
  Dbf src = Dbf::open((dir / from).string(), {true, true, 0});
  std::vector<FieldDef> fields;
  for (const Field& f : src.fields()) {
    if (def.layout == Layout::TotalsOf && (f.type == 'M' || f.type == 'G' || f.type == 'P'))
      continue;
    fields.push_back({f.name, f.type, f.length, f.decimals});
  }
  if (def.layout == Layout::StructureOf)
    fields.insert(fields.end(), def.fields.begin(), def.fields.end());
  return fields;
}

}  // namespace exo::store
