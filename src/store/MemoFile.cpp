// FPT and DBT memo files.
#include "store/MemoFile.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "store/FileLock.h"
#include "store/StoreFailure.h"

namespace exo::store {
namespace {

std::uint32_t be32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

void putBe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

constexpr int kMemoLockWaitMs = 5000;

// Holds the memo allocation lock of a shared memo file for one allocation.
class MemoLock {
 public:
  MemoLock(const File& f, bool active) : m_fd(f.fd()), m_active(active) {
    if (m_active && !lockRangeWaiting(m_fd, kMemoLockByte, 1, LockKind::Exclusive, kMemoLockWaitMs))
      raise(GenCode::Lock, "No se puede bloquear el archivo de memos", f.path(), kOsLockViolation);
  }
  ~MemoLock() {
    if (m_active) unlockRange(m_fd, kMemoLockByte, 1);
  }
  MemoLock(const MemoLock&) = delete;
  MemoLock& operator=(const MemoLock&) = delete;

 private:
  int m_fd;
  bool m_active;
};

}  // namespace

MemoFile::MemoFile(File file, MemoKind kind, bool shared)
    : m_file(std::move(file)), m_kind(kind), m_shared(shared) {}

std::unique_ptr<MemoFile> MemoFile::open(const std::string& path, MemoKind kind, bool writable,
                                         bool shared) {
  std::unique_ptr<MemoFile> m(new MemoFile(File::open(path, writable, !shared), kind, shared));
  unsigned char head[32] = {};
  const std::size_t got = m->m_file.readSome(0, head, sizeof head);
  m->m_size = m->m_file.size();
  if (kind == MemoKind::Fpt) {
    if (got < 8) raiseCorrupt("cabecera de memos incompleta", path);
    m->m_blockSize = (std::uint32_t{head[6]} << 8) | head[7];
    if (m->m_blockSize == 0) raiseCorrupt("tama\xF1o de bloque de memos inv\xE1lido", path);
  } else {
    const std::uint32_t bs = got >= 22 ? (std::uint32_t{head[21]} << 8 | head[20]) : 0;
    m->m_blockSize = bs >= 32 ? bs : 512;  // dBase III files leave it zero
  }
  return m;
}

void MemoFile::createFpt(const std::string& path, std::uint16_t blockSize) {
  std::vector<unsigned char> head(512, 0);
  putBe32(head.data(), (512 + blockSize - 1) / blockSize);
  head[6] = static_cast<unsigned char>(blockSize >> 8);
  head[7] = static_cast<unsigned char>(blockSize);
  createWholeFile(path, std::string_view(reinterpret_cast<const char*>(head.data()), head.size()));
}

std::uint32_t MemoFile::blocksOf(std::uint64_t bytes) const {
  return static_cast<std::uint32_t>((bytes + m_blockSize - 1) / m_blockSize);
}

std::uint64_t MemoFile::sizeReaching(std::uint64_t end) const {
  if (end > m_size) m_size = m_file.size();
  return m_size;
}

std::string MemoFile::read(std::uint32_t block) const {
  std::string text;
  MemoFault fault;
  if (!tryRead(block, text, fault)) raiseFault(fault);
  return text;
}

std::string MemoFile::faultText(const MemoFault& fault) {
  std::string text;
  faultText(fault, text);
  return text;
}

void MemoFile::faultText(const MemoFault& fault, std::string& out) {
  // The block number is written into a buffer of the stack: the text is made without a
  // temporary string.
  const auto withBlock = [&](std::string_view head) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, fault.block).ptr;
    out.assign(head);
    out.append(digits, static_cast<std::size_t>(end - digits));
    out.push_back(')');
  };
  switch (fault.kind) {
    case MemoFault::Kind::OutOfFile: return withBlock("puntero de memo fuera del archivo (bloque ");
    case MemoFault::Kind::LongerThanFile:
      return withBlock("memo m\xE1s largo que el archivo (bloque ");
    case MemoFault::Kind::EndsEarly: out.assign("el archivo termina antes de tiempo"); return;
    case MemoFault::Kind::BadLength: out.assign("longitud de memo inv\xE1lida"); return;
    case MemoFault::Kind::BadPointer:
      out.assign("puntero de memo inv\xE1lido en el campo ");
      out.append(fault.field);
      return;
    case MemoFault::Kind::NoMemoFile: out.assign(kNoMemoFileText); return;
    case MemoFault::Kind::None: break;
  }
  out.clear();
}

void MemoFile::raiseFault(const MemoFault& fault) const { raiseCorrupt(faultText(fault), path()); }

const char* const MemoFile::kNoMemoFileText = "La tabla no tiene archivo de memos";

bool MemoFile::tryRead(std::uint32_t block, std::string& text, MemoFault& fault) const {
  text.clear();
  fault = {MemoFault::Kind::None, block};
  if (block == 0) return true;
  if (m_kind == MemoKind::Dbt) return readDbt(block, text, fault);
  const auto fail = [&](MemoFault::Kind kind) {
    fault.kind = kind;
    return false;
  };
  const std::uint64_t start = std::uint64_t{block} * m_blockSize;
  if (start < 8 || start + 8 > sizeReaching(start + 8)) return fail(MemoFault::Kind::OutOfFile);
  if (const char* at = m_file.inPlace(start, 8)) {  // a memory file: no copy to read it into
    const std::uint32_t length = be32(reinterpret_cast<const unsigned char*>(at) + 4);
    if (length > sizeReaching(start + 8 + std::uint64_t{length}) - start - 8)
      return fail(MemoFault::Kind::LongerThanFile);
    if (const char* bytes = m_file.inPlace(start + 8, length)) {
      text.assign(bytes, length);
      return true;
    }
  }
  // The block's header and the first bytes of its text in one read: most memos end there.
  unsigned char first[kFirstRead];
  const std::size_t got = m_file.readSome(
      start, first, static_cast<std::size_t>(std::min<std::uint64_t>(kFirstRead, m_size - start)));
  if (got < 8) return fail(MemoFault::Kind::EndsEarly);
  const std::uint32_t length = be32(first + 4);
  if (length > sizeReaching(start + 8 + std::uint64_t{length}) - start - 8)
    return fail(MemoFault::Kind::LongerThanFile);
  text.resize(length);
  const std::size_t inFirst = std::min<std::size_t>(length, got - 8);
  std::memcpy(text.data(), first + 8, inFirst);
  if (inFirst < length) m_file.readAt(start + 8 + inFirst, text.data() + inFirst, length - inFirst);
  return true;
}

bool MemoFile::readDbt(std::uint32_t block, std::string& text, MemoFault& fault) const {
  const std::uint64_t start = std::uint64_t{block} * m_blockSize;
  if (start >= sizeReaching(start + 1)) {
    fault.kind = MemoFault::Kind::OutOfFile;
    return false;
  }
  // The first chunk holds the block's header, when it has one, and the first bytes of its text.
  char chunk[512];
  std::size_t n = m_file.readSome(start, chunk, sizeof chunk);
  if (n < 8) std::memset(chunk + n, 0, 8 - n);
  const auto* head = reinterpret_cast<const unsigned char*>(chunk);
  if (head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
    const std::uint32_t total =
        head[4] | head[5] << 8 | head[6] << 16 | std::uint32_t{head[7]} << 24;
    if (total < 8 || total > sizeReaching(start + total) - start) {
      fault.kind = MemoFault::Kind::BadLength;
      return false;
    }
    if (const char* at = m_file.inPlace(start + 8, total - 8)) {
      text.assign(at, total - 8);
      return true;
    }
    text.resize(total - 8);
    const std::size_t inChunk = std::min<std::size_t>(text.size(), n >= 8 ? n - 8 : 0);
    std::memcpy(text.data(), chunk + 8, inChunk);
    if (inChunk < text.size())
      m_file.readAt(start + 8 + inChunk, text.data() + inChunk, text.size() - inChunk);
    return true;
  }
  // Up to the end marker or the end of the file (its size read again there: another program
  // may have added to it since it was last asked).
  if (m_file.inPlace(start, 0) != nullptr) {  // a memory file: searched where it lies
    m_size = m_file.size();
    const std::size_t rest = static_cast<std::size_t>(m_size - start);
    const char* at = m_file.inPlace(start, rest);
    const void* end = std::memchr(at, 0x1A, rest);
    text.assign(
        at, end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - at) : rest);
    return true;
  }
  for (std::uint64_t pos = start;;) {
    if (n == 0) break;
    const void* end = std::memchr(chunk, 0x1A, n);
    if (end != nullptr) {
      text.append(chunk, static_cast<std::size_t>(static_cast<const char*>(end) - chunk));
      return true;
    }
    text.append(chunk, n);
    pos += n;
    if (pos >= m_size && pos >= sizeReaching(pos + 1)) break;
    n = m_file.readSome(pos, chunk, sizeof chunk);
  }
  return true;
}

std::uint32_t MemoFile::allocate(std::uint32_t blocks) {
  unsigned char head[4];
  m_file.readAt(0, head, 4);
  std::uint32_t next = be32(head);
  const std::uint32_t minimum = blocksOf(512);
  const std::uint32_t atEnd = blocksOf(m_file.size());
  if (next < minimum) raiseCorrupt("puntero de bloque libre inv\xE1lido", path());
  if (next < atEnd) next = atEnd;  // never overwrite data past a stale next-free pointer
  if (std::uint64_t{next} + blocks > 0xFFFFFFFFull)
    raise(GenCode::Limit, "El archivo de memos est\xE1 lleno", path());
  putBe32(head, next + blocks);
  m_file.writeAt(0, head, 4);
  return next;
}

std::uint32_t MemoFile::write(std::uint32_t oldBlock, std::string_view text) {
  if (m_kind != MemoKind::Fpt)
    raise(GenCode::Unsupported, "Escritura de memos DBT no soportada", path());
  if (text.empty()) return 0;
  if (text.size() > 0xFFFFFFF0u) raise(GenCode::Limit, "Memo demasiado largo", path());
  const std::uint32_t need = blocksOf(8 + text.size());
  std::vector<unsigned char> data(std::size_t{need} * m_blockSize, 0);
  putBe32(data.data(), 1);
  putBe32(data.data() + 4, static_cast<std::uint32_t>(text.size()));
  std::memcpy(data.data() + 8, text.data(), text.size());
  MemoLock lock(m_file, m_shared);
  std::uint32_t block = 0;
  if (oldBlock != 0 && std::uint64_t{oldBlock} * m_blockSize + 8 <= m_file.size()) {
    unsigned char head[8];
    m_file.readAt(std::uint64_t{oldBlock} * m_blockSize, head, 8);
    const std::uint64_t oldLength = be32(head + 4);
    const bool sane = oldLength <= m_file.size() - std::uint64_t{oldBlock} * m_blockSize - 8;
    if (sane && blocksOf(8 + oldLength) >= need) block = oldBlock;
  }
  if (block == 0) block = allocate(need);
  m_file.writeAt(std::uint64_t{block} * m_blockSize, data.data(), data.size());
  m_size = std::max(m_size, std::uint64_t{block} * m_blockSize + data.size());
  return block;
}

}  // namespace exo::store
