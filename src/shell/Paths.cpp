// Stored paths to native paths, and case-insensitive lookup of existing files.
#include "shell/Paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
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

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Names compared without regard to ASCII letter case (accented letters must match exactly).
bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
  }
  return true;
}

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

fs::path spelledAsOnDisk(const fs::path& existing);

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
  if (drive != nullptr && *drive != '\0') {
    f.drive = fs::path(drive);
  } else {
    f.drive = f.program.root_path();
    if (f.drive.empty()) f.drive = fs::current_path(ec).root_path();
    if (f.drive.empty()) f.drive = fs::path("/");
  }
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
  std::error_code ec;
  const fs::path exact = dir / pathFromText(name);
  if (fs::exists(fs::symlink_status(exact, ec))) return spelledAsOnDisk(exact);
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (sameName(textOfPath(it->path().filename()), name)) return it->path();
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
    out = found ? *found : out / pathFromText(part);
  }
  return out;
}

fs::path entryPath(const fs::path& dir, std::string_view name) {
  if (!isPlainName(name)) rejectPath(name);
  const std::optional<fs::path> found = findEntry(dir, name);
  return found ? *found : dir / pathFromText(name);
}

bool fileExists(const Folders& folders, std::string_view storedPath) {
  std::error_code ec;
  return fs::is_regular_file(nativePath(folders, storedPath), ec);
}

#ifdef _WIN32
// Windows: names go to the system as wide characters, converted from and to Windows-1252
// directly (whatever the process's ANSI code page is).
fs::path pathFromText(std::string_view text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return fs::path(wide);
}

std::string textOfPath(const fs::path& path) {
  const std::wstring& wide = path.native();
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    "?", nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, "?",
                      nullptr);
  return text;
}

bool isReadOnlyFile(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

unsigned processNumber() { return static_cast<unsigned>(GetCurrentProcessId()); }

namespace {

// Windows finds a name whatever its case; the entry keeps the spelling it has on disk.
fs::path spelledAsOnDisk(const fs::path& existing) {
  WIN32_FIND_DATAW found{};
  const HANDLE h = FindFirstFileW(existing.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return existing;
  FindClose(h);
  return existing.parent_path() / found.cFileName;
}
}  // namespace
#else
fs::path pathFromText(std::string_view text) { return fs::path(toUtf8(text)); }

std::string textOfPath(const fs::path& path) { return fromUtf8(path.string()); }

bool isReadOnlyFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), W_OK) != 0;
}

unsigned processNumber() { return static_cast<unsigned>(::getpid()); }

namespace {

// Linux names are exact: an entry found under a name has that spelling.
fs::path spelledAsOnDisk(const fs::path& existing) { return existing; }
}  // namespace
#endif

fs::path newTemporaryFile(std::string_view stem, std::string_view ext, const fs::path& folder) {
  static std::atomic<unsigned> counter{0};
  std::error_code ec;
  const fs::path dir = folder.empty() ? fs::temp_directory_path(ec) : folder;
  const auto tick =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; !ec && attempt < 100; ++attempt) {
    const std::string unique = std::to_string(processNumber()) + "_" + std::to_string(counter++) +
                               "_" + std::to_string(tick % 100000);
    const fs::path path = dir / pathFromText(std::string(stem) + unique + std::string(ext));
    // Opening in "x" mode creates the file only when no file of that name exists.
    if (std::FILE* f = std::fopen(path.string().c_str(), "wbx")) {
      std::fclose(f);
      return path;
    }
  }
  throw FailureError(
      shellFailure(GenCode::Create, "No se puede crear un archivo temporal", std::string(stem)));
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
