// Reading index files: the order of collated keys wherever they differ, leaves packed up to the
// last byte of their page, damaged leaf entries, and walks of tags larger than what an open keeps
// decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "StoreTestSupport.h"
#include "expr/Collation.h"
#include "expr/Failure.h"
#include "store/Cdx.h"

namespace {

using namespace exo::store;

struct Entry {
  std::string key;
  std::uint32_t recno;
  bool operator==(const Entry&) const = default;
};

std::vector<Entry> walkForward(Cdx& cdx, std::size_t tag) {
  std::vector<Entry> out;
  CdxCursor c(cdx, tag);
  for (bool ok = c.first(); ok; ok = c.next()) out.push_back({std::string(c.key()), c.recno()});
  return out;
}

std::vector<Entry> walkBackward(Cdx& cdx, std::size_t tag) {
  std::vector<Entry> out;
  CdxCursor c(cdx, tag);
  for (bool ok = c.last(); ok; ok = c.prev()) out.push_back({std::string(c.key()), c.recno()});
  std::reverse(out.begin(), out.end());
  return out;
}

std::vector<Entry> collatedModel(std::vector<Entry> model) {
  std::sort(model.begin(), model.end(), [](const Entry& a, const Entry& b) {
    const int c = exo::collate(a.key, b.key);
    return c != 0 ? c < 0 : a.recno < b.recno;
  });
  return model;
}

std::uint32_t le32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

// Keys alike but for one byte, at every place of keys of lengths around a word of eight bytes:
// the bytes put there sort one way by their codes and the other way by the collation, so a
// comparison that looked at the wrong byte, or at the right byte the wrong way, shows.
TEST(CdxRead, CollatedKeysAreOrderedByTheirFirstDifferingByteWhereverItLies) {
  storetest::TempDir dir;
  const std::string path = dir.file("orden.cdx");
  const std::string swapped =
      "aB\xD1O\xE1"
      "bZn1";  // byte order and collation disagree
  std::vector<std::vector<Entry>> models;
  {
    Cdx cdx = Cdx::create(path);
    for (std::uint16_t length : {7, 8, 9, 16, 17, 23}) {
      KeyBatch collated(length, KeyKind::Character), bytes(length, KeyKind::MachineCharacter);
      std::vector<Entry> model;
      std::uint32_t recno = 0;
      for (std::uint16_t at = 0; at < length; ++at) {
        for (char c : swapped) {
          std::string key(length, 'M');
          key[at] = c;
          collated.add(key, ++recno);
          bytes.add(key, recno);
          model.push_back({key, recno});
        }
      }
      const std::string n = std::to_string(length);
      cdx.buildTag({"C" + n, "CLAVE", "", length, KeyKind::Character, false, false}, collated);
      cdx.buildTag({"B" + n, "CLAVE", "", length, KeyKind::MachineCharacter, false, false}, bytes);
      models.push_back(collatedModel(model));
    }
  }
  Cdx cdx = Cdx::open(path, {false, true, 0});
  std::size_t m = 0;
  for (std::uint16_t length : {7, 8, 9, 16, 17, 23}) {
    SCOPED_TRACE(length);
    const std::string n = std::to_string(length);
    const std::size_t c = *cdx.findTag("C" + n), b = *cdx.findTag("B" + n);
    EXPECT_TRUE(cdx.isOrdered(c));
    EXPECT_EQ(cdx.check(c), "");
    EXPECT_EQ(walkForward(cdx, c), models[m]);
    EXPECT_EQ(walkBackward(cdx, c), models[m]);
    for (const Entry& e : models[m]) {
      CdxCursor cursor(cdx, c);
      ASSERT_TRUE(cursor.seekInOrder(e.key, e.recno)) << e.key;
      EXPECT_EQ(cursor.recno(), e.recno);
    }
    // The tag in plain byte order, read under the collation, is told out of order (as it is at
    // every place) and its structure is found wrong in the same way.
    EXPECT_FALSE(cdx.isOrdered(b));
    EXPECT_NE(cdx.check(b).find("claves fuera de orden"), std::string::npos);
    cdx.setKeyKind(b, KeyKind::MachineCharacter);
    EXPECT_TRUE(cdx.isOrdered(b));
    EXPECT_EQ(cdx.check(b), "");
    ++m;
  }
}

// A tag of blank keys packs one entry of three bytes per key and no key bytes at all: its first
// leaf is full to the page's last bytes. The index file's path and the first leaf's offset.
struct FullLeaf {
  std::string path;
  std::uint32_t leaf = 0;
  std::uint32_t count = 0;
};

FullLeaf writeBlankKeys(const storetest::TempDir& dir, std::uint32_t records) {
  FullLeaf f{dir.file("blancos.cdx")};
  {
    Cdx cdx = Cdx::create(f.path);
    KeyBatch keys(10, KeyKind::Character);
    for (std::uint32_t r = 1; r <= records; ++r) keys.add("", r);
    cdx.buildTag({"BLANCO", "CLAVE", "", 10, KeyKind::Character, false, false}, keys);
  }
  // From the tag's root down the first entries to the first leaf (an interior entry is the key,
  // then the record and the child, big-endian).
  std::uint32_t header = 0;
  {
    Cdx cdx = Cdx::open(f.path, {true, true, 0});
    header = cdx.tags().at(0).headerOffset;
  }
  const std::string bytes = storetest::readFile(f.path);
  std::uint32_t at = le32(bytes, header);
  while ((bytes.at(at) & 2) == 0) {
    const std::size_t child = at + 12 + 10 + 4;
    at = 0;
    for (int i = 0; i < 4; ++i) at = at << 8 | static_cast<unsigned char>(bytes.at(child + i));
  }
  f.leaf = at;
  f.count = static_cast<unsigned char>(bytes[at + 2]) | static_cast<unsigned char>(bytes[at + 3])
                                                            << 8;
  return f;
}

TEST(CdxRead, LeavesFullToTheirLastByteAreReadWhole) {
  storetest::TempDir dir;
  const FullLeaf f = writeBlankKeys(dir, 1000);
  ASSERT_NE(f.leaf, 0u);
  const std::string bytes = storetest::readFile(f.path);
  const unsigned entryBytes = static_cast<unsigned char>(bytes[f.leaf + 23]);
  ASSERT_GT(24 + f.count * entryBytes + 8, 512u);  // its last entries end within a word of the end
  std::vector<Entry> model;
  for (std::uint32_t r = 1; r <= 1000; ++r) model.push_back({std::string(10, ' '), r});
  for (bool shared : {true, false}) {
    Cdx cdx = Cdx::open(f.path, {shared, true, 0});
    EXPECT_EQ(cdx.check(0), "");
    EXPECT_EQ(walkForward(cdx, 0), model);
    EXPECT_EQ(walkBackward(cdx, 0), model);
  }
}

// An entry that cannot stand (more shared and trailing bytes than the key has, or stored bytes
// reaching into the entries) is reported with what is wrong, in the last entry of a full leaf too.
TEST(CdxRead, ImpossibleLeafEntriesAreReportedForWhatTheyAre) {
  storetest::TempDir dir;
  const FullLeaf f = writeBlankKeys(dir, 1000);
  ASSERT_NE(f.leaf, 0u);
  const std::string good = storetest::readFile(f.path);
  const unsigned recBits = static_cast<unsigned char>(good[f.leaf + 20]);
  const unsigned dupBits = static_cast<unsigned char>(good[f.leaf + 21]);
  const unsigned entryBytes = static_cast<unsigned char>(good[f.leaf + 23]);
  const auto reportFor = [&](std::uint32_t entry, std::uint64_t dup, std::uint64_t trail) {
    std::string b = good;
    const std::size_t at = f.leaf + 24 + entry * entryBytes;
    std::uint64_t v = 0;
    for (unsigned i = 0; i < entryBytes; ++i)
      v |= std::uint64_t{static_cast<unsigned char>(b[at + i])} << (8 * i);
    v &= (std::uint64_t{1} << recBits) - 1;  // the record stays
    v |= dup << recBits | trail << (recBits + dupBits);
    for (unsigned i = 0; i < entryBytes; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
    storetest::writeFile(dir.file("mala.cdx"), b);
    try {
      Cdx cdx = Cdx::open(dir.file("mala.cdx"), {true, true, 0});
      walkForward(cdx, 0);
    } catch (const exo::FailureError& e) {
      EXPECT_EQ(e.failure().genCode, exo::GenCode::Corruption);
      EXPECT_EQ(e.failure().fileName, dir.file("mala.cdx"));
      return e.failure().description;
    }
    return std::string("sin falla");
  };
  const std::string impossible =
      "Archivo da\xF1"
      "ado: clave comprimida imposible en hoja de \xEDndice";
  const std::string overlapping =
      "Archivo da\xF1"
      "ado: claves de hoja de \xEDndice solapadas";
  const std::uint32_t last = f.count - 1;
  EXPECT_EQ(reportFor(last, 6, 5), impossible);  // 11 bytes of a key of 10
  EXPECT_EQ(reportFor(last, 10, 1), impossible);
  EXPECT_EQ(reportFor(0, 1, 9), impossible);      // the first key shares nothing
  EXPECT_EQ(reportFor(last, 0, 0), overlapping);  // 10 bytes where there are 2
  EXPECT_EQ(reportFor(last, 9, 0), "sin falla");  // 1 byte: room enough
  EXPECT_EQ(reportFor(0, 0, 0), overlapping);
}

// A walk of an exclusive open reads the nodes it keeps decoded in place; a tag of more leaves
// and interior nodes than are kept makes the kept ones start over in the middle of walks, checks
// and seeks, which must read on as from the file.
TEST(CdxRead, TagsLargerThanTheNodesKeptWalkAsTheModel) {
  storetest::TempDir dir;
  const std::string path = dir.file("grande.cdx");
  std::mt19937 rng(5);
  std::vector<Entry> model;
  {
    Cdx cdx = Cdx::create(path);
    KeyBatch keys(24, KeyKind::Character);
    for (std::uint32_t r = 1; r <= 60000; ++r) {
      std::string key = std::to_string(rng() % 1000000000u);
      key.resize(24, static_cast<char>('A' + rng() % 26));
      keys.add(key, r);
      model.push_back({key, r});
    }
    cdx.buildTag({"GRANDE", "CLAVE", "", 24, KeyKind::Character, false, false}, keys);
  }
  model = collatedModel(model);
  Cdx cdx = Cdx::open(path, {false, true, 0});
  EXPECT_TRUE(cdx.isOrdered(0));
  EXPECT_EQ(cdx.check(0), "");
  EXPECT_EQ(walkForward(cdx, 0), model);
  EXPECT_EQ(walkBackward(cdx, 0), model);
  CdxCursor c(cdx, 0);
  for (std::size_t i = 0; i < model.size(); i += 997) {
    ASSERT_TRUE(c.seek(model[i].key, model[i].recno));
    EXPECT_EQ(c.recno(), model[i].recno);
  }
  EXPECT_EQ(walkForward(cdx, 0), model);
}

std::uint32_t be32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

// A seek or a walk that meets a damaged page fails; the cursor then stands on no key (its leaf
// may hold anything by then), and it can be moved again from the start.
TEST(CdxRead, ACursorWhoseMoveFailedStandsOnNoKey) {
  storetest::TempDir dir;
  const std::string path = dir.file("rota.cdx");
  std::vector<Entry> model;
  {
    Cdx cdx = Cdx::create(path);
    KeyBatch keys(10, KeyKind::Character);
    for (std::uint32_t r = 1; r <= 3000; ++r) {
      keys.add("K" + std::to_string(100000 + r), r);
      model.push_back({"K" + std::to_string(100000 + r) + "   ", r});
    }
    cdx.buildTag({"ROTA", "CLAVE", "", 10, KeyKind::Character, false, false}, keys);
  }
  std::uint32_t header = 0;
  {
    Cdx cdx = Cdx::open(path, {true, true, 0});
    header = cdx.tags().at(0).headerOffset;
  }
  std::string bytes = storetest::readFile(path);
  // The root's last child, a leaf, gets entries of no bytes.
  const std::uint32_t root = le32(bytes, header);
  ASSERT_EQ(bytes[root] & 2, 0);
  const std::uint32_t n = static_cast<unsigned char>(bytes[root + 2]);
  ASSERT_GT(n, 1u);
  const std::uint32_t last = be32(bytes, root + 12 + (n - 1) * 18 + 14);
  ASSERT_NE(bytes[last] & 2, 0);
  bytes[last + 23] = 0;
  storetest::writeFile(path, bytes);
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    Cdx cdx = Cdx::open(path, {shared, true, 0});
    CdxCursor c(cdx, 0);
    ASSERT_TRUE(c.first());
    EXPECT_THROW(c.seekInOrder(model.back().key), exo::FailureError);
    EXPECT_FALSE(c.valid());
    ASSERT_TRUE(c.first());
    EXPECT_EQ(std::string(c.key()), model.front().key);
    EXPECT_THROW(c.last(), exo::FailureError);
    EXPECT_FALSE(c.valid());
    EXPECT_FALSE(c.next());
    ASSERT_TRUE(c.seekInOrder(model.front().key));
    EXPECT_EQ(c.recno(), 1u);
  }
}

}  // namespace
