// The search of the third-party picker over the directory copy: the button's search from the
// top, and F3's search for the next match with its wrap to the top.
#include "consolidation/BasesSupport.h"
#include "consolidation/ManualData.h"
#include "expr/Text.h"
#include "shell/Session.h"
#include "store/Engine.h"

namespace exo::consolidation {

namespace {

constexpr std::int64_t kMostRowsAhead = 1000000;

const char* fieldName(SearchField field) {
  switch (field) {
    case SearchField::Code: return "CLAVE";
    case SearchField::Name: return "NOMBRE";
    case SearchField::Nit: return "DIREC4";
  }
  return "CLAVE";
}

// The field as the picker shows it (names in the Windows character set).
std::string shown(store::Engine& engine, int area, SearchField field) {
  return field == SearchField::Name ? engine.ledgerText(area, fieldName(field))
                                    : engine.text(area, fieldName(field));
}

}  // namespace

bool BUSCATERCERO(store::Engine& engine, int direcArea, SearchField field, std::string_view text) {
  Interp& ip = engine.interp();
  const std::string wanted(trimBlanks(text));
  const std::int64_t start = engine.recNo(direcArea);
  bool found = false;
  engine.forEach(direcArea, [&] {
    found = shown(engine, direcArea, field).find(wanted) != std::string::npos;
    return !found;
  });
  if (!found) engine.goTo(ip, direcArea, start);
  return found;
}

bool BUSCASIG3O(shell::Session& session, store::Engine& engine, int direcArea, SearchField field,
                std::string_view text) {
  Interp& ip = engine.interp();
  const std::string wanted = upper1252(trimBlanks(text));
  if (wanted.empty()) return false;
  const std::int64_t start = engine.recNo(direcArea);
  auto matches = [&] {
    return upper1252(shown(engine, direcArea, field)).find(wanted) != std::string::npos;
  };
  engine.skip(ip, direcArea, 1);
  for (std::int64_t n = 0; n < kMostRowsAhead && !engine.eof(direcArea); ++n) {
    if (matches()) return true;
    engine.skip(ip, direcArea, 1);
  }
  bool found = false;
  engine.forEach(direcArea, [&] {
    found = matches();
    return !found;
  });
  if (found) return true;
  engine.goTo(ip, direcArea, start);
  const std::vector<std::string> buttons = {std::string(kYes), std::string(kNo)};
  const int answer =
      session.ui().ask(kAttention,
                       "Norvasta termin\363 de buscar la cadena \"" +
                           std::string(trimBlanks(text)) + "\".\r\nDesea regrezar al inicio ?",
                       buttons, 0);
  if (answer == 0) engine.goTop(ip, direcArea);
  return false;
}

}  // namespace exo::consolidation
