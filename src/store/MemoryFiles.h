// Files held in memory, under paths that begin with kMemoryFolder: the store opens them as any
// file (reads, writes, sizes, locks, views), and nothing reaches a disk. The file layer serves
// them straight from a buffer of this process, without a descriptor of the system, so a read or
// a size costs no system call. For the fuzz targets and the tests that feed the readers
// thousands of inputs; the program itself never makes one. Linux only (elsewhere no memory file
// can be made and the store sees plain paths).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace exo::store {

inline constexpr std::string_view kMemoryFolder = "/@memoria/";

bool isMemoryPath(std::string_view path);
// Makes the memory file `path` (under kMemoryFolder) hold `bytes`; files open on it see them.
// False when memory files cannot be made here.
bool setMemoryFile(const std::string& path, std::string_view bytes);
// Forgets the memory file `path` (files open on it keep their bytes until closed).
void removeMemoryFile(const std::string& path);
// The memory file named `path` whatever the letter case of its name; empty when there is none.
std::string findMemoryFile(const std::string& path);

// ---- For the file layer (File, FileView, the locks) -------------------------------------

// The bytes of one memory file, shared by every open of it. Its bytes never move while it
// lives (views read them in place); it holds at most kMemoryFileLimit bytes. Every member
// answers as the system answers for a disk file: sizes, reads short at the end, writes past
// the end that leave zeros between, locks that belong to the open that took them.
class MemoryFile;
inline constexpr std::uint64_t kMemoryFileLimit = std::uint64_t{1} << 30;

// An open of a memory file: the file (kept alive while open, even once forgotten by name) and
// the number that stands for a descriptor (for the locks, which belong to the open). Numbers
// are at least kMemoryDescriptorBase, never a descriptor of the system.
struct MemoryOpen {
  std::shared_ptr<MemoryFile> file;
  int descriptor = -1;
};
inline constexpr int kMemoryDescriptorBase = 1 << 30;
inline bool isMemoryDescriptor(int fd) { return fd >= kMemoryDescriptorBase; }

// Opens the memory file `path` (made empty first when `create`, and made when it does not
// exist yet); without `create` a missing file gives no file and errno ENOENT.
MemoryOpen openMemoryFile(const std::string& path, bool create);
// Ends an open: its locks go, its number is free.
void closeMemoryFile(MemoryOpen& open);

std::uint64_t memorySize(const MemoryFile& f);
// Up to n bytes at offset; the number read (0 at or past the end).
std::size_t memoryRead(const MemoryFile& f, std::uint64_t offset, void* buf, std::size_t n);
// 0, or the errno a disk would give (EFBIG past the limit).
int memoryWrite(MemoryFile& f, std::uint64_t offset, const void* buf, std::size_t n);
int memoryTruncate(MemoryFile& f, std::uint64_t length);
// The first byte of the file: `length` bytes from it may be read for as long as the file lives
// (those past its end read as zeros or as bytes it held before); null past the limit.
const char* memoryView(const MemoryFile& f, std::uint64_t length);

// The locks of opens of memory files, as the system's open-file-description locks and open
// locks behave (see FileLock.h): false when another open holds a conflicting one.
bool memoryLockRange(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive);
void memoryUnlockRange(int fd, std::uint64_t offset, std::uint64_t length);
bool memoryLockOpen(int fd, bool exclusive);

}  // namespace exo::store
