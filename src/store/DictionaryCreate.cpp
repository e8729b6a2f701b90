// Creating, indexing and opening the company tables through the engine, as the dictionary
// describes them.
#include <filesystem>

#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/File.h"

namespace exo::store {
namespace {

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : (std::filesystem::path(folder) / name).string();
}

// The file of that name in the folder whatever the case of its name on disk, or empty.
std::string existing(const std::string& folder, const std::string& name) {
  const std::string path = inFolder(folder, name);
  return findCompanion(path, path.substr(path.find_last_of('.')));
}

// Runs a step of the file layer whose failure must reach the interpreter's error handler.
template <typename F>
bool throughHandler(Engine& e, F&& step) {
  for (;;) {
    try {
      step();
      return true;
    } catch (const FailureError& error) {
      bool retry = false;
      e.interp().raise(error.failure(), &retry);
      if (!retry) return false;
    }
  }
}

}  // namespace

void createCompanyTable(Engine& e, const std::string& folder, std::string_view file,
                        const std::string& ledgerFolder, const std::string& source) {
  const TableDef& def = tableDef(file);
  // The old table's index files would describe records that no longer exist. When one cannot
  // be erased the table is not replaced either, so the old table and its indexes still agree.
  for (const IndexDef& index : def.indexes) {
    const std::string old = existing(folder, index.file);
    if (!old.empty() && !throughHandler(e, [&] { removeFile(old); })) return;
  }
  const std::string target = inFolder(folder, def.file);
  if (def.layout != Layout::ByteCopy) {
    std::vector<FieldDef> fields;
    if (!throughHandler(e, [&] { fields = tableFields(def, folder, ledgerFolder, source); }))
      return;
    e.createTable(target, fields);
    return;
  }
  const std::string from = def.sourceInLedger ? ledgerFolder : folder;
  const std::string name = source.empty() ? def.source : source;
  if (!throughHandler(e, [&] { Engine::copyFile(inFolder(from, name), target); })) return;
  for (const auto& pair : def.copies) {
    const std::string found = existing(from, pair.first);
    if (found.empty()) continue;
    const std::string to = inFolder(folder, pair.second);
    if (!throughHandler(e, [&] { Engine::copyFile(found, to); })) return;
  }
}

void buildCompanyIndexes(Engine& e, int area, const std::string& folder, std::string_view file) {
  for (const IndexDef& index : tableDef(file).indexes) {
    // The index file is built anew; when the old one cannot be erased, its tags are rebuilt in
    // it (those of other names are left as they are).
    const std::string old = existing(folder, index.file);
    if (!old.empty()) throughHandler(e, [&] { removeFile(old); });
    for (const TagDef& tag : index.tags)
      e.buildIndex(area, index.file, tag.name, tag.key, tag.forCondition);
  }
}

int openCompanyTable(Engine& e, const std::string& folder, std::string_view file,
                     const std::string& alias, bool shared) {
  const TableDef& def = tableDef(file);
  const int area = e.open(inFolder(folder, def.file), alias, shared);
  if (area == 0) return 0;
  for (const IndexDef& index : def.indexes)
    if (!existing(folder, index.file).empty()) e.addIndex(area, index.file);
  for (const auto& copy : def.copies) {
    const std::string& name = copy.second;
    if (name.size() > 4 && (name.ends_with(".CDX") || name.ends_with(".cdx")) &&
        !existing(folder, name).empty())
      e.addIndex(area, name);
  }
  return area;
}

}  // namespace exo::store
