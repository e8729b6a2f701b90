// Fuzz target: an index file opened, every tag walked both ways, sought, checked, and (on a
// writable copy) changed key by key.
#include "FuzzSupport.h"
#include "expr/Failure.h"
#include "store/Cdx.h"

using namespace exo::store;

namespace {

void walkTag(Cdx& cdx, std::size_t tag) {
  cdx.isOrdered(tag);
  cdx.check(tag);
  CdxCursor c(cdx, tag);
  for (bool ok = c.first(); ok; ok = c.next()) c.key();
  for (bool ok = c.last(); ok; ok = c.prev()) c.recno();
  c.seek("M");
  c.seek(std::string(3, '\0'), 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::writeInput("i.cdx", data, size);
  for (KeyKind kind : {KeyKind::Character, KeyKind::Binary}) {
    try {
      Cdx cdx = Cdx::open(path, {false, true, 0});
      for (std::size_t t = 0; t < cdx.tags().size(); ++t) {
        cdx.setKeyKind(t, kind);
        try {
          walkTag(cdx, t);
        } catch (const exo::FailureError&) {
        }
      }
    } catch (const exo::FailureError&) {
    }
  }
  try {
    Cdx cdx = Cdx::open(path, {false, false, 0});
    if (!cdx.tags().empty()) {
      CdxCursor c(cdx, 0);
      for (std::uint32_t r = 1; r <= 40; ++r) {
        cdx.insertKey(0, std::string(r % 5, 'K') + char('A' + r % 26), r);
        c.seek("KK");  // pages kept by seeks must follow the changes
      }
      for (std::uint32_t r = 1; r <= 40; r += 3)
        cdx.deleteKey(0, std::string(r % 5, 'K') + char('A' + r % 26), r);
      c.seek("KKA");
      cdx.check(0);
    }
  } catch (const exo::FailureError&) {
  }
  return 0;
}
