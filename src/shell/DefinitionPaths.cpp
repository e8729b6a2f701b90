// The folders a report definition may use and the user files it may only read.
#include "shell/DefinitionPaths.h"

#include <mutex>
#include <system_error>
#include <unordered_map>

#include "expr/Text.h"
#include "shell/Paths.h"
#include "store/Dictionary.h"
#include "store/RefTables.h"

namespace exo::shell {
namespace fs = std::filesystem;

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool namesParentFolder(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || isSeparator(path[i])) {
      if (path.substr(start, i - start) == "..") return true;
      start = i + 1;
    }
  }
  return false;
}

// Where a path really is: made absolute against the working folder (as the engine opens it),
// with the links of its existing part followed.
std::string realPlace(const fs::path& path) {
  std::error_code ec;
  fs::path p = path.is_absolute() ? path : fs::current_path(ec) / path;
  fs::path real = fs::weakly_canonical(p, ec);
  if (ec) real = p.lexically_normal();
  std::string s = real.generic_string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool inside(const std::string& place, const std::string& root) {
  if (root == "/") return true;
  return place == root ||
         (place.size() > root.size() && place.starts_with(root) && place[root.size()] == '/');
}

std::string upperStem(const std::string& upperName) {
  const std::size_t dot = upperName.rfind('.');
  return dot == std::string::npos ? upperName : upperName.substr(0, dot);
}

bool sameStem(const std::string& stem, const char* file) {
  return stem == upperStem(upper1252(file));
}

// The name as the users' file system reads it: Windows drops trailing dots and spaces and takes
// "name:stream" for a stream of "name" ("name::$DATA" is its very contents), so "CodCont.dbf."
// and "VarMem01.mem::$DATA" are the user's files under other spellings.
std::string nameAsOpened(const fs::path& name) {
  std::string s = upper1252(name.string());
  if (const std::size_t colon = s.find(':'); colon != std::string::npos) s.erase(colon);
  while (!s.empty() && (s.back() == '.' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace

bool isUserFile(const fs::path& path) {
  const std::string name = nameAsOpened(path.filename());
  if (name.empty()) return false;
  if (nameAsOpened(path.parent_path().filename()) == "FORMS") return true;
  const std::string stem = upperStem(name);
  const std::string ext = name.substr(stem.size());
  if (ext == ".MEM") return true;
  // The assignments, their index and the copies staged beside them ("~name", "~PID~name").
  std::string unstaged = stem;
  if (unstaged.starts_with("~")) {
    std::size_t digits = 1;
    while (digits < unstaged.size() && isDigit(unstaged[digits])) ++digits;
    unstaged.erase(
        0, digits > 1 && digits < unstaged.size() && unstaged[digits] == '~' ? digits + 1 : 1);
  }
  const std::string assignments = upperStem(upper1252(store::kAssignments));
  if (unstaged.starts_with(assignments)) return true;
  // "TrF" + format code + "B" and the index files of those tables ("y", "z").
  if (stem.size() >= 8 && stem.starts_with("TRF10") && isDigit(stem[5]) && isDigit(stem[6]) &&
      (stem[7] == 'B' || stem[7] == 'Y' || stem[7] == 'Z'))
    return true;
  for (const char* file :
       {store::kFormatosFile, store::kConceptsFile, store::kConceptsIndex, store::kDepartmentsFile,
        store::kDepartmentsIndex, store::kMunicipalitiesFile, store::kMunicipalitiesIndex,
        store::kCountriesFile, store::kCountriesIndex, "VRFuente"}) {
    if (sameStem(stem, file)) return true;
  }
  return false;
}

fs::path programTempFolder(bool make) {
  static fs::path folder;
  // Asked by the definitions of a run's workers from their own threads.
  static std::mutex guard;
  const std::lock_guard lock(guard);
  if (folder.empty() && make) {
    std::error_code ec;
    const fs::path system = fs::temp_directory_path(ec);
    for (unsigned attempt = 0; !ec && folder.empty() && attempt < 100; ++attempt) {
      const fs::path candidate =
          system / ("exogena-" + std::to_string(processNumber()) + "-" + std::to_string(attempt));
      // create_directory says false when the folder was already there: another run's.
      if (fs::create_directory(candidate, ec) && !ec) folder = candidate;
    }
  }
  return folder;
}

DefinitionPathPolicy::DefinitionPathPolicy(const std::vector<fs::path>& folders) {
  for (const fs::path& f : folders) {
    std::error_code ec;
    if (f.empty() || !fs::is_directory(f, ec)) continue;
    m_roots.push_back(realPlace(f));
  }
}

std::string DefinitionPathPolicy::placeOf(const fs::path& path) const {
  std::error_code ec;
  const fs::path p = path.is_absolute() ? path : fs::current_path(ec) / path;
  const fs::path name = p.filename();
  // A name that is not a link lies in its folder's real place: the folder, once followed, is
  // kept for the run (a definition reaches few folders and asks about them again and again).
  if (ec || name.empty() || name == "." || name == ".." ||
      fs::is_symlink(fs::symlink_status(p, ec)))
    return realPlace(p);
  const std::string folder = p.parent_path().string();
  auto kept = m_folders.find(folder);
  if (kept == m_folders.end()) {
    // Only a folder that exists is kept: one made later is followed then.
    if (!fs::is_directory(p.parent_path(), ec)) return realPlace(p);
    kept = m_folders.emplace(folder, realPlace(p.parent_path())).first;
  }
  const std::string& real = kept->second;
  return (real == "/" ? real : real + "/") + name.generic_string();
}

std::string DefinitionPathPolicy::refusal(std::string_view path, PathUse use) const {
  if (namesParentFolder(path)) return std::string(kParentFolderRefused);
  const std::string place = placeOf(fs::path(std::string(path)));
  bool allowed = false;
  for (const std::string& root : m_roots) allowed = allowed || inside(place, root);
  if (!allowed) {
    const fs::path temp = programTempFolder(false);
    allowed = !temp.empty() && inside(place, realPlace(temp));
  }
  if (!allowed) return std::string(kOutsideRefused);
  if (use == PathUse::Write && isUserFile(fs::path(place)))
    return std::string(kUserFileRefused) + fs::path(place).filename().string();
  return {};
}

namespace {
constexpr const char* kCompanyVariables[] = {"CELPATH",  "CEMPRESA", "CANIOINI", "CPATHORIGEN",
                                             "MVAR01",   "MVAR02",   "MVAR03",   "MVAR04",
                                             "VRMAEEXO", "VRMAEEXX", "CODCONTA", "CODCONTX",
                                             "VRDIREXO", "VRDIREXF", "VRDIREXX", "CDIRSALIDA"};
}  // namespace

KeptCompany::KeptCompany(Memvars& vars) : m_vars(vars) {
  for (const char* name : kCompanyVariables) {
    const Memvars::Slot* s = vars.find(name);
    if (s != nullptr && s->stack.front().level == 0)
      m_saved.emplace_back(name, s->stack.front().value);
  }
}

KeptCompany::~KeptCompany() {
  // Put back as the public value, whatever the definition did to it (assigned, released, or
  // hidden behind a private of the same name, which its own frame removes).
  for (auto& [name, value] : m_saved) m_vars.declarePublic(name, std::move(value));
}

}  // namespace exo::shell
