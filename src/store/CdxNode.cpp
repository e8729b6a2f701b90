// Interior and leaf pages of compound index files.
#include "store/CdxNode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>

#include "expr/Collation.h"
#include "store/StoreFailure.h"

namespace exo::store::cdx {

std::uint32_t readLe32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24;
}
void writeLe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint16_t readLe16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
void writeLe16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

namespace {

std::uint32_t readBe32(const unsigned char* p) {
  return std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
}
void writeBe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}
std::uint64_t shiftRight(std::uint64_t v, unsigned s) { return s >= 64 ? 0 : v >> s; }

std::uint8_t bitLength(std::uint64_t v) {
  std::uint8_t n = 0;
  for (; v != 0; v >>= 1) ++n;
  return n;
}

void decodeLeaf(const unsigned char* page, std::uint16_t keyLength, std::uint8_t fill, Node& out,
                const std::string& fileName) {
  const std::uint32_t n = readLe16(page + 2);
  const std::uint64_t recMask = readLe32(page + 14);
  const unsigned recBits = page[20], dupBits = page[21], entryBytes = page[23];
  if (entryBytes < 1 || entryBytes > 8 || recBits + dupBits + page[22] > 8 * entryBytes ||
      n * entryBytes > kLeafSpace)
    raiseCorrupt("hoja de \xEDndice con anchos imposibles", fileName);
  // Shifts and masks worked out once: a count whose bits lie past the entry's 64 reads as 0.
  const unsigned trlAt = recBits + dupBits;
  const std::uint64_t dupMask = recBits >= 64 ? 0 : page[18];
  const std::uint64_t trlMask = trlAt >= 64 ? 0 : page[19];
  const unsigned dupShift = recBits >= 64 ? 0 : recBits, trlShift = trlAt >= 64 ? 0 : trlAt;
  const std::uint64_t entryMask =
      entryBytes == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * entryBytes)) - 1;
  out.keys.resize(std::size_t{n} * keyLength);
  out.recnos.resize(n);
  std::uint64_t pos = kPageSize;
  const std::uint64_t floor = 24 + n * entryBytes;
  // The first key shares nothing with a key before it.
  std::uint64_t dupLimit = 0;
  char* dst = out.keys.data();
  const char* prev = dst;
  for (std::uint32_t i = 0, at = 24; i < n; ++i, at += entryBytes) {
    // The entry's eight bytes, least significant first (little endian); the last entries of a
    // full page are taken from the page's last eight bytes, shifted down to them.
    const std::uint32_t from = std::min(at, kPageSize - 8);
    std::uint64_t v;
    std::memcpy(&v, page + from, 8);
    v = (v >> (8 * (at - from))) & entryMask;
    const std::uint64_t dup = (v >> dupShift) & dupMask;
    const std::uint64_t trail = (v >> trlShift) & trlMask;
    // Counts and lengths are far below 2^63: a difference that goes below zero sets the top
    // bit, so one test tells every impossible entry (more shared or trailing bytes than the key
    // has, shared bytes with no key before, stored bytes that reach into the entries).
    const std::uint64_t stored = keyLength - dup - trail;
    const std::uint64_t impossible = stored | (dupLimit - dup);
    if (((impossible | (pos - floor - stored)) >> 63) != 0) {
      if ((impossible >> 63) != 0)
        raiseCorrupt("clave comprimida imposible en hoja de \xEDndice", fileName);
      raiseCorrupt("claves de hoja de \xEDndice solapadas", fileName);
    }
    pos -= stored;
    std::memcpy(dst, prev, dup);
    std::memcpy(dst + dup, page + pos, stored);
    std::memset(dst + dup + stored, fill, trail);
    out.recnos[i] = static_cast<std::uint32_t>(v & recMask);
    prev = dst;
    dst += keyLength;
    dupLimit = keyLength;
  }
}

void decodeInterior(const unsigned char* page, std::uint16_t keyLength, Node& out,
                    const std::string& fileName) {
  const std::uint32_t n = readLe16(page + 2);
  if (n > interiorCapacity(keyLength))
    raiseCorrupt("nodo interior de \xEDndice sobrecargado", fileName);
  out.keys.resize(std::size_t{n} * keyLength);
  out.recnos.resize(n);
  out.children.resize(n);
  const std::uint32_t entry = keyLength + 8u;
  for (std::uint32_t i = 0; i < n; ++i) {
    const unsigned char* e = page + 12 + i * entry;
    std::memcpy(out.keys.data() + std::size_t{i} * keyLength, e, keyLength);
    out.recnos[i] = readBe32(e + keyLength);
    out.children[i] = readBe32(e + keyLength + 4);
  }
}

}  // namespace

namespace {

struct SpareNodes {
  std::mutex mutex;
  std::vector<Node> nodes;
};

SpareNodes& spareNodes() {
  static SpareNodes* spare = new SpareNodes;  // never destroyed: cursors may end after teardown
  return *spare;
}

constexpr std::size_t kSpareNodes = 64;

}  // namespace

Node takeSpareNode() {
  SpareNodes& s = spareNodes();
  std::lock_guard lock(s.mutex);
  if (s.nodes.empty()) return {};
  Node n = std::move(s.nodes.back());
  s.nodes.pop_back();
  return n;
}

void giveSpareNode(Node&& node) {
  if (node.keys.capacity() == 0 && node.recnos.capacity() == 0) return;  // no room to give
  SpareNodes& s = spareNodes();
  std::lock_guard lock(s.mutex);
  if (s.nodes.size() < kSpareNodes) s.nodes.push_back(std::move(node));
}

int KeyOrder::compare(const char* a, const char* b, std::size_t n) const {
  if (!collated) return std::memcmp(a, b, n);
  // Equal stretches are passed eight bytes at a time (keys of one tag mostly share long starts);
  // the first byte that differs decides by its weight. In a word loaded from memory the byte at
  // the lowest address is the least significant.
  static_assert(std::endian::native == std::endian::little);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) {
      i += static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
      return int{collationWeight(static_cast<unsigned char>(a[i]))} -
             int{collationWeight(static_cast<unsigned char>(b[i]))};
    }
  }
  for (; i < n; ++i) {
    if (a[i] != b[i])
      return int{collationWeight(static_cast<unsigned char>(a[i]))} -
             int{collationWeight(static_cast<unsigned char>(b[i]))};
  }
  return 0;
}

void Node::insert(std::size_t at, const char* key, std::uint32_t recno, std::uint32_t child) {
  keyBytes = -1;
  const auto before = static_cast<std::int32_t>(at), after = static_cast<std::int32_t>(size() - at);
  packedPrefix = std::min(packedPrefix, before);
  packedTail = std::min(packedTail, after);
  keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at * keyLength), key, key + keyLength);
  recnos.insert(recnos.begin() + static_cast<std::ptrdiff_t>(at), recno);
  if (!isLeaf()) children.insert(children.begin() + static_cast<std::ptrdiff_t>(at), child);
}

void Node::erase(std::size_t at) {
  keyBytes = -1;
  const auto before = static_cast<std::int32_t>(at),
             after = static_cast<std::int32_t>(size() - at - 1);
  packedPrefix = std::min(packedPrefix, before);
  packedTail = std::min(packedTail, after);
  const auto k = keys.begin() + static_cast<std::ptrdiff_t>(at * keyLength);
  keys.erase(k, k + keyLength);
  recnos.erase(recnos.begin() + static_cast<std::ptrdiff_t>(at));
  if (!isLeaf()) children.erase(children.begin() + static_cast<std::ptrdiff_t>(at));
}

void decodeNode(const unsigned char* page, std::uint32_t offset, std::uint16_t keyLength,
                std::uint8_t fill, Node& out, const std::string& fileName) {
  out.offset = offset;
  out.attr = readLe16(page);
  out.left = readLe32(page + 4);
  out.right = readLe32(page + 8);
  out.keyLength = keyLength;
  out.fill = fill;
  out.clear();
  if (out.isLeaf()) {
    decodeLeaf(page, keyLength, fill, out, fileName);
  } else {
    decodeInterior(page, keyLength, out, fileName);
  }
}

std::uint32_t interiorCapacity(std::uint16_t keyLength) {
  return (kPageSize - 12) / (keyLength + 8u);
}

void encodeInterior(const Node& node, unsigned char* page) {
  std::memset(page, 0, kPageSize);
  writeLe16(page, node.attr);
  writeLe16(page + 2, static_cast<std::uint16_t>(node.size()));
  writeLe32(page + 4, node.left);
  writeLe32(page + 8, node.right);
  const std::uint32_t entry = node.keyLength + 8u;
  for (std::size_t i = 0; i < node.size(); ++i) {
    unsigned char* e = page + 12 + i * entry;
    std::memcpy(e, node.key(i), node.keyLength);
    writeBe32(e + node.keyLength, node.recnos[i]);
    writeBe32(e + node.keyLength + 4, node.children[i]);
  }
}

LeafPacker::LeafPacker(std::uint16_t keyLength, std::uint8_t fill, std::uint32_t maxRecno)
    : m_keyLength(keyLength), m_fill(fill) {
  const std::uint8_t lengthBits = bitLength(keyLength);
  const std::uint8_t need = std::max<std::uint8_t>(1, bitLength(maxRecno));
  m_entryBytes = 3;
  while (8 * m_entryBytes - 2 * lengthBits < need) ++m_entryBytes;
  const int recBits = 8 * m_entryBytes - 2 * lengthBits;
  if (recBits > 32) {  // the record mask has 32 bits: give the slack to the counts
    const int rest = 8 * m_entryBytes - 32;
    m_recBits = 32;
    m_dupBits = static_cast<std::uint8_t>(rest / 2);
    m_trlBits = static_cast<std::uint8_t>(rest - rest / 2);
  } else {
    m_recBits = static_cast<std::uint8_t>(recBits);
    m_dupBits = m_trlBits = lengthBits;
  }
  m_entryMask =
      m_entryBytes >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * m_entryBytes)) - 1;
  reset();
}

void LeafPacker::reset() {
  std::memset(m_page, 0, sizeof m_page);
  m_free = kLeafSpace;
  m_keyPos = kPageSize;
  m_count = 0;
  m_prevTrail = 0;
}

namespace {

// Bytes equal to `fill` at the end of `key`, and bytes `a` and `b` share at their start (up to
// `limit`), eight at a time: in a word loaded from memory the byte at the lowest address is the
// least significant, so the first differing byte is given by the trailing zero bits of a ^ b,
// the last by the leading ones.
static_assert(std::endian::native == std::endian::little);

std::uint16_t trailingFill(const char* key, std::uint16_t length, std::uint8_t fill) {
  const std::uint64_t fill8 = 0x0101010101010101ULL * fill;
  std::uint16_t trail = 0;
  while (trail + 8 <= length) {
    std::uint64_t word;
    std::memcpy(&word, key + length - trail - 8, 8);
    if (const std::uint64_t x = word ^ fill8; x != 0)
      return static_cast<std::uint16_t>(trail + std::countl_zero(x) / 8);
    trail = static_cast<std::uint16_t>(trail + 8);
  }
  while (trail < length && static_cast<std::uint8_t>(key[length - 1 - trail]) == fill) ++trail;
  return trail;
}

std::uint16_t sharedStart(const char* a, const char* b, std::uint16_t limit) {
  std::uint16_t dup = 0;
  while (dup + 8 <= limit) {
    std::uint64_t x, y;
    std::memcpy(&x, a + dup, 8);
    std::memcpy(&y, b + dup, 8);
    if (x != y) return static_cast<std::uint16_t>(dup + std::countr_zero(x ^ y) / 8);
    dup = static_cast<std::uint16_t>(dup + 8);
  }
  while (dup < limit && a[dup] == b[dup]) ++dup;
  return dup;
}

}  // namespace

bool LeafPacker::add(const char* key, std::uint32_t recno) {
  // Trailing fill and the bytes shared with the previous key.
  const std::uint16_t trail = trailingFill(key, m_keyLength, m_fill);
  std::uint16_t dup = 0;
  if (m_count > 0) {
    dup = sharedStart(m_prev, key,
                      static_cast<std::uint16_t>(m_keyLength - std::max(trail, m_prevTrail)));
  }
  const std::uint32_t stored = m_keyLength - dup - trail;
  const std::uint32_t cost = m_entryBytes + stored;
  if (cost > m_free) return false;
  m_keyPos -= stored;
  std::memcpy(m_page + m_keyPos, key + dup, stored);
  const std::uint64_t v = std::uint64_t{recno} | std::uint64_t{dup} << m_recBits |
                          std::uint64_t{trail} << (m_recBits + m_dupBits);
  unsigned char* e = m_page + 24 + m_count * m_entryBytes;
  if (24 + m_count * m_entryBytes + 8 <= m_keyPos) {
    // The entry and the zero bytes above it in one store (the free space between entries and
    // keys is zero, and stays so).
    const std::uint64_t entry = v & m_entryMask;
    std::memcpy(e, &entry, 8);
  } else {
    for (unsigned b = 0; b < m_entryBytes; ++b) e[b] = static_cast<unsigned char>(v >> (8 * b));
  }
  m_free -= cost;
  m_prev = key;
  m_prevTrail = trail;
  ++m_count;
  return true;
}

bool LeafPacker::resume(const unsigned char* old, std::size_t count, const char* lastKey) {
  if (m_count != 0 || old[20] != m_recBits || old[21] != m_dupBits || old[22] != m_trlBits ||
      old[23] != m_entryBytes || readLe16(old + 2) < count || count == 0 ||
      24 + count * m_entryBytes + 8 > kPageSize)
    return false;
  // The stored bytes of the entries taken: the key length less their shared and trailing bytes.
  const std::uint64_t mask = m_entryMask;
  const unsigned dupShift = m_recBits, trlShift = m_recBits + m_dupBits;
  const std::uint64_t dupMask = (1u << m_dupBits) - 1, trlMask = (1u << m_trlBits) - 1;
  std::uint32_t stored = 0;
  const unsigned char* e = old + 24;
  for (std::size_t i = 0; i < count; ++i, e += m_entryBytes) {
    std::uint64_t v;
    std::memcpy(&v, e, 8);  // entries lie well before the page's end
    v &= mask;
    stored += m_keyLength -
              static_cast<std::uint32_t>(((v >> dupShift) & dupMask) + ((v >> trlShift) & trlMask));
  }
  const std::uint32_t entries = static_cast<std::uint32_t>(count) * m_entryBytes;
  if (stored + entries > kLeafSpace) return false;
  std::memcpy(m_page + 24, old + 24, entries);
  m_keyPos = kPageSize - stored;
  std::memcpy(m_page + m_keyPos, old + m_keyPos, stored);
  m_free = kLeafSpace - entries - stored;
  m_count = count;
  m_prev = lastKey;
  m_prevTrail = trailingFill(lastKey, m_keyLength, m_fill);
  return true;
}

bool LeafPacker::appendTail(const unsigned char* old, std::size_t count) {
  const std::size_t total = readLe16(old + 2);
  const std::uint32_t eb = m_entryBytes;
  if (m_count == 0 || count == 0 || old[20] != m_recBits || old[21] != m_dupBits ||
      old[22] != m_trlBits || old[23] != eb || total < count || 24 + total * eb + 8 > kPageSize)
    return false;
  const unsigned dupShift = m_recBits, trlShift = m_recBits + m_dupBits;
  const std::uint64_t dupMask = (1u << m_dupBits) - 1, trlMask = (1u << m_trlBits) - 1;
  std::uint32_t stored = 0;
  const unsigned char* first = old + 24 + (total - count) * eb;
  const unsigned char* e = first;
  for (std::size_t i = 0; i < count; ++i, e += eb) {
    std::uint64_t v;
    std::memcpy(&v, e, 8);
    v &= m_entryMask;
    stored += m_keyLength -
              static_cast<std::uint32_t>(((v >> dupShift) & dupMask) + ((v >> trlShift) & trlMask));
  }
  // The keys of `old` end where its free space says (the packer's own page).
  const std::uint32_t oldFree = readLe16(old + 12);
  if (oldFree + total * eb > kLeafSpace) return false;
  const std::uint32_t oldKeyPos = 24 + static_cast<std::uint32_t>(total) * eb + oldFree;
  const std::uint32_t entries = static_cast<std::uint32_t>(count) * eb;
  if (oldKeyPos + stored > kPageSize || entries + stored > m_free) return false;
  std::memcpy(m_page + 24 + m_count * eb, first, entries);
  m_keyPos -= stored;
  std::memcpy(m_page + m_keyPos, old + oldKeyPos, stored);
  m_free -= entries + stored;
  m_count += count;
  m_prev = nullptr;  // nothing is added after a tail
  return true;
}

bool LeafPacker::wouldFit(const Node& node) const {
  const std::uint32_t keys =
      node.keyBytes >= 0 ? static_cast<std::uint32_t>(node.keyBytes) : packedKeyBytes(node, m_fill);
  return node.size() * m_entryBytes + keys <= kLeafSpace;
}

const unsigned char* LeafPacker::finish(std::uint16_t attr, std::uint32_t left,
                                        std::uint32_t right) {
  writeLe16(m_page, attr);
  writeLe16(m_page + 2, static_cast<std::uint16_t>(m_count));
  writeLe32(m_page + 4, left);
  writeLe32(m_page + 8, right);
  writeLe16(m_page + 12, static_cast<std::uint16_t>(m_free));
  writeLe32(m_page + 14, m_recBits >= 32 ? 0xFFFFFFFFu : (1u << m_recBits) - 1);
  m_page[18] = static_cast<unsigned char>((1u << m_dupBits) - 1);
  m_page[19] = static_cast<unsigned char>((1u << m_trlBits) - 1);
  m_page[20] = m_recBits;
  m_page[21] = m_dupBits;
  m_page[22] = m_trlBits;
  m_page[23] = m_entryBytes;
  return m_page;
}

std::uint32_t leafUsedBytes(const unsigned char* page, std::uint16_t keyLength) {
  const std::uint32_t n = readLe16(page + 2);
  const unsigned recBits = page[20], dupBits = page[21], entryBytes = page[23];
  std::uint32_t used = 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint64_t v = 0;
    for (unsigned b = 0; b < entryBytes; ++b)
      v |= std::uint64_t{page[24 + i * entryBytes + b]} << (8 * b);
    const std::uint64_t dup = shiftRight(v, recBits) & page[18];
    const std::uint64_t trail = shiftRight(v, recBits + dupBits) & page[19];
    used += entryBytes + keyLength - static_cast<std::uint32_t>(dup + trail);
  }
  return used;
}

bool encodeLeaf(const Node& node, std::uint8_t fill, unsigned char* page) {
  const std::uint32_t maxRecno =
      node.recnos.empty() ? 1 : *std::max_element(node.recnos.begin(), node.recnos.end());
  LeafPacker packer(node.keyLength, fill, maxRecno);
  for (std::size_t i = 0; i < node.size(); ++i)
    if (!packer.add(node.key(i), node.recnos[i])) return false;
  std::memcpy(page, packer.finish(node.attr, node.left, node.right), kPageSize);
  return true;
}

bool encodeLeafAfter(const Node& node, std::uint8_t fill, const unsigned char* old,
                     unsigned char* page) {
  const std::uint32_t maxRecno =
      node.recnos.empty() ? 1 : *std::max_element(node.recnos.begin(), node.recnos.end());
  LeafPacker packer(node.keyLength, fill, maxRecno);
  const std::size_t n = node.size();
  std::size_t from = 0;
  if (node.packedPrefix > 0 &&
      packer.resume(old, static_cast<std::size_t>(node.packedPrefix),
                    node.key(static_cast<std::size_t>(node.packedPrefix) - 1)))
    from = static_cast<std::size_t>(node.packedPrefix);
  // The keys of the tail but its first follow the same keys as on the page: their entries stand.
  std::size_t tail = n;
  if (node.packedTail > 1)
    tail = std::max(from + 1, n - static_cast<std::size_t>(node.packedTail) + 1);
  for (std::size_t i = from; i < std::min(tail, n); ++i)
    if (!packer.add(node.key(i), node.recnos[i])) return false;
  if (tail < n && !packer.appendTail(old, n - tail)) {
    for (std::size_t i = tail; i < n; ++i)
      if (!packer.add(node.key(i), node.recnos[i])) return false;
  }
  std::memcpy(page, packer.finish(node.attr, node.left, node.right), kPageSize);
  return true;
}

std::uint32_t packedKeyCost(const Node& node, std::size_t i, std::uint8_t fill) {
  const std::uint16_t length = node.keyLength;
  const char* key = node.key(i);
  const std::uint16_t trail = trailingFill(key, length, fill);
  if (i == 0) return length - trail;
  const std::uint16_t prevTrail = trailingFill(node.key(i - 1), length, fill);
  const std::uint16_t dup = sharedStart(
      node.key(i - 1), key, static_cast<std::uint16_t>(length - std::max(trail, prevTrail)));
  return static_cast<std::uint32_t>(length - dup - trail);
}

std::uint32_t packedKeyBytes(const Node& node, std::uint8_t fill) {
  std::uint32_t bytes = 0;
  std::uint16_t prevTrail = 0;
  for (std::size_t i = 0; i < node.size(); ++i) {
    const char* key = node.key(i);
    const std::uint16_t trail = trailingFill(key, node.keyLength, fill);
    std::uint16_t dup = 0;
    if (i > 0) {
      dup = sharedStart(node.key(i - 1), key,
                        static_cast<std::uint16_t>(node.keyLength - std::max(trail, prevTrail)));
    }
    bytes += node.keyLength - dup - trail;
    prevTrail = trail;
  }
  return bytes;
}

bool leafFits(const Node& node, std::uint8_t fill) {
  const std::uint32_t maxRecno =
      node.recnos.empty() ? 1 : *std::max_element(node.recnos.begin(), node.recnos.end());
  return LeafPacker(node.keyLength, fill, maxRecno).wouldFit(node);
}

}  // namespace exo::store::cdx
