// Batches of key changes in a compound index file: the write lock held once, the changed pages
// kept in memory and written together at the end, and the mark in the file header that tells a
// later open that a batch did not end.
#include <algorithm>
#include <cstring>
#include <vector>

#include "store/CdxNode.h"
#include "store/CdxWriter.h"
#include "store/FileLock.h"
#include "store/StoreFailure.h"

namespace exo::store {

using cdx::kPageSize;

namespace {

// Bytes 28-31 of the file header are reserved and zero in files of every program of the family
// (16-27 are taken by some programs for statistics and signatures); the mark lives there.
constexpr std::uint32_t kMarkOffset = 28;
constexpr unsigned char kMark[4] = {'L', 'O', 'T', 'E'};
constexpr unsigned char kNoMark[4] = {0, 0, 0, 0};

// Pages written to the file with one call at most (consecutive pages are joined).
constexpr std::size_t kRunPages = 256;

}  // namespace

void Cdx::encodeLeafPage(std::uint32_t page) const {
  const auto it = m_pendingLeaves.find(page);
  if (it == m_pendingLeaves.end()) return;
  std::array<unsigned char, kPageSize> bytes{};
  if (!cdx::encodeLeaf(it->second.node, it->second.fill, bytes.data()))
    raiseCorrupt("hoja de \xEDndice desbordada", path());
  m_pages.insert_or_assign(page, bytes);
  m_pendingLeaves.erase(it);
}

void Cdx::encodePending(std::uint64_t offset, std::size_t n) const {
  const std::uint64_t end = offset + n;
  for (std::uint64_t page = offset / kPageSize * kPageSize; page < end && !m_pendingLeaves.empty();
       page += kPageSize)
    encodeLeafPage(static_cast<std::uint32_t>(page));
}

void Cdx::readBytes(std::uint64_t offset, void* buffer, std::size_t n) const {
  if (!m_pendingLeaves.empty()) encodePending(offset, n);
  auto* out = static_cast<unsigned char*>(buffer);
  if (m_pages.empty()) {
    // Bytes that the file's view holds are copied from there, without asking the file.
    if (const unsigned char* p = viewed(offset, n)) {
      std::memcpy(out, p, n);
      return;
    }
    m_file.readAt(offset, out, n);
    return;
  }
  while (n > 0) {
    const std::uint64_t page = offset / kPageSize * kPageSize;
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(n, page + kPageSize - offset));
    if (const auto it = m_pages.find(static_cast<std::uint32_t>(page)); it != m_pages.end()) {
      std::memcpy(out, it->second.data() + (offset - page), piece);
    } else {
      m_file.readAt(offset, out, piece);
    }
    out += piece;
    offset += piece;
    n -= piece;
  }
}

void Cdx::writeBytes(std::uint32_t offset, const void* buffer, std::size_t n) {
  if (!m_batch) {
    m_file.writeAt(offset, buffer, n);
    // Nodes kept decoded from the pages written no longer stand (those written as whole nodes are
    // kept again by the writer, as they now stand).
    if (!m_nodes.empty() || !m_leaves.empty()) {
      for (std::uint64_t page = offset / kPageSize * kPageSize; page < std::uint64_t{offset} + n;
           page += kPageSize)
        dropKept(static_cast<std::uint32_t>(page));
    }
    return;
  }
  markBatch();
  m_batchDirty = true;
  if (!m_pendingLeaves.empty()) encodePending(offset, n);  // bytes written over a pending leaf
  const auto* in = static_cast<const unsigned char*>(buffer);
  const std::uint64_t end = std::uint64_t{offset} + n;
  while (n > 0) {
    const std::uint32_t page = offset / kPageSize * kPageSize;
    const std::size_t at = offset - page;
    const std::size_t piece = std::min<std::size_t>(n, kPageSize - at);
    // The counter does not move during a batch: nodes kept from this page are dropped here.
    dropKept(page);
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
      // A page written in part starts as the file holds it.
      std::array<unsigned char, kPageSize> bytes{};
      if (piece < kPageSize) {
        if (const unsigned char* p = viewed(page, kPageSize)) {
          std::memcpy(bytes.data(), p, kPageSize);
        } else {
          m_file.readSome(page, bytes.data(), kPageSize);
        }
      }
      it = m_pages.emplace(page, bytes).first;
    }
    std::memcpy(it->second.data() + at, in, piece);
    in += piece;
    offset += static_cast<std::uint32_t>(piece);
    n -= piece;
  }
  m_size = std::max(m_size, end);
}

void Cdx::markBatch() {
  if (m_marked) return;
  // The mark is on disk before any change is held back: whatever happens to the process or the
  // machine from here on, a later open knows the tags may not match the table.
  m_file.writeAt(kMarkOffset, kMark, sizeof kMark);
  m_file.syncData();
  m_marked = true;
}

bool Cdx::markedInFile() const {
  unsigned char bytes[sizeof kMark];
  if (m_file.readSome(kMarkOffset, bytes, sizeof bytes) != sizeof bytes) return false;
  return std::memcmp(bytes, kMark, sizeof kMark) == 0;
}

void Cdx::flushBatch() {
  while (!m_pendingLeaves.empty()) encodeLeafPage(m_pendingLeaves.begin()->first);
  std::vector<unsigned char> run;
  while (!m_pages.empty()) {
    auto it = m_pages.begin();
    const std::uint32_t start = it->first;
    run.clear();
    auto last = it;
    while (last != m_pages.end() && last->first == start + run.size() &&
           run.size() < kRunPages * kPageSize) {
      run.insert(run.end(), last->second.begin(), last->second.end());
      ++last;
    }
    m_file.writeAt(start, run.data(), run.size());
    m_fileEnd = std::max<std::uint64_t>(m_fileEnd, start + run.size());
    // Pages written leave the batch at once: a repeated end writes only the rest.
    m_pages.erase(it, last);
  }
}

void Cdx::beginBatch(BatchCount count) {
  CdxWriter::requireWritable(*this, "beginBatch");
  if (m_batch) return;
  if (m_options.shared) {
    if (!lockRangeWaiting(m_file.fd(), kIndexLockByte, 1, LockKind::Exclusive,
                          m_options.lockWaitMs))
      raise(GenCode::Lock, "No se puede bloquear el \xEDndice", path(), kOsLockViolation);
    m_batchLockFd = m_file.fd();
  }
  m_size = m_file.size();
  m_fileEnd = m_size;
  forgetNodes();
  m_batch = true;
  m_batchDirty = false;
  m_batchCount = count;
  m_batchChanges = 0;
}

void Cdx::endBatch() {
  if (!m_batch) return;
  if (m_batchDirty) {
    // Other opens notice the batch's changes through the counter, bumped once for all of them
    // (or once for each, when asked).
    bumpCounter(m_batchCount == BatchCount::PerChange ? std::max<std::uint32_t>(m_batchChanges, 1)
                                                      : 1);
    m_batchDirty = false;
  }
  flushBatch();
  if (m_marked) {
    m_file.syncData();  // every page on disk before the mark goes
    m_file.writeAt(kMarkOffset, kNoMark, sizeof kNoMark);
    m_marked = false;
  }
  releaseBatch();
}

void Cdx::abandonBatch() {
  if (!m_batch) return;
  m_pages.clear();
  m_pendingLeaves.clear();
  m_batchDirty = false;
  m_marked = false;  // the file keeps it, when it got there
  if (m_file.isOpen()) m_size = m_file.size();
  releaseBatch();
}

void Cdx::releaseBatch() {
  forgetNodes();
  if (m_batchLockFd >= 0 && m_file.isOpen() && m_file.fd() == m_batchLockFd) {
    try {
      unlockRange(m_batchLockFd, kIndexLockByte, 1);
    } catch (const FailureError&) {
      // The lock goes with the file when it is closed.
    }
  }
  m_batchLockFd = -1;
  m_batch = false;
}

void Cdx::beginChange() {
  CdxWriter::requireWritable(*this, "beginChange");
  if (m_batch || m_changeMarked) return;
  if (m_options.shared) {
    if (!lockRangeWaiting(m_file.fd(), kIndexLockByte, 1, LockKind::Exclusive,
                          m_options.lockWaitMs))
      raise(GenCode::Lock, "No se puede bloquear el \xEDndice", path(), kOsLockViolation);
    m_changeLockFd = m_file.fd();
    m_size = m_file.size();
  }
  try {
    m_file.writeAt(kMarkOffset, kMark, sizeof kMark);
  } catch (...) {
    endChange(true);
    throw;
  }
  m_changeMarked = true;
}

void Cdx::endChange(bool keepMark) {
  const bool clear = m_changeMarked && !keepMark;
  m_changeMarked = false;
  struct Unlock {
    Cdx& c;
    ~Unlock() {
      if (c.m_changeLockFd >= 0 && c.m_file.isOpen() && c.m_file.fd() == c.m_changeLockFd) {
        try {
          unlockRange(c.m_changeLockFd, kIndexLockByte, 1);
        } catch (...) {
          // The lock goes with the file when it is closed.
        }
      }
      c.m_changeLockFd = -1;
    }
  } unlock{*this};
  if (!clear) return;
  try {
    m_file.writeAt(kMarkOffset, kNoMark, sizeof kNoMark);
  } catch (const FailureError&) {
    // The mark stays: the next open rebuilds the tags, which agree with the table already.
  }
}

bool Cdx::leftInBatch() {
  if (m_batch || m_changeMarked || !markedInFile()) return false;
  if (!m_options.shared) return true;
  // A batch still under way holds the write lock; its end clears the mark. Waiting for the lock
  // as a write would tells the two cases apart.
  if (!lockRangeWaiting(m_file.fd(), kIndexLockByte, 1, LockKind::Shared, m_options.lockWaitMs))
    return false;
  const bool marked = markedInFile();
  unlockRange(m_file.fd(), kIndexLockByte, 1);
  return marked;
}

void Cdx::distrustPages() {
  CdxWriter::requireWritable(*this, "distrustPages");
  IndexWriteLock lock(*this);
  m_distrust = true;
  const unsigned char noFreePage[4] = {0, 0, 0, 0};  // as a new file has it
  writeBytes(4, noFreePage, sizeof noFreePage);
}

void Cdx::clearBatchMark() {
  CdxWriter::requireWritable(*this, "clearBatchMark");
  IndexWriteLock lock(*this);
  m_distrust = false;
  if (!markedInFile()) return;
  m_file.syncData();  // the rebuilt tags are on disk before the mark goes
  m_file.writeAt(kMarkOffset, kNoMark, sizeof kNoMark);
  bumpCounter();
}

void Cdx::bumpCounter(std::uint32_t by) {
  unsigned char b[4];
  readBytes(8, b, 4);
  std::uint32_t v = (std::uint32_t{b[0]} << 24 | b[1] << 16 | b[2] << 8 | b[3]) + by;
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
  writeBytes(8, b, 4);
}

}  // namespace exo::store
