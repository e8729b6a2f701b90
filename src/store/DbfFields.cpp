// Typed access to the fields of a record buffer, and memo fields through the memo file.
#include <cmath>
#include <cstring>

#include "store/Dbf.h"
#include "store/MemoFile.h"
#include "store/StoreFailure.h"

namespace exo::store {
namespace {

template <typename T>
T loadLe(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);  // the engine runs on little-endian machines only
  return v;
}

template <typename T>
void storeLe(char* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

[[noreturn]] void wrongType(const Field& f, const std::string& path, const char* operation) {
  raise(GenCode::DataType, "Tipo de campo incorrecto: " + f.name, path, 0, operation);
}

}  // namespace

void Dbf::raiseFieldOutOfRange() const {
  raise(GenCode::Bound, "N\xFAmero de campo fuera de rango", path(), 0, "field");
}

void Dbf::setText(char* record, int index, std::string_view value) const {
  const Field& f = field(index);
  const std::size_t n = std::min<std::size_t>(value.size(), f.length);
  std::memcpy(record + f.offset, value.data(), n);
  std::memset(record + f.offset + n, ' ', f.length - n);
}

NumberValue Dbf::number(const char* record, int index) const {
  const Field& f = field(index);
  const char* p = record + f.offset;
  switch (f.type) {
    case 'N':
    case 'F': return parseNumber({p, f.length});
    case 'I':
    case '+': return {static_cast<double>(loadLe<std::int32_t>(p)), NumberState::Value};
    case 'B': return {loadLe<double>(p), NumberState::Value};
    case 'Y': return {static_cast<double>(loadLe<std::int64_t>(p)) / 10000.0, NumberState::Value};
    default: return {0, NumberState::Invalid};
  }
}

int Dbf::unreadableNumber(const char* record) const {
  for (std::size_t i = 0; i < m_fields.size(); ++i) {
    const Field& f = m_fields[i];
    if (f.type != 'N' && f.type != 'F') continue;
    const NumberState state = parseNumber({record + f.offset, f.length}).state;
    if (state == NumberState::Overflow || state == NumberState::Invalid) return static_cast<int>(i);
  }
  return -1;
}

bool Dbf::setNumber(char* record, int index, double value) const {
  const Field& f = field(index);
  char* p = record + f.offset;
  switch (f.type) {
    case 'N':
    case 'F': return formatNumber(value, f.length, f.decimals, p);
    case 'B': storeLe(p, value); return true;
    case 'I': {
      const double r = std::round(value);
      if (!(r >= -2147483648.0 && r <= 2147483647.0)) return false;
      storeLe(p, static_cast<std::int32_t>(r));
      return true;
    }
    case 'Y': {
      const double r = std::round(value * 10000.0);
      if (!(std::fabs(r) < 9.2e18)) return false;
      storeLe(p, static_cast<std::int64_t>(r));
      return true;
    }
    default: wrongType(f, path(), "setNumber");
  }
}

std::int32_t Dbf::date(const char* record, int index) const {
  const Field& f = field(index);
  if (f.type == 'D') return parseDate({record + f.offset, f.length});
  if (f.type == 'T') return loadLe<std::int32_t>(record + f.offset);
  wrongType(f, path(), "date");
}

void Dbf::setDate(char* record, int index, std::int32_t jdn) const {
  const Field& f = field(index);
  if (f.type != 'D') wrongType(f, path(), "setDate");
  formatDate(jdn, record + f.offset);
}

bool Dbf::logical(const char* record, int index) const {
  const Field& f = field(index);
  if (f.type != 'L') wrongType(f, path(), "logical");
  const char c = record[f.offset];
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

void Dbf::setLogical(char* record, int index, bool value) const {
  const Field& f = field(index);
  if (f.type != 'L') wrongType(f, path(), "setLogical");
  record[f.offset] = value ? 'T' : 'F';
}

namespace {

// The block number a memo field holds (ASCII digits, or 4 binary bytes); false when it holds
// something else or a number beyond any block.
bool memoBlockOf(const Field& f, const char* record, std::uint32_t& block) {
  const char* p = record + f.offset;
  if (f.length == 4) {
    block = loadLe<std::uint32_t>(p);
    return true;
  }
  return parseBlockNumber({p, f.length}, block);
}

}  // namespace

std::uint32_t Dbf::memoBlock(const char* record, int index) const {
  const Field& f = field(index);
  std::uint32_t block = 0;
  if (!memoBlockOf(f, record, block))
    raiseCorrupt("puntero de memo inv\xE1lido en el campo " + f.name, path());
  return block;
}

std::string Dbf::memo(const char* record, int index) const {
  const std::uint32_t block = memoBlock(record, index);
  if (block == 0) return {};
  if (m_memo == nullptr) raise(GenCode::Open, MemoFile::kNoMemoFileText, path(), 2, "memo");
  return m_memo->read(block);
}

bool Dbf::tryMemo(const char* record, int index, std::string& text, MemoFault& fault) const {
  const Field& f = field(index);
  text.clear();
  fault = {};
  if (!memoBlockOf(f, record, fault.block)) {
    fault.kind = MemoFault::Kind::BadPointer;
    fault.field = f.name;
    return false;
  }
  if (fault.block == 0) return true;
  if (m_memo == nullptr) {
    fault.kind = MemoFault::Kind::NoMemoFile;
    return false;
  }
  return m_memo->tryRead(fault.block, text, fault);
}

void Dbf::setMemo(char* record, int index, std::string_view value) {
  checkWritable("setMemo");
  const Field& f = field(index);
  if (m_memo == nullptr || !(f.type == 'M' || f.type == 'G' || f.type == 'P' || f.type == 'W'))
    wrongType(f, path(), "setMemo");
  const std::uint32_t block = m_memo->write(memoBlock(record, index), value);
  char* p = record + f.offset;
  if (f.length == 4) {
    storeLe(p, block);
    return;
  }
  std::memset(p, ' ', f.length);
  for (std::uint32_t rest = block, i = f.length; rest != 0 && i > 0; rest /= 10, --i)
    p[i - 1] = static_cast<char>('0' + rest % 10);
  m_dirty = true;
}

}  // namespace exo::store
