// Structural check of a compound index tag, used by tests and diagnostics.
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "store/CdxWriter.h"
#include "store/StoreFailure.h"

namespace exo::store {

using namespace cdx;

namespace {

constexpr int kMaxCheckDepth = 64;

struct CheckState {
  const Cdx& cdx;
  std::uint16_t keyLength;
  KeyOrder order;
  char prevKey[kMaxKeyLength];  // the last key seen, when havePrev
  bool havePrev = false;
  std::uint32_t prevRecno = 0;
  std::uint32_t prevLeaf = kNoPage;
  std::uint32_t prevLeafRight = kNoPage;
  std::size_t visited = 0;
  std::string fault;
  std::vector<Node>& nodes;  // one per level of the descent, reused from node to node
};

// Records the fault found at `page`: what is wrong, then the page (made in place, in one string).
void fault(CheckState& s, std::string_view what, std::uint32_t page) {
  char digits[12];
  const auto end = std::to_chars(digits, digits + sizeof digits, page).ptr;
  s.fault.assign(what);
  s.fault.append(" (p\xE1gina ");
  s.fault.append(digits, static_cast<std::size_t>(end - digits));
  s.fault.push_back(')');
}

void checkLeafKeys(CheckState& s, const Node& n) {
  for (std::size_t i = 0; i < n.size() && s.fault.empty(); ++i) {
    if (s.havePrev) {
      const int c = s.order.compare(s.prevKey, n.key(i), s.keyLength);
      if (c > 0 || (c == 0 && s.prevRecno >= n.recnos[i]))
        fault(s, "claves fuera de orden", n.offset);
    }
    std::memcpy(s.prevKey, n.key(i), s.keyLength);
    s.havePrev = true;
    s.prevRecno = n.recnos[i];
  }
}

void checkLeaf(CheckState& s, const Node& n, const unsigned char* page, bool isRoot) {
  if (n.left != s.prevLeaf || (s.prevLeaf != kNoPage && s.prevLeafRight != n.offset))
    fault(s, "enlaces entre hojas incoherentes", n.offset);
  else if (readLe16(page + 12) != kLeafSpace - leafUsedBytes(page, s.keyLength))
    fault(s, "espacio libre de hoja incorrecto", n.offset);
  else if (n.size() == 0 && !isRoot)
    fault(s,
          "hoja vac\xED"
          "a",
          n.offset);
  else checkLeafKeys(s, n);
  s.prevLeaf = n.offset;
  s.prevLeafRight = n.right;
}

// Decodes the node at `offset` from a copy of its page (where the file's view does not hold
// it), and checks it when it is a leaf; apart, so that checks through the view need no room for
// a page on the stack.
[[gnu::noinline]] void decodeCopied(CheckState& s, std::uint32_t offset, Node& n, bool isRoot) {
  unsigned char page[kPageSize];
  CdxWriter::readBytes(s.cdx, offset, page, kPageSize);
  decodeNode(page, offset, s.keyLength, s.order.fill, n, s.cdx.path());
  if (n.isLeaf()) checkLeaf(s, n, page, isRoot);
}

// Checks the subtree at `offset`; returns false once a fault is recorded.
bool checkSubtree(CheckState& s, std::uint32_t offset, int depth, bool isRoot) {
  if (depth > kMaxCheckDepth || ++s.visited > CdxWriter::pageLimit(s.cdx)) {
    s.fault = "\xE1rbol demasiado profundo o con ciclos";
    return false;
  }
  while (s.nodes.size() <= static_cast<std::size_t>(depth)) s.nodes.push_back(takeSpareNode());
  Node& n = s.nodes[static_cast<std::size_t>(depth)];
  if (const unsigned char* page = CdxWriter::viewedPage(s.cdx, offset)) {
    decodeNode(page, offset, s.keyLength, s.order.fill, n, s.cdx.path());
    if (n.isLeaf()) checkLeaf(s, n, page, isRoot);
  } else {
    decodeCopied(s, offset, n, isRoot);
  }
  if (n.isLeaf()) return s.fault.empty();
  if (n.size() == 0) fault(s, "nodo interior vac\xEDo", offset);
  for (std::size_t i = 0; i < n.size() && s.fault.empty(); ++i) {
    if (!checkSubtree(s, n.children[i], depth + 1, false)) return false;
    if (!s.havePrev || std::memcmp(s.prevKey, n.key(i), s.keyLength) != 0 ||
        s.prevRecno != n.recnos[i])
      fault(s, "clave interior distinta de la \xFAltima de su hijo", offset);
  }
  return s.fault.empty();
}

}  // namespace

std::string CdxWriter::check(Cdx& c, std::size_t tag) {
  const TagInfo& info = c.m_tags.at(tag);
  // The nodes of the levels are the Cdx's own from check to check; room for the deepest level
  // allowed is made at once, so that a level's node stays where it is while deeper ones are added.
  std::vector<Node>& nodes = CdxWriter::checkNodes(c);
  nodes.reserve(kMaxCheckDepth + 1);
  CheckState s{c, info.keyLength, c.order(tag), {}, false, 0, kNoPage, kNoPage, 0, {}, nodes};
  try {
    checkSubtree(s, c.rootOf(tag), 0, true);
    if (s.fault.empty() && s.prevLeafRight != kNoPage)
      s.fault = "la \xFAltima hoja tiene vecina derecha";
  } catch (const FailureError& e) {
    s.fault = e.failure().description;
  }
  return std::move(s.fault);
}

std::string Cdx::check(std::size_t tag) { return CdxWriter::check(*this, tag); }

}  // namespace exo::store
