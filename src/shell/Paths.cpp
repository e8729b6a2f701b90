// Stored paths to native paths, and case-insensitive lookup of existing files.
#include "shell/Paths.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>

#include <cstdlib>
#include <system_error>
#include <vector>

#include "expr/Codepage.h"
#include "expr/Failure.h"
#include "expr/Text.h"
#include "shell/ShellFailure.h"
#include "store/StoreFailure.h"

namespace exo::shell {
namespace fs = std::filesystem;

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || isSeparator(path[i])) {
      const std::string_view part = path.substr(start, i - start);
      if (!part.empty() && part != ".") parts.push_back(part);
      start = i + 1;
    }
  }
  return parts;
}

[[noreturn]] void rejectPath(std::string_view path) {
  throw FailureError(
      shellFailure(GenCode::Open, "Ruta no permitida (sale de su carpeta)", std::string(path)));
}

}  // namespace

Folders Folders::fromEnvironment() {
  Folders f;
  std::error_code ec;
  f.program = fs::current_path(ec);
  if (ec) f.program = ".";
  const char* drive = std::getenv("EXOGENA_DRIVE");
  f.drive = drive != nullptr && *drive != '\0' ? fs::path(drive) : fs::path("/");
  return f;
}

bool isPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (isSeparator(c) || c == ':' || c == '\0') return false;
  }
  return true;
}

bool isSafeRelativePath(std::string_view path) {
  if (path.empty() || isSeparator(path.front())) return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\') continue;
    const bool last = i == path.size();
    const std::string_view part = path.substr(start, i - start);
    // Only the final component may be empty (the path ends with a backslash).
    if (!(part.empty() && last && i > 0) && !isPlainName(part)) return false;
    start = i + 1;
  }
  return true;
}

std::optional<fs::path> findEntry(const fs::path& dir, std::string_view name) {
  const std::string wanted = toUtf8(name);
  std::error_code ec;
  const fs::path exact = dir / wanted;
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string onDisk = it->path().filename().string();
    if (::strcasecmp(onDisk.c_str(), wanted.c_str()) == 0) return it->path();
  }
  return std::nullopt;
}

fs::path nativePath(const Folders& folders, std::string_view storedPath) {
  std::string_view rest = storedPath;
  if (rest.size() >= 2 && rest[1] == ':') rejectPath(storedPath);
  fs::path out = !rest.empty() && isSeparator(rest.front()) ? folders.drive : folders.program;
  for (std::string_view part : components(rest)) {
    if (!isPlainName(part)) rejectPath(storedPath);
    const std::optional<fs::path> found = findEntry(out, part);
    out = found ? *found : out / toUtf8(part);
  }
  return out;
}

fs::path entryPath(const fs::path& dir, std::string_view name) {
  if (!isPlainName(name)) rejectPath(name);
  const std::optional<fs::path> found = findEntry(dir, name);
  return found ? *found : dir / toUtf8(name);
}

bool fileExists(const Folders& folders, std::string_view storedPath) {
  std::error_code ec;
  return fs::is_regular_file(nativePath(folders, storedPath), ec);
}

std::string companyFolderName(std::string_view celPath) {
  const std::string_view path = trimBlanks(celPath);
  const std::size_t first = path.find('\\');
  if (first == std::string_view::npos) return std::string(path);
  const std::size_t second = path.find('\\', first + 1);
  return std::string(path.substr(
      first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1));
}

std::string twoDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string fileErrorText(const std::error_code& ec) {
  if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
    const int os = store::osCodeFromErrno(ec.value());
    if (store::isDiskFull(os)) return store::kDiskFullText;
    switch (ec.value()) {
      case ENOENT: return "El archivo o la carpeta no existe";
      case EACCES:
      case EPERM: return "Acceso denegado";
      case EROFS: return "El disco es de s\363lo lectura";
      case EIO: return "Error de entrada/salida del disco";
      default: break;
    }
  }
  return ec.message();
}

}  // namespace exo::shell
