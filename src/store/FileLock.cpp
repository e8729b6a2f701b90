// Byte-range locks: open-file-description locks on Linux, LockFileEx on Windows.
#include "store/FileLock.h"

#include <cerrno>
#include <chrono>
#include <thread>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <utility>

#include "store/File.h"
#include "store/MemoryFiles.h"
#include "store/StoreFailure.h"

namespace exo::store {

#ifdef _WIN32
// Windows: the locks of a handle are what FoxPro-family programs see; sharing modes of the open
// replace the open locks of tryLockOpen.
bool tryLockRange(int fd, std::uint64_t offset, std::uint64_t length, LockKind kind) {
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
  if (kind == LockKind::Exclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
  if (LockFileEx(h, flags, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov))
    return true;
  const DWORD err = GetLastError();
  if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING) return false;
  raise(GenCode::Lock, "Error al bloquear", {}, osCodeFromSystemError(err));
}

void unlockRange(int fd, std::uint64_t offset, std::uint64_t length) {
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  UnlockFileEx(h, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov);
}

// A descriptor borrowed from this process's own hold or exclusive open (File::open) is in use,
// as the open lock of the holder refuses it on POSIX.
bool tryLockOpen(int fd, LockKind) { return !isBorrowedDescriptor(fd); }
#else
namespace {

bool setOfdLock(int fd, short type, std::uint64_t offset, std::uint64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;  // required by open-file-description locks
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
  if (errno == EACCES || errno == EAGAIN) return false;
  const int err = errno;
  raise(GenCode::Lock, "Error al bloquear", {}, osCodeFromErrno(err), "fcntl");
}

}  // namespace

bool tryLockRange(int fd, std::uint64_t offset, std::uint64_t length, LockKind kind) {
  if (isMemoryDescriptor(fd))
    return memoryLockRange(fd, offset, length, kind == LockKind::Exclusive);
  return setOfdLock(fd, kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK, offset, length);
}

void unlockRange(int fd, std::uint64_t offset, std::uint64_t length) {
  if (isMemoryDescriptor(fd)) return memoryUnlockRange(fd, offset, length);
  setOfdLock(fd, F_UNLCK, offset, length);
}

bool tryLockOpen(int fd, LockKind kind) {
  if (isMemoryDescriptor(fd)) return memoryLockOpen(fd, kind == LockKind::Exclusive);
  const int op = (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  while (::flock(fd, op) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return false;
    const int err = errno;
    raise(GenCode::Open, "Error al bloquear", {}, osCodeFromErrno(err), "flock");
  }
  return true;
}
#endif

FileHold::FileHold(FileHold&& other) noexcept
    : m_handle(std::exchange(other.m_handle, kNone)), m_path(std::move(other.m_path)) {}

FileHold& FileHold::operator=(FileHold&& other) noexcept {
  if (this != &other) {
    release();
    m_handle = std::exchange(other.m_handle, kNone);
    m_path = std::move(other.m_path);
  }
  return *this;
}

#ifdef _WIN32
// Windows: an open without sharing is the exclusive open itself; a file that is open cannot be
// renamed over, so the identity check of the POSIX version is not needed.
FileHold::Status FileHold::take(const std::string& path, bool create, int waitMs) {
  release();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    // Shared with nobody but deletion, as an exclusive open of a table: no other open reads or
    // writes the file meanwhile, and this program can still rename a successor over it. The name
    // is read as the file layer reads it (UTF-8), so accented names lead to the same file.
    HANDLE h = CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr,
                           create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      noteExclusiveHandle(h, false);
      m_handle = reinterpret_cast<std::intptr_t>(h);
      m_path = path;
      return Status::Held;
    }
    const DWORD err = GetLastError();
    if (!create && (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND))
      return Status::Missing;
    if (err != ERROR_SHARING_VIOLATION && err != ERROR_LOCK_VIOLATION)
      raise(GenCode::Open, "No se puede abrir el archivo", path, osCodeFromSystemError(err),
            "open");
    if (std::chrono::steady_clock::now() >= deadline) return Status::InUse;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void FileHold::release() {
  if (m_handle != kNone) {
    forgetExclusiveHandle(reinterpret_cast<HANDLE>(m_handle));
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
  }
  m_handle = kNone;
}
#else
FileHold::Status FileHold::take(const std::string& path, bool create, int waitMs) {
  release();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    // Read access is enough for the open lock, and works on a file the user may not write.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      if (err == ENOENT && !create) return Status::Missing;
      raise(GenCode::Open, "No se puede abrir el archivo", path, osCodeFromErrno(err), "open");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // The name must still lead to the file locked: one renamed over it meanwhile is a new
      // file, and the lock is taken again on that one.
      struct stat held {};
      struct stat named {};
      const bool same = ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
                        held.st_dev == named.st_dev && held.st_ino == named.st_ino;
      const int err = errno;
      if (same) {
        m_handle = fd;
        m_path = path;
        return Status::Held;
      }
      ::close(fd);
      if (err == ENOENT && !create) return Status::Missing;
      continue;
    }
    const int err = errno;
    ::close(fd);
    if (err == EINTR) continue;
    if (err != EWOULDBLOCK)
      raise(GenCode::Open, "Error al bloquear", path, osCodeFromErrno(err), "flock");
    if (std::chrono::steady_clock::now() >= deadline) return Status::InUse;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void FileHold::release() {
  if (m_handle != kNone) ::close(static_cast<int>(m_handle));
  m_handle = kNone;
}
#endif

bool lockRangeWaiting(int fd, std::uint64_t offset, std::uint64_t length, LockKind kind,
                      int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!tryLockRange(fd, offset, length, kind)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::uint64_t TableLockLayout::recordByte(std::uint32_t recno) const {
  if (newStyle) return 0x7FFFFFFEull - recno;
  return 0x40000000ull + headerLength + std::uint64_t(recno - 1) * recordLength;
}

std::uint64_t TableLockLayout::appendByte() const {
  return newStyle ? 0x7FFFFFFEull : 0x40000000ull;
}

std::uint64_t TableLockLayout::fileRangeStart() const {
  return newStyle ? 0x77FFFFFFull : 0x40000001ull;
}

std::uint64_t TableLockLayout::fileRangeLength() const {
  return newStyle ? 0x07FFFFFFull : 0x3FFFFFFDull;
}

}  // namespace exo::store
