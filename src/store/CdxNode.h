// Pages of a compound index file: decoding and encoding of interior nodes (full keys with
// record numbers and child pointers) and leaf nodes (compressed keys with record numbers).
// Internal to src/store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace exo::store::cdx {

inline constexpr std::uint32_t kPageSize = 512;
inline constexpr std::uint32_t kNoPage = 0xFFFFFFFF;
inline constexpr std::uint16_t kAttrRoot = 0x01;
inline constexpr std::uint16_t kAttrLeaf = 0x02;
inline constexpr std::uint32_t kLeafSpace = kPageSize - 24;
inline constexpr std::uint16_t kMaxKeyLength = 240;

// How keys of a tag compare: bytes through the Spanish collation or plain unsigned bytes; the
// fill byte is what trailing compression removes (space for text, NUL for binary keys).
struct KeyOrder {
  std::uint8_t fill = ' ';
  bool collated = true;
  // Three-way comparison of the first n bytes of a and b.
  int compare(const char* a, const char* b, std::size_t n) const;
};

// A decoded node; keys are kept back to back in one buffer.
struct Node {
  std::uint32_t offset = 0;
  std::uint16_t attr = 0;
  std::uint32_t left = kNoPage;
  std::uint32_t right = kNoPage;
  std::uint16_t keyLength = 0;
  std::uint8_t fill = ' ';  // the fill the keys were expanded with
  std::vector<char> keys;
  std::vector<std::uint32_t> recnos;
  std::vector<std::uint32_t> children;  // interior nodes only
  // Leaves: the bytes the keys take when packed (see packedKeyBytes); -1 when not worked out.
  // Cleared by every change made through the members below; a change made to `keys` or
  // `recnos` directly must clear it too.
  std::int32_t keyBytes = -1;
  // Leaves: when >= 0, the page at `offset` holds this packer's own encoding of a leaf whose
  // first `packedPrefix` keys (with their records) are this node's first ones and whose last
  // `packedTail` keys are this node's last ones, so that a change packs again only the keys
  // between (encodeLeafAfter). -1 when the page is not known to be so (a node decoded from a
  // page another program may have written). Lowered by insert() and erase(); a change made to
  // `keys` or `recnos` directly must call forgetPacked().
  std::int32_t packedPrefix = -1;
  std::int32_t packedTail = -1;

  bool isLeaf() const { return (attr & kAttrLeaf) != 0; }
  bool isRoot() const { return (attr & kAttrRoot) != 0; }
  std::size_t size() const { return recnos.size(); }
  const char* key(std::size_t i) const { return keys.data() + i * keyLength; }
  // The page at `offset` now holds this leaf as the packer encodes it.
  void setPacked() { packedPrefix = packedTail = static_cast<std::int32_t>(size()); }
  void forgetPacked() { packedPrefix = packedTail = -1; }
  void clear() {
    keyBytes = -1;
    forgetPacked();
    keys.clear();
    recnos.clear();
    children.clear();
  }
  void insert(std::size_t at, const char* key, std::uint32_t recno, std::uint32_t child);
  void erase(std::size_t at);
};

// Decoded nodes done with are given back here, and the next node wanted takes one with its room
// (keys, records, children) as it was: from tag to tag and from one open of an index file to the
// next, nodes are decoded without allocating. Thread-safe; a limited number are kept.
Node takeSpareNode();
void giveSpareNode(Node&& node);

// One step of the descent of a key change: a node above the leaf and the entry taken in it.
struct PathStep {
  Node node;
  std::size_t index = 0;
};

// Decodes a page into `out` (keys expanded with `fill`). Throws a damaged-file failure naming
// `fileName` when counts, bit widths or stored lengths are impossible.
void decodeNode(const unsigned char* page, std::uint32_t offset, std::uint16_t keyLength,
                std::uint8_t fill, Node& out, const std::string& fileName);

// Entries an interior page holds for this key length.
std::uint32_t interiorCapacity(std::uint16_t keyLength);

// Writes an interior node. REQUIRES: node.size() <= interiorCapacity(keyLength).
void encodeInterior(const Node& node, unsigned char* page);

// Packs keys into one leaf page, in order, computing duplicate and trailing counts.
class LeafPacker {
 public:
  // `maxRecno` sizes the record-number bits of every entry.
  LeafPacker(std::uint16_t keyLength, std::uint8_t fill, std::uint32_t maxRecno);
  void reset();
  // Adds the next key; false (and nothing added) when the leaf has no room for it. The key's
  // bytes stay where they are until the next add (the next key shares its start with them).
  bool add(const char* key, std::uint32_t recno);
  std::size_t count() const { return m_count; }
  // Writes the node header and returns the finished page (valid until the next reset/add).
  const unsigned char* finish(std::uint16_t attr, std::uint32_t left, std::uint32_t right);
  // Whether the keys of `node` (of this packer's key length) would all go into one empty leaf,
  // worked out as add() packs them but without writing the page.
  bool wouldFit(const Node& node) const;
  // Takes the first `count` entries of `old`, a page this packer's own rules wrote with the
  // same widths, as if they had been added (`lastKey` is the key of the last of them, in full);
  // false, with nothing taken, when the widths differ or the page holds fewer entries.
  bool resume(const unsigned char* old, std::size_t count, const char* lastKey);
  // Adds the last `count` entries of `old` (as for resume()) as they stand, with their key
  // bytes: their keys must follow the key added last as they follow the one before them in
  // `old`. False, with nothing added, when the widths differ or they do not fit.
  bool appendTail(const unsigned char* old, std::size_t count);

 private:
  std::uint16_t m_keyLength;
  std::uint8_t m_fill;
  std::uint8_t m_recBits = 0, m_dupBits = 0, m_trlBits = 0, m_entryBytes = 0;
  std::uint64_t m_entryMask = 0;  // the bits of one entry
  unsigned char m_page[kPageSize];
  std::uint32_t m_free = 0, m_keyPos = 0;
  std::size_t m_count = 0;
  const char* m_prev = nullptr;  // the key added last
  std::uint16_t m_prevTrail = 0;
};

// Bytes a leaf page's entries and stored keys occupy, recomputed from the page (the node's
// free-space field should be kLeafSpace minus this). REQUIRES: the page decodes.
std::uint32_t leafUsedBytes(const unsigned char* page, std::uint16_t keyLength);

// Encodes a whole leaf node; false when its keys do not fit in one page.
bool encodeLeaf(const Node& node, std::uint8_t fill, unsigned char* page);
// As encodeLeaf(), taking the first node.packedPrefix entries and the last node.packedTail
// ones but one, with their key bytes, from `old`, the page as it now stands (see
// Node::packedPrefix), when the entries keep their widths; the page is the same byte for byte
// as encodeLeaf() makes it.
bool encodeLeafAfter(const Node& node, std::uint8_t fill, const unsigned char* old,
                     unsigned char* page);
// Whether encodeLeaf() would succeed, without encoding (using node.keyBytes when known).
bool leafFits(const Node& node, std::uint8_t fill);
// The bytes key `i` of a leaf takes when packed after key i - 1: the key length less the bytes
// it shares with the previous key and its trailing fill. Their sum over the leaf, with one
// entry per key, is what the leaf takes in its page.
std::uint32_t packedKeyCost(const Node& node, std::size_t i, std::uint8_t fill);
std::uint32_t packedKeyBytes(const Node& node, std::uint8_t fill);

std::uint32_t readLe32(const unsigned char* p);
void writeLe32(unsigned char* p, std::uint32_t v);
std::uint16_t readLe16(const unsigned char* p);
void writeLe16(unsigned char* p, std::uint16_t v);

}  // namespace exo::store::cdx
