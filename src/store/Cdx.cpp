// Compound index files: opening, the tag directory, tag headers, walking and cursors.
// Building and key maintenance live in CdxWriter.cpp.
#include "store/Cdx.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "expr/Text.h"
#include "store/FileLock.h"
#include "store/StoreFailure.h"

namespace exo::store {

using cdx::kNoPage;
using cdx::kPageSize;

namespace {

constexpr int kMaxDepth = 64;

// A node of scratch for one walk, taken from the spare ones and given back after.
struct ScratchNode {
  cdx::Node node = cdx::takeSpareNode();
  ScratchNode() = default;
  ScratchNode(const ScratchNode&) = delete;
  ScratchNode& operator=(const ScratchNode&) = delete;
  ~ScratchNode() { cdx::giveSpareNode(std::move(node)); }
};

// Expression text from the header's pool: trailing blanks and NULs removed; a zero length
// (written by some programs) means "up to the first NUL".
std::string poolText(const unsigned char* pool, std::uint32_t offset, std::uint32_t length) {
  if (offset >= kPageSize) return {};
  const char* p = reinterpret_cast<const char*>(pool) + offset;
  std::size_t n = length == 0 ? strnlen(p, kPageSize - offset)
                              : std::min<std::size_t>(length, kPageSize - offset);
  n = strnlen(p, n);
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
  return std::string(p, n);
}

// The name's bytes without the blanks and NULs after them, measured first and then made once.
std::string trimName(const char* key, std::size_t n) {
  while (n > 0 && (key[n - 1] == ' ' || key[n - 1] == '\0')) --n;
  return std::string(key, n);
}

}  // namespace

KeyBatch::KeyBatch(std::uint16_t keyLength, KeyKind kind) : m_keyLength(keyLength), m_kind(kind) {}

void KeyBatch::reserve(std::size_t n) {
  m_keys.reserve(n * m_keyLength);
  m_recnos.reserve(n);
}

void KeyBatch::add(std::string_view key, std::uint32_t recno) {
  const std::size_t taken = std::min<std::size_t>(key.size(), m_keyLength);
  m_keys.insert(m_keys.end(), key.data(), key.data() + taken);
  if (taken < m_keyLength)
    m_keys.resize(m_keys.size() + (m_keyLength - taken), m_kind == KeyKind::Binary ? '\0' : ' ');
  m_recnos.push_back(recno);
}

void KeyBatch::append(const KeyBatch& other) {
  m_keys.insert(m_keys.end(), other.m_keys.begin(), other.m_keys.end());
  m_recnos.insert(m_recnos.end(), other.m_recnos.begin(), other.m_recnos.end());
}

Cdx::Cdx(Cdx&&) noexcept = default;

Cdx::~Cdx() { close(); }

void Cdx::close() {
  if (m_batch) {
    try {
      endBatch();
    } catch (const FailureError&) {
      abandonBatch();  // the mark stays: the next open rebuilds the tags
    }
  }
  giveSet(m_nodes);
  giveSet(m_leaves);
  cdx::giveSpareNode(std::move(m_editLeaf));
  for (cdx::PathStep& step : m_editPath) cdx::giveSpareNode(std::move(step.node));
  m_editPath.clear();
  for (cdx::Node& n : m_checkNodes) cdx::giveSpareNode(std::move(n));
  m_checkNodes.clear();
  m_view.reset();
  m_file.close();
}

bool Cdx::reaches(std::uint64_t end) const {
  if (end <= m_size) return true;
  if (m_options.shared) m_size = std::max(m_size, m_file.size());
  return end <= m_size;
}

const unsigned char* Cdx::viewed(std::uint64_t offset, std::size_t n) const {
  const std::uint64_t end = offset + n;
  if (!m_pendingLeaves.empty()) encodePending(offset, n);
  if (!m_pages.empty()) {
    // A batch's page stands in for the file's; bytes that straddle one are read piecewise.
    const std::uint64_t page = offset / kPageSize * kPageSize;
    const auto it = m_pages.lower_bound(static_cast<std::uint32_t>(page));
    if (it != m_pages.end() && it->first < end) {
      if (it->first == page && end <= page + kPageSize) return it->second.data() + (offset - page);
      return nullptr;
    }
  }
  if (!reaches(end)) return nullptr;
  // During a batch the file may be shorter than the pages made so far: the view stops at it.
  const std::uint64_t inFile = m_batch ? std::min(m_size, m_fileEnd) : m_size;
  if (end > inFile) return nullptr;
  if (end > m_view.size() && !m_view.map(m_file, inFile, true)) return nullptr;
  return reinterpret_cast<const unsigned char*>(m_view.data()) + offset;
}

Cdx Cdx::open(const std::string& path, const CdxOptions& options) {
  Cdx c;
  c.m_options = options;
  c.m_nodes = spareSet();
  c.m_leaves = spareSet();
  c.m_file = File::open(path, !options.readOnly, !options.shared);
  if (!tryLockOpen(c.m_file.fd(), options.shared ? LockKind::Shared : LockKind::Exclusive))
    raise(GenCode::Open, "El \xEDndice est\xE1 en uso por otro programa", path, kOsSharingViolation,
          "open");
  c.loadDirectory();
  return c;
}

void Cdx::readPage(std::uint32_t offset, unsigned char* page) const {
  if (offset % kPageSize != 0 || offset < 2 * kPageSize ||
      !reaches(offset + std::uint64_t{kPageSize}))
    raiseCorrupt(
        "puntero de p\xE1gina de \xEDndice fuera de rango (" + std::to_string(offset) + ")",
        path());
  if (const unsigned char* p = viewed(offset, kPageSize)) {
    std::memcpy(page, p, kPageSize);
    return;
  }
  readBytes(offset, page, kPageSize);
}

const cdx::Node& Cdx::nodeAt(std::uint32_t offset, std::uint16_t keyLength, std::uint8_t fill,
                             cdx::Node& leaf) const {
  // The counter at byte 8 changes with every change of the file by a careful writer.
  if (const unsigned char* p = viewed(8, 4)) {
    const std::uint32_t counter = cdx::readLe32(p);
    if (counter != m_nodesCounter) {
      forgetNodes();
      m_nodesCounter = counter;
    }
  } else {
    forgetNodes();
  }
  // A node kept for another key length or fill (a damaged file whose tags share pages) is read
  // again as this tag reads it.
  const auto fits = [&](const cdx::Node& n) {
    return n.keyLength == keyLength && (n.fill == fill || !n.isLeaf());
  };
  if (const auto it = m_nodes.find(offset); it != m_nodes.end() && fits(it->second))
    return it->second;
  if (const auto it = m_leaves.find(offset); it != m_leaves.end() && fits(it->second))
    return it->second;
  readNode(offset, keyLength, fill, leaf);
  // Interior nodes are few and on every path; leaves are kept too, for seeks of the same keys
  // (the same accounts, the same third parties) again. A full set of leaves starts over. The
  // node decoded is moved among the kept ones, not copied: `leaf` takes the room of the entry
  // it fills, and holds nothing of use afterwards (the caller reads the node returned).
  return keep(std::move(leaf));
}

namespace {

// Entries of the kept nodes given up, with their nodes' room, for the next ones kept.
struct SpareEntries {
  std::mutex mutex;
  std::vector<std::unordered_map<std::uint32_t, cdx::Node>::node_type> entries;
  // Empty sets of kept nodes, with their buckets, for the next files opened.
  std::vector<std::unordered_map<std::uint32_t, cdx::Node>> sets;
};

SpareEntries& spareEntries() {
  static SpareEntries* spare = new SpareEntries;  // never destroyed, as the files that use it
  return *spare;
}

constexpr std::size_t kSpareEntries = 256;
constexpr std::size_t kSpareSets = 8;

}  // namespace

Cdx::KeptNodes Cdx::spareSet() {
  SpareEntries& s = spareEntries();
  std::lock_guard lock(s.mutex);
  if (s.sets.empty()) return {};
  KeptNodes set = std::move(s.sets.back());
  s.sets.pop_back();
  return set;
}

void Cdx::giveSet(KeptNodes& kept) {
  spare(kept);
  if (kept.bucket_count() <= 1) return;  // no buckets made: nothing worth keeping
  SpareEntries& s = spareEntries();
  std::lock_guard lock(s.mutex);
  if (s.sets.size() < kSpareSets) s.sets.push_back(std::move(kept));
  kept = KeptNodes();
}

void Cdx::spare(KeptNodes& kept) {
  if (kept.empty()) return;
  SpareEntries& s = spareEntries();
  std::lock_guard lock(s.mutex);
  while (!kept.empty() && s.entries.size() < kSpareEntries)
    s.entries.push_back(kept.extract(kept.begin()));
  kept.clear();
}

void Cdx::spare(KeptNodes& kept, std::uint32_t offset) {
  auto entry = kept.extract(offset);
  if (entry.empty()) return;
  SpareEntries& s = spareEntries();
  std::lock_guard lock(s.mutex);
  if (s.entries.size() < kSpareEntries) s.entries.push_back(std::move(entry));
}

Cdx::KeptNodes::iterator Cdx::keepEntry(std::uint32_t offset, bool leaf) const {
  KeptNodes& kept = leaf ? m_leaves : m_nodes;
  spare(leaf ? m_nodes : m_leaves, offset);
  if (const auto it = kept.find(offset); it != kept.end()) return it;
  if (kept.size() >= (leaf ? kKeptLeaves : kKeptInterior)) spare(kept);  // a full set starts over
  KeptNodes::node_type entry;
  {
    SpareEntries& s = spareEntries();
    std::lock_guard lock(s.mutex);
    if (!s.entries.empty()) {
      entry = std::move(s.entries.back());
      s.entries.pop_back();
    }
  }
  if (entry.empty()) return kept.try_emplace(offset).first;
  entry.key() = offset;
  return kept.insert(std::move(entry)).position;
}

cdx::Node& Cdx::keep(const cdx::Node& node) const {
  cdx::Node& kept = keepEntry(node.offset, node.isLeaf())->second;
  if (&kept != &node) kept = node;
  return kept;
}

cdx::Node& Cdx::keep(cdx::Node&& node) const {
  cdx::Node& kept = keepEntry(node.offset, node.isLeaf())->second;
  if (&kept != &node) std::swap(kept, node);  // `node` takes the room of the entry given up
  return kept;
}

void Cdx::readNode(std::uint32_t offset, std::uint16_t keyLength, std::uint8_t fill,
                   cdx::Node& node) const {
  if (offset % kPageSize == 0 && offset >= 2 * kPageSize) {
    if (const unsigned char* p = viewed(offset, kPageSize)) {
      cdx::decodeNode(p, offset, keyLength, fill, node, path());
      return;
    }
  }
  readNodeCopied(offset, keyLength, fill, node);
}

void Cdx::readNodeCopied(std::uint32_t offset, std::uint16_t keyLength, std::uint8_t fill,
                         cdx::Node& node) const {
  unsigned char page[kPageSize];
  readPage(offset, page);
  cdx::decodeNode(page, offset, keyLength, fill, node, path());
}

void Cdx::loadDirectory() {
  m_size = m_file.size();
  if (m_size < 2 * kPageSize) raiseCorrupt("cabecera de \xEDndice incompleta", path());
  // The header's first bytes (the directory's root, key length and page size) where the
  // file's view holds them, else read.
  unsigned char copy[24];
  const unsigned char* head = viewed(0, sizeof copy);
  if (head == nullptr) {
    readBytes(0, copy, sizeof copy);
    head = copy;
  }
  if (std::memcmp(head + 20, "RCHB", 4) == 0 && cdx::readLe16(head + 18) != kPageSize)
    raise(GenCode::Unsupported, "\xCDndice con p\xE1ginas de tama\xF1o no soportado", path());
  if (cdx::readLe16(head + 12) != 10) raiseCorrupt("directorio de etiquetas inv\xE1lido", path());
  // The directory's entries (name, header offset). Not kept per thread from open to open: an
  // object with a destructor in thread-local storage is destroyed when its thread ends, and
  // the Windows build's run-time freed a bad pointer there when a worker thread that had opened
  // an index ended.
  std::vector<std::pair<std::string, std::uint32_t>> entries;
  walkLeaves(cdx::readLe32(head), 10, ' ', [&](const cdx::Node& leaf) {
    for (std::size_t i = 0; i < leaf.size(); ++i)
      entries.emplace_back(trimName(leaf.key(i), 10), leaf.recnos[i]);
  });
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.second < b.second; });
  m_tags.clear();
  m_tags.reserve(entries.size());
  for (auto& [name, offset] : entries) m_tags.push_back(readTagHeader(offset, std::move(name)));
  m_kinds.assign(m_tags.size(), KeyKind::Character);
  m_ordered.assign(m_tags.size(), -1);
}

TagInfo Cdx::readTagHeader(std::uint32_t offset, std::string name) const {
  if (offset % kPageSize != 0 || offset < 2 * kPageSize || !reaches(offset + 2ull * kPageSize))
    raiseCorrupt("cabecera de etiqueta fuera de rango: " + name, path());
  if (const unsigned char* h = viewed(offset, 2 * kPageSize))
    return tagHeaderOf(h, offset, std::move(name));
  return readTagHeaderCopied(offset, std::move(name));
}

TagInfo Cdx::readTagHeaderCopied(std::uint32_t offset, std::string name) const {
  unsigned char h[2 * kPageSize];
  readBytes(offset, h, sizeof h);
  return tagHeaderOf(h, offset, std::move(name));
}

TagInfo Cdx::tagHeaderOf(const unsigned char* h, std::uint32_t offset, std::string name) const {
  TagInfo t;
  t.name = std::move(name);
  t.headerOffset = offset;
  t.keyLength = cdx::readLe16(h + 12);
  t.options = h[14];
  if (t.keyLength == 0 || t.keyLength > cdx::kMaxKeyLength)
    raiseCorrupt("longitud de clave imposible en la etiqueta " + t.name, path());
  t.collation = trimName(reinterpret_cast<const char*>(h + 494), 8);
  t.descending = cdx::readLe16(h + 502) != 0;
  t.keyExpression = poolText(h + kPageSize, cdx::readLe16(h + 508), cdx::readLe16(h + 510));
  if (t.options & 0x08)
    t.forExpression = poolText(h + kPageSize, cdx::readLe16(h + 504), cdx::readLe16(h + 506));
  return t;
}

std::optional<std::size_t> Cdx::findTag(std::string_view name) const {
  const std::string wanted = upperName(name);
  for (std::size_t i = 0; i < m_tags.size(); ++i)
    if (upperName(m_tags[i].name) == wanted) return i;
  return std::nullopt;
}

void Cdx::setKeyKind(std::size_t tag, KeyKind kind) {
  if (m_kinds.at(tag) != kind) m_ordered.at(tag) = -1;
  m_kinds.at(tag) = kind;
}

std::uint32_t Cdx::rootOf(std::size_t tag) const {
  const std::uint32_t at = m_tags.at(tag).headerOffset;
  if (const unsigned char* p = viewed(at, 4)) return cdx::readLe32(p);
  unsigned char root[4];
  readBytes(at, root, 4);
  return cdx::readLe32(root);
}

cdx::KeyOrder Cdx::order(std::size_t tag) const {
  switch (m_kinds.at(tag)) {
    case KeyKind::Character: return {' ', true};
    case KeyKind::MachineCharacter: return {' ', false};
    case KeyKind::Binary: return {0, false};
  }
  return {};
}

void Cdx::padKey(std::size_t tag, std::string_view key, char* out) const {
  const std::size_t length = m_tags.at(tag).keyLength;
  const std::size_t taken = std::min(key.size(), length);
  if (taken > 0) std::memcpy(out, key.data(), taken);
  std::memset(out + taken, order(tag).fill, length - taken);
}

std::string Cdx::padKey(std::size_t tag, std::string_view key) const {
  std::string k(key.substr(0, m_tags.at(tag).keyLength));
  k.resize(m_tags[tag].keyLength, static_cast<char>(order(tag).fill));
  return k;
}

// Calls onLeaf for every leaf from the leftmost along the right-sibling chain; a chain longer
// than the file has pages, or a descent deeper than any real tree, is a damaged file.
template <typename OnLeaf>
void Cdx::walkLeaves(std::uint32_t root, std::uint16_t keyLength, std::uint8_t fill,
                     OnLeaf&& onLeaf) const {
  // The nodes are read where they are kept, not copied: each is done with before the next is
  // asked for.
  ScratchNode scratch;
  const cdx::Node* node = &nodeToRead(root, keyLength, fill, scratch.node);
  for (int depth = 0; !node->isLeaf(); ++depth) {
    if (depth > kMaxDepth || node->size() == 0)
      raiseCorrupt("\xE1rbol de \xEDndice inv\xE1lido", path());
    node = &nodeToRead(node->children[0], keyLength, fill, scratch.node);
  }
  for (std::uint32_t hops = 0;; ++hops) {
    if (hops > pageLimit()) raiseCorrupt("ciclo en la cadena de hojas del \xEDndice", path());
    onLeaf(*node);
    if (node->right == kNoPage) break;
    node = &nodeToRead(node->right, keyLength, fill, scratch.node);
    if (!node->isLeaf()) raiseCorrupt("hoja de \xEDndice enlazada con un nodo interior", path());
  }
}

bool Cdx::isOrdered(std::size_t tag) {
  if (m_ordered.at(tag) >= 0) return m_ordered[tag] == 1;
  const cdx::KeyOrder ord = order(tag);
  const std::uint16_t len = m_tags[tag].keyLength;
  const char* prev = nullptr;         // the key before, where it lies in the leaf kept below
  char prevCopy[cdx::kMaxKeyLength];  // the last key of the leaf before
  std::uint32_t prevRec = 0;
  bool ok = m_tags[tag].collation.empty();
  walkLeaves(rootOf(tag), len, ord.fill, [&](const cdx::Node& leaf) {
    for (std::size_t i = 0; i < leaf.size() && ok; ++i) {
      if (prev != nullptr) {
        const int c = ord.compare(prev, leaf.key(i), len);
        if (c > 0 || (c == 0 && prevRec > leaf.recnos[i])) ok = false;
      }
      prev = leaf.key(i);
      prevRec = leaf.recnos[i];
    }
    // The next leaf is decoded into the same node: its last key is kept aside.
    if (prev != nullptr && prev != prevCopy) {
      std::memcpy(prevCopy, prev, len);
      prev = prevCopy;
    }
  });
  m_ordered[tag] = ok ? 1 : 0;
  return ok;
}

// ---- Cursor ----------------------------------------------------------------------------

CdxCursor::CdxCursor(Cdx& cdx, std::size_t tag)
    : m_cdx(&cdx),
      m_tag(tag),
      m_order(cdx.order(tag)),
      m_keyLength(cdx.tags().at(tag).keyLength),
      m_leaf(cdx::takeSpareNode()) {
  m_leaf.keyLength = m_keyLength;
}

void CdxCursor::loadLeaf(std::uint32_t offset) {
  if (++m_hops > m_cdx->pageLimit())
    raiseCorrupt("ciclo en la cadena de hojas del \xEDndice", m_cdx->path());
  m_cdx->loadNode(offset, m_keyLength, m_order.fill, m_leaf);
  if (!m_leaf.isLeaf())
    raiseCorrupt("hoja de \xEDndice enlazada con un nodo interior", m_cdx->path());
}

bool CdxCursor::descend(bool rightmost) {
  m_hops = 0;
  m_valid = false;  // until the walk stands on a key (the leaf is scratch meanwhile)
  // The nodes above the leaf are read where they are kept; only the leaf is copied.
  const std::uint16_t keyLength = m_keyLength;
  const cdx::Node* node = &m_cdx->nodeToRead(m_cdx->rootOf(m_tag), keyLength, m_order.fill, m_leaf);
  for (int depth = 0; !node->isLeaf(); ++depth) {
    if (depth > kMaxDepth || node->size() == 0)
      raiseCorrupt("\xE1rbol de \xEDndice inv\xE1lido", m_cdx->path());
    const std::uint32_t child = rightmost ? node->children.back() : node->children.front();
    node = &m_cdx->nodeToRead(child, keyLength, m_order.fill, m_leaf);
  }
  if (node != &m_leaf) m_leaf = *node;
  return true;
}

bool CdxCursor::settleForward() {
  while (m_index >= m_leaf.size()) {
    if (m_leaf.right == kNoPage) return m_valid = false;
    loadLeaf(m_leaf.right);
    m_index = 0;
  }
  return m_valid = true;
}

bool CdxCursor::settleBackward() {
  while (m_leaf.size() == 0) {
    if (m_leaf.left == kNoPage) return m_valid = false;
    loadLeaf(m_leaf.left);
  }
  m_index = m_leaf.size() - 1;
  return m_valid = true;
}

bool CdxCursor::first() {
  descend(false);
  m_index = 0;
  return settleForward();
}

bool CdxCursor::last() {
  descend(true);
  return settleBackward();
}

bool CdxCursor::next() {
  if (!m_valid) return false;
  ++m_index;
  return settleForward();
}

bool CdxCursor::prev() {
  if (!m_valid) return false;
  if (m_index > 0) {
    --m_index;
    return true;
  }
  if (m_leaf.left == kNoPage) return m_valid = false;
  loadLeaf(m_leaf.left);
  return settleBackward();
}

int CdxCursor::compareAt(const cdx::Node& node, std::size_t i, std::string_view key,
                         std::uint32_t recno) const {
  const int c = m_order.compare(node.key(i), key.data(), key.size());
  if (c != 0 || recno == 0 || key.size() < node.keyLength) return c;
  return node.recnos[i] < recno ? -1 : (node.recnos[i] > recno ? 1 : 0);
}

bool CdxCursor::seek(std::string_view key, std::uint32_t recno) {
  if (!m_cdx->isOrdered(m_tag)) return seekScan(key.substr(0, m_keyLength), recno);
  return seekInOrder(key, recno);
}

bool CdxCursor::seekInOrder(std::string_view key, std::uint32_t recno) {
  const std::uint16_t keyLength = m_keyLength;
  key = key.substr(0, keyLength);
  m_hops = 0;
  m_valid = false;  // until the seek ends on a key (the leaf is scratch meanwhile)
  const cdx::Node* node = &m_cdx->nodeAt(m_cdx->rootOf(m_tag), keyLength, m_order.fill, m_leaf);
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) raiseCorrupt("\xE1rbol de \xEDndice inv\xE1lido", m_cdx->path());
    // First entry not below the key (entries are in order).
    std::size_t lo = 0, hi = node->size();
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (compareAt(*node, mid, key, recno) < 0) lo = mid + 1;
      else hi = mid;
    }
    if (node->isLeaf()) {
      m_index = lo;
      break;
    }
    if (lo == node->size()) return m_valid = false;
    node = &m_cdx->nodeAt(node->children[lo], keyLength, m_order.fill, m_leaf);
  }
  if (node != &m_leaf) m_leaf = *node;
  if (!settleForward()) return false;
  return m_order.compare(m_leaf.key(m_index), key.data(), key.size()) == 0;
}

bool CdxCursor::seekScan(std::string_view key, std::uint32_t recno) {
  for (bool ok = first(); ok; ok = next()) {
    if (m_order.compare(m_leaf.key(m_index), key.data(), key.size()) == 0 &&
        (recno == 0 || m_leaf.recnos[m_index] == recno))
      return true;
  }
  return false;
}

}  // namespace exo::store
