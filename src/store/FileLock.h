// Locks that let several programs share the same tables: byte-range locks on virtual bytes far
// beyond the data (record, whole-file and append locks at the offsets FoxPro-family programs
// use) and shared/exclusive "open" locks that stand in for the sharing modes of an open.
//
// Byte-range locks belong to the open file (not to the process), like Windows locks: two
// opens of the same table in one process exclude each other, and closing one open releases
// only its own locks. Locks are advisory; only cooperating programs see them.
#pragma once

#include <cstdint>
#include <string>

namespace exo::store {

enum class LockKind { Shared, Exclusive };

// Tries once to lock `length` bytes at `offset` of the open file `fd`. Returns false when
// another open file holds a conflicting lock; throws FailureError on any other error.
bool tryLockRange(int fd, std::uint64_t offset, std::uint64_t length, LockKind kind);
// Retries tryLockRange every few milliseconds for up to `timeoutMs` (0 = one try).
bool lockRangeWaiting(int fd, std::uint64_t offset, std::uint64_t length, LockKind kind,
                      int timeoutMs);
// Releases exactly the range that was locked.
void unlockRange(int fd, std::uint64_t offset, std::uint64_t length);

// Shared or exclusive open lock on the whole file (what a shared or exclusive open takes).
// Returns false when another open holds a conflicting one.
bool tryLockOpen(int fd, LockKind kind);

// A file held by name the way an exclusive open holds it, for as long as the object lives: no
// cooperating program, and no other open of this one, can open the file meanwhile (a table open
// of another program fails with its "in use" failure). Used to take a table before it is built
// anew and renamed over (the hold outlives the rename, so nobody writes into the replaced file),
// and for the lock file of a company folder. Move-only; released on destruction.
class FileHold {
 public:
  enum class Status { Held, InUse, Missing };

  FileHold() = default;
  ~FileHold() { release(); }
  FileHold(FileHold&& other) noexcept;
  FileHold& operator=(FileHold&& other) noexcept;
  FileHold(const FileHold&) = delete;
  FileHold& operator=(const FileHold&) = delete;

  // Takes `path`, retrying for up to `waitMs` milliseconds while another open holds it. With
  // `create`, a missing file is created empty first (never truncated); without it a missing
  // file is Status::Missing. Any other failure of the system throws FailureError naming the
  // file. A file that another program replaced (renamed over) while it was being taken is
  // taken again under its new identity.
  Status take(const std::string& path, bool create, int waitMs = 0);
  bool held() const { return m_handle != kNone; }
  const std::string& path() const { return m_path; }
  void release();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t m_handle = kNone;  // descriptor (POSIX) or HANDLE (Windows)
  std::string m_path;
};

// Lock offsets of a table. Tables whose header announces a structural index (flag 0x01) use
// the "new" layout (bytes counted down from 0x7FFFFFFE); all others the "old" one (0x40000000
// plus the record's file offset). Both are what FoxPro-family programs use for such tables.
struct TableLockLayout {
  bool newStyle = false;
  std::uint32_t headerLength = 0;
  std::uint32_t recordLength = 0;

  std::uint64_t recordByte(std::uint32_t recno) const;
  std::uint64_t appendByte() const;
  std::uint64_t fileRangeStart() const;
  std::uint64_t fileRangeLength() const;
};

// Byte locked in an index file while it is changed (exclusive) or read (shared).
inline constexpr std::uint64_t kIndexLockByte = 0x7FFFFFFE;
// Byte locked in a memo file while blocks are allocated.
inline constexpr std::uint64_t kMemoLockByte = 0;

}  // namespace exo::store
