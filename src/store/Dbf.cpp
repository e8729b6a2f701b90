// DBF tables: opening, creating, header, records, appends, pack, zap and locks.
// Typed field access lives in DbfFields.cpp.
#include "store/Dbf.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "expr/Text.h"
#include "store/MemoFile.h"
#include "store/StoreFailure.h"

namespace exo::store {
namespace {

constexpr std::size_t kCacheBytes = 64 * 1024;
constexpr std::size_t kPendingBytes = 1024 * 1024;
constexpr char kEof = 0x1A;

std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24;
}
void putLe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool isVfp(std::uint8_t version) { return version >= 0x30 && version <= 0x32; }
bool isFoxVersion(std::uint8_t version) {
  return isVfp(version) || version == 0xF5 || version == 0xFB;
}
bool isDbtVersion(std::uint8_t version) {
  return version == 0x83 || version == 0x8B || version == 0xCB || version == 0x87;
}
bool isMemoType(char t) { return t == 'M' || t == 'G' || t == 'P' || t == 'W'; }

// Today's date as the three header bytes; FoxPro writes year mod 100, dBase year - 1900.
void stampDate(unsigned char* p, std::uint8_t version) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const int year = tm.tm_year + 1900;
  p[0] = static_cast<unsigned char>(isFoxVersion(version) ? year % 100 : year - 1900);
  p[1] = static_cast<unsigned char>(tm.tm_mon + 1);
  p[2] = static_cast<unsigned char>(tm.tm_mday);
}

}  // namespace

Dbf::Dbf(Dbf&&) noexcept = default;

Dbf::~Dbf() {
  try {
    close();
  } catch (...) {
    // Destructors must not throw; close() explicitly to see the failure.
  }
}

Dbf Dbf::open(const std::string& path, const OpenOptions& options) {
  Dbf d;
  d.m_options = options;
  d.m_file = File::open(path, !options.readOnly, !options.shared);
  if (!tryLockOpen(d.m_file.fd(), options.shared ? LockKind::Shared : LockKind::Exclusive))
    raise(GenCode::Open, "La tabla est\xE1 en uso por otro programa", path, kOsSharingViolation,
          "open");
  d.loadHeader();
  d.openMemo();
  d.m_lockLayout = {(d.tableFlags() & 0x01) != 0, d.m_headerLength, d.m_recordLength};
  return d;
}

void Dbf::loadHeader() {
  const std::string& p = path();
  const std::uint64_t size = m_file.size();
  if (size < 32) raiseCorrupt("cabecera de tabla incompleta", p);
  m_header.assign(32, 0);
  m_file.readAt(0, m_header.data(), 32);
  m_headerLength = le16(&m_header[8]);
  m_recordLength = le16(&m_header[10]);
  const std::uint32_t headerCount = le32(&m_header[4]);
  if (m_headerLength < 64) raiseCorrupt("longitud de cabecera imposible", p);
  if (m_recordLength < 2) raiseCorrupt("longitud de registro imposible", p);
  if (m_headerLength > size) raiseCorrupt("la cabecera excede el archivo", p);
  m_header.resize(m_headerLength);
  m_file.readAt(32, m_header.data() + 32, m_headerLength - 32u);
  loadFields();
  if (physicalCount() < headerCount)
    raiseCorrupt("tabla truncada: la cabecera anuncia " + std::to_string(headerCount) +
                     " registros y el archivo contiene " + std::to_string(physicalCount()),
                 p);
  m_count = headerCount;
}

void Dbf::loadFields() {
  const bool vfp = isVfp(version());
  std::uint32_t offset = 1;
  std::size_t descriptors = 0;  // room for them all at once
  for (std::size_t at = 32; at < m_headerLength && m_header[at] != 0x0D; at += 32) ++descriptors;
  m_fields.reserve(descriptors);
  std::size_t pos = 32;
  for (; pos < m_headerLength && m_header[pos] != 0x0D; pos += 32) {
    if (pos + 32 > m_headerLength) raiseCorrupt("descriptor de campo fuera de la cabecera", path());
    const unsigned char* d = &m_header[pos];
    Field f;
    f.name.assign(reinterpret_cast<const char*>(d), strnlen(reinterpret_cast<const char*>(d), 11));
    f.type = static_cast<char>(d[11]);
    f.length = d[16];
    if (f.type == 'C' && !vfp) f.length = static_cast<std::uint16_t>(d[16] | d[17] << 8);
    f.decimals = f.type == 'C' ? 0 : d[17];
    f.flags = vfp ? d[18] : 0;
    f.offset = offset;
    if (f.length == 0) raiseCorrupt("campo de longitud cero: " + f.name, path());
    offset += f.length;
    if (offset > m_recordLength)
      raiseCorrupt("los campos exceden la longitud del registro", path());
    m_fields.push_back(std::move(f));
  }
  if (m_fields.empty()) raiseCorrupt("tabla sin campos", path());
}

void Dbf::openMemo() {
  const bool needs = std::any_of(m_fields.begin(), m_fields.end(), [](const Field& f) {
    return isMemoType(f.type) && (f.length == 4 || f.length == 10);
  });
  if (!needs) return;
  const MemoKind kind = isDbtVersion(version()) ? MemoKind::Dbt : MemoKind::Fpt;
  const std::string memoPath = findCompanion(path(), kind == MemoKind::Dbt ? ".dbt" : ".fpt");
  if (memoPath.empty())
    raise(GenCode::Open, "Falta el archivo de memos de la tabla", path(), 2, "open");
  m_memo = MemoFile::open(memoPath, kind, !m_options.readOnly, m_options.shared);
  if (!tryLockOpen(m_memo->fd(), m_options.shared ? LockKind::Shared : LockKind::Exclusive))
    raise(GenCode::Open, "El archivo de memos est\xE1 en uso por otro programa", memoPath,
          kOsSharingViolation, "open");
}

namespace {

void checkFieldDef(const FieldDef& f, const std::string& path) {
  const bool nameOk =
      !f.name.empty() && f.name.size() <= 10 &&
      std::all_of(f.name.begin(), f.name.end(), [](char c) { return isNameChar(c); });
  if (!nameOk) raise(GenCode::Arg, "Nombre de campo inv\xE1lido: " + f.name, path, 0, "create");
  const bool numeric = f.type == 'N' || f.type == 'F';
  const bool lengthOk = (f.type == 'C' && f.length >= 1 && f.length <= 254) ||
                        (numeric && f.length >= 1 && f.length <= 20 &&
                         (f.decimals == 0 || f.decimals + 2 <= f.length)) ||
                        std::strchr("DLMIBYT", f.type) != nullptr ||
                        (f.type != 0 && f.length >= 1 && f.length <= 255);
  if (!lengthOk) raise(GenCode::Arg, "Longitud de campo inv\xE1lida: " + f.name, path, 0, "create");
}

std::uint16_t fixedLength(const FieldDef& f) {
  switch (f.type) {
    case 'D':
    case 'B':
    case 'Y':
    case 'T': return 8;
    case 'L': return 1;
    case 'M': return 10;
    case 'I': return 4;
    default: return f.length;
  }
}

std::vector<unsigned char> buildHeader(const std::vector<FieldDef>& fields,
                                       const std::string& path) {
  const bool memo =
      std::any_of(fields.begin(), fields.end(), [](const FieldDef& f) { return f.type == 'M'; });
  const std::size_t headerLength = 32 + 32 * fields.size() + 1;
  if (fields.empty() || headerLength > 0xFFFF)
    raise(GenCode::Arg, "Lista de campos inv\xE1lida", path);
  std::vector<unsigned char> h(headerLength, 0);
  h[0] = memo ? 0xF5 : 0x03;
  stampDate(&h[1], h[0]);
  h[8] = static_cast<unsigned char>(headerLength);
  h[9] = static_cast<unsigned char>(headerLength >> 8);
  std::uint32_t offset = 1;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    checkFieldDef(fields[i], path);
    const std::string name = upperName(fields[i].name);
    for (std::size_t j = 0; j < i; ++j)
      if (upperName(fields[j].name) == name) raise(GenCode::Arg, "Campo repetido: " + name, path);
    unsigned char* d = &h[32 + 32 * i];
    std::memcpy(d, name.data(), name.size());
    d[11] = static_cast<unsigned char>(fields[i].type);
    putLe32(d + 12, offset);
    d[16] = static_cast<unsigned char>(fixedLength(fields[i]));
    d[17] = (fields[i].type == 'N' || fields[i].type == 'F' || fields[i].type == 'B')
                ? fields[i].decimals
                : 0;
    offset += fixedLength(fields[i]);
  }
  if (offset > 0xFFFF) raise(GenCode::Arg, "Registro demasiado largo", path);
  h[10] = static_cast<unsigned char>(offset);
  h[11] = static_cast<unsigned char>(offset >> 8);
  h[headerLength - 1] = 0x0D;
  return h;
}

}  // namespace

Dbf Dbf::create(const std::string& path, const std::vector<FieldDef>& fields,
                const OpenOptions& options, std::uint8_t codePageMark) {
  std::vector<unsigned char> h = buildHeader(fields, path);
  h[29] = codePageMark;
  h.push_back(static_cast<unsigned char>(kEof));
  if (h[0] == 0xF5) {
    const bool upperExt = !path.empty() && path.back() >= 'A' && path.back() <= 'Z';
    MemoFile::createFpt(replaceExtension(path, upperExt ? ".FPT" : ".fpt"));
  }
  // The table appears with its whole header or not at all, whenever the process ends.
  createWholeFile(path, std::string_view(reinterpret_cast<const char*>(h.data()), h.size()));
  return open(path, options);
}

void Dbf::syncData() {
  if (!m_file.isOpen() || m_options.readOnly) return;
  flushAppends();
  m_file.syncData();
}

void Dbf::close() {
  if (!m_file.isOpen()) return;
  m_view.reset();
  m_cacheCount = 0;
  if (!m_options.readOnly && m_dirty) {
    flushAppends();
    const std::uint64_t end = recordOffset(m_count + 1);
    if (!m_options.shared) {
      m_file.writeAt(end, &kEof, 1);
      m_file.truncate(end + 1);
      writeHeaderCount();
    } else if (lockRangeWaiting(m_file.fd(), m_lockLayout.appendByte(), 1, LockKind::Exclusive,
                                m_options.lockWaitMs)) {
      const std::uint64_t physicalEnd = recordOffset(physicalCount() + 1);
      if (m_file.size() == physicalEnd) m_file.writeAt(physicalEnd, &kEof, 1);
      unlockRange(m_file.fd(), m_lockLayout.appendByte(), 1);
    }
  }
  unlockAll();
  m_memo.reset();
  m_file.close();
}

std::int32_t Dbf::lastUpdate() const {
  const int yy = m_header[1], month = m_header[2], day = m_header[3];
  const int year = yy >= 100 ? 1900 + yy : (yy < 80 ? 2000 + yy : 1900 + yy);
  if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
  return julianDay(year, month, day);
}

std::optional<int> Dbf::fieldIndex(std::string_view name) const {
  const std::string wanted = upperName(name);
  for (std::size_t i = 0; i < m_fields.size(); ++i)
    if (upperName(m_fields[i].name) == wanted) return static_cast<int>(i);
  return std::nullopt;
}

std::uint64_t Dbf::recordOffset(std::uint32_t recno) const {
  return m_headerLength + std::uint64_t(recno - 1) * m_recordLength;
}

std::uint32_t Dbf::physicalCount() const {
  const std::uint64_t n = (m_file.size() - m_headerLength) / m_recordLength;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0xFFFFFFFFu));
}

void Dbf::checkWritable(const char* operation) const {
  if (!m_file.isOpen()) raise(GenCode::NoTable, "La tabla no est\xE1 abierta", {}, 0, operation);
  if (m_options.readOnly)
    raise(GenCode::ReadOnly, "La tabla est\xE1 abierta s\xF3lo para lectura", path(), 0, operation);
}

std::vector<char> Dbf::blankRecord() const {
  std::vector<char> rec(m_recordLength, ' ');
  for (const Field& f : m_fields)
    if (std::strchr("IBYT0+@", f.type) != nullptr || (isMemoType(f.type) && f.length == 4))
      std::memset(rec.data() + f.offset, 0, f.length);
  return rec;
}

void Dbf::fillCache(std::uint32_t recno) {
  const std::uint32_t diskCount = m_pending.empty() ? m_count : m_pendingFirst - 1;
  // Every record on disk is read through a view of the file: random reads (walks in index
  // order) then cost no system call. The view follows the file as it grows.
  const std::uint64_t end = recordOffset(diskCount + 1);
  if (m_view.size() < end && m_file.size() >= end) m_view.map(m_file, end);
  if (m_view.size() >= end) {
    m_window = m_view.data() + m_headerLength;
    m_cacheFirst = 1;
    m_cacheCount = diskCount;
    return;
  }
  const std::uint32_t window =
      static_cast<std::uint32_t>(std::max<std::size_t>(1, kCacheBytes / m_recordLength));
  m_cacheCount = std::min(window, diskCount - recno + 1);
  m_cacheFirst = recno;
  m_cache.resize(std::size_t{m_cacheCount} * m_recordLength);
  m_file.readAt(recordOffset(recno), m_cache.data(), m_cache.size());
  m_window = m_cache.data();
}

void Dbf::read(std::uint32_t recno, char* record) {
  if (recno == 0 || recno > m_count)
    raise(GenCode::Bound, "N\xFAmero de registro fuera de rango", path(), 0, "read");
  if (!m_pending.empty() && recno >= m_pendingFirst) {
    std::memcpy(record, &m_pending[std::size_t(recno - m_pendingFirst) * m_recordLength],
                m_recordLength);
    return;
  }
  if (recno < m_cacheFirst || recno >= m_cacheFirst + m_cacheCount) fillCache(recno);
  std::memcpy(record, m_window + std::size_t(recno - m_cacheFirst) * m_recordLength,
              m_recordLength);
}

const char* Dbf::peek(std::uint32_t recno) {
  if (recno == 0 || recno > m_count)
    raise(GenCode::Bound, "N\xFAmero de registro fuera de rango", path(), 0, "read");
  if (!m_pending.empty() && recno >= m_pendingFirst)
    return &m_pending[std::size_t(recno - m_pendingFirst) * m_recordLength];
  if (recno < m_cacheFirst || recno >= m_cacheFirst + m_cacheCount) fillCache(recno);
  return m_window + std::size_t(recno - m_cacheFirst) * m_recordLength;
}

const char* Dbf::viewOf(std::uint32_t first, std::uint32_t last) {
  if (first == 0 || first > last || last > m_count) return nullptr;
  if (!m_pending.empty() && last >= m_pendingFirst) return nullptr;
  peek(first);
  if (m_window == nullptr || m_window == m_cache.data() || first < m_cacheFirst ||
      last >= m_cacheFirst + m_cacheCount)
    return nullptr;
  return m_window + std::size_t(first - m_cacheFirst) * m_recordLength;
}

void Dbf::prefetch(std::uint32_t recno) const {
  if (m_window == nullptr || m_window == m_cache.data() || recno < m_cacheFirst ||
      recno >= m_cacheFirst + m_cacheCount)
    return;
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(m_window + std::size_t(recno - m_cacheFirst) * m_recordLength);
#endif
}

void Dbf::write(std::uint32_t recno, const char* record) {
  checkWritable("write");
  if (recno == 0 || recno > m_count)
    raise(GenCode::Bound, "N\xFAmero de registro fuera de rango", path(), 0, "write");
  m_dirty = true;
  if (!m_pending.empty() && recno >= m_pendingFirst) {
    std::memcpy(&m_pending[std::size_t(recno - m_pendingFirst) * m_recordLength], record,
                m_recordLength);
    return;
  }
  m_file.writeAt(recordOffset(recno), record, m_recordLength);
  followInCache(recno, 1, record);
}

void Dbf::writeRun(std::uint32_t first, std::uint32_t count, const char* records) {
  if (count == 0) return;
  checkWritable("write");
  const std::uint64_t last = std::uint64_t{first} + count - 1;
  if (first == 0 || last > m_count)
    raise(GenCode::Bound, "N\xFAmero de registro fuera de rango", path(), 0, "write");
  // Records still buffered as appends change in the buffer, one by one.
  if (!m_pending.empty() && last >= m_pendingFirst) {
    for (std::uint32_t i = 0; i < count; ++i)
      write(first + i, records + std::size_t{i} * m_recordLength);
    return;
  }
  m_dirty = true;
  m_file.writeAt(recordOffset(first), records, std::size_t{count} * m_recordLength);
  followInCache(first, count, records);
}

// The part of records `first` onwards that the read cache holds (when it is no view of the
// file) follows what was written.
void Dbf::followInCache(std::uint32_t first, std::uint32_t count, const char* records) {
  if (m_window != m_cache.data() || m_cacheCount == 0) return;
  const std::uint64_t last = std::uint64_t{first} + count - 1;
  const std::uint64_t from = std::max<std::uint64_t>(first, m_cacheFirst);
  const std::uint64_t to =
      std::min<std::uint64_t>(last, std::uint64_t{m_cacheFirst} + m_cacheCount - 1);
  if (from > to) return;
  std::memcpy(&m_cache[std::size_t(from - m_cacheFirst) * m_recordLength],
              records + std::size_t(from - first) * m_recordLength,
              std::size_t(to - from + 1) * m_recordLength);
}

std::uint32_t Dbf::append(const char* record, bool lockNew) {
  checkWritable("append");
  m_dirty = true;
  if (m_options.shared) return appendShared(record, lockNew);
  if (m_count == 0xFFFFFFFEu) raise(GenCode::Limit, "La tabla est\xE1 llena", path(), 0, "append");
  // A full buffer is written before the new record joins it, so that a failed write leaves the
  // new record out and every buffered one still counted.
  if (m_pending.size() + m_recordLength > kPendingBytes) flushAppends();
  if (m_pending.empty()) m_pendingFirst = m_count + 1;
  m_pending.insert(m_pending.end(), record, record + m_recordLength);
  ++m_count;
  return m_count;
}

void Dbf::discardUnwritten() {
  if (m_pending.empty()) return;
  m_count = m_pendingFirst - 1;
  m_pending.clear();
}

// Records first, then the count: the header never announces a record not yet written.
void Dbf::flushAppends() {
  if (m_pending.empty()) return;
  m_pending.push_back(kEof);
  try {
    m_file.writeAt(recordOffset(m_pendingFirst), m_pending.data(), m_pending.size());
  } catch (...) {
    m_pending.pop_back();  // kept for another try
    throw;
  }
  m_pending.clear();
  writeHeaderCount();
}

void Dbf::writeHeaderCount() {
  stampDate(&m_header[1], version());
  putLe32(&m_header[4], m_count);
  m_file.writeAt(1, &m_header[1], 7);
}

// The new record goes after the records the header counts (what a process killed between the
// record and the count left behind is overwritten). It is locked, when asked, before the count
// makes it visible to other programs.
std::uint32_t Dbf::appendShared(const char* record, bool lockNew) {
  const std::uint64_t lockByte = m_lockLayout.appendByte();
  if (!lockRangeWaiting(m_file.fd(), lockByte, 1, LockKind::Exclusive, m_options.lockWaitMs))
    raise(GenCode::AppendLock, "No se puede bloquear la tabla para agregar", path(),
          kOsLockViolation, "append");
  bool locked = false;
  std::uint32_t base = 0;
  try {
    unsigned char count[4];
    m_file.readAt(4, count, 4);
    base = le32(count);
    if (lockNew && !m_fileLocked)
      locked = tryLockRange(m_file.fd(), m_lockLayout.recordByte(base + 1), 1, LockKind::Exclusive);
    std::vector<char> buf(record, record + m_recordLength);
    buf.push_back(kEof);
    m_file.writeAt(recordOffset(base + 1), buf.data(), buf.size());
    m_count = base + 1;
    writeHeaderCount();
  } catch (...) {
    if (locked) unlockRange(m_file.fd(), m_lockLayout.recordByte(base + 1), 1);
    m_count = std::min(m_count, base);
    unlockRange(m_file.fd(), lockByte, 1);
    throw;
  }
  if (locked) m_lockedRecords.push_back(m_count);
  unlockRange(m_file.fd(), lockByte, 1);
  return m_count;
}

void Dbf::commit() {
  if (m_options.readOnly || !m_file.isOpen()) return;
  flushAppends();
  if (m_dirty) writeHeaderCount();
  m_file.sync();
  if (m_memo != nullptr && m_memo->kind() == MemoKind::Fpt) m_memo->sync();
}

void Dbf::refresh() {
  flushAppends();
  m_cacheCount = 0;
  unsigned char count[4];
  m_file.readAt(4, count, 4);
  m_count = std::min(le32(count), physicalCount());
}

void Dbf::rewriteWith(const std::vector<std::uint32_t>& keep) {
  flushAppends();
  const std::string target = path();
  const std::string temp = siblingTempName(target);
  File out = File::create(temp);
  try {
    if (!tryLockOpen(out.fd(), LockKind::Exclusive))
      raise(GenCode::Open, "Tabla en uso", temp, kOsSharingViolation);
    std::vector<unsigned char> head = m_header;
    stampDate(&head[1], version());
    putLe32(&head[4], static_cast<std::uint32_t>(keep.size()));
    out.writeAt(0, head.data(), head.size());
    std::vector<char> buf;
    std::vector<char> rec(m_recordLength);
    std::uint64_t pos = m_headerLength;
    for (std::uint32_t recno : keep) {
      read(recno, rec.data());
      buf.insert(buf.end(), rec.begin(), rec.end());
      if (buf.size() >= kPendingBytes) {
        out.writeAt(pos, buf.data(), buf.size());
        pos += buf.size();
        buf.clear();
      }
    }
    buf.push_back(kEof);
    out.writeAt(pos, buf.data(), buf.size());
    out.sync();
    m_view.reset();  // no view may hold the old file while it is replaced (Windows)
    replaceFile(temp, target);
  } catch (...) {
    removeFileQuietly(temp);
    throw;
  }
  m_file = std::move(out);
  m_count = static_cast<std::uint32_t>(keep.size());
  putLe32(&m_header[4], m_count);
  m_cacheCount = 0;
}

void Dbf::zap() {
  checkWritable("zap");
  if (m_options.shared) raise(GenCode::Shared, "ZAP requiere uso exclusivo", path(), 0, "zap");
  m_pending.clear();
  rewriteWith({});
  if (m_memo != nullptr && m_memo->kind() == MemoKind::Fpt) {
    const std::string memoPath = m_memo->path();
    const std::string temp = siblingTempName(memoPath);
    MemoFile::createFpt(temp, static_cast<std::uint16_t>(m_memo->blockSize()));
    replaceFile(temp, memoPath);
    m_memo = MemoFile::open(memoPath, MemoKind::Fpt, true, false);
    tryLockOpen(m_memo->fd(), LockKind::Exclusive);
  }
  m_dirty = true;
}

void Dbf::pack() {
  checkWritable("pack");
  if (m_options.shared) raise(GenCode::Shared, "PACK requiere uso exclusivo", path(), 0, "pack");
  std::vector<std::uint32_t> keep;
  std::vector<char> rec(m_recordLength);
  for (std::uint32_t r = 1; r <= m_count; ++r) {
    read(r, rec.data());
    if (!isDeleted(rec.data())) keep.push_back(r);
  }
  rewriteWith(keep);
  m_dirty = true;
}

bool Dbf::lockRecord(std::uint32_t recno) {
  if (!m_options.shared || m_fileLocked) return true;
  if (std::find(m_lockedRecords.begin(), m_lockedRecords.end(), recno) != m_lockedRecords.end())
    return true;
  const LockKind kind = m_options.readOnly ? LockKind::Shared : LockKind::Exclusive;
  if (!tryLockRange(m_file.fd(), m_lockLayout.recordByte(recno), 1, kind)) return false;
  m_lockedRecords.push_back(recno);
  m_cacheCount = 0;  // read what others wrote before the lock
  return true;
}

bool Dbf::holdsRecordLock(std::uint32_t recno) const {
  return !m_options.shared || m_fileLocked ||
         std::find(m_lockedRecords.begin(), m_lockedRecords.end(), recno) != m_lockedRecords.end();
}

void Dbf::unlockRecord(std::uint32_t recno) {
  const auto it = std::find(m_lockedRecords.begin(), m_lockedRecords.end(), recno);
  if (it == m_lockedRecords.end()) return;
  unlockRange(m_file.fd(), m_lockLayout.recordByte(recno), 1);
  m_lockedRecords.erase(it);
}

bool Dbf::lockFile() {
  if (!m_options.shared || m_fileLocked) return true;
  const LockKind kind = m_options.readOnly ? LockKind::Shared : LockKind::Exclusive;
  if (!tryLockRange(m_file.fd(), m_lockLayout.fileRangeStart(), m_lockLayout.fileRangeLength(),
                    kind))
    return false;
  m_lockedRecords.clear();  // merged into the file range
  m_fileLocked = true;
  m_cacheCount = 0;
  return true;
}

void Dbf::unlockAll() {
  if (!m_file.isOpen() || !m_options.shared) return;
  for (std::uint32_t r : m_lockedRecords) unlockRange(m_file.fd(), m_lockLayout.recordByte(r), 1);
  m_lockedRecords.clear();
  if (m_fileLocked)
    unlockRange(m_file.fd(), m_lockLayout.fileRangeStart(), m_lockLayout.fileRangeLength());
  m_fileLocked = false;
}

}  // namespace exo::store
