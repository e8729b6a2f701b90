// Writing side of compound index files: bulk builds, tag directory rewrites, free pages and
// single-key maintenance of the B-trees. Internal to src/store; the public entry points are
// the write functions of Cdx.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/Cdx.h"
#include "store/CdxNode.h"

namespace exo::store {

class CdxWriter {
 public:
  static Cdx create(const std::string& path, const CdxOptions& options);
  static void build(Cdx& c, const TagDefinition& definition, const KeyBatch& keys,
                    const TagDefinition* prefix = nullptr);
  static bool remove(Cdx& c, std::string_view name);
  static void insert(Cdx& c, std::size_t tag, std::string_view key, std::uint32_t recno);
  static bool erase(Cdx& c, std::size_t tag, std::string_view key, std::uint32_t recno);
  static bool moveWithinLeaf(Cdx& c, std::size_t tag, std::string_view oldKey,
                             std::string_view newKey, std::uint32_t recno);
  static std::string check(Cdx& c, std::size_t tag);

  // Shared helpers of the writing code.
  static void requireWritable(const Cdx& c, const char* operation);
  static std::uint32_t allocatePage(Cdx& c);
  static void freePages(Cdx& c, const std::vector<std::uint32_t>& pages);
  static void writePage(Cdx& c, std::uint32_t offset, const unsigned char* page);
  static void bumpCounter(Cdx& c);
  static std::uint32_t alignedEnd(const Cdx& c);
  // Bytes of the file as the Cdx sees them, and written through it (into an open batch's pages).
  static void readBytes(const Cdx& c, std::uint64_t offset, void* buffer, std::size_t n) {
    c.readBytes(offset, buffer, n);
  }
  static void writeBytes(Cdx& c, std::uint32_t offset, const void* buffer, std::size_t n) {
    c.writeBytes(offset, buffer, n);
  }
  // A node to change: inside a batch or an exclusive open from the nodes kept decoded (no other
  // program writes the file meanwhile, and what this object writes drops or replaces the nodes
  // of its pages), else read afresh.
  // Outside a batch a leaf is taken out of the kept ones (it is about to be written, and kept
  // again as written); a batch keeps it, since a change it gives up leaves the leaf as it was.
  static void readNodeToChange(const Cdx& c, std::uint32_t offset, std::uint16_t keyLength,
                               std::uint8_t fill, cdx::Node& node) {
    if (!c.keepsNodes()) return c.readNode(offset, keyLength, fill, node);
    const cdx::Node& kept = c.nodeAt(offset, keyLength, fill, node);
    if (&kept == &node) return;
    if (kept.isLeaf() && !c.m_batch) {
      if (const auto it = c.m_leaves.find(offset); it != c.m_leaves.end() && &it->second == &kept) {
        std::swap(node, it->second);  // the entry keeps the room of `node` for its next use
        it->second.keyLength = 0;     // no longer stands (see Cdx::dropKept)
        return;
      }
    }
    node = kept;
  }
  // Where nodes are kept decoded, a node just written is kept as it now stands (it is what
  // reading the page back would give).
  static void keepWritten(const Cdx& c, const cdx::Node& node) {
    if (c.keepsNodes()) c.keep(node);
  }
  // The same, for a node its writer is done with.
  static void keepWritten(const Cdx& c, cdx::Node&& node) {
    if (c.keepsNodes()) c.keep(std::move(node));
  }
  // Inside a batch, a changed leaf that still fits its page is kept decoded and encoded once,
  // when its bytes are needed (at the latest when the batch is written); false, with nothing
  // done, outside a batch or when the leaf does not fit (the caller then splits it).
  static bool deferLeaf(Cdx& c, const cdx::Node& node, std::uint8_t fill) {
    if (!c.m_batch || !cdx::leafFits(node, fill)) return false;
    c.markBatch();
    c.m_batchDirty = true;
    Cdx::spare(c.m_nodes, node.offset);
    Cdx::PendingLeaf& pending =
        c.m_pendingLeaves.insert_or_assign(node.offset, Cdx::PendingLeaf{node, fill}).first->second;
    pending.node.forgetPacked();  // encoded whole when its bytes are needed
    c.m_size = std::max<std::uint64_t>(c.m_size, std::uint64_t{node.offset} + cdx::kPageSize);
    keepWritten(c, pending.node);
    return true;
  }
  // The page at `offset` where it lies as this object sees it (null when it must be read).
  static const unsigned char* viewedPage(const Cdx& c, std::uint32_t offset) {
    return c.viewed(offset, cdx::kPageSize);
  }
  // The page at `offset` as this object sees it: where it lies, or read into `scratch`.
  static const unsigned char* pageBytes(const Cdx& c, std::uint32_t offset,
                                        unsigned char* scratch) {
    if (const unsigned char* p = c.viewed(offset, cdx::kPageSize)) return p;
    c.readBytes(offset, scratch, cdx::kPageSize);
    return scratch;
  }
  // The scratch of the key changes (Cdx::m_editPath, m_editLeaf).
  static std::vector<cdx::PathStep>& editPath(Cdx& c) { return c.m_editPath; }
  static cdx::Node& editLeaf(Cdx& c) { return c.m_editLeaf; }
  static File& file(Cdx& c) { return c.m_file; }
  static std::vector<cdx::Node>& checkNodes(Cdx& c) { return c.m_checkNodes; }
  static const File& file(const Cdx& c) { return c.m_file; }
  static std::uint32_t pageLimit(const Cdx& c) { return c.pageLimit(); }
  static std::uint32_t rootOf(const Cdx& c, std::size_t tag) { return c.rootOf(tag); }
  static void readNode(const Cdx& c, std::uint32_t offset, std::uint16_t keyLength,
                       std::uint8_t fill, cdx::Node& node) {
    c.readNode(offset, keyLength, fill, node);
  }

 private:
  static void rewriteDirectory(Cdx& c, const std::string& dropName, std::uint32_t newHeader,
                               const std::string& newName, std::vector<std::uint32_t> freed);
  static void collectTreePages(const Cdx& c, std::uint32_t root, std::uint16_t keyLength,
                               std::vector<std::uint32_t>& out);
};

// Holds the index file's write lock (shared opens) for one modification; inside a batch the
// batch holds it already.
class IndexWriteLock {
 public:
  explicit IndexWriteLock(Cdx& c);
  ~IndexWriteLock();
  IndexWriteLock(const IndexWriteLock&) = delete;
  IndexWriteLock& operator=(const IndexWriteLock&) = delete;

 private:
  int m_fd = -1;
};

}  // namespace exo::store
