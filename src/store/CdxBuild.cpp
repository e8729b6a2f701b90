// Bulk building of compound index files: new files, tags built from sorted keys (leaves
// filled in order, interior levels on top), tag directory rewrites and the free-page chain.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <thread>
#include <tuple>

#include "expr/Collation.h"
#include "expr/Text.h"
#include "store/CdxWriter.h"
#include "store/FileLock.h"
#include "store/StoreFailure.h"

namespace exo::store {

using namespace cdx;

namespace {

constexpr std::size_t kSinkBytes = 1024 * 1024;

// Pages written one after another from a starting offset, in large writes.
class PageSink {
 public:
  PageSink(File& file, std::uint32_t start) : m_file(file), m_flushed(start), m_next(start) {}
  std::uint32_t next() const { return m_next; }
  void put(const unsigned char* page) {
    if (m_next > 0xFFFFFFFFu - 2 * kPageSize)
      raise(GenCode::Limit, "\xCDndice demasiado grande", m_file.path());
    m_buf.insert(m_buf.end(), page, page + kPageSize);
    m_next += kPageSize;
    if (m_buf.size() >= kSinkBytes) flush();
  }
  void flush() {
    if (m_buf.empty()) return;
    m_file.writeAt(m_flushed, m_buf.data(), m_buf.size());
    m_flushed += static_cast<std::uint32_t>(m_buf.size());
    m_buf.clear();
  }

 private:
  File& m_file;
  std::uint32_t m_flushed, m_next;
  std::vector<unsigned char> m_buf;
};

// The keys of a batch in (key, record) order, back to back, with their records.
struct SortedKeys {
  std::vector<char> keys;
  std::vector<std::uint32_t> recnos;
  std::uint16_t keyLength;
  std::uint8_t fill;
  std::size_t size() const { return recnos.size(); }
  const char* key(std::size_t i) const { return keys.data() + i * keyLength; }
};

std::uint64_t byteSwap64(std::uint64_t v) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap64(v);
#else
  std::uint64_t r = 0;
  for (int i = 0; i < 8; ++i, v >>= 8) r = (r << 8) | (v & 0xFF);
  return r;
#endif
}

// The identity of bytes, for keys compared as raw bytes.
const std::uint8_t* identityTable() {
  static const auto table = [] {
    std::array<std::uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) t[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
    return t;
  }();
  return table.data();
}

std::uint64_t bigEndian64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = byteSwap64(v);
  return v;
}

void putBigEndian64(unsigned char* p, std::uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) v = byteSwap64(v);
  std::memcpy(p, &v, 8);
}

// The first 8 * Words comparison bytes of a key (through `table`), big-endian, zero beyond the key.
template <int Words>
void loadWords(const unsigned char* key, std::size_t len, const std::uint8_t* table,
               std::uint64_t* out) {
  unsigned char bytes[8 * Words] = {};
  const std::size_t n = std::min<std::size_t>(len, 8 * Words);
  for (std::size_t b = 0; b < n; ++b) bytes[b] = table[key[b]];
  for (int w = 0; w < Words; ++w) out[w] = bigEndian64(bytes + 8 * w);
}

// The comparison bytes of `words` back as key bytes (through `byteOf`), `len` of them.
template <int Words>
void storeWords(const std::uint64_t* words, std::size_t len, const std::uint8_t* byteOf,
                char* out) {
  unsigned char bytes[8 * Words];
  for (int w = 0; w < Words; ++w) putBigEndian64(bytes + 8 * w, words[w]);
  for (std::size_t b = 0; b < len; ++b) out[b] = static_cast<char>(byteOf[bytes[b]]);
}

// Runs `work(from, to)` over [0, n): in two halves on two threads when n is large.
template <class Work>
void inHalves(std::size_t n, Work work) {
  if (n >= 100000 && std::thread::hardware_concurrency() > 1) {
    std::thread other([&] { work(n / 2, n); });
    work(0, n / 2);
    other.join();
  } else {
    work(0, n);
  }
}

// Sorts large vectors in two halves on two threads and merges them.
template <class Item, class Less>
void sortItems(std::vector<Item>& items, Less less) {
  if (items.size() >= 100000 && std::thread::hardware_concurrency() > 1) {
    const auto middle = items.begin() + static_cast<std::ptrdiff_t>(items.size() / 2);
    std::thread other([&] { std::sort(items.begin(), middle, less); });
    std::sort(middle, items.end(), less);
    other.join();
    std::inplace_merge(items.begin(), middle, items.end(), less);
  } else {
    std::sort(items.begin(), items.end(), less);
  }
}

// Sorts [first, last) by insertion while that stays cheap: keys that are nearly in order (a
// ledger's lines come voucher by voucher, with the third parties of a voucher in any order) are
// put in order in one pass. Gives up (leaving a permutation of the items) once the moves pass a
// few per item; false then.
template <class It, class Less>
bool sortNearlyInOrder(It first, It last, Less less) {
  const auto n = last - first;
  std::ptrdiff_t budget = 2 * n + 64;
  for (It i = first + 1; i < last; ++i) {
    if (!less(*i, *(i - 1))) continue;
    auto item = std::move(*i);
    It j = i;
    do {
      *j = std::move(*(j - 1));
      --j;
      if (--budget < 0) {
        *j = std::move(item);
        return false;
      }
    } while (j > first && less(item, *(j - 1)));
    *j = std::move(item);
  }
  return true;
}

// Sorts items by their comparison bytes (`words`): a stable pass deals them into 65,536 buckets
// by the first 16 bits that differ, then each bucket is sorted unless it is in order
// already (keys appended in order, or in order within their first bytes, as voucher numbers within
// a voucher type are). Buckets are shared between two threads.
template <class Item, class Less>
void sortByLeadingBytes(std::vector<Item>& items, Less less) {
  const std::size_t n = items.size();
  if (n < 16384) {
    sortItems(items, less);
    return;
  }
  // The buckets go by the first 16 bits in which the keys differ (keys that all begin alike,
  // such as codes with leading zeros, would otherwise fall into a few buckets).
  std::uint64_t differ = 0;
  for (const Item& it : items) differ |= it.words[0] ^ items.front().words[0];
  int shift = 48;
  while (shift > 0 && (differ >> (shift + 15)) == 0) --shift;
  const auto bucketOf = [shift](const Item& it) {
    return static_cast<std::size_t>((it.words[0] >> shift) & 0xFFFF);
  };
  std::vector<std::uint32_t> start(65537, 0);
  for (const Item& it : items) ++start[bucketOf(it) + 1];
  for (std::size_t b = 0; b < 65536; ++b) start[b + 1] += start[b];
  std::vector<Item> dealt(n);
  {
    std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
    for (const Item& it : items) dealt[next[bucketOf(it)]++] = it;
  }
  items.swap(dealt);
  const auto sortBuckets = [&](std::size_t from, std::size_t to) {
    for (std::size_t b = from; b < to; ++b) {
      const auto first = items.begin() + start[b], last = items.begin() + start[b + 1];
      if (last - first > 1 && !sortNearlyInOrder(first, last, less)) std::sort(first, last, less);
    }
  };
  // The second thread takes the buckets of the second half of the items.
  std::size_t split = 0;
  while (split < 65536 && start[split] < n / 2) ++split;
  if (n >= 100000 && std::thread::hardware_concurrency() > 1) {
    std::thread other([&] { sortBuckets(split, 65536); });
    sortBuckets(0, split);
    other.join();
  } else {
    sortBuckets(0, 65536);
  }
}

// Batches with few distinct keys (accounts, third parties, cost centres over a year of ledger
// lines) added in record order: the distinct keys are sorted and the records dealt into them in
// one pass, which keeps each key's records in record order. Returns false (and does nothing)
// when the batch is not such a batch.
constexpr std::size_t kDistinctProbe = 8192;

bool sortByDistinctKeys(const KeyBatch& batch, const std::uint8_t* table, bool unique,
                        SortedKeys& out) {
  const std::size_t n = batch.size(), len = batch.keyLength();
  if (n < 4096) return false;
  for (std::size_t i = 1; i < n; ++i)
    if (batch.recno(i) <= batch.recno(i - 1)) return false;
  const std::size_t limit = n / 16;
  std::size_t slots = 1;
  while (slots < 2 * limit) slots <<= 1;
  std::vector<std::uint32_t> slot(slots, UINT32_MAX);  // index of the first record of a key
  std::vector<std::uint32_t> firstOf;                  // distinct keys by first record
  std::vector<std::uint32_t> idOf(n);
  const char* raw = batch.key(0);
  for (std::size_t i = 0; i < n; ++i) {
    // Every one of the first keys different: a batch of (nearly) unique keys, not worth going on.
    if (i == kDistinctProbe && firstOf.size() == kDistinctProbe) return false;
    const char* k = raw + i * len;
    std::uint64_t h = 1469598103934665603ull;
    std::size_t b = 0;
    for (; b + 8 <= len; b += 8) {
      std::uint64_t w;
      std::memcpy(&w, k + b, 8);
      h = (h ^ w) * 0x9E3779B97F4A7C15ull;
      h ^= h >> 32;
    }
    for (; b < len; ++b) h = (h ^ static_cast<unsigned char>(k[b])) * 1099511628211ull;
    std::size_t s = static_cast<std::size_t>(h ^ (h >> 29)) & (slots - 1);
    for (;;) {
      if (slot[s] == UINT32_MAX) {
        if (firstOf.size() >= limit) return false;
        slot[s] = static_cast<std::uint32_t>(firstOf.size());
        firstOf.push_back(static_cast<std::uint32_t>(i));
        break;
      }
      if (std::memcmp(raw + std::size_t{firstOf[slot[s]]} * len, k, len) == 0) break;
      s = (s + 1) & (slots - 1);
    }
    idOf[i] = slot[s];
  }
  // The distinct keys in order, then each record into its key's place.
  std::vector<std::uint32_t> ids(firstOf.size());
  for (std::uint32_t i = 0; i < ids.size(); ++i) ids[i] = i;
  std::sort(ids.begin(), ids.end(), [&](std::uint32_t a, std::uint32_t b) {
    const unsigned char* ka =
        reinterpret_cast<const unsigned char*>(raw) + std::size_t{firstOf[a]} * len;
    const unsigned char* kb =
        reinterpret_cast<const unsigned char*>(raw) + std::size_t{firstOf[b]} * len;
    for (std::size_t i = 0; i < len; ++i)
      if (ka[i] != kb[i]) return table[ka[i]] < table[kb[i]];
    return false;
  });
  std::vector<std::uint32_t> start(firstOf.size() + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++start[idOf[i] + 1];
  std::vector<std::uint32_t> rank(firstOf.size());
  for (std::uint32_t r = 0; r < ids.size(); ++r) rank[ids[r]] = r;
  std::vector<std::uint32_t> count(firstOf.size());
  for (std::uint32_t id = 0; id < firstOf.size(); ++id) count[rank[id]] = start[id + 1];
  std::vector<std::uint32_t> place(firstOf.size() + 1, 0);
  for (std::size_t r = 0; r < ids.size(); ++r) place[r + 1] = place[r] + (unique ? 1 : count[r]);
  out.keys.resize(std::size_t{place.back()} * len);
  out.recnos.resize(place.back());
  std::vector<std::uint32_t> next(place.begin(), place.end() - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t r = rank[idOf[i]];
    if (unique && next[r] != place[r]) continue;  // the lowest record of the key is kept
    const std::uint32_t at = next[r]++;
    std::memcpy(out.keys.data() + std::size_t{at} * len, raw + i * len, len);
    out.recnos[at] = batch.recno(i);
  }
  return true;
}

// Keys of up to 8 * Words bytes: the sort items hold the whole key (as comparison bytes), so the
// sorted keys are rebuilt from them and the batch is never read in random order.
template <int Words>
SortedKeys sortShortKeys(const KeyBatch& batch, bool collated, bool unique, std::uint8_t fill) {
  struct Item {
    std::uint64_t words[Words];
    std::uint32_t recno;
  };
  const std::size_t n = batch.size(), len = batch.keyLength();
  const std::uint8_t* table = collated ? kCollationWeights : identityTable();
  SortedKeys out{{}, {}, static_cast<std::uint16_t>(len), fill};
  if (sortByDistinctKeys(batch, table, unique, out)) return out;
  std::uint8_t byteOf[256];
  for (int b = 0; b < 256; ++b) byteOf[table[b]] = static_cast<std::uint8_t>(b);
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(batch.key(0));
  std::vector<Item> items(n);
  inHalves(n, [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      loadWords<Words>(raw + i * len, len, table, items[i].words);
      items[i].recno = batch.recno(i);
    }
  });
  sortByLeadingBytes(items, [](const Item& a, const Item& b) {
    for (int w = 0; w < Words; ++w)
      if (a.words[w] != b.words[w]) return a.words[w] < b.words[w];
    return a.recno < b.recno;
  });
  // The keys again from their comparison bytes, each in its place.
  out.keys.resize(n * len);
  out.recnos.resize(n);
  inHalves(n, [&](std::size_t from, std::size_t to) {
    char* at = out.keys.data() + from * len;
    for (std::size_t i = from; i < to; ++i, at += len) {
      storeWords<Words>(items[i].words, len, byteOf, at);
      out.recnos[i] = items[i].recno;
    }
  });
  if (unique) {
    // The first record of each key stays.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const char* k = out.keys.data() + i * len;
      if (kept > 0 && std::memcmp(out.keys.data() + (kept - 1) * len, k, len) == 0) continue;
      if (kept != i) std::memcpy(out.keys.data() + kept * len, k, len);
      out.recnos[kept++] = out.recnos[i];
    }
    out.recnos.resize(kept);
  }
  out.keys.resize(out.recnos.size() * len);
  return out;
}

// Longer keys: 24 comparison bytes in the item, the rest compared in the batch (as comparison
// bytes), the keys gathered from the batch in sorted order.
SortedKeys sortLongKeys(const KeyBatch& batch, bool collated, bool unique, std::uint8_t fill) {
  struct Item {
    std::uint64_t words[3];
    std::uint32_t recno;
    std::uint32_t index;
  };
  const std::size_t n = batch.size(), len = batch.keyLength(), rest = len - 24;
  const std::uint8_t* table = collated ? kCollationWeights : identityTable();
  SortedKeys few{{}, {}, static_cast<std::uint16_t>(len), fill};
  if (sortByDistinctKeys(batch, table, unique, few)) return few;
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(batch.key(0));
  std::vector<unsigned char> tails(n * rest);
  std::vector<Item> items(n);
  for (std::size_t i = 0; i < n; ++i) {
    loadWords<3>(raw + i * len, len, table, items[i].words);
    items[i].recno = batch.recno(i);
    items[i].index = static_cast<std::uint32_t>(i);
    for (std::size_t b = 0; b < rest; ++b) tails[i * rest + b] = table[raw[i * len + 24 + b]];
  }
  sortItems(items, [&](const Item& a, const Item& b) {
    for (int w = 0; w < 3; ++w)
      if (a.words[w] != b.words[w]) return a.words[w] < b.words[w];
    const int c = std::memcmp(&tails[a.index * rest], &tails[b.index * rest], rest);
    return c != 0 ? c < 0 : a.recno < b.recno;
  });
  SortedKeys out{{}, {}, static_cast<std::uint16_t>(len), fill};
  out.keys.resize(n * len);
  out.recnos.reserve(n);
  char* at = out.keys.data();
  for (const Item& it : items) {
    std::memcpy(at, raw + std::size_t{it.index} * len, len);
    if (unique && !out.recnos.empty() && std::memcmp(at - len, at, len) == 0) continue;
    out.recnos.push_back(it.recno);
    at += len;
  }
  out.keys.resize(out.recnos.size() * len);
  return out;
}

// Sorts by (key, record): collated keys through their weights (a permutation of the bytes, so
// equal weights mean equal bytes), others as raw bytes. Unique keeps the first of a key.
SortedKeys sortKeys(const KeyBatch& batch, bool collated, bool unique, std::uint8_t fill) {
  const std::size_t len = batch.keyLength();
  if (len <= 8) return sortShortKeys<1>(batch, collated, unique, fill);
  if (len <= 16) return sortShortKeys<2>(batch, collated, unique, fill);
  if (len <= 24) return sortShortKeys<3>(batch, collated, unique, fill);
  return sortLongKeys(batch, collated, unique, fill);
}

struct UpEntry {
  std::uint32_t keyIndex;  // last key of the child
  std::uint32_t child;
};

std::vector<UpEntry> writeInteriorLevel(PageSink& sink, const SortedKeys& in,
                                        const std::vector<UpEntry>& level) {
  const std::size_t n = level.size();
  const std::size_t cap = interiorCapacity(in.keyLength);
  const std::size_t nodes = (n + cap - 1) / cap;
  const std::size_t per = (n + nodes - 1) / nodes;
  std::vector<UpEntry> up;
  Node node;
  node.keyLength = in.keyLength;
  unsigned char page[kPageSize];
  std::uint32_t prev = kNoPage;
  for (std::size_t start = 0; start < n; start += per) {
    const std::size_t end = std::min(n, start + per);
    node.clear();
    node.attr = nodes == 1 ? kAttrRoot : 0;
    node.left = prev;
    node.right = end < n ? sink.next() + kPageSize : kNoPage;
    for (std::size_t j = start; j < end; ++j) {
      const char* k = in.key(level[j].keyIndex);
      node.keys.insert(node.keys.end(), k, k + in.keyLength);
      node.recnos.push_back(in.recnos[level[j].keyIndex]);
      node.children.push_back(level[j].child);
    }
    encodeInterior(node, page);
    prev = sink.next();
    sink.put(page);
    up.push_back({level[end - 1].keyIndex, prev});
  }
  return up;
}

// Writes the whole tree of `in` through `sink`; returns the root's offset.
std::uint32_t writeTree(PageSink& sink, const SortedKeys& in) {
  std::uint32_t maxRecno = 1;
  for (std::uint32_t r : in.recnos) maxRecno = std::max(maxRecno, r);
  LeafPacker packer(in.keyLength, in.fill, maxRecno);
  std::vector<UpEntry> level;
  std::uint32_t prev = kNoPage, lastIndex = 0;
  const auto closeLeaf = [&](bool more) {
    const std::uint32_t at = sink.next();
    const std::uint16_t attr = kAttrLeaf | (!more && level.empty() ? kAttrRoot : 0);
    sink.put(packer.finish(attr, prev, more ? at + kPageSize : kNoPage));
    level.push_back({lastIndex, at});
    prev = at;
    packer.reset();
  };
  for (std::uint32_t i = 0; i < in.size(); ++i) {
    const char* k = in.key(i);
    if (!packer.add(k, in.recnos[i])) {
      closeLeaf(true);
      packer.add(k, in.recnos[i]);
    }
    lastIndex = i;
  }
  closeLeaf(false);
  while (level.size() > 1) level = writeInteriorLevel(sink, in, level);
  return level.front().child;
}

void putExpressions(unsigned char* h, const std::string& key, const std::string& cond) {
  std::memcpy(h + kPageSize, key.data(), key.size());
  std::memcpy(h + kPageSize + key.size() + 1, cond.data(), cond.size());
  writeLe16(h + 504, static_cast<std::uint16_t>(key.size() + 1));
  writeLe16(h + 506, static_cast<std::uint16_t>(cond.size() + 1));
  writeLe16(h + 508, 0);
  writeLe16(h + 510, static_cast<std::uint16_t>(key.size() + 1));
}

// The 1024-byte header of a tag (or, with options 0xE0 and no expressions, of the file).
std::vector<unsigned char> tagHeader(std::uint32_t root, std::uint16_t keyLength,
                                     std::uint8_t options, bool descending, const std::string& key,
                                     const std::string& cond) {
  std::vector<unsigned char> h(2 * kPageSize, 0);
  writeLe32(h.data(), root);
  writeLe16(h.data() + 12, keyLength);
  h[14] = options;
  h[15] = 0x01;
  writeLe16(h.data() + 502, descending ? 1 : 0);
  putExpressions(h.data(), key, cond);
  return h;
}

void checkDefinition(const TagDefinition& definition, const KeyBatch& keys,
                     const std::string& path) {
  const bool nameOk = !definition.name.empty() && definition.name.size() <= 10 &&
                      std::all_of(definition.name.begin(), definition.name.end(),
                                  [](char ch) { return isNameChar(ch); });
  if (!nameOk)
    raise(GenCode::Arg, "Nombre de etiqueta inv\xE1lido: " + definition.name, path, 0, "buildTag");
  if (definition.keyLength == 0 || definition.keyLength > kMaxKeyLength ||
      keys.keyLength() != definition.keyLength || keys.kind() != definition.kind)
    raise(GenCode::Arg, "Longitud de clave inv\xE1lida en la etiqueta " + definition.name, path, 0,
          "buildTag");
  if (definition.keyExpression.empty() ||
      definition.keyExpression.size() + definition.forExpression.size() > 510)
    raise(GenCode::Arg, "Expresi\xF3n de \xEDndice inv\xE1lida en la etiqueta " + definition.name,
          path, 0, "buildTag");
}

}  // namespace

Cdx CdxWriter::create(const std::string& path, const CdxOptions& options) {
  const std::string temp = siblingTempName(path);
  try {
    File f = File::create(temp);
    std::vector<unsigned char> bytes = tagHeader(2 * kPageSize, 10, 0xE0, false, "", "");
    LeafPacker empty(10, ' ', 2 * kPageSize);
    const unsigned char* leaf = empty.finish(kAttrRoot | kAttrLeaf, kNoPage, kNoPage);
    bytes.insert(bytes.end(), leaf, leaf + kPageSize);
    f.writeAt(0, bytes.data(), bytes.size());
    f.sync();
  } catch (...) {
    std::remove(temp.c_str());
    throw;
  }
  replaceFile(temp, path);
  return Cdx::open(path, options);
}

void CdxWriter::requireWritable(const Cdx& c, const char* operation) {
  if (!c.m_file.isOpen())
    raise(GenCode::NoTable, "El \xEDndice no est\xE1 abierto", {}, 0, operation);
  if (c.m_options.readOnly)
    raise(GenCode::ReadOnly, "\xCDndice abierto s\xF3lo para lectura", c.path(), 0, operation);
}

std::uint32_t CdxWriter::alignedEnd(const Cdx& c) {
  const std::uint64_t end = (c.m_size + kPageSize - 1) / kPageSize * kPageSize;
  if (end > 0xFFFFFFFFull - 4 * kPageSize)
    raise(GenCode::Limit, "\xCDndice demasiado grande", c.path());
  return static_cast<std::uint32_t>(end);
}

void CdxWriter::writePage(Cdx& c, std::uint32_t offset, const unsigned char* page) {
  c.writeBytes(offset, page, kPageSize);
  c.m_size = std::max<std::uint64_t>(c.m_size, std::uint64_t{offset} + kPageSize);
}

void CdxWriter::bumpCounter(Cdx& c) {
  if (!c.m_batch) {
    // The nodes kept decoded follow this object's own writes: when they matched the file before
    // the change, they match it after (the counter they match moves with it).
    unsigned char before[4];
    c.readBytes(8, before, 4);
    const bool current = readLe32(before) == c.m_nodesCounter;
    c.bumpCounter();
    if (current) {
      unsigned char after[4];
      c.readBytes(8, after, 4);
      c.m_nodesCounter = readLe32(after);
    }
  } else {
    ++c.m_batchChanges;  // a batch bumps it at its end
  }
}

std::uint32_t CdxWriter::allocatePage(Cdx& c) {
  unsigned char head[4];
  c.readBytes(4, head, 4);
  const std::uint32_t free = readLe32(head);
  if (!c.m_distrust && free != 0 && free != kNoPage && free % kPageSize == 0 &&
      free >= 2 * kPageSize && free + std::uint64_t{kPageSize} <= c.m_size) {
    c.readBytes(free, head, 4);  // the chain continues in the page's first bytes
    c.writeBytes(4, head, 4);
    return free;
  }
  const std::uint32_t at = alignedEnd(c);
  const unsigned char zero[kPageSize] = {};
  writePage(c, at, zero);
  return at;
}

// Chains pages into the free list: each page's first 4 bytes name the next free page.
void CdxWriter::freePages(Cdx& c, const std::vector<std::uint32_t>& pages) {
  if (pages.empty() || c.m_distrust) return;
  unsigned char head[4];
  c.readBytes(4, head, 4);
  for (std::uint32_t p : pages) {
    c.writeBytes(p, head, 4);
    writeLe32(head, p);
  }
  c.writeBytes(4, head, 4);
}

void CdxWriter::collectTreePages(const Cdx& c, std::uint32_t root, std::uint16_t keyLength,
                                 std::vector<std::uint32_t>& out) {
  std::vector<std::pair<std::uint32_t, int>> stack{{root, 0}};
  Node node;
  unsigned char page[kPageSize];
  while (!stack.empty()) {
    const auto [at, depth] = stack.back();
    stack.pop_back();
    if (depth > 64 || out.size() > c.pageLimit())
      raiseCorrupt("\xE1rbol de \xEDndice inv\xE1lido", c.path());
    out.push_back(at);
    c.readPage(at, page);
    if (readLe16(page) & kAttrLeaf) continue;
    decodeNode(page, at, keyLength, ' ', node, c.path());
    for (std::uint32_t child : node.children) stack.emplace_back(child, depth + 1);
  }
}

// Writes a new directory holding the current tags minus `dropName` plus (`newName`,
// `newHeader`), switches the file header to it and frees the old directory and `freed`.
void CdxWriter::rewriteDirectory(Cdx& c, const std::string& dropName, std::uint32_t newHeader,
                                 const std::string& newName, std::vector<std::uint32_t> freed) {
  KeyBatch names(10, KeyKind::MachineCharacter);
  for (const TagInfo& t : c.m_tags)
    if (upperName(t.name) != dropName) names.add(upperName(t.name), t.headerOffset);
  if (!newName.empty()) names.add(newName, newHeader);
  unsigned char root[4];
  c.readBytes(0, root, 4);
  if (c.m_distrust) {
    freed.clear();
  } else {
    collectTreePages(c, readLe32(root), 10, freed);
  }
  const SortedKeys sorted = sortKeys(names, false, true, ' ');
  PageSink sink(c.m_file, alignedEnd(c));
  const std::uint32_t dirRoot = writeTree(sink, sorted);
  sink.flush();
  c.m_size = std::max<std::uint64_t>(c.m_size, sink.next());
  c.m_file.sync();  // everything new is on disk before the switch
  writeLe32(root, dirRoot);
  c.writeBytes(0, root, 4);
  freePages(c, freed);
  bumpCounter(c);
}

namespace {

// The keys of a tag whose key is the start (`length` bytes) of the keys of `in`, in the order
// (key, record) a sort of them would give: the starts of sorted keys are in order already, and
// only the records of equal starts are put in order again.
SortedKeys sortedPrefixes(const SortedKeys& in, std::uint16_t length) {
  SortedKeys out{{}, in.recnos, length, in.fill};
  const std::size_t n = in.size();
  out.keys.resize(n * length);
  for (std::size_t i = 0; i < n; ++i) std::memcpy(out.keys.data() + i * length, in.key(i), length);
  for (std::size_t i = 0; i < n;) {
    std::size_t j = i + 1;
    while (j < n && std::memcmp(out.key(j), out.key(i), length) == 0) ++j;
    if (j - i > 1)
      std::sort(out.recnos.begin() + static_cast<std::ptrdiff_t>(i),
                out.recnos.begin() + static_cast<std::ptrdiff_t>(j));
    i = j;
  }
  return out;
}

}  // namespace

void CdxWriter::build(Cdx& c, const TagDefinition& full, const KeyBatch& keys,
                      const TagDefinition* prefix) {
  requireWritable(c, "buildTag");
  checkDefinition(full, keys, c.path());
  if (prefix != nullptr) {
    const KeyBatch none(prefix->keyLength, prefix->kind);
    checkDefinition(*prefix, none, c.path());
    if (prefix->keyLength > full.keyLength || prefix->kind != KeyKind::Character ||
        full.kind != KeyKind::Character || prefix->unique || full.unique)
      raise(GenCode::Arg, "Etiqueta sin la clave de la otra: " + prefix->name, c.path(), 0,
            "buildTag");
  }
  IndexWriteLock lock(c);
  // New pages go to the end of the file in large writes: pages a batch holds reach it first.
  if (c.m_batch) c.flushBatch();
  const bool collated = full.kind == KeyKind::Character;
  const SortedKeys inOrder =
      sortKeys(keys, collated, full.unique,
               static_cast<std::uint8_t>(full.kind == KeyKind::Binary ? 0 : ' '));
  // The tree of `sorted` written as tag `definition`, and the directory switched to it.
  const auto writeBuilt = [&c](const TagDefinition& definition, const SortedKeys& sorted) {
    const std::string name = upperName(definition.name);
    const std::uint32_t headerAt = alignedEnd(c);
    PageSink sink(c.m_file, headerAt + 2 * kPageSize);
    const std::uint32_t root = writeTree(sink, sorted);
    sink.flush();
    const std::uint8_t options =
        0x60 | (definition.forExpression.empty() ? 0 : 0x08) | (definition.unique ? 0x01 : 0);
    const auto header = tagHeader(root, definition.keyLength, options, definition.descending,
                                  definition.keyExpression, definition.forExpression);
    c.m_file.writeAt(headerAt, header.data(), header.size());
    c.m_size = std::max<std::uint64_t>(c.m_size, sink.next());
    std::vector<std::uint32_t> freed;
    std::vector<std::pair<std::string, KeyKind>> kinds;
    std::vector<int> ordered;
    for (std::size_t i = 0; i < c.m_tags.size(); ++i) {
      kinds.emplace_back(upperName(c.m_tags[i].name), c.m_kinds[i]);
      ordered.push_back(c.m_ordered[i]);
      if (upperName(c.m_tags[i].name) != name || c.m_distrust) continue;
      freed.push_back(c.m_tags[i].headerOffset);
      freed.push_back(c.m_tags[i].headerOffset + kPageSize);
      collectTreePages(c, c.rootOf(i), c.m_tags[i].keyLength, freed);
    }
    kinds.emplace_back(name, definition.kind);
    ordered.push_back(1);  // built here, in order
    rewriteDirectory(c, name, headerAt, name, std::move(freed));
    c.loadDirectory();
    // What is known of the other tags' order stays known (the new tag's entry comes last, so it
    // wins over the one it replaces).
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      if (const auto t = c.findTag(kinds[i].first)) {
        c.m_kinds[*t] = kinds[i].second;
        c.m_ordered[*t] = ordered[i];
      }
    }
  };
  writeBuilt(full, inOrder);
  if (prefix == nullptr) return;
  c.forgetNodes();  // as between two builds
  writeBuilt(*prefix, sortedPrefixes(inOrder, prefix->keyLength));
}

bool CdxWriter::remove(Cdx& c, std::string_view tagName) {
  requireWritable(c, "deleteTag");
  const auto tag = c.findTag(tagName);
  if (!tag) return false;
  IndexWriteLock lock(c);
  if (c.m_batch) c.flushBatch();
  const TagInfo info = c.m_tags[*tag];
  std::vector<std::uint32_t> freed{info.headerOffset, info.headerOffset + kPageSize};
  collectTreePages(c, c.rootOf(*tag), info.keyLength, freed);
  std::vector<std::tuple<std::string, KeyKind, int>> kinds;
  for (std::size_t i = 0; i < c.m_tags.size(); ++i)
    kinds.emplace_back(upperName(c.m_tags[i].name), c.m_kinds[i], c.m_ordered[i]);
  rewriteDirectory(c, upperName(info.name), 0, "", std::move(freed));
  c.loadDirectory();
  for (const auto& [name, kind, inOrder] : kinds) {
    if (const auto t = c.findTag(name)) {
      c.m_kinds[*t] = kind;
      c.m_ordered[*t] = inOrder;
    }
  }
  return true;
}

IndexWriteLock::IndexWriteLock(Cdx& c) {
  if (!c.m_options.shared || c.m_batch || c.m_changeLockFd >= 0) return;
  if (!lockRangeWaiting(c.m_file.fd(), kIndexLockByte, 1, LockKind::Exclusive,
                        c.m_options.lockWaitMs))
    raise(GenCode::Lock, "No se puede bloquear el \xEDndice", c.path(), kOsLockViolation);
  m_fd = c.m_file.fd();
  c.m_size = c.m_file.size();
}

IndexWriteLock::~IndexWriteLock() {
  if (m_fd >= 0) unlockRange(m_fd, kIndexLockByte, 1);
}

Cdx Cdx::create(const std::string& path, const CdxOptions& options) {
  return CdxWriter::create(path, options);
}
namespace {

// Builds and tag removals write pages past the tracking of single-key changes: the nodes kept
// decoded go when they end, however they end.
struct ForgetNodesAfter {
  std::function<void()> forget;
  ~ForgetNodesAfter() { forget(); }
};

}  // namespace

void Cdx::buildTag(const TagDefinition& definition, const KeyBatch& keys) {
  ForgetNodesAfter after{[this] { forgetNodes(); }};
  CdxWriter::build(*this, definition, keys);
}
void Cdx::buildTagWithPrefix(const TagDefinition& definition, const KeyBatch& keys,
                             const TagDefinition& prefix) {
  ForgetNodesAfter after{[this] { forgetNodes(); }};
  CdxWriter::build(*this, definition, keys, &prefix);
}
bool Cdx::deleteTag(std::string_view name) {
  ForgetNodesAfter after{[this] { forgetNodes(); }};
  return CdxWriter::remove(*this, name);
}

}  // namespace exo::store
