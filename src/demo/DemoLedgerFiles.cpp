// The ledger's master files: chart of accounts with its names, and the directory of third
// parties, each with the compound index the ledger product keeps beside it.
#include <algorithm>
#include <filesystem>

#include "demo/DemoLedger.h"
#include "expr/Codepage.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/FieldCodec.h"

namespace exo::demo {
namespace {

using store::Cdx;
using store::Dbf;
using store::KeyBatch;
using store::KeyKind;

std::string in(const LedgerPlan& plan, const char* name) {
  return (std::filesystem::path(plan.folder) / name).string();
}

// The ledger was last written early in the following year.
void stamp(const LedgerPlan& plan, const char* name) {
  stampTable(in(plan, name), plan.year + 1, 1, 5);
}

// Physical order of the chart: as created, with a few accounts opened later at the end.
std::vector<std::size_t> chartOrder() {
  std::vector<std::size_t> first, later;
  const auto& chart = chartOfAccounts();
  for (std::size_t i = 0; i < chart.size(); ++i) (i % 9 == 4 ? later : first).push_back(i);
  first.insert(first.end(), later.begin(), later.end());
  return first;
}

std::size_t writeChart(const LedgerPlan& plan, Random& random) {
  const auto& chart = chartOfAccounts();
  const store::OpenOptions exclusive{false, false, 2000};
  const std::uint8_t mark = charsetMark(plan.charset);
  Dbf mae = Dbf::create(in(plan, store::kLedgerChart),
                        {{"CODIGO", 'C', 20, 0},
                         {"APU_NOM", 'N', 5, 0},
                         {"APLICA", 'C', 1, 0},
                         {"MARCA", 'L', 1, 0},
                         {"POR_RET", 'N', 6, 2},
                         {"NIVEL", 'N', 2, 0},
                         {"NATURALEZA", 'C', 1, 0},
                         {"TERCERO", 'C', 1, 0},
                         {"CEN_COS", 'C', 1, 0},
                         {"FEC_CREA", 'D', 8, 0}},
                        exclusive, mark);
  Dbf nom = Dbf::create(in(plan, store::kLedgerNames),
                        {{"APU_NOM", 'N', 5, 0},
                         {"NOMBRE", 'C', 60, 0},
                         {"NOM_CORTO", 'C', 20, 0},
                         {"NOTAS", 'M', 10, 0}},
                        exclusive, mark);
  KeyBatch codes(21, KeyKind::Character), pointers(5, KeyKind::Character);
  // Name records are numbered apart from the chart's order and stored in reverse.
  std::vector<char> rec;
  for (std::size_t n = chart.size(); n-- > 0;) {
    const Account& a = chart[n];
    rec = nom.blankRecord();
    nom.setNumber(rec.data(), 0, static_cast<double>(3 * n + 7));
    nom.setText(rec.data(), 1, inCharset(plan.charset, a.name));
    nom.setText(rec.data(), 2, inCharset(plan.charset, std::string(a.name).substr(0, 20)));
    if (a.withholding != 0)
      nom.setMemo(rec.data(), 3,
                  inCharset(plan.charset, "Tarifa de retenci\363n vigente para el a\361o."));
    char key[24];
    std::snprintf(key, sizeof key, "%5zu", 3 * n + 7);
    pointers.add(key, nom.append(rec.data()));
  }
  for (std::size_t n : chartOrder()) {
    const Account& a = chart[n];
    const std::string code = a.code;
    rec = mae.blankRecord();
    mae.setText(rec.data(), 0, code);
    mae.setNumber(rec.data(), 1, static_cast<double>(3 * n + 7));
    mae.setText(rec.data(), 2, a.aplica);
    mae.setLogical(rec.data(), 3, code.back() == '.');
    mae.setNumber(rec.data(), 4, a.withholding);
    mae.setNumber(rec.data(), 5,
                  static_cast<double>(std::count(code.begin(), code.end(), '.') +
                                      (code.back() == '.' ? 0 : 1)));
    mae.setText(rec.data(), 6, code[0] == '1' || code[0] >= '5' ? "D" : "C");
    mae.setText(rec.data(), 7, code.back() == '.' ? "N" : "S");
    mae.setText(rec.data(), 8, code[0] >= '5' ? "S" : "N");
    mae.setDate(rec.data(), 9,
                store::julianDay(plan.year - 1 - static_cast<int>(random.below(8)),
                                 1 + static_cast<int>(random.below(12)), 1));
    codes.add(" " + code, mae.append(rec.data()));
  }
  mae.close();
  nom.close();
  Cdx::create(in(plan, store::kLedgerChartIndex))
      .buildTag({"CUENTA", "\" \"+CODIGO", "", 21, KeyKind::Character}, codes);
  Cdx::create(in(plan, store::kLedgerNamesIndex))
      .buildTag({"APU_NOM", "Str(APU_NOM,5,0)", "", 5, KeyKind::Character}, pointers);
  stamp(plan, store::kLedgerChart);
  stamp(plan, store::kLedgerNames);
  return chart.size();
}

void writeDirectory(const LedgerPlan& plan, const std::vector<ThirdParty>& directory,
                    Random& random) {
  Dbf dir = Dbf::create(in(plan, store::kLedgerDirectory),
                        {{"CLAVE", 'C', 5, 0},
                         {"NOMBRE", 'C', 60, 0},
                         {"ESTR_NOMB", 'C', 4, 0},
                         {"TP_P", 'C', 1, 0},
                         {"TP_N", 'C', 2, 0},
                         {"DIREC1", 'C', 40, 0},
                         {"DIREC2", 'C', 40, 0},
                         {"DIREC3", 'C', 40, 0},
                         {"DIREC4", 'C', 20, 0},
                         {"C_DPTO", 'C', 2, 0},
                         {"C_MNCP", 'C', 3, 0},
                         {"PAIS", 'C', 4, 0},
                         {"E_MAIL", 'C', 40, 0},
                         {"FEC_ING", 'D', 8, 0},
                         {"OBSERVA", 'M', 10, 0}},
                        {false, false, 2000}, charsetMark(plan.charset));
  // Stored in the order the ledger's users typed them in: shuffled against the keys.
  std::vector<std::size_t> order(directory.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  for (std::size_t i = order.size(); i > 1; --i)
    std::swap(order[i - 1], order[random.below(static_cast<std::uint32_t>(i))]);
  KeyBatch keys(5, KeyKind::Character), names(60, KeyKind::MachineCharacter);
  for (std::size_t i : order) {
    const ThirdParty& t = directory[i];
    std::vector<char> rec = dir.blankRecord();
    char* r = rec.data();
    const std::string name = inCharset(plan.charset, t.name);
    dir.setText(r, 0, t.key);
    dir.setText(r, 1, name);
    dir.setText(r, 2, t.structure);
    dir.setText(r, 3, t.personType);
    dir.setText(r, 4, t.documentType);
    dir.setText(r, 5, t.address);
    dir.setText(r, 6, t.phone);
    dir.setText(r, 7, inCharset(plan.charset, t.city));
    dir.setText(r, 8, t.identification);
    dir.setText(r, 9, t.department);
    dir.setText(r, 10, t.municipality);
    dir.setText(r, 11, t.country);
    dir.setText(r, 12, t.email);
    dir.setDate(r, 13,
                store::julianDay(plan.year - static_cast<int>(random.below(6)),
                                 1 + static_cast<int>(random.below(12)), 15));
    if (!t.note.empty()) dir.setMemo(r, 14, t.note);
    const std::uint32_t recno = dir.append(r);
    keys.add(t.key, recno);
    names.add(name, recno);
  }
  dir.close();
  Cdx cdx = Cdx::create(in(plan, store::kLedgerDirectoryIndex));
  cdx.buildTag({"CLAVE", "CLAVE", "", 5, KeyKind::Character}, keys);
  cdx.buildTag({"NOMBRE", "NOMBRE", "", 60, KeyKind::MachineCharacter}, names);
  stamp(plan, store::kLedgerDirectory);
}

}  // namespace

std::uint8_t charsetMark(LedgerCharset charset) {
  switch (charset) {
    case LedgerCharset::Oem850: return store::kOem850Mark;
    case LedgerCharset::WindowsAnsi: return store::kWindowsAnsiMark;
    case LedgerCharset::Unmarked: return 0;
  }
  return 0;
}

std::string inCharset(LedgerCharset charset, std::string_view ansi) {
  return charset == LedgerCharset::WindowsAnsi ? std::string(ansi) : ansiToOem(ansi);
}

LedgerSummary writeLedger(const LedgerPlan& plan) {
  std::filesystem::create_directories(plan.folder);
  Random random(plan.seed);
  LedgerSummary s;
  s.accounts = writeChart(plan, random);
  const std::size_t parties =
      static_cast<std::size_t>(std::clamp<std::uint64_t>(plan.lines / 60, 120, 20000));
  const std::vector<ThirdParty> directory = makeDirectory(random, parties);
  writeDirectory(plan, directory, random);
  s.thirdParties = directory.size();
  s.linesByPeriod = writeMovements(plan, directory, random);
  return s;
}

}  // namespace exo::demo
