// CREATABLAS: the reference tables opened for the whole run under their aliases, their missing
// index files built, and the lists of format names and departments.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "expr/Text.h"
#include "store/Engine.h"
#include "store/File.h"
#include "store/Leftovers.h"
#include "store/RefTables.h"

namespace exo::store {
namespace {

std::string inFolder(const std::string& folder, const char* name) {
  return folder.empty() ? std::string(name) : (std::filesystem::path(folder) / name).string();
}

bool exists(const std::string& path) {
  return !findCompanion(path, path.substr(path.find_last_of('.'))).empty();
}

// Whether this process may write the table file: a program folder that cannot be written (a
// read-only installation or share) still serves the reference tables, opened read only.
bool writable(const std::string& path) {
  const std::string found = findCompanion(path, path.substr(path.find_last_of('.')));
#ifdef _WIN32
  return ::_access(found.c_str(), 2) == 0;
#else
  return ::access(found.c_str(), W_OK) == 0;
#endif
}

int openReference(Engine& e, const std::string& path, const char* alias) {
  return e.open(path, alias, true, !writable(path));
}

// True when each of `tags` is an order of the area.
bool hasTags(const Engine& e, int area,
             std::initializer_list<std::pair<const char*, const char*>> tags) {
  const std::vector<OrderInfo> orders = e.orders(area);
  for (const auto& entry : tags) {
    const std::string wanted = upperName(entry.first);
    const bool found = std::any_of(orders.begin(), orders.end(),
                                   [&](const OrderInfo& o) { return upperName(o.tag) == wanted; });
    if (!found) return false;
  }
  return true;
}

// Opens `table` under `alias` with its index file, and makes `order` active. An index file that
// is missing or lacks one of `tags` (a start that ended while it built them) is built whole
// beside its place under a staged name and put in place in one step, so that no start ever
// finds it half made. 0 when the open failed and the error handler let it go.
int openIndexed(Engine& e, const std::string& folder, const char* table, const char* alias,
                const char* index, std::initializer_list<std::pair<const char*, const char*>> tags,
                const char* order) {
  const std::string tablePath = inFolder(folder, table);
  int area = openReference(e, tablePath, alias);
  if (area == 0) return 0;
  const std::string indexPath = inFolder(folder, index);
  if (exists(indexPath)) e.addIndex(area, index);
  if (tags.size() > 0 && !hasTags(e, area, tags) && writable(tablePath)) {
    e.close(e.interp(), area);
    const std::string staged = inFolder(folder, stagedName(index).c_str());
    std::remove(staged.c_str());
    const int building = openReference(e, tablePath, alias);
    if (building == 0) return 0;
    for (const auto& [tag, key] : tags) e.buildIndex(building, staged, tag, key, "!Deleted()");
    e.close(e.interp(), building);
    const std::string target =
        exists(indexPath) ? findCompanion(indexPath, indexPath.substr(indexPath.find_last_of('.')))
                          : indexPath;
    replaceFile(staged, target);
    area = openReference(e, tablePath, alias);
    if (area == 0) return 0;
    e.addIndex(area, index);
  }
  e.setOrder(area, order);
  return area;
}

// The values of one field over the area's visible records in its order, then back to the top.
void collect(Engine& e, int area, const char* field, ArrayData& into) {
  e.forEach(area, [&] {
    into.items.push_back(Value::text(e.text(area, field)));
    return true;
  });
  e.goTop(e.interp(), area);
}

}  // namespace

void openReferenceTables(Engine& e, const std::string& folder) {
  Memvars& vars = e.interp().memvars();
  Value departments = Value::newArray();
  vars.declarePublic("ADEPTOS", departments);

  const std::string formatos = inFolder(folder, kFormatosFile);
  if (!exists(formatos)) e.createTable(formatos, formatosFields());
  if (openReference(e, formatos, "Formatos") == 0) return;
  const int formatos2 = openReference(e, formatos, "Formatos2");
  if (formatos2 == 0) return;
  Value names = Value::newArray();
  collect(e, formatos2, "DETALLE", names.arrayData());
  vars.declarePublic("ANAMEFORMS", names);

  const std::string concepts = inFolder(folder, kConceptsFile);
  if (!exists(concepts)) e.createTable(concepts, conceptsFields());
  const int first = openIndexed(e, folder, kConceptsFile, "Conceptos", kConceptsIndex,
                                {{"FormConc", "FORMATO+CONCEPTO"}}, "FormConc");
  if (first == 0) return;
  e.close(e.interp(), first);
  for (const char* alias : {"Conceptos", "Conceptos3", "Conceptos2"}) {
    if (openIndexed(e, folder, kConceptsFile, alias, kConceptsIndex, {}, "FormConc") == 0) return;
  }

  const int deptos = openIndexed(e, folder, kDepartmentsFile, "Deptos", kDepartmentsIndex,
                                 {{"Depto", "DEPARTAMEN"}, {"CodDepto", "COD_DP"}}, "Depto");
  if (deptos == 0) return;
  departments.arrayData().items.push_back(Value::text(kAllDepartments));
  collect(e, deptos, "DEPARTAMEN", departments.arrayData());

  if (openIndexed(e, folder, kMunicipalitiesFile, "Municipios", kMunicipalitiesIndex,
                  {{"DptoNunic", "DEPARTAMEN+MUNICIPIO"}}, "DptoNunic") == 0)
    return;
  openIndexed(e, folder, kCountriesFile, "Paises", kCountriesIndex,
              {{"Codigo", "CODIGO"}, {"Pais", "PAIS"}}, "Pais");
}

void CREATABLAS(Engine& engine) { openReferenceTables(engine, {}); }

}  // namespace exo::store
