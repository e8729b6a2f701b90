// The holder records of formats 1010 and 1012.
#include "consolidation/Partners.h"

#include "expr/Text.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::consolidation {

TDatosSocios TDatosSocios::New(Interp& ip, int direcArea) {
  masterdata::DirectoryReader reader(ip);
  return New(reader.read(direcArea));
}

TDatosSocios TDatosSocios::New(const masterdata::DirectoryEntry& entry) {
  TDatosSocios t;
  // The name is the directory's own for the key the record stands on; a record without a key
  // has none, as a lookup of an empty key finds nothing.
  t.m_nombre = trimBlanks(entry.clave).empty() ? std::string(store::kNotRegistered)
                                               : std::string(trimRight(entry.nombre));
  t.m_nombre = padRight(t.m_nombre.substr(0, std::min<std::size_t>(t.m_nombre.size(), 40)), 40);
  t.build(entry);
  return t;
}

bool TDatosSocios::ValidaTodo() {
  const bool failed = validate();
  record().lError = failed;
  return failed;
}

TBaseSocios TBaseSocios::New(store::Engine& engine, int area, int formatNumber) {
  TBaseSocios b;
  const std::string code = store::formatCode(formatNumber);
  b.clave = engine.text(area, "CLAVE");
  b.tDoc = engine.text(area, "TDOC");
  b.nId = engine.text(area, "NID");
  b.dv = engine.text(area, "DV");
  b.apl1 = engine.text(area, "APL1");
  b.apl2 = engine.text(area, "APL2");
  b.nom1 = engine.text(area, "NOM1");
  b.nom2 = engine.text(area, "NOM2");
  b.raz = engine.text(area, "RAZ");
  if (code == "1010") {
    b.dir = engine.text(area, "DIR");
    b.dpto = engine.text(area, "DPTO");
    b.mncp = engine.text(area, "MUN");
  }
  b.pais = engine.text(area, "PAIS");
  if (code == "1012") {
    b.nSaldo = engine.number(area, "VAL");
    b.hasSaldo = true;
  }
  return b;
}

std::string fullName(std::string_view raz, std::string_view apl1, std::string_view apl2,
                     std::string_view nom1, std::string_view nom2) {
  std::string name(trimBlanks(raz));
  if (!name.empty()) return name;
  for (std::string_view part : {apl1, apl2, nom1, nom2}) {
    const std::string_view p = trimBlanks(part);
    if (p.empty()) continue;
    if (!name.empty()) name += ' ';
    name += p;
  }
  return name;
}

}  // namespace exo::consolidation
