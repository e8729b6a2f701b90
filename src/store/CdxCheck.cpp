// Structural check of a compound index tag, used by tests and diagnostics.
#include <cstring>
#include <deque>
#include <string>

#include "store/CdxWriter.h"
#include "store/StoreFailure.h"

namespace exo::store {

using namespace cdx;

namespace {

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
  std::deque<Node> nodes;  // one per level of the descent, reused from node to node
};

std::string at(std::uint32_t page) { return " (p\xE1gina " + std::to_string(page) + ")"; }

void checkLeafKeys(CheckState& s, const Node& n) {
  for (std::size_t i = 0; i < n.size() && s.fault.empty(); ++i) {
    if (s.havePrev) {
      const int c = s.order.compare(s.prevKey, n.key(i), s.keyLength);
      if (c > 0 || (c == 0 && s.prevRecno >= n.recnos[i]))
        s.fault = "claves fuera de orden" + at(n.offset);
    }
    std::memcpy(s.prevKey, n.key(i), s.keyLength);
    s.havePrev = true;
    s.prevRecno = n.recnos[i];
  }
}

void checkLeaf(CheckState& s, const Node& n, const unsigned char* page, bool isRoot) {
  if (n.left != s.prevLeaf || (s.prevLeaf != kNoPage && s.prevLeafRight != n.offset))
    s.fault = "enlaces entre hojas incoherentes" + at(n.offset);
  else if (readLe16(page + 12) != kLeafSpace - leafUsedBytes(page, s.keyLength))
    s.fault = "espacio libre de hoja incorrecto" + at(n.offset);
  else if (n.size() == 0 && !isRoot)
    s.fault =
        "hoja vac\xED"
        "a" +
        at(n.offset);
  else checkLeafKeys(s, n);
  s.prevLeaf = n.offset;
  s.prevLeafRight = n.right;
}

// Checks the subtree at `offset`; returns false once a fault is recorded.
bool checkSubtree(CheckState& s, std::uint32_t offset, int depth, bool isRoot) {
  if (depth > 64 || ++s.visited > CdxWriter::pageLimit(s.cdx)) {
    s.fault = "\xE1rbol demasiado profundo o con ciclos";
    return false;
  }
  unsigned char page[kPageSize];
  CdxWriter::readBytes(s.cdx, offset, page, kPageSize);
  while (s.nodes.size() <= static_cast<std::size_t>(depth)) s.nodes.push_back(takeSpareNode());
  Node& n = s.nodes[static_cast<std::size_t>(depth)];
  decodeNode(page, offset, s.keyLength, s.order.fill, n, s.cdx.path());
  if (n.isLeaf()) {
    checkLeaf(s, n, page, isRoot);
    return s.fault.empty();
  }
  if (n.size() == 0) s.fault = "nodo interior vac\xEDo" + at(offset);
  for (std::size_t i = 0; i < n.size() && s.fault.empty(); ++i) {
    if (!checkSubtree(s, n.children[i], depth + 1, false)) return false;
    if (!s.havePrev || std::memcmp(s.prevKey, n.key(i), s.keyLength) != 0 ||
        s.prevRecno != n.recnos[i])
      s.fault = "clave interior distinta de la \xFAltima de su hijo" + at(offset);
  }
  return s.fault.empty();
}

}  // namespace

std::string CdxWriter::check(Cdx& c, std::size_t tag) {
  const TagInfo& info = c.m_tags.at(tag);
  CheckState s{c, info.keyLength, c.order(tag), {}, false, 0, kNoPage, kNoPage, 0, {}, {}};
  try {
    checkSubtree(s, c.rootOf(tag), 0, true);
    if (s.fault.empty() && s.prevLeafRight != kNoPage)
      s.fault = "la \xFAltima hoja tiene vecina derecha";
  } catch (const FailureError& e) {
    s.fault = e.failure().description;
  }
  for (Node& n : s.nodes) giveSpareNode(std::move(n));
  return s.fault;
}

std::string Cdx::check(std::size_t tag) { return CdxWriter::check(*this, tag); }

}  // namespace exo::store
