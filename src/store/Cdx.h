// A compound index file (CDX): several named tags, each a B-tree of fixed-length keys with
// record numbers. Reads every tag of files written by other programs; builds, replaces and
// deletes tags of our own files and keeps them current key by key.
//
// The layer knows nothing of expressions: tag key and FOR expressions are stored as text, and
// the caller evaluates them and supplies the key bytes. Character keys are raw Windows-1252
// bytes ordered by the Spanish collation (exo::collate); numbers and dates use the 8-byte form
// of encodeNumberKey(). A file whose tag is not in the order its key kind implies (for example
// keys written in plain byte order by another program) is detected: such a tag is still walked
// in its stored order, but seeks scan it and it is never written to.
//
// Not thread-safe. Cursors read the file directly and stay usable across key updates made
// through the same object (they re-read on the next move), but not across buildTag/deleteTag.
//
// Many key changes can be made as one batch (beginBatch/endBatch): the index write lock is held
// throughout, changed pages stay in memory (reads through this object see them) and reach the
// file together at the end, with the change counter bumped once. Before the first page is held
// back, bytes 28-31 of the file header (reserved, zero in files of every program of the family)
// get a mark that is made durable first and cleared only after the pages are on disk: a file
// found with the mark was left in the middle of a batch and may not describe its table.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/CdxNode.h"
#include "store/File.h"

namespace exo::store {

// How the keys of a tag are compared and compressed.
enum class KeyKind {
  Character,         // text under the Spanish collation; trailing blanks compressed
  MachineCharacter,  // text in plain byte order (files of programs without the collation)
  Binary,            // numbers, dates, integers: plain byte order; trailing NULs compressed
};

struct TagInfo {
  std::string name;  // upper case, as stored
  std::string keyExpression;
  std::string forExpression;  // empty when the tag has no condition
  std::uint32_t headerOffset = 0;
  std::uint16_t keyLength = 0;
  std::uint8_t options = 0;  // 0x01 unique, 0x08 FOR, 0x80 directory
  bool descending = false;   // stored ascending all the same; the caller reverses the walk
  std::string collation;     // empty = keys are raw bytes; otherwise they are weights
  bool unique() const { return (options & 0x01) != 0; }
};

// What a tag to build looks like.
struct TagDefinition {
  std::string name;  // 1-10 letters, digits or '_'; stored upper case
  std::string keyExpression;
  std::string forExpression;
  std::uint16_t keyLength = 0;  // 1..240
  KeyKind kind = KeyKind::Character;
  bool descending = false;
  bool unique = false;
};

// Keys handed to a bulk build: one contiguous buffer, no allocation per key.
class KeyBatch {
 public:
  KeyBatch(std::uint16_t keyLength, KeyKind kind);
  void reserve(std::size_t n);
  // Adds a key (padded with the kind's fill byte or cut to the key length) and its record.
  void add(std::string_view key, std::uint32_t recno);
  // Room for the next key (the full key length, for the caller to fill) of record `recno`.
  char* addRoom(std::uint32_t recno) {
    m_keys.resize(m_keys.size() + m_keyLength);
    m_recnos.push_back(recno);
    return m_keys.data() + (m_keys.size() - m_keyLength);
  }
  // Adds the keys of `other` (of the same length) after these.
  void append(const KeyBatch& other);
  std::size_t size() const { return m_recnos.size(); }
  std::uint16_t keyLength() const { return m_keyLength; }
  KeyKind kind() const { return m_kind; }
  const char* key(std::size_t i) const { return m_keys.data() + i * m_keyLength; }
  std::uint32_t recno(std::size_t i) const { return m_recnos[i]; }

 private:
  std::uint16_t m_keyLength;
  KeyKind m_kind;
  std::vector<char> m_keys;
  std::vector<std::uint32_t> m_recnos;
};

// How a batch advances the file's change counter (bytes 8-11): once at its end, or by one per
// key change, as the same changes made one by one advance it (the file then ends byte for byte
// as after them).
enum class BatchCount { Once, PerChange };

struct CdxOptions {
  bool shared = true;
  bool readOnly = false;  // always set for files of other programs
  int lockWaitMs = 2000;
};

class Cdx {
 public:
  // Opens an index file and reads its tag directory. Fails with GenCode::Open (osCode 32 on a
  // sharing conflict), GenCode::Unsupported for page sizes other than 512, or
  // GenCode::Corruption for pointers out of range or impossible headers.
  static Cdx open(const std::string& path, const CdxOptions& options = {});
  // Writes a new index file without tags (beside, then renamed over `path`) and opens it.
  static Cdx create(const std::string& path, const CdxOptions& options = {false, false, 2000});

  Cdx(Cdx&&) noexcept;
  Cdx& operator=(Cdx&&) = delete;
  ~Cdx();
  void close();

  const std::string& path() const { return m_file.path(); }
  // Tags in creation order (the position of their headers in the file).
  const std::vector<TagInfo>& tags() const { return m_tags; }
  // Index of the tag named `name` (case-insensitive).
  std::optional<std::size_t> findTag(std::string_view name) const;
  // The kind decides the fill byte and the order; tags read from a file start as Character.
  void setKeyKind(std::size_t tag, KeyKind kind);
  KeyKind keyKind(std::size_t tag) const { return m_kinds.at(tag); }
  // True when the tag's keys are in (key, record) order under its kind. Walks the tag the
  // first time and remembers the answer. Fails with GenCode::Corruption on a damaged tree.
  bool isOrdered(std::size_t tag);
  // Structural check of a tag (sibling links, interior keys equal to the last key of their
  // child, leaf free-space counts, order): empty when sound, else the first fault found.
  std::string check(std::size_t tag);

  // Builds tag `definition.name` from `keys` (sorted here; for unique tags only the lowest record
  // of each key is kept), replacing a tag of that name. New pages go to the end of the file
  // and the directory is switched last, so a failure leaves the previous tags readable.
  // REQUIRES: writable; keys.keyLength() == definition.keyLength and keys.kind() ==
  // definition.kind.
  void buildTag(const TagDefinition& definition, const KeyBatch& keys);
  // Builds tag `definition` as buildTag() does, then tag `prefix`, whose key of each record is
  // the first prefix.keyLength bytes of its key in `keys`: its keys are taken from the first
  // tag's sorted keys (the order of a key's start follows the order of the keys), not sorted
  // again. Both files are the same byte for byte as two buildTag() calls make them.
  // REQUIRES: as buildTag(); both tags of character keys and not unique, prefix.keyLength <=
  // definition.keyLength.
  void buildTagWithPrefix(const TagDefinition& definition, const KeyBatch& keys,
                          const TagDefinition& prefix);
  // Removes a tag; false when there is none of that name. REQUIRES: writable.
  bool deleteTag(std::string_view name);
  // Single-key maintenance (appends, field changes, delete/recall under a FOR condition).
  // Fails with GenCode::Unsupported for tags not in our order. REQUIRES: writable.
  void insertKey(std::size_t tag, std::string_view key, std::uint32_t recno);
  bool deleteKey(std::size_t tag, std::string_view key, std::uint32_t recno);
  void updateKey(std::size_t tag, std::string_view oldKey, std::string_view newKey,
                 std::uint32_t recno);
  // Replaces a record's key by one that falls in the same leaf (one descent, one page written);
  // false, with nothing changed, when the new key belongs elsewhere, the old one is not there,
  // or the tag is unique (the caller then deletes and inserts).
  bool moveKey(std::size_t tag, std::string_view oldKey, std::string_view newKey,
               std::uint32_t recno);

  // Starts a batch of key changes: takes the index write lock (shared opens; GenCode::Lock when
  // it cannot be had in time) and keeps it until endBatch(). REQUIRES: writable, no batch open.
  void beginBatch(BatchCount count = BatchCount::Once);
  // Writes the batch's pages in offset order, makes them durable, clears the mark and releases
  // the lock. On a write failure the batch stays open (pages and lock kept) so that the call can
  // be repeated, or given up with abandonBatch().
  void endBatch();
  // Drops the pages of a batch that could not be written and releases the lock; the mark stays
  // in the file (when it reached it), so that the next open rebuilds the tags.
  void abandonBatch();
  bool inBatch() const { return m_batch; }
  // Puts the batch's mark on disk now (once per batch), before a change of the table that the
  // batch's keys will follow: a process that ends between the two leaves the mark behind.
  void markChangesComing() {
    if (m_batch) markBatch();
  }
  // True when the file carries the mark of a batch that no program is still making (one that is
  // still under way holds the index write lock: this waits for it as a write would).
  bool leftInBatch();
  // Clears the mark once every tag has been rebuilt from the table. REQUIRES: writable.
  void clearBatchMark();
  // Before the tags of a file left in the middle of a batch are rebuilt: its pages may be any
  // mix of the batch's and the older ones, the list of free pages included. From here until
  // clearBatchMark() no page is taken from that list nor given back to it (the pages of the
  // replaced trees stay in the file unused), so that no rebuilt tag can share a page with a
  // damaged one. REQUIRES: writable.
  void distrustPages();
  // One record changed outside a batch, whose keys follow its bytes: the index write lock is
  // held from here to endChange() and the mark is in the file meanwhile, so that a process that
  // ends after the record and before its keys leaves the mark behind, and the next open
  // rebuilds the tags. The mark is written without waiting for the disk (this guards against a
  // process ending, as the keys themselves are written). Nothing inside a batch.
  // REQUIRES: writable.
  void beginChange();
  // Clears the mark of beginChange() and lets the lock go; `keepMark` leaves the mark in the
  // file (the keys could not be put back in step with the record).
  void endChange(bool keepMark = false);

 private:
  friend class CdxCursor;
  friend class CdxWriter;
  friend class IndexWriteLock;
  Cdx() = default;
  void loadDirectory();
  TagInfo readTagHeader(std::uint32_t offset, std::string name) const;
  // The slow paths of the two above (a copy of what the view does not hold), kept out of them so
  // that reads through the view need no room for a page on the stack.
  [[gnu::noinline]] TagInfo readTagHeaderCopied(std::uint32_t offset, std::string name) const;
  // The tag header whose two pages are at `h`.
  TagInfo tagHeaderOf(const unsigned char* h, std::uint32_t offset, std::string name) const;
  void readPage(std::uint32_t offset, unsigned char* page) const;
  void readNode(std::uint32_t offset, std::uint16_t keyLength, std::uint8_t fill,
                cdx::Node& node) const;
  [[gnu::noinline]] void readNodeCopied(std::uint32_t offset, std::uint16_t keyLength,
                                        std::uint8_t fill, cdx::Node& node) const;
  // Nodes are kept decoded across reads and this object's own changes while nobody else can
  // change the file: during a batch (its lock held) and in an exclusive open.
  bool keepsNodes() const { return m_batch || !m_options.shared; }
  // The node at `offset` into `node`: a copy of the one kept decoded when keepsNodes(), else
  // read afresh.
  void loadNode(std::uint32_t offset, std::uint16_t keyLength, std::uint8_t fill,
                cdx::Node& node) const {
    if (!keepsNodes()) return readNode(offset, keyLength, fill, node);
    const cdx::Node& kept = nodeAt(offset, keyLength, fill, node);
    if (&kept != &node) node = kept;
  }
  // The node at `offset` to be read and not changed: the one kept decoded when keepsNodes(),
  // else read afresh into `scratch`. It stands until the next node is asked of this object.
  const cdx::Node& nodeToRead(std::uint32_t offset, std::uint16_t keyLength, std::uint8_t fill,
                              cdx::Node& scratch) const {
    if (keepsNodes()) return nodeAt(offset, keyLength, fill, scratch);
    readNode(offset, keyLength, fill, scratch);
    return scratch;
  }
  std::uint32_t rootOf(std::size_t tag) const;
  cdx::KeyOrder order(std::size_t tag) const;
  std::string padKey(std::size_t tag, std::string_view key) const;
  // The same into `out`, room for the tag's key length (at most cdx::kMaxKeyLength bytes).
  void padKey(std::size_t tag, std::string_view key, char* out) const;
  std::uint32_t pageLimit() const {
    return static_cast<std::uint32_t>(m_size / cdx::kPageSize) + 1;
  }
  template <typename OnLeaf>
  void walkLeaves(std::uint32_t root, std::uint16_t keyLength, std::uint8_t fill,
                  OnLeaf&& onLeaf) const;

  // Bytes of the file as this object sees them (a batch's pages over the file's).
  void readBytes(std::uint64_t offset, void* buffer, std::size_t n) const;
  // Writes bytes: to the file, or to the batch's pages while a batch is open.
  void writeBytes(std::uint32_t offset, const void* buffer, std::size_t n);
  // Writes the batch's pages to the file in offset order (the mark stays).
  void flushBatch();
  void markBatch();
  void releaseBatch();
  bool markedInFile() const;
  // Adds one to the change counter at byte 8 (stored big-endian, as careful writers do).
  void bumpCounter(std::uint32_t by = 1);

  // True when the file reaches `end` (its size is read again when another open may have
  // extended it).
  bool reaches(std::uint64_t end) const;
  // Bytes of the file through a view of it (null when the view cannot cover them).
  const unsigned char* viewed(std::uint64_t offset, std::size_t n) const;
  // The node at `offset`, decoded once and kept (up to a limit); `leaf` is scratch space for
  // the decoding. The kept nodes are dropped whenever the file changes (our writes, or another
  // program's, seen through the file's change counter).
  const cdx::Node& nodeAt(std::uint32_t offset, std::uint16_t keyLength, std::uint8_t fill,
                          cdx::Node& leaf) const;
  static constexpr std::size_t kKeptInterior = 8192;  // decoded interior nodes kept
  static constexpr std::size_t kKeptLeaves = 1024;    // decoded leaves kept
  using KeptNodes = std::unordered_map<std::uint32_t, cdx::Node>;
  // Keeps a copy of `node` (or `node` itself, moved) decoded under its offset, among the
  // interior nodes or the leaves as it is one, and drops what the other set kept for its page.
  // The entry is one given up before (by any index file) where there is one, so that nothing is
  // allocated once nodes of its size have been kept.
  cdx::Node& keep(const cdx::Node& node) const;
  cdx::Node& keep(cdx::Node&& node) const;
  KeptNodes::iterator keepEntry(std::uint32_t offset, bool leaf) const;
  // Gives up the kept nodes (their entries are used again).
  static void spare(KeptNodes& kept);
  static void spare(KeptNodes& kept, std::uint32_t offset);
  // An empty set of kept nodes given up by a file closed before (its buckets made already), and
  // the giving up of one at close.
  static KeptNodes spareSet();
  static void giveSet(KeptNodes& kept);
  void forgetNodes() const {
    spare(m_nodes);
    spare(m_leaves);
  }
  // The node kept for `page` no longer stands (the page was written): it is marked so (a key
  // length of 0, which no tag has) rather than dropped, and its place is taken again when the
  // page is next kept, without a new entry.
  void dropKept(std::uint32_t page) const {
    if (const auto it = m_nodes.find(page); it != m_nodes.end()) it->second.keyLength = 0;
    if (const auto it = m_leaves.find(page); it != m_leaves.end()) it->second.keyLength = 0;
  }

  File m_file;
  mutable FileView m_view;                   // pages are read through it (no system call per page)
  mutable KeptNodes m_nodes;                 // interior nodes by offset
  mutable KeptNodes m_leaves;                // leaves by offset
  mutable std::uint32_t m_nodesCounter = 0;  // change counter they match
  CdxOptions m_options;
  mutable std::uint64_t m_size = 0;  // grows when another open extends the file
  std::vector<TagInfo> m_tags;
  std::vector<KeyKind> m_kinds;
  std::vector<int> m_ordered;  // -1 unknown, 0 no, 1 yes

  // Batch state: pages changed and not yet written, by offset; the bytes the file itself holds
  // (the view never reaches past them while pages are held back).
  bool m_batch = false;
  bool m_marked = false;      // the mark is in the file
  bool m_batchDirty = false;  // pages changed since the batch began (the counter is due)
  BatchCount m_batchCount = BatchCount::Once;
  std::uint32_t m_batchChanges = 0;  // key changes made in the batch
  int m_batchLockFd = -1;
  bool m_distrust = false;  // see distrustPages()
  // A single change under way (beginChange): its lock, and whether its mark is in the file.
  int m_changeLockFd = -1;
  bool m_changeMarked = false;
  mutable std::map<std::uint32_t, std::array<unsigned char, cdx::kPageSize>> m_pages;
  std::uint64_t m_fileEnd = 0;
  // Leaves changed in a batch and not encoded yet: a leaf changed again and again (the keys of
  // one voucher, one account) is packed once, when its bytes are first needed.
  struct PendingLeaf {
    cdx::Node node;
    std::uint8_t fill = ' ';
  };
  mutable std::unordered_map<std::uint32_t, PendingLeaf> m_pendingLeaves;
  // Scratch of the key changes: the nodes of the descent and the leaf changed, kept from change
  // to change so that their room is taken again.
  std::vector<cdx::PathStep> m_editPath;
  cdx::Node m_editLeaf;
  // Scratch of the structural check: a node per level of the tree.
  std::vector<cdx::Node> m_checkNodes;
  // Encodes the pending leaves among the pages that bytes [offset, offset + n) touch into the
  // batch's pages.
  void encodePending(std::uint64_t offset, std::size_t n) const;
  void encodeLeafPage(std::uint32_t page) const;
};

// A position in one tag, in stored (ascending) order.
// REQUIRES: the Cdx outlives the cursor and is not moved while it is in use.
class CdxCursor {
 public:
  CdxCursor(Cdx& cdx, std::size_t tag);
  CdxCursor(const CdxCursor& other) = default;
  CdxCursor& operator=(const CdxCursor& other) = default;
  ~CdxCursor() { cdx::giveSpareNode(std::move(m_leaf)); }
  bool first();  // false when the tag is empty
  bool last();
  bool next();  // false past the last key (the cursor is then invalid)
  bool prev();
  // Positions at the first key whose leading key.size() bytes are >= key (and, for a
  // full-length key with recno != 0, whose record is >= recno). Returns true when that key
  // starts with `key`; valid() tells whether the cursor stands on a key at all. In a tag
  // that is not in order, only equal keys are found (by a scan).
  bool seek(std::string_view key, std::uint32_t recno = 0);
  // As seek(), but takes the tag's order for granted (no first walk of the tag to verify it):
  // a few pages read whatever the tag's size. In a tag not in order it may miss keys.
  bool seekInOrder(std::string_view key, std::uint32_t recno = 0);
  bool valid() const { return m_valid; }
  // REQUIRES: valid().
  std::string_view key() const { return {m_leaf.key(m_index), m_leaf.keyLength}; }
  std::uint32_t recno() const { return m_leaf.recnos[m_index]; }
  // The record of the key `k` places further on in the same leaf, 0 when the leaf ends first
  // (for reading records ahead of a walk).
  std::uint32_t recnoAhead(std::size_t k) const {
    return m_valid && m_index + k < m_leaf.recnos.size() ? m_leaf.recnos[m_index + k] : 0;
  }

 private:
  void loadLeaf(std::uint32_t offset);
  bool descend(bool rightmost);
  bool settleForward();
  bool settleBackward();
  bool seekScan(std::string_view key, std::uint32_t recno);
  int compareAt(const cdx::Node& node, std::size_t i, std::string_view key,
                std::uint32_t recno) const;

  Cdx* m_cdx;
  std::size_t m_tag;
  cdx::KeyOrder m_order;
  std::uint16_t m_keyLength;  // the tag's (the leaf's own while it stands)
  cdx::Node m_leaf;
  std::size_t m_index = 0;
  bool m_valid = false;
  std::uint32_t m_hops = 0;
};

}  // namespace exo::store
