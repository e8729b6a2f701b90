// Single-key maintenance of compound index tags (insert, delete, update with leaf and
// interior splits, empty-node removal) and the structural check of a tag.
#include <algorithm>
#include <cstring>
#include <optional>

#include "store/CdxWriter.h"
#include "store/StoreFailure.h"

namespace exo::store {

using namespace cdx;

namespace {

// The descent of one key change, over the steps its Cdx keeps from change to change: a step
// left is not destroyed, so that the next descent copies its node into the same room.
class EditPath {
 public:
  explicit EditPath(std::vector<PathStep>& steps) : m_steps(steps) {}
  bool empty() const { return m_size == 0; }
  std::size_t size() const { return m_size; }
  // The next step (its node holds whatever it held last).
  PathStep& push() {
    if (m_size == m_steps.size()) m_steps.emplace_back();
    return m_steps[m_size++];
  }
  // The last step, taken off the path (it stays valid until the next push).
  PathStep& pop() { return m_steps[--m_size]; }

 private:
  std::vector<PathStep>& m_steps;
  std::size_t m_size = 0;
};

// Context of one modification of one tag.
struct TagEdit {
  Cdx& cdx;
  std::size_t tag;
  std::uint32_t headerOffset;
  std::uint16_t keyLength;
  KeyOrder order;
};

// First entry whose (key, record) is >= (key, recno).
std::size_t lowerBound(const Node& n, const char* key, std::uint32_t recno, const KeyOrder& ord) {
  std::size_t lo = 0, hi = n.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    const int c = ord.compare(n.key(mid), key, n.keyLength);
    if (c < 0 || (c == 0 && n.recnos[mid] < recno)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

void patchLink(Cdx& c, std::uint32_t page, std::size_t at, std::uint32_t value) {
  unsigned char buf[kPageSize];
  CdxWriter::readBytes(c, page, buf, kPageSize);
  writeLe32(buf + at, value);
  CdxWriter::writePage(c, page, buf);
}

bool leafRangeFits(const Node& n, std::size_t from, std::size_t to, std::uint8_t fill) {
  std::uint32_t maxRecno = 1;
  for (std::size_t i = from; i < to; ++i) maxRecno = std::max(maxRecno, n.recnos[i]);
  LeafPacker p(n.keyLength, fill, maxRecno);
  for (std::size_t i = from; i < to; ++i)
    if (!p.add(n.key(i), n.recnos[i])) return false;
  return true;
}

std::size_t chooseSplit(const Node& n, std::uint8_t fill) {
  const std::size_t size = n.size(), mid = size / 2;
  if (!n.isLeaf()) return mid;
  for (std::size_t d = 0; d < size; ++d) {
    for (std::size_t at : {mid - std::min(d, mid), mid + d}) {
      if (at >= 1 && at < size && leafRangeFits(n, 0, at, fill) && leafRangeFits(n, at, size, fill))
        return at;
    }
  }
  raiseCorrupt("no se puede dividir una hoja de \xEDndice", "");
}

// Packs a leaf into `page`; false when its keys do not fit. Where the page holds this packer's
// own encoding of the keys before the first changed one, only the keys from there on are packed
// again (the result is the same byte for byte).
// The same from a copy of the page as it stands, where the file's view does not hold it (apart,
// so that packing from the view needs no room for a copy).
[[gnu::noinline]] bool packLeafAfterCopy(TagEdit& e, const Node& n, unsigned char* page) {
  unsigned char old[kPageSize];
  CdxWriter::readBytes(e.cdx, n.offset, old, kPageSize);
  return encodeLeafAfter(n, e.order.fill, old, page);
}

bool packLeaf(TagEdit& e, const Node& n, unsigned char* page) {
  if (n.packedPrefix > 0 || n.packedTail > 1) {
    if (const unsigned char* old = CdxWriter::viewedPage(e.cdx, n.offset))
      return encodeLeafAfter(n, e.order.fill, old, page);
    return packLeafAfterCopy(e, n, page);
  }
  return encodeLeaf(n, e.order.fill, page);
}

// Writes a node; `keep` keeps a copy of it decoded (else the caller keeps it when done with it).
void writeNode(TagEdit& e, Node& n, bool keep = true) {
  unsigned char page[kPageSize];
  if (n.isLeaf()) {
    if (!packLeaf(e, n, page)) raiseCorrupt("hoja de \xEDndice desbordada", e.cdx.path());
  } else {
    encodeInterior(n, page);
  }
  CdxWriter::writePage(e.cdx, n.offset, page);
  if (n.isLeaf()) n.setPacked();
  if (keep) CdxWriter::keepWritten(e.cdx, n);
}

bool nodeFits(const TagEdit& e, const Node& n) {
  if (!n.isLeaf()) return n.size() <= interiorCapacity(n.keyLength);
  return leafRangeFits(n, 0, n.size(), e.order.fill);
}

// Writes `n`, splitting it in two when it does not fit; returns the new right half. The halves
// of a split are kept decoded as written; an unsplit node is the caller's to keep.
std::optional<Node> writeOrSplit(TagEdit& e, Node& n) {
  if (n.isLeaf()) {
    if (CdxWriter::deferLeaf(e.cdx, n, e.order.fill)) return std::nullopt;
    // Packing the leaf tells whether it fits: one pass where it does.
    unsigned char page[kPageSize];
    if (packLeaf(e, n, page)) {
      CdxWriter::writePage(e.cdx, n.offset, page);
      n.setPacked();
      return std::nullopt;
    }
  } else if (nodeFits(e, n)) {
    writeNode(e, n, false);
    return std::nullopt;
  }
  const std::size_t at = chooseSplit(n, e.order.fill);
  n.attr = n.isLeaf() ? kAttrLeaf : 0;  // neither half is the root any longer
  Node right;
  right.keyLength = n.keyLength;
  right.fill = e.order.fill;
  right.attr = n.attr;
  right.keys.assign(n.keys.begin() + static_cast<std::ptrdiff_t>(at * n.keyLength), n.keys.end());
  right.recnos.assign(n.recnos.begin() + static_cast<std::ptrdiff_t>(at), n.recnos.end());
  if (!n.isLeaf())
    right.children.assign(n.children.begin() + static_cast<std::ptrdiff_t>(at), n.children.end());
  n.keys.resize(at * n.keyLength);
  n.recnos.resize(at);
  n.keyBytes = -1;
  n.forgetPacked();
  if (!n.isLeaf()) n.children.resize(at);
  right.offset = CdxWriter::allocatePage(e.cdx);
  right.left = n.offset;
  right.right = n.right;
  if (n.right != kNoPage) patchLink(e.cdx, n.right, 4, right.offset);
  n.right = right.offset;
  writeNode(e, right);
  writeNode(e, n);
  return right;
}

void setRoot(TagEdit& e, std::uint32_t root) {
  unsigned char b[4];
  writeLe32(b, root);
  CdxWriter::writeBytes(e.cdx, e.headerOffset, b, 4);
}

void pointAt(Node& parent, std::size_t i, const Node& child) {
  std::memcpy(parent.keys.data() + i * parent.keyLength, child.key(child.size() - 1),
              parent.keyLength);
  parent.recnos[i] = child.recnos.back();
  parent.children[i] = child.offset;
}

// Writes a changed node and carries the change up the path: parent entries take the last key
// of their child, splits add entries, a split root gets a new root above it.
// `node` is scratch once stored: where nodes are kept, it is moved among them as written (it
// takes the room of the entry it replaces).
void store(TagEdit& e, EditPath& path, Node& node) {
  for (;;) {
    std::optional<Node> extra = writeOrSplit(e, node);
    if (path.empty()) {
      if (!extra) return CdxWriter::keepWritten(e.cdx, std::move(node));
      Node root;
      root.keyLength = e.keyLength;
      root.fill = e.order.fill;
      root.attr = kAttrRoot;
      root.recnos.resize(2);
      root.children.resize(2);
      root.keys.resize(2 * std::size_t{e.keyLength});
      pointAt(root, 0, node);
      pointAt(root, 1, *extra);
      root.offset = CdxWriter::allocatePage(e.cdx);
      writeNode(e, root);
      setRoot(e, root.offset);
      return;
    }
    PathStep& up = path.pop();
    // A parent whose entry for this node stays as it was is unchanged, and so is the rest of
    // the path above it.
    if (!extra && up.node.children[up.index] == node.offset &&
        up.node.recnos[up.index] == node.recnos.back() &&
        std::memcmp(up.node.key(up.index), node.key(node.size() - 1), up.node.keyLength) == 0)
      return CdxWriter::keepWritten(e.cdx, std::move(node));
    pointAt(up.node, up.index, node);
    if (extra) {
      up.node.insert(up.index + 1, extra->key(0), 0, 0);
      pointAt(up.node, up.index + 1, *extra);
    }
    CdxWriter::keepWritten(e.cdx, std::move(node));
    std::swap(node, up.node);  // the parent is changed next; the step keeps the room
  }
}

// Unlinks an empty node, frees it and removes its parent entry (repeating upwards).
void removeEmpty(TagEdit& e, EditPath& path, Node& node) {
  for (;;) {
    if (node.left != kNoPage) patchLink(e.cdx, node.left, 8, node.right);
    if (node.right != kNoPage) patchLink(e.cdx, node.right, 4, node.left);
    CdxWriter::freePages(e.cdx, {node.offset});
    PathStep& up = path.pop();
    up.node.erase(up.index);
    if (up.node.size() > 0) {
      std::swap(node, up.node);
      return store(e, path, node);
    }
    if (up.node.isRoot()) {
      up.node.attr = kAttrRoot | kAttrLeaf;
      up.node.clear();
      return writeNode(e, up.node);
    }
    std::swap(node, up.node);
  }
}

// Reads the nodes from the root down to the leaf where (key, recno) belongs into `node`, the
// nodes above it into `path`.
void descend(TagEdit& e, const char* key, std::uint32_t recno, EditPath& path, Node& node) {
  CdxWriter::readNodeToChange(e.cdx, CdxWriter::rootOf(e.cdx, e.tag), e.keyLength, e.order.fill,
                              node);
  while (!node.isLeaf()) {
    if (path.size() > 64 || node.size() == 0)
      raiseCorrupt("\xE1rbol de \xEDndice inv\xE1lido", e.cdx.path());
    const std::size_t i = std::min(lowerBound(node, key, recno, e.order), node.size() - 1);
    const std::uint32_t child = node.children[i];
    PathStep& step = path.push();
    std::swap(step.node, node);
    step.index = i;
    CdxWriter::readNodeToChange(e.cdx, child, e.keyLength, e.order.fill, node);
  }
}

}  // namespace

void CdxWriter::insert(Cdx& c, std::size_t tag, std::string_view key, std::uint32_t recno) {
  requireWritable(c, "insertKey");
  if (!c.isOrdered(tag) || recno == 0)
    raise(GenCode::Unsupported, "Etiqueta de \xEDndice con orden ajeno: " + c.m_tags.at(tag).name,
          c.path(), 0, "insertKey");
  IndexWriteLock lock(c);
  TagEdit e{c, tag, c.m_tags[tag].headerOffset, c.m_tags[tag].keyLength, c.order(tag)};
  char k[kMaxKeyLength];  // the key padded to the tag's length, on the stack
  c.padKey(tag, key, k);
  EditPath path(CdxWriter::editPath(c));
  Node& leaf = CdxWriter::editLeaf(c);
  descend(e, k, recno, path, leaf);
  const std::size_t i = lowerBound(leaf, k, recno, e.order);
  const auto sameKey = [&](std::size_t j) {
    return j < leaf.size() && e.order.compare(leaf.key(j), k, e.keyLength) == 0;
  };
  if (sameKey(i) && leaf.recnos[i] == recno) return;
  if (c.m_tags[tag].unique() && (sameKey(i) || (i > 0 && sameKey(i - 1)))) return;
  leaf.insert(i, k, recno, 0);
  store(e, path, leaf);
  bumpCounter(c);
}

bool CdxWriter::erase(Cdx& c, std::size_t tag, std::string_view key, std::uint32_t recno) {
  requireWritable(c, "deleteKey");
  if (!c.isOrdered(tag))
    raise(GenCode::Unsupported, "Etiqueta de \xEDndice con orden ajeno: " + c.m_tags.at(tag).name,
          c.path(), 0, "deleteKey");
  IndexWriteLock lock(c);
  TagEdit e{c, tag, c.m_tags[tag].headerOffset, c.m_tags[tag].keyLength, c.order(tag)};
  char k[kMaxKeyLength];  // the key padded to the tag's length, on the stack
  c.padKey(tag, key, k);
  EditPath path(CdxWriter::editPath(c));
  Node& leaf = CdxWriter::editLeaf(c);
  descend(e, k, recno, path, leaf);
  const std::size_t i = lowerBound(leaf, k, recno, e.order);
  if (i >= leaf.size() || leaf.recnos[i] != recno || std::memcmp(leaf.key(i), k, e.keyLength) != 0)
    return false;
  leaf.erase(i);
  if (leaf.size() == 0 && !path.empty()) {
    removeEmpty(e, path, leaf);
  } else if (leaf.size() == 0) {
    writeNode(e, leaf);
  } else {
    store(e, path, leaf);
  }
  bumpCounter(c);
  return true;
}

bool CdxWriter::moveWithinLeaf(Cdx& c, std::size_t tag, std::string_view oldKey,
                               std::string_view newKey, std::uint32_t recno) {
  requireWritable(c, "updateKey");
  if (recno == 0 || c.m_tags.at(tag).unique() || !c.isOrdered(tag)) return false;
  IndexWriteLock lock(c);
  TagEdit e{c, tag, c.m_tags[tag].headerOffset, c.m_tags[tag].keyLength, c.order(tag)};
  const std::string from = c.padKey(tag, oldKey), to = c.padKey(tag, newKey);
  EditPath path(CdxWriter::editPath(c));
  Node& leaf = CdxWriter::editLeaf(c);
  descend(e, from.data(), recno, path, leaf);
  const std::size_t i = lowerBound(leaf, from.data(), recno, e.order);
  if (i >= leaf.size() || leaf.recnos[i] != recno ||
      std::memcmp(leaf.key(i), from.data(), e.keyLength) != 0)
    return false;
  // Inside a batch the packed size of the leaf is carried along: only the keys beside the one
  // leaving and the one entering change what they take (the record, and so the width of the
  // entries, stays), and whether the leaf still fits its page is known without packing it.
  const bool sized = c.m_batch;
  std::int64_t bytes = 0;
  if (sized) {
    bytes = leaf.keyBytes >= 0 ? leaf.keyBytes : packedKeyBytes(leaf, e.order.fill);
    bytes -= packedKeyCost(leaf, i, e.order.fill);
    if (i + 1 < leaf.size()) bytes -= packedKeyCost(leaf, i + 1, e.order.fill);
  }
  leaf.erase(i);
  if (sized && i < leaf.size()) bytes += packedKeyCost(leaf, i, e.order.fill);
  // The new key belongs to this leaf when it falls between two of the keys left in it.
  const std::size_t j = lowerBound(leaf, to.data(), recno, e.order);
  if (j == 0 || j >= leaf.size()) return false;
  if (leaf.recnos[j] == recno && e.order.compare(leaf.key(j), to.data(), e.keyLength) == 0)
    return false;
  if (sized) bytes -= packedKeyCost(leaf, j, e.order.fill);
  leaf.insert(j, to.data(), recno, 0);
  if (sized) {
    bytes += packedKeyCost(leaf, j, e.order.fill) + packedKeyCost(leaf, j + 1, e.order.fill);
    leaf.keyBytes = static_cast<std::int32_t>(bytes);
  }
  store(e, path, leaf);
  bumpCounter(c);
  return true;
}

void Cdx::insertKey(std::size_t tag, std::string_view key, std::uint32_t recno) {
  CdxWriter::insert(*this, tag, key, recno);
}
bool Cdx::deleteKey(std::size_t tag, std::string_view key, std::uint32_t recno) {
  return CdxWriter::erase(*this, tag, key, recno);
}
bool Cdx::moveKey(std::size_t tag, std::string_view oldKey, std::string_view newKey,
                  std::uint32_t recno) {
  return CdxWriter::moveWithinLeaf(*this, tag, oldKey, newKey, recno);
}
void Cdx::updateKey(std::size_t tag, std::string_view oldKey, std::string_view newKey,
                    std::uint32_t recno) {
  if (padKey(tag, oldKey) == padKey(tag, newKey)) return;
  CdxWriter::erase(*this, tag, oldKey, recno);
  CdxWriter::insert(*this, tag, newKey, recno);
}

}  // namespace exo::store
