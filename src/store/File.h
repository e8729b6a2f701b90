// An open file of the table engine (table, memo or index): positioned reads and writes that
// either complete or throw a FailureError naming the file; with the file-name helpers below, the
// store's port to the system's files (the shell writes its own files through it too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace exo::store {

class MemoryFile;

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file. Fails with GenCode::Open (osCode from the system). On Windows an
  // exclusive open lets no other open read or write the file (its sharing mode); elsewhere the
  // caller takes tryLockOpen() for that.
  static File open(const std::string& path, bool writable, bool exclusive = false);
  // Creates (or truncates) a file for reading and writing. Fails with GenCode::Create.
  static File create(const std::string& path);

  bool isOpen() const { return m_fd >= 0; }
  // The descriptor the locks take (for a memory file, the number that stands for one).
  int fd() const { return m_fd; }
  const std::string& path() const { return m_path; }

  // Reads exactly n bytes at offset; a short read is a damaged (truncated) file.
  void readAt(std::uint64_t offset, void* buf, std::size_t n) const;
  // Reads up to n bytes at offset; returns the number read (0 at end of file).
  std::size_t readSome(std::uint64_t offset, void* buf, std::size_t n) const;
  // Writes all n bytes at offset. Fails with GenCode::Write.
  void writeAt(std::uint64_t offset, const void* buf, std::size_t n);
  std::uint64_t size() const;
  // The n bytes at offset where they lie, when the file is a memory file and holds them all
  // (valid until the file next changes); null otherwise, and the bytes are read with readAt.
  const char* inPlace(std::uint64_t offset, std::size_t n) const;
  void truncate(std::uint64_t length);
  // Flushes written data to the device.
  void sync();
  // Flushes written data (and the size, when it grew) to the device, without other metadata.
  void syncData();
  void close();

 private:
  friend class FileView;
  int m_fd = -1;
  std::string m_path;
  std::shared_ptr<MemoryFile> m_memory;  // a memory file (store/MemoryFiles.h): no descriptor
};

// A read-only view of the first bytes of an open file, shared with the file's writes (what is
// written through the file is seen in the view). Move-only; unmapped on destruction.
class FileView {
 public:
  FileView() = default;
  ~FileView() { reset(); }
  FileView(FileView&& other) noexcept;
  FileView& operator=(FileView&& other) noexcept;
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;

  // Maps `length` bytes of `file`; false (and no view) when the system refuses. `prefault`
  // reads the pages in at once (for views read in random order).
  bool map(const File& file, std::uint64_t length, bool prefault = false);
  void reset();
  const char* data() const { return m_data; }
  std::uint64_t size() const { return m_size; }

 private:
  const char* m_data = nullptr;
  std::uint64_t m_size = 0;
  // The memory file whose bytes are read where they lie (nothing mapped), kept while viewed.
  std::shared_ptr<MemoryFile> m_memory;
};

// The companion file of `basePath` with extension `ext` (".fpt", ".cdx"), found whatever the
// letter case of its name; empty when there is none.
std::string findCompanion(const std::string& basePath, std::string_view ext);
// The characters that end a folder name in a native path: '/' on Linux, '\\' and '/' on Windows.
extern const char* const kPathSeparators;

// `basePath` with its extension replaced by `ext` (keeps the directory).
std::string replaceExtension(const std::string& basePath, std::string_view ext);
// A temporary name beside `path` for writing a whole new file before renaming it into place.
std::string siblingTempName(const std::string& path);
// Replaces `target` by `source` in one step, as the system's atomic rename does: `source` is
// synced first, then renamed over `target` (never "old aside, new in"), then the folder is synced
// so that the rename itself survives a loss of power. A reader sees the old file or the new one,
// nothing in between. Fails with GenCode::Write.
void replaceFile(const std::string& source, const std::string& target);
// Writes a whole new file: beside `path` under a temporary name, synced, renamed into place. A
// failure leaves `path` as it was and no temporary file behind.
void writeWholeFile(const std::string& path, std::string_view bytes);
// Creates `path` with its first bytes (a table's header): written beside under a temporary name
// and renamed into place, so that the file never appears without them whenever the process ends.
// Not synced: a new table guards against the process ending, as its records do. Memory files are
// written in place. Fails with GenCode::Create or GenCode::Write; no temporary file stays.
void createWholeFile(const std::string& path, std::string_view bytes);
// The system's own operations under the functions above, without the hook: 0 or the system's
// error code (errno; GetLastError() on Windows, where a file still open elsewhere is replaced
// too).
int systemSyncFile(const std::string& path);
int systemRename(const std::string& source, const std::string& target);
int systemErase(const std::string& path);
int systemSyncFolder(const std::string& folder);
#ifdef _WIN32
// The system's wide-character name of a narrow path: UTF-8, or the ANSI code page for bytes that
// are not UTF-8.
std::wstring widePath(const std::string& path);
// This process's exclusive handles (the exclusive opens of File, the holds of FileHold), noted
// while they are open. A plain open of this process (File::open, not exclusive) of a file one of
// them holds gets a duplicate of it, as a plain POSIX open passes this process's own open locks;
// a table or index open on such a descriptor is refused as in use (tryLockOpen).
void noteExclusiveHandle(void* handle, bool writable);
void forgetExclusiveHandle(void* handle);
bool isBorrowedDescriptor(int fd);
#endif
// Erases a file left behind by a failed operation, if it can (never fails).
void removeFileQuietly(const std::string& path) noexcept;
// Erases a file; one that does not exist is no failure. Fails with GenCode::Write (osCode from
// the system, operation "erase") when it stays.
void removeFile(const std::string& path);
// Syncs the entries of a folder (the renames and erasures done in it) where the system allows
// it; a system that cannot is no failure.
void syncFolder(const std::string& folder);
// A folder as a message names it: its whole path ("." tells the user nothing).
std::string wholeFolderName(const std::string& folder);

// Several files of one folder replaced together, all or nothing as seen by every later reader
// that first calls finishReplacements() on the folder. The steps are written to a record
// ("~Reemplazo.lst") that appears complete or not at all (written beside, synced, renamed in);
// the steps are then carried out in order and the record erased. A run stopped midway leaves
// the record, and finishReplacements() carries out what remains; a record that never became
// complete means that nothing was replaced, and it goes away with the staged files it names.
struct ReplaceStep {
  std::string staged;  // name of the new file in the folder; empty: erase `target`
  std::string target;  // name of the file replaced (or erased)
};
inline constexpr const char* kReplaceRecord = "~Reemplazo.lst";
void replaceTogether(const std::string& folder, const std::vector<ReplaceStep>& steps);
// Finishes (or drops) a replacement found interrupted in `folder`; true when there was one.
bool finishReplacements(const std::string& folder);

}  // namespace exo::store
