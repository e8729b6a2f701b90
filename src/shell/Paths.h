// The program's folders and the paths of the session in their stored form.
//
// Session values keep paths as the rest of the system writes them: relative to the program
// folder ("NRVVS\EMPRESA1\VRMAEEXO.DBF") or, with a leading backslash, on the root of the
// current drive ("\NRVVS\VR.EXE"), with backslashes as separators. This module turns them into
// native paths. File and folder names are compared without regard to (ASCII) letter case: an
// existing entry is found whatever the case of its name on disk, a new one keeps the spelling
// given. Names that come from data files are checked with isPlainName() before they become part
// of a path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace exo::shell {

// The two folders every stored path is relative to.
struct Folders {
  std::filesystem::path program;  // the program folder: the working folder
  std::filesystem::path drive;    // the root of the current drive

  // The current working folder, and the folder named by EXOGENA_DRIVE, or when it is unset the
  // root of the working folder's drive ("C:\\" on Windows, "/" elsewhere).
  static Folders fromEnvironment();
};

// True when `name` is a single file or folder name: not empty, not "." or "..", and without
// path separators ('\\', '/'), drive colons or NUL bytes.
bool isPlainName(std::string_view name);

// True when `path` is relative (no leading backslash, no drive) and every component between
// backslashes is a plain name; a trailing backslash is allowed ("EMPRESA1\").
bool isSafeRelativePath(std::string_view path);

// The entry of `dir` whose name equals `name` without regard to letter case (the exact spelling
// first), or nothing when there is none.
std::optional<std::filesystem::path> findEntry(const std::filesystem::path& dir,
                                               std::string_view name);

// The native path of a stored path (Windows-1252 text). A leading backslash starts at the
// drive root, anything else at the program folder. Components are resolved one by one with
// findEntry(); missing ones keep the given spelling. Empty and "." components are skipped.
// Fails (FailureError, GenCode::Open) for a ".." component or a drive prefix, so that a path
// never leaves the folder it belongs in.
std::filesystem::path nativePath(const Folders& folders, std::string_view storedPath);

// The Spanish text of a system error met by a file operation (a full disk says "No hay espacio
// en el disco"; an error the program has no text for keeps the system's own).
std::string fileErrorText(const std::error_code& ec);

// The native path of `name` inside `dir`, found whatever its letter case.
// REQUIRES: isPlainName(name) (fails like nativePath() otherwise).
std::filesystem::path entryPath(const std::filesystem::path& dir, std::string_view name);

// True when the stored path names an existing file (not a folder).
bool fileExists(const Folders& folders, std::string_view storedPath);

// The company folder's own name in a stored company path: CELPATH between its first and second
// backslash ("NRVVS\ANDINA10\" gives "ANDINA10"); output file names begin with it.
std::string companyFolderName(std::string_view celPath);

// The native path of a text of the system (Windows-1252) naming a file or folder as it is,
// without looking for existing entries: UTF-8 names on Linux, wide-character names on Windows.
std::filesystem::path pathFromText(std::string_view text);
// The text of the system (Windows-1252) for a native path, for messages and stored values;
// characters it cannot write become '?'.
std::string textOfPath(const std::filesystem::path& path);

// A new empty file in `folder` (by default the system's temporary folder), its name `stem`, a
// part no other file there has, and `ext`. Fails (FailureError, GenCode::Create) when none can be
// made.
std::filesystem::path newTemporaryFile(std::string_view stem, std::string_view ext,
                                       const std::filesystem::path& folder = {});
// The number of the running process, as the system gives it.
unsigned processNumber();
// True when `path` names an existing file that may not be written (read-only attribute or
// permissions).
bool isReadOnlyFile(const std::filesystem::path& path);

// A format number or a month as two digits ("01"), as file names write them.
std::string twoDigits(int n);

}  // namespace exo::shell
