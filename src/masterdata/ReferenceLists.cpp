// Display rules, choice lists and filters of the "General" pages.
#include "masterdata/ReferenceLists.h"

#include <array>
#include <cstdio>

#include "expr/Interp.h"
#include "expr/Memvars.h"
#include "expr/Text.h"
#include "expr/Value.h"
#include "store/Engine.h"

namespace exo::masterdata {

namespace {
// DIAN's annex number of each format, 1001 to 1012.
constexpr std::array<int, 12> kAnnexes = {2, 3, 4, 5, 7, 8, 6, 10, 9, 1, 11, 12};
}  // namespace

std::string natureDisplay(std::string_view tipo) {
  if (tipo.empty()) return "S";
  switch (tipo.front()) {
    case '1': return "D";
    case '2': return "C";
    case '3': return "D-C";
    case '4': return "C-D";
    default: return "S";
  }
}

std::string formatCaption(int number) {
  char text[40];
  std::snprintf(text, sizeof text, "Formato %d   (Anexo %02d)", 1000 + number,
                kAnnexes.at(static_cast<std::size_t>(number) - 1));
  return text;
}

std::string formatDetail(store::Engine& engine, std::string_view code) {
  int area = engine.areaOf("Formatos2");
  if (area == 0) area = engine.areaOf("Formatos");
  if (area == 0) return {};
  std::string detail;
  const std::int64_t recno = engine.recNo(area);
  engine.forEach(area, [&] {
    if (trimBlanks(engine.text(area, "FORMATO")) != code) return true;
    detail = std::string(trimBlanks(engine.text(area, "DETALLE")));
    return false;
  });
  engine.goTo(engine.interp(), area, recno);
  return detail;
}

std::string conceptDetail(std::string_view detail, std::string_view formatDetail) {
  const std::string_view own = trimBlanks(detail);
  if (own.find("(registro t\351cnico") != std::string_view::npos &&
      !trimBlanks(formatDetail).empty())
    return std::string(trimBlanks(formatDetail));
  return std::string(own);
}

std::string conceptDetailAt(store::Engine& engine, int area) {
  const std::string detail = engine.text(area, "DETALLE");
  // The formats table is looked at only for the technical rows.
  if (detail.find("(registro t\351cnico") == std::string::npos)
    return std::string(trimBlanks(detail));
  return conceptDetail(detail, formatDetail(engine, trimBlanks(engine.text(area, "FORMATO"))));
}

std::vector<std::string> formatFilterChoices() {
  std::vector<std::string> out{"Todos los formatos....."};
  for (int n = 1; n <= 12; ++n) out.push_back(formatCaption(n));
  return out;
}

const std::vector<DocumentType>& documentTypes() {
  static const std::vector<DocumentType> types = {
      {"11", "Registro civil de nacimiento"},
      {"12", "Tarjeta de identidad"},
      {"13", "C\351dula de ciudadan\355a"},
      {"21", "Tarjeta de extranjer\355a"},
      {"22", "C\351dula de extranjer\355a"},
      {"31", "NIT"},
      {"41", "Pasaporte"},
      {"42", "Tipo de documento extranjero"},
      {"43", "Sin identificaci\363n del exterior o para uso definido por la DIAN"},
  };
  return types;
}

std::int64_t limitOrder(store::Engine& engine, int area, std::string_view prefix) {
  Interp& ip = engine.interp();
  const Value bound = prefix.empty() ? Value() : Value::text(std::string(prefix));
  engine.orderScope(ip, area, 0, bound);
  engine.orderScope(ip, area, 1, bound);
  engine.goTop(ip, area);
  const std::int64_t n = engine.keyCount(ip, area);
  return n < 0 ? 0 : n;
}

std::int64_t filterConcepts(store::Engine& engine, int area, int choice) {
  if (choice < 2 || choice > 13) return limitOrder(engine, area, {});
  return limitOrder(engine, area, std::to_string(1000 + (choice - 1)));
}

std::vector<std::string> departmentChoices(Interp& ip) {
  std::vector<std::string> out;
  if (Memvars::Slot* s = ip.memvars().find("ADEPTOS"); s != nullptr && s->value().isArray()) {
    for (const Value& v : s->value().arrayData().items)
      out.push_back(v.isText() ? std::string(v.textView()) : std::string());
  }
  return out;
}

std::int64_t FILTRADPTOS(store::Engine& engine, int area, int choice) {
  const std::vector<std::string> choices = departmentChoices(engine.interp());
  if (choice < 2 || choice > static_cast<int>(choices.size())) return limitOrder(engine, area, {});
  return limitOrder(engine, area, choices[static_cast<std::size_t>(choice) - 1]);
}

}  // namespace exo::masterdata
