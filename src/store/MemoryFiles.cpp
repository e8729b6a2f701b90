// Memory files: the bytes of each in one reserved stretch of this process's address space (so
// that they never move under a view), with the locks of its opens beside them.
#include "store/MemoryFiles.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#ifdef __linux__
#include <strings.h>
#include <sys/mman.h>
#endif

namespace exo::store {

bool isMemoryPath(std::string_view path) { return path.starts_with(kMemoryFolder); }

#ifdef __linux__

class MemoryFile {
 public:
  MemoryFile() = default;
  ~MemoryFile() {
    if (m_base != nullptr) ::munmap(m_base, kMemoryFileLimit);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Reserves the address space (nothing of it is memory yet); false when the system refuses.
  bool reserve() {
    void* p = ::mmap(nullptr, kMemoryFileLimit, PROT_NONE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return false;
    m_base = static_cast<char*>(p);
    return true;
  }

  // Read without the lock: the size is asked before nearly every read of a damaged file's
  // pointers, and changes only under the lock.
  std::uint64_t size() const { return m_size.load(std::memory_order_acquire); }

  std::size_t read(std::uint64_t offset, void* buf, std::size_t n) const {
    std::lock_guard lock(m_mutex);
    const std::uint64_t size = m_size.load(std::memory_order_relaxed);
    if (offset >= size) return 0;
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset));
    std::memcpy(buf, m_base + offset, got);
    return got;
  }

  int write(std::uint64_t offset, const void* buf, std::size_t n) {
    std::lock_guard lock(m_mutex);
    if (n == 0) return 0;
    if (offset > kMemoryFileLimit || n > kMemoryFileLimit - offset) return EFBIG;
    const std::uint64_t end = offset + n;
    if (end > m_size.load(std::memory_order_relaxed)) {
      if (const int err = resize(end)) return err;
    }
    std::memcpy(m_base + offset, buf, n);
    return 0;
  }

  int truncate(std::uint64_t length) {
    std::lock_guard lock(m_mutex);
    if (length > kMemoryFileLimit) return EFBIG;
    return resize(length);
  }

  // Replaces the whole contents.
  int assign(std::string_view bytes) {
    std::lock_guard lock(m_mutex);
    if (bytes.size() > kMemoryFileLimit) return EFBIG;
    if (const int err = commit(bytes.size())) return err;
    // Every byte is given: nothing to clear first (what lies past the end is cleared when a
    // later growth reaches it).
    if (!bytes.empty()) std::memcpy(m_base, bytes.data(), bytes.size());
    m_size.store(bytes.size(), std::memory_order_release);
    return 0;
  }

  const char* base() const { return m_base; }

  bool lockRange(int owner, std::uint64_t offset, std::uint64_t length, bool exclusive) {
    std::lock_guard lock(m_mutex);
    const std::uint64_t end = rangeEnd(offset, length);
    for (const RangeLock& l : m_ranges) {
      if (l.owner != owner && l.offset < end && offset < l.end && (exclusive || l.exclusive))
        return false;
    }
    cut(owner, offset, end);
    m_ranges.push_back({owner, offset, end, exclusive});
    return true;
  }

  void unlockRange(int owner, std::uint64_t offset, std::uint64_t length) {
    std::lock_guard lock(m_mutex);
    cut(owner, offset, rangeEnd(offset, length));
  }

  bool lockOpen(int owner, bool exclusive) {
    std::lock_guard lock(m_mutex);
    for (const auto& [other, otherExclusive] : m_openLocks) {
      if (other != owner && (exclusive || otherExclusive)) return false;
    }
    for (auto& [other, otherExclusive] : m_openLocks) {
      if (other == owner) {
        otherExclusive = exclusive;
        return true;
      }
    }
    m_openLocks.emplace_back(owner, exclusive);
    return true;
  }

  // What an open held goes when it ends.
  void releaseOwner(int owner) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_ranges, [owner](const RangeLock& l) { return l.owner == owner; });
    std::erase_if(m_openLocks, [owner](const auto& l) { return l.first == owner; });
  }

 private:
  struct RangeLock {
    int owner;
    std::uint64_t offset, end;  // [offset, end)
    bool exclusive;
  };

  // A length of 0 reaches every byte from the offset on, as for the system's locks.
  static std::uint64_t rangeEnd(std::uint64_t offset, std::uint64_t length) {
    return length == 0 || length > UINT64_MAX - offset ? UINT64_MAX : offset + length;
  }

  // Takes [offset, end) out of the ranges of `owner`, splitting those that reach past it.
  void cut(int owner, std::uint64_t offset, std::uint64_t end) {
    std::vector<RangeLock> kept;
    kept.reserve(m_ranges.size() + 1);
    for (const RangeLock& l : m_ranges) {
      if (l.owner != owner || l.end <= offset || end <= l.offset) {
        kept.push_back(l);
        continue;
      }
      if (l.offset < offset) kept.push_back({owner, l.offset, offset, l.exclusive});
      if (end < l.end) kept.push_back({owner, end, l.end, l.exclusive});
    }
    m_ranges = std::move(kept);
  }

  // Makes the first `length` bytes memory. Called with the lock held.
  int commit(std::uint64_t length) {
    if (length > m_committed) {
      constexpr std::uint64_t kStep = 64 * 1024;
      const std::uint64_t want = std::min(kMemoryFileLimit, (length + kStep - 1) / kStep * kStep);
      if (::mprotect(m_base + m_committed, want - m_committed, PROT_READ | PROT_WRITE) != 0)
        return ENOSPC;
      m_committed = want;
    }
    return 0;
  }

  // Sets the size: the memory behind the bytes is made usable as they first reach it, and bytes
  // a growth adds read as zeros. Called with the lock held.
  int resize(std::uint64_t length) {
    if (const int err = commit(length)) return err;
    const std::uint64_t size = m_size.load(std::memory_order_relaxed);
    if (length > size) std::memset(m_base + size, 0, length - size);
    m_size.store(length, std::memory_order_release);
    return 0;
  }

  mutable std::mutex m_mutex;
  char* m_base = nullptr;
  std::atomic<std::uint64_t> m_size{0};
  std::uint64_t m_committed = 0;  // bytes from m_base that are memory
  std::vector<RangeLock> m_ranges;
  std::vector<std::pair<int, bool>> m_openLocks;  // open -> exclusive (few: kept in a row)
};

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<MemoryFile>> files;  // by path
  // By open number less kMemoryDescriptorBase (numbers are handed out again, so the row stays
  // as long as the most files ever open at once).
  std::vector<std::shared_ptr<MemoryFile>> opens;
  std::vector<int> freeNumbers;
  int nextNumber = kMemoryDescriptorBase;
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: files may close after static teardown
  return *r;
}

// The file of `path`, made when `make`; null when there is none (or none can be made). Called
// with the lock held.
std::shared_ptr<MemoryFile> fileOf(Registry& r, const std::string& path, bool make) {
  const auto it = r.files.find(path);
  if (it != r.files.end()) return it->second;
  if (!make) return nullptr;
  auto f = std::make_shared<MemoryFile>();
  if (!f->reserve()) return nullptr;
  r.files.emplace(path, f);
  return f;
}

std::shared_ptr<MemoryFile> openedFile(int fd) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const std::size_t at = static_cast<std::size_t>(fd) - kMemoryDescriptorBase;
  return fd < kMemoryDescriptorBase || at >= r.opens.size() ? nullptr : r.opens[at];
}

}  // namespace

bool setMemoryFile(const std::string& path, std::string_view bytes) {
  if (!isMemoryPath(path)) return false;
  std::shared_ptr<MemoryFile> f;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    f = fileOf(r, path, true);
  }
  return f != nullptr && f->assign(bytes) == 0;
}

void removeMemoryFile(const std::string& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.files.erase(path);
}

std::string findMemoryFile(const std::string& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (r.files.count(path) != 0) return path;
  for (const auto& [name, file] : r.files) {
    if (name.size() == path.size() && ::strcasecmp(name.c_str(), path.c_str()) == 0) return name;
  }
  return {};
}

MemoryOpen openMemoryFile(const std::string& path, bool create) {
  Registry& r = registry();
  std::shared_ptr<MemoryFile> f;
  MemoryOpen open;
  {
    std::lock_guard lock(r.mutex);
    f = fileOf(r, path, create);
    if (f == nullptr) {
      errno = create ? ENOMEM : ENOENT;
      return {};
    }
    if (!r.freeNumbers.empty()) {
      open.descriptor = r.freeNumbers.back();
      r.freeNumbers.pop_back();
    } else {
      open.descriptor = r.nextNumber++;
    }
    const std::size_t at = static_cast<std::size_t>(open.descriptor) - kMemoryDescriptorBase;
    if (at >= r.opens.size()) r.opens.resize(at + 1);
    r.opens[at] = f;
  }
  if (create) {
    if (const int err = f->truncate(0)) {
      closeMemoryFile(open);
      errno = err;
      return {};
    }
  }
  open.file = std::move(f);
  return open;
}

void closeMemoryFile(MemoryOpen& open) {
  if (open.descriptor < 0) return;
  Registry& r = registry();
  std::shared_ptr<MemoryFile> f;
  {
    std::lock_guard lock(r.mutex);
    const std::size_t at = static_cast<std::size_t>(open.descriptor) - kMemoryDescriptorBase;
    if (open.descriptor >= kMemoryDescriptorBase && at < r.opens.size() && r.opens[at] != nullptr) {
      f = std::move(r.opens[at]);
      r.freeNumbers.push_back(open.descriptor);
    }
  }
  if (f != nullptr) f->releaseOwner(open.descriptor);
  open.descriptor = -1;
  open.file.reset();
}

std::uint64_t memorySize(const MemoryFile& f) { return f.size(); }

std::size_t memoryRead(const MemoryFile& f, std::uint64_t offset, void* buf, std::size_t n) {
  return f.read(offset, buf, n);
}

int memoryWrite(MemoryFile& f, std::uint64_t offset, const void* buf, std::size_t n) {
  return f.write(offset, buf, n);
}

int memoryTruncate(MemoryFile& f, std::uint64_t length) { return f.truncate(length); }

const char* memoryView(const MemoryFile& f, std::uint64_t length) {
  return length <= kMemoryFileLimit ? f.base() : nullptr;
}

bool memoryLockRange(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive) {
  const std::shared_ptr<MemoryFile> f = openedFile(fd);
  if (f == nullptr) {
    errno = EBADF;
    return false;
  }
  return f->lockRange(fd, offset, length, exclusive);
}

void memoryUnlockRange(int fd, std::uint64_t offset, std::uint64_t length) {
  if (const std::shared_ptr<MemoryFile> f = openedFile(fd)) f->unlockRange(fd, offset, length);
}

bool memoryLockOpen(int fd, bool exclusive) {
  const std::shared_ptr<MemoryFile> f = openedFile(fd);
  if (f == nullptr) {
    errno = EBADF;
    return false;
  }
  return f->lockOpen(fd, exclusive);
}

#else

class MemoryFile {};

bool setMemoryFile(const std::string&, std::string_view) { return false; }
void removeMemoryFile(const std::string&) {}
std::string findMemoryFile(const std::string&) { return {}; }
MemoryOpen openMemoryFile(const std::string&, bool) {
  errno = ENOENT;
  return {};
}
void closeMemoryFile(MemoryOpen& open) {
  open.descriptor = -1;
  open.file.reset();
}
std::uint64_t memorySize(const MemoryFile&) { return 0; }
std::size_t memoryRead(const MemoryFile&, std::uint64_t, void*, std::size_t) { return 0; }
int memoryWrite(MemoryFile&, std::uint64_t, const void*, std::size_t) { return EBADF; }
int memoryTruncate(MemoryFile&, std::uint64_t) { return EBADF; }
const char* memoryView(const MemoryFile&, std::uint64_t) { return nullptr; }
bool memoryLockRange(int, std::uint64_t, std::uint64_t, bool) { return false; }
void memoryUnlockRange(int, std::uint64_t, std::uint64_t) {}
bool memoryLockOpen(int, bool) { return false; }

#endif

}  // namespace exo::store
