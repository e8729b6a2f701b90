// Index files we write: bulk builds (order, seeks, unique, multi-level trees), replacing and
// deleting tags, single-key maintenance checked against a model, and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

#include "StoreTestSupport.h"
#include "expr/Collation.h"
#include "expr/Failure.h"
#include "store/Cdx.h"
#include "store/FieldCodec.h"

namespace {

using namespace exo::store;

// (key, record) in the order a tag of the given kind must hold them.
struct Entry {
  std::string key;
  std::uint32_t recno;
};

struct ModelLess {
  bool collated;
  bool operator()(const Entry& a, const Entry& b) const {
    const int c = collated ? exo::collate(a.key, b.key) : a.key.compare(b.key);
    return c != 0 ? c < 0 : a.recno < b.recno;
  }
};

std::vector<Entry> walk(Cdx& cdx, std::size_t tag) {
  std::vector<Entry> out;
  CdxCursor c(cdx, tag);
  for (bool ok = c.first(); ok; ok = c.next()) out.push_back({std::string(c.key()), c.recno()});
  return out;
}

void expectSame(const std::vector<Entry>& got, const std::vector<Entry>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].key, want[i].key) << i;
    ASSERT_EQ(got[i].recno, want[i].recno) << i;
  }
}

std::string randomName(std::mt19937& rng, std::size_t length) {
  static const std::string letters =
      "ABCDEFGHIJKLMN\xD1OPQRSTUVWXYZabcdefgh\xF1\xE1\xE9\xED\xF3\xFA\xC1\xC9 .-0123456789";
  std::string s;
  const std::size_t n = 1 + rng() % length;
  for (std::size_t i = 0; i < n; ++i) s += letters[rng() % letters.size()];
  s.resize(length, ' ');
  return s;
}

TEST(Cdx, BuildsOrderedMultiLevelTagsOfEveryKind) {
  storetest::TempDir dir;
  Cdx cdx = Cdx::create(dir.file("t.cdx"));
  std::mt19937 rng(7);
  std::vector<Entry> names, numbers;
  KeyBatch text(40, KeyKind::Character), nums(8, KeyKind::Binary);
  for (std::uint32_t r = 1; r <= 5000; ++r) {
    names.push_back({randomName(rng, 40), r});
    text.add(names.back().key, r);
    char k[8];
    encodeNumberKey(static_cast<double>(static_cast<int>(rng() % 2000) - 1000) / 4, k);
    numbers.push_back({std::string(k, 8), r});
    nums.add(numbers.back().key, r);
  }
  cdx.buildTag({"Nombre", "NOMBRE", "!Deleted()", 40, KeyKind::Character}, text);
  cdx.buildTag({"monto", "MONTO", "", 8, KeyKind::Binary, true}, nums);
  ASSERT_EQ(cdx.tags().size(), 2u);
  EXPECT_EQ(cdx.tags()[0].name, "NOMBRE");
  EXPECT_EQ(cdx.tags()[0].forExpression, "!Deleted()");
  EXPECT_EQ(cdx.tags()[0].options, 0x68);
  EXPECT_TRUE(cdx.tags()[1].descending);
  std::sort(names.begin(), names.end(), ModelLess{true});
  std::sort(numbers.begin(), numbers.end(), ModelLess{false});
  for (std::size_t tag : {0u, 1u}) EXPECT_EQ(cdx.check(tag), "");
  expectSame(walk(cdx, 0), names);
  expectSame(walk(cdx, 1), numbers);
  // Seek every 97th key exactly and by prefix; a missing key lands on the next greater one.
  for (std::size_t i = 0; i < names.size(); i += 97) {
    CdxCursor c(cdx, 0);
    ASSERT_TRUE(c.seek(names[i].key, names[i].recno));
    EXPECT_EQ(c.recno(), names[i].recno);
    ASSERT_TRUE(c.seek(names[i].key.substr(0, 2)));
    EXPECT_EQ(exo::collate(std::string(c.key()).substr(0, 2), names[i].key.substr(0, 2)), 0);
  }
  char k[8];
  encodeNumberKey(-1000.1, k);
  CdxCursor c(cdx, 1);
  EXPECT_FALSE(c.seek({k, 8}));
  ASSERT_TRUE(c.valid());
  EXPECT_EQ(c.recno(), numbers.front().recno);
  ASSERT_TRUE(c.last());
  EXPECT_EQ(c.recno(), numbers.back().recno);
  EXPECT_TRUE(c.prev());
  EXPECT_EQ(c.recno(), numbers[numbers.size() - 2].recno);
}

TEST(Cdx, UniqueKeepsTheLowestRecordAndEmptyTagsAreValid) {
  storetest::TempDir dir;
  Cdx cdx = Cdx::create(dir.file("u.cdx"));
  KeyBatch keys(3, KeyKind::Character);
  for (std::uint32_t r = 1; r <= 90; ++r)
    keys.add(std::string(1, static_cast<char>('C' - r % 3)), 91 - r);
  TagDefinition definition{"U", "X", "", 3, KeyKind::Character, false, true};
  cdx.buildTag(definition, keys);
  const auto got = walk(cdx, 0);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].key, "A  ");
  EXPECT_EQ(got[0].recno, 2u);
  EXPECT_EQ(cdx.tags()[0].options, 0x61);
  cdx.buildTag({"EMPTY", "X", "", 10, KeyKind::Character}, KeyBatch(10, KeyKind::Character));
  CdxCursor c(cdx, *cdx.findTag("empty"));
  EXPECT_FALSE(c.first());
  EXPECT_FALSE(c.seek("A"));
  EXPECT_EQ(cdx.check(1), "");
}

TEST(Cdx, RebuildingAndDeletingTagsKeepsTheOthersAndReusesPages) {
  storetest::TempDir dir;
  const std::string path = dir.file("r.cdx");
  Cdx cdx = Cdx::create(path);
  const auto batch = [](std::uint32_t n, char c) {
    KeyBatch b(20, KeyKind::Character);
    for (std::uint32_t r = 1; r <= n; ++r) b.add(std::string(1, c) + std::to_string(r), r);
    return b;
  };
  cdx.buildTag({"A", "A", "", 20, KeyKind::Character}, batch(2000, 'a'));
  cdx.buildTag({"B", "B", "", 20, KeyKind::Character}, batch(2000, 'b'));
  cdx.buildTag({"A", "A2", "", 20, KeyKind::Character}, batch(10, 'z'));  // replaces A
  ASSERT_EQ(cdx.tags().size(), 2u);
  EXPECT_EQ(cdx.tags()[0].name, "B");  // creation order: the new A comes last
  EXPECT_EQ(cdx.tags()[1].keyExpression, "A2");
  EXPECT_EQ(walk(cdx, 1).size(), 10u);
  EXPECT_EQ(walk(cdx, 0).size(), 2000u);
  const auto sizeBefore = std::filesystem::file_size(path);
  KeyBatch one(20, KeyKind::Character);
  one.add("x", 1);
  // Freed pages of the old A serve the inserts that follow.
  for (std::uint32_t r = 1; r <= 400; ++r) cdx.insertKey(1, "k" + std::to_string(r), r + 100);
  EXPECT_EQ(std::filesystem::file_size(path), sizeBefore);
  EXPECT_TRUE(cdx.deleteTag("b"));
  EXPECT_FALSE(cdx.deleteTag("b"));
  ASSERT_EQ(cdx.tags().size(), 1u);
  EXPECT_EQ(cdx.check(0), "");
  cdx.close();
  Cdx again = Cdx::open(path, {true, true, 0});
  ASSERT_EQ(again.tags().size(), 1u);
  EXPECT_EQ(walk(again, 0).size(), 410u);
}

// Random inserts and deletes on a small-capacity tag (long keys) against a model: splits,
// root growth, empty-leaf removal and the free list all get exercised.
TEST(Cdx, SingleKeyMaintenanceMatchesAModel) {
  storetest::TempDir dir;
  Cdx cdx = Cdx::create(dir.file("m.cdx"));
  std::mt19937 rng(11);
  std::set<Entry, ModelLess> model(ModelLess{true});
  KeyBatch initial(120, KeyKind::Character);
  for (std::uint32_t r = 1; r <= 200; ++r) {
    const Entry e{randomName(rng, 120), r};
    model.insert(e);
    initial.add(e.key, e.recno);
  }
  cdx.buildTag({"LARGO", "NOMBRE", "", 120, KeyKind::Character}, initial);
  std::uint32_t next = 201;
  for (int step = 0; step < 3000; ++step) {
    if (rng() % 100 < 55 || model.empty()) {
      const Entry e{randomName(rng, 120), next++};
      cdx.insertKey(0, e.key, e.recno);
      model.insert(e);
    } else {
      auto it = model.begin();
      std::advance(it, static_cast<long>(rng() % model.size()));
      ASSERT_TRUE(cdx.deleteKey(0, it->key, it->recno));
      model.erase(it);
    }
    if (step % 500 == 0) {
      ASSERT_EQ(cdx.check(0), "") << step;
    }
  }
  EXPECT_FALSE(cdx.deleteKey(0, "no such key", 1));
  ASSERT_EQ(cdx.check(0), "");
  expectSame(walk(cdx, 0), {model.begin(), model.end()});
  // Empty the tag completely, then grow it again.
  for (const Entry& e : std::vector<Entry>(model.begin(), model.end()))
    ASSERT_TRUE(cdx.deleteKey(0, e.key, e.recno));
  EXPECT_EQ(walk(cdx, 0).size(), 0u);
  EXPECT_EQ(cdx.check(0), "");
  for (std::uint32_t r = 1; r <= 50; ++r) cdx.insertKey(0, "k" + std::to_string(r % 7), r);
  EXPECT_EQ(walk(cdx, 0).size(), 50u);
  EXPECT_EQ(cdx.check(0), "");
  cdx.updateKey(0, "k1", "a", 1);
  EXPECT_EQ(walk(cdx, 0).front().recno, 1u);
  EXPECT_EQ(cdx.check(0), "");
}

// An exclusive open keeps the nodes it decodes across its reads and its own changes; a shared
// open reads them afresh. The same changes, with cursors walking and seeking between them, leave
// both files byte for byte the same, and every walk and seek sees each change at once.
TEST(Cdx, KeptNodesFollowEveryChangeOfAnExclusiveOpen) {
  storetest::TempDir dir;
  const std::string shared = dir.file("s.cdx"), exclusive = dir.file("e.cdx");
  {
    Cdx made = Cdx::create(shared);
    KeyBatch initial(40, KeyKind::Character);
    std::mt19937 rng(5);
    for (std::uint32_t r = 1; r <= 300; ++r) initial.add(randomName(rng, 40), r);
    made.buildTag({"NOMBRE", "NOMBRE", "", 40, KeyKind::Character}, initial);
  }
  storetest::writeFile(exclusive, storetest::readFile(shared));
  Cdx a = Cdx::open(shared, {true, false, 0}), b = Cdx::open(exclusive, {false, false, 0});
  CdxCursor ca(a, 0), cb(b, 0);
  std::mt19937 rng(17);
  std::set<Entry, ModelLess> model(ModelLess{true});
  for (const Entry& e : walk(a, 0)) model.insert(e);
  std::uint32_t next = 301;
  for (int step = 0; step < 1200; ++step) {
    if (rng() % 100 < 60 || model.empty()) {
      const Entry e{randomName(rng, 40), next++};
      a.insertKey(0, e.key, e.recno);
      b.insertKey(0, e.key, e.recno);
      model.insert(e);
      // Seeks right after the change find it (the leaf kept from before must not stand).
      ASSERT_TRUE(cb.seek(e.key, e.recno)) << step;
      ASSERT_EQ(cb.recno(), e.recno) << step;
      ASSERT_TRUE(ca.seek(e.key, e.recno)) << step;
    } else {
      auto it = model.begin();
      std::advance(it, static_cast<long>(rng() % model.size()));
      ASSERT_TRUE(a.deleteKey(0, it->key, it->recno));
      ASSERT_TRUE(b.deleteKey(0, it->key, it->recno));
      const bool found = cb.seek(it->key, it->recno) && cb.recno() == it->recno;
      ASSERT_FALSE(found) << step;
      model.erase(it);
    }
    if (step % 100 == 0) {
      expectSame(walk(b, 0), {model.begin(), model.end()});
      std::vector<Entry> back;
      for (bool ok = cb.last(); ok; ok = cb.prev())
        back.push_back({std::string(cb.key()), cb.recno()});
      ASSERT_EQ(back.size(), model.size());
      ASSERT_EQ(b.check(0), "") << step;
    }
  }
  expectSame(walk(a, 0), {model.begin(), model.end()});
  expectSame(walk(b, 0), {model.begin(), model.end()});
  a.close();
  b.close();
  EXPECT_TRUE(storetest::readFile(exclusive) == storetest::readFile(shared));
}

// A root leaf as another program may pack it: keys stored whole but for their trailing blanks
// (no start shared with the key before), with the widths given.
std::string foreignLeaf(const std::vector<Entry>& entries, unsigned keyLength, unsigned recBits,
                        unsigned countBits, unsigned entryBytes) {
  std::string page(512, '\0');
  auto put = [&](std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) page[at + i] = static_cast<char>(v >> (8 * i));
  };
  put(0, 3, 2);  // root and leaf
  put(2, entries.size(), 2);
  put(4, 0xFFFFFFFFu, 4);
  put(8, 0xFFFFFFFFu, 4);
  put(14, (std::uint64_t{1} << recBits) - 1, 4);
  put(18, (1u << countBits) - 1, 1);
  put(19, (1u << countBits) - 1, 1);
  put(20, recBits, 1);
  put(21, countBits, 1);
  put(22, countBits, 1);
  put(23, entryBytes, 1);
  std::size_t keyPos = 512, used = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& k = entries[i].key;
    const std::size_t kept = k.find_last_not_of(' ') + 1, trail = keyLength - kept;
    keyPos -= kept;
    page.replace(keyPos, kept, k, 0, kept);
    put(24 + i * entryBytes, entries[i].recno | std::uint64_t{trail} << (recBits + countBits),
        static_cast<int>(entryBytes));
    used += entryBytes + kept;
  }
  put(12, 488 - used, 2);
  return page;
}

// A leaf changed through an exclusive open is packed again only from the changed key on; the
// file must stay what packing every key gives (the shared open packs each leaf whole). Keys
// alike at their start and blank at their end, changes at either end of a leaf and in its
// middle, records whose numbers widen and narrow the leaf's entries, and leaves another program
// packed otherwise (same widths, starts not shared; other widths); the files are compared after
// every change.
TEST(Cdx, LeavesPackedFromTheChangedKeyOnAreTheSameFiles) {
  storetest::TempDir dir;
  const std::string shared = dir.file("s.cdx"), exclusive = dir.file("e.cdx");
  std::vector<Entry> few = {{"CTA1001     ", 3},
                            {"CTA1002     ", 1},
                            {"CTA1002     ", 2},
                            {"CTA2        ", 7},
                            {"NOMBRE      ", 4}};
  {
    Cdx made = Cdx::create(shared);
    KeyBatch initial(12, KeyKind::Character);
    for (std::uint32_t r = 1; r <= 120; ++r)
      initial.add("CTA" + std::to_string(1000 + r * 7 % 113), r);
    made.buildTag({"CUENTA", "CUENTA", "", 12, KeyKind::Character}, initial);
    KeyBatch small(12, KeyKind::Character);
    for (const Entry& e : few) small.add(e.key, e.recno);
    made.buildTag({"OTRA", "OTRA", "", 12, KeyKind::Character}, small);
    made.buildTag({"TERCERA", "TERCERA", "", 12, KeyKind::Character}, small);
  }
  {
    // OTRA's root leaf with our widths but no shared starts; TERCERA's with other widths.
    Cdx c = Cdx::open(shared, {false, true, 0});
    std::string bytes = storetest::readFile(shared);
    const auto root = [&](std::size_t tag) {
      const auto* h =
          reinterpret_cast<const unsigned char*>(bytes.data() + c.tags()[tag].headerOffset);
      return h[0] | h[1] << 8 | h[2] << 16 | std::uint32_t{h[3]} << 24;
    };
    const auto* mine = reinterpret_cast<const unsigned char*>(bytes.data() + root(1));
    ASSERT_EQ(mine[0], 3);  // a root leaf
    ASSERT_EQ(mine[20], 16);
    ASSERT_EQ(mine[21], 4);
    ASSERT_EQ(mine[23], 3);
    bytes.replace(root(1), 512, foreignLeaf(few, 12, 16, 4, 3));
    bytes.replace(root(2), 512, foreignLeaf(few, 12, 22, 5, 4));
    c.close();
    storetest::writeFile(shared, bytes);
    Cdx reread = Cdx::open(shared, {true, true, 0});
    for (std::size_t t = 1; t <= 2; ++t) {
      ASSERT_EQ(reread.check(t), "");
      expectSame(walk(reread, t), few);
    }
  }
  storetest::writeFile(exclusive, storetest::readFile(shared));
  Cdx a = Cdx::open(shared, {true, false, 0}), b = Cdx::open(exclusive, {false, false, 0});
  std::mt19937 rng(23);
  // Cursors of the exclusive open walk between the changes (leaves read into their scratch).
  std::vector<CdxCursor> cursors = {CdxCursor(b, 0), CdxCursor(b, 1), CdxCursor(b, 2)};
  std::vector<std::set<Entry, ModelLess>> model(3, std::set<Entry, ModelLess>(ModelLess{true}));
  for (std::size_t t = 0; t < 3; ++t)
    for (const Entry& e : walk(a, t)) model[t].insert(e);
  for (int step = 0; step < 1500; ++step) {
    const std::size_t t = step < 300 ? 1 + step % 2 : rng() % 3;
    const unsigned pick = rng() % 100;
    if (pick < 55 || model[t].size() < 3) {
      // Records far apart: some need more bits than the leaf's entries had.
      const std::uint32_t rec = rng() % 4 == 0 ? 5000 + rng() % 70000 : 1 + rng() % 4000;
      std::string key = pick % 3 == 0 ? "CTA" : pick % 3 == 1 ? "CTA10" : "A";
      key += std::to_string(rng() % 300);
      const Entry e{key.append(12 - key.size(), ' '), rec};
      if (model[t].count(e) != 0) continue;
      a.insertKey(t, e.key, e.recno);
      b.insertKey(t, e.key, e.recno);
      model[t].insert(e);
    } else {
      // Often the record of the largest number, so that the entries narrow again.
      auto it = std::max_element(model[t].begin(), model[t].end(),
                                 [](const Entry& x, const Entry& y) { return x.recno < y.recno; });
      if (pick % 2 == 0) {
        it = model[t].begin();
        std::advance(it, static_cast<long>(rng() % model[t].size()));
      }
      ASSERT_TRUE(a.deleteKey(t, it->key, it->recno));
      ASSERT_TRUE(b.deleteKey(t, it->key, it->recno));
      model[t].erase(it);
    }
    ASSERT_TRUE(storetest::readFile(exclusive) == storetest::readFile(shared)) << step;
    CdxCursor& c = cursors[rng() % 3];
    if (step % 2 == 0) {
      c.seek(rng() % 2 == 0 ? "CTA10" : "A");
    } else {
      for (bool ok = c.last(); ok && rng() % 8 != 0; ok = c.prev()) {
      }
    }
  }
  for (std::size_t t = 0; t < 3; ++t) {
    ASSERT_EQ(b.check(t), "");
    expectSame(walk(b, t), {model[t].begin(), model[t].end()});
  }
}

TEST(Cdx, ReadOnlyAndForeignFilesAreNeverWritten) {
  storetest::TempDir dir;
  const std::string copy = dir.copy(storetest::kPeerDir + "/spanish/vectab.cdx", "v.cdx");
  const std::string before = storetest::readFile(copy);
  Cdx cdx = Cdx::open(copy, {true, true, 0});
  EXPECT_THROW(cdx.insertKey(0, "X", 1), exo::FailureError);
  EXPECT_THROW(cdx.buildTag({"N", "N", "", 3, KeyKind::Character}, KeyBatch(3, KeyKind::Character)),
               exo::FailureError);
  EXPECT_EQ(storetest::readFile(copy), before);
}

exo::Failure openAndWalk(const std::string& path) {
  try {
    Cdx cdx = Cdx::open(path, {true, true, 0});
    for (std::size_t t = 0; t < cdx.tags().size(); ++t) {
      cdx.isOrdered(t);
      walk(cdx, t);
      CdxCursor c(cdx, t);
      c.seek("M");
    }
  } catch (const exo::FailureError& e) {
    return e.failure();
  }
  return {};
}

TEST(Cdx, DamagedIndexFilesAreReported) {
  storetest::TempDir dir;
  const std::string good = storetest::readFile(storetest::kPeerDir + "/spanish/vectab.cdx");
  const auto patched = [&](std::size_t at, std::string bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    storetest::writeFile(dir.file("bad.cdx"), b);
    return openAndWalk(dir.file("bad.cdx"));
  };
  const std::uint32_t tagHeader = 0x600;  // first tag (CODIGO)
  const struct {
    std::size_t at;
    std::string bytes;
    const char* what;
  } cases[] = {
      {0, std::string("\x00\x00\x10\x00", 4), "directory root beyond the file"},
      {0, std::string("\x01\x04\x00\x00", 4), "directory root not on a page"},
      {tagHeader, std::string("\x00\x00\x00\x00", 4), "tag root inside the header"},
      {tagHeader + 12, std::string("\x00\x00", 2), "key length 0"},
      {0x400 + 2, std::string("\xFF\x00", 2), "directory leaf with 255 keys"},
      {0x400 + 23, std::string("\x00", 1), "leaf with 0-byte entries"},
  };
  for (const auto& c : cases) {
    const exo::Failure f = patched(c.at, c.bytes);
    EXPECT_EQ(f.genCode, exo::GenCode::Corruption) << c.what;
    EXPECT_EQ(f.fileName, dir.file("bad.cdx")) << c.what;
  }
  // A leaf whose right sibling is itself: a loop, reported instead of walked forever.
  std::uint32_t leaf = 0;
  for (std::uint32_t at = 0x800; at < good.size(); at += 512) {
    const bool leafAttr = (good[at] == 2 || good[at] == 3) && good[at + 1] == 0;
    if (leafAttr && good.compare(at + 8, 4, std::string(4, '\xFF')) != 0) {
      leaf = at;
      break;
    }
  }
  ASSERT_NE(leaf, 0u);
  std::string self(4, '\0');
  for (int i = 0; i < 4; ++i) self[i] = static_cast<char>(leaf >> (8 * i));
  const exo::Failure f = patched(leaf + 8, self);
  EXPECT_EQ(f.genCode, exo::GenCode::Corruption);
}

}  // namespace

namespace {

// Seeks keep decoded pages between calls; a change made through another open of the same file
// must be seen by the next seek all the same.
TEST(Cdx, SeeksSeeChangesMadeThroughAnotherOpen) {
  storetest::TempDir dir;
  const std::string path = dir.file("cambios.cdx");
  KeyBatch keys(10, KeyKind::Character);
  for (std::uint32_t r = 1; r <= 3000; ++r) keys.add("K" + std::to_string(100000 + r * 2), r);
  TagDefinition def;
  def.name = "CLAVE";
  def.keyExpression = "CLAVE";
  def.keyLength = 10;
  {
    Cdx writer = Cdx::create(path);
    writer.buildTag(def, keys);
  }
  Cdx reader = Cdx::open(path, {true, true, 2000});
  Cdx writer = Cdx::open(path, {true, false, 2000});
  CdxCursor cursor(reader, 0);
  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(cursor.seek("K102001"));  // an odd key: absent, the cursor stands after it
    EXPECT_EQ(cursor.key().substr(0, 7), "K102002");
  }
  writer.insertKey(0, "K102001", 4001);
  ASSERT_TRUE(cursor.seek("K102001"));
  EXPECT_EQ(cursor.recno(), 4001u);
  ASSERT_TRUE(writer.deleteKey(0, "K102001", 4001));
  EXPECT_FALSE(cursor.seek("K102001"));
}

}  // namespace

namespace {

// Builds tag `name` from `batch` and checks it is a sound tree holding exactly the model's
// entries (sorted here; for unique tags the lowest record of each key) in the model's order.
void expectBuiltAsModel(Cdx& cdx, const std::string& name, const KeyBatch& batch, bool unique,
                        std::vector<Entry> model) {
  const bool collated = batch.kind() == KeyKind::Character;
  std::sort(model.begin(), model.end(), ModelLess{collated});
  if (unique) {
    std::vector<Entry> kept;
    for (const Entry& e : model)
      if (kept.empty() || kept.back().key != e.key) kept.push_back(e);
    model = kept;
  }
  cdx.buildTag({name, "CLAVE", "", batch.keyLength(), batch.kind(), false, unique}, batch);
  const std::size_t tag = *cdx.findTag(name);
  cdx.setKeyKind(tag, batch.kind());
  EXPECT_EQ(cdx.check(tag), "");
  expectSame(walk(cdx, tag), model);
}

// Every key length the sort treats on its own (up to 8, 16, 24 bytes and longer), collated or
// not, unique or not, walks in the model's order.
TEST(Cdx, EveryKeyLengthSortsAsTheModel) {
  storetest::TempDir dir;
  Cdx cdx = Cdx::create(dir.file("largos.cdx"));
  std::mt19937 rng(11);
  int n = 0;
  for (std::uint16_t length : {5, 12, 20, 24, 31}) {
    for (bool collated : {true, false}) {
      for (bool unique : {false, true}) {
        SCOPED_TRACE(std::to_string(length) + (collated ? " collated" : " bytes") +
                     (unique ? " unique" : ""));
        const KeyKind kind = collated ? KeyKind::Character : KeyKind::MachineCharacter;
        KeyBatch batch(length, kind);
        std::vector<Entry> model;
        for (std::uint32_t r = 1; r <= 3000; ++r) {
          // Few distinct beginnings, so that many keys tie over their first bytes.
          std::string key = randomName(rng, 3) + randomName(rng, length);
          key.resize(length, ' ');
          batch.add(key, r);
          model.push_back({key, r});
        }
        expectBuiltAsModel(cdx, "T" + std::to_string(n++), batch, unique, model);
      }
    }
  }
}

}  // namespace

namespace {

// Batches with few distinct keys (the ledger's accounts) take a path of their own when their
// records come in order; out of order they are sorted as any other. Both walk as the model.
TEST(Cdx, FewDistinctKeysSortAsTheModelInAnyRecordOrder) {
  storetest::TempDir dir;
  Cdx cdx = Cdx::create(dir.file("pocas.cdx"));
  std::mt19937 rng(5);
  int n = 0;
  for (std::uint16_t length : {5, 20, 31}) {
    std::vector<std::string> distinct;
    for (int i = 0; i < 60; ++i) distinct.push_back(randomName(rng, length));
    for (bool collated : {true, false}) {
      for (bool unique : {false, true}) {
        for (bool ascending : {true, false}) {
          SCOPED_TRACE(std::to_string(length) + (collated ? " collated" : " bytes") +
                       (unique ? " unique" : "") + (ascending ? " in order" : " reversed"));
          const KeyKind kind = collated ? KeyKind::Character : KeyKind::MachineCharacter;
          KeyBatch batch(length, kind);
          std::vector<Entry> model;
          for (std::uint32_t i = 1; i <= 6000; ++i) {
            const std::uint32_t r = ascending ? i : 6001 - i;
            const std::string& key = distinct[rng() % distinct.size()];
            batch.add(key, r);
            model.push_back({key, r});
          }
          expectBuiltAsModel(cdx, "P" + std::to_string(n++), batch, unique, model);
        }
      }
    }
  }
}

}  // namespace

namespace {

// Large batches are dealt by their first bytes before sorting; keys that are in order within
// their first bytes (voucher numbers within a voucher type) and keys in no order at all both
// come out in the model's order.
TEST(Cdx, LargeBatchesSortAsTheModel) {
  storetest::TempDir dir;
  Cdx cdx = Cdx::create(dir.file("grande.cdx"));
  std::mt19937 rng(3);
  const char* types[] = {"FC", "CE", "\321C", "NC", "RC", "cd"};
  KeyBatch batch(14, KeyKind::Character);
  std::vector<Entry> model;
  for (std::uint32_t r = 1; r <= 120000; ++r) {
    std::string key;
    if (r % 2 == 0) {
      char number[16];
      std::snprintf(number, sizeof number, "%08u", r / 12);
      key = std::string(types[r % 6]) + number + "0001";
    } else {
      key = randomName(rng, 14);
    }
    key.resize(14, ' ');
    batch.add(key, r);
    model.push_back({key, r});
  }
  expectBuiltAsModel(cdx, "GRANDE", batch, false, model);
}

}  // namespace

namespace {

// Keys nearly in order within their first bytes (the year's lines: voucher after voucher, the
// third parties of a voucher in any order) are put in order by insertion; a bucket too far from
// order falls back to the full sort. Batches under and over the size where two threads share
// the work, of every key length the sort treats on its own, unique or not.
TEST(Cdx, NearlyOrderedBatchesSortAsTheModel) {
  storetest::TempDir dir;
  Cdx cdx = Cdx::create(dir.file("casi.cdx"));
  std::mt19937 rng(17);
  const char* types[] = {"FC", "CE", "\321C", "NC", "RC", "cd", "EG"};
  int n = 0;
  for (std::uint32_t records : {20000u, 130000u}) {
    for (std::uint16_t length : {7, 15, 22}) {
      for (bool unique : {false, true}) {
        SCOPED_TRACE(std::to_string(records) + " keys of " + std::to_string(length) +
                     (unique ? " unique" : ""));
        KeyBatch batch(length, KeyKind::Character);
        std::vector<Entry> model;
        std::uint32_t voucher = 0;
        for (std::uint32_t r = 1; r <= records; ++r) {
          if (rng() % 4 == 0) ++voucher;
          const std::size_t type = voucher % 7;
          char number[16];
          // The last type's vouchers run backwards: a bucket far from order.
          std::snprintf(number, sizeof number, "%05u",
                        type == 6 ? 99999 - voucher / 7 : voucher / 7);
          std::string key = std::string(types[type]) + number;
          // Third parties in any order within the voucher, some of them repeated.
          key += randomName(rng, 2).substr(0, 1);
          key += "000000000000000";
          key.resize(length, ' ');
          batch.add(key, r);
          model.push_back({key, r});
        }
        expectBuiltAsModel(cdx, "C" + std::to_string(n++), batch, unique, model);
      }
    }
  }
}

}  // namespace

namespace {

// Keys that all begin alike (third-party codes with leading zeros, then a concept) are dealt by
// the bytes where they differ; in no order at all, and in order, they walk as the model.
TEST(Cdx, KeysBeginningAlikeSortAsTheModel) {
  storetest::TempDir dir;
  Cdx cdx = Cdx::create(dir.file("ceros.cdx"));
  std::mt19937 rng(23);
  int n = 0;
  for (bool ordered : {false, true}) {
    for (bool collated : {true, false}) {
      SCOPED_TRACE(std::string(ordered ? "in order" : "in no order") +
                   (collated ? " collated" : " bytes"));
      KeyBatch batch(9, collated ? KeyKind::Character : KeyKind::MachineCharacter);
      std::vector<Entry> model;
      for (std::uint32_t r = 1; r <= 40000; ++r) {
        char key[16];
        const unsigned party = ordered ? r / 7 : static_cast<unsigned>(rng() % 3000);
        std::snprintf(key, sizeof key, "00%03u%04u", party % 1000, 5000 + party % 3);
        batch.add(key, r);
        model.push_back({key, r});
      }
      expectBuiltAsModel(cdx, "Z" + std::to_string(n++), batch, false, model);
    }
  }
}

}  // namespace
