// Files written by other programs are read exactly: the peer vectors (table, memo and every
// tag in both collations) and the python3-dbf / Visual FoxPro vectors against the output of
// independent readers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/FieldCodec.h"

namespace {

using namespace exo::store;
using storetest::hex;

struct PeerTag {
  const char* name;
  const char* key;
  const char* cond;
  bool descending;
  std::size_t count;
};

const PeerTag kPeerTags[] = {
    {"CODIGO", "CODIGO", "!Deleted()", false, 25}, {"NOMDESC", "NOMBRE", "", true, 30},
    {"MONTO", "Str(MONTO,17,2)", "", false, 30},   {"FECHA", "DtoS(FECHA)+CODIGO", "", false, 30},
    {"MARCA", "CODIGO", "MARCA", false, 15},
};

// Walks a tag in its logical order (reversed for descending tags).
std::vector<storetest::ListedKey> walk(Cdx& cdx, std::size_t tag) {
  std::vector<storetest::ListedKey> out;
  CdxCursor c(cdx, tag);
  const bool desc = cdx.tags()[tag].descending;
  for (bool ok = desc ? c.last() : c.first(); ok; ok = desc ? c.prev() : c.next())
    out.push_back({c.recno(), false, hex(c.key())});
  return out;
}

class PeerSet : public ::testing::TestWithParam<std::string> {};

TEST_P(PeerSet, EveryTagWalksAsItsListing) {
  const std::string dir = storetest::kPeerDir + "/" + GetParam();
  Cdx cdx = Cdx::open(dir + "/vectab.cdx", {true, true, 0});
  Dbf dbf = Dbf::open(dir + "/vectab.dbf", {true, true, 0});
  std::vector<char> rec(dbf.recordLength());
  ASSERT_EQ(cdx.tags().size(), 5u);
  const KeyKind kind = GetParam() == "spanish" ? KeyKind::Character : KeyKind::MachineCharacter;
  for (const PeerTag& want : kPeerTags) {
    SCOPED_TRACE(want.name);
    const auto tag = cdx.findTag(want.name);
    ASSERT_TRUE(tag);
    const TagInfo& info = cdx.tags()[*tag];
    EXPECT_EQ(info.keyExpression, want.key);
    EXPECT_EQ(info.forExpression, want.cond);
    EXPECT_EQ(info.descending, want.descending);
    cdx.setKeyKind(*tag, kind);
    EXPECT_TRUE(cdx.isOrdered(*tag));
    EXPECT_EQ(cdx.check(*tag), "");
    const auto listed = storetest::readListing(dir + "/listing_" + want.name + ".txt");
    const auto walked = walk(cdx, *tag);
    ASSERT_EQ(walked.size(), want.count);
    ASSERT_EQ(listed.size(), want.count);
    for (std::size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(walked[i].recno, listed[i].recno) << i;
      EXPECT_EQ(walked[i].hex, listed[i].hex) << i;
      dbf.read(listed[i].recno, rec.data());
      EXPECT_EQ(Dbf::isDeleted(rec.data()), listed[i].deleted) << listed[i].recno;
    }
  }
}

// The table's fields rebuild exactly the keys the writing program stored.
TEST_P(PeerSet, TableFieldsRebuildTheStoredKeys) {
  const std::string dir = storetest::kPeerDir + "/" + GetParam();
  Dbf dbf = Dbf::open(dir + "/vectab.dbf", {true, true, 0});
  ASSERT_EQ(dbf.recordCount(), 30u);
  ASSERT_EQ(dbf.headerLength(), 226);
  ASSERT_EQ(dbf.recordLength(), 97);
  const int codigo = *dbf.fieldIndex("codigo"), monto = *dbf.fieldIndex("Monto");
  const int fecha = *dbf.fieldIndex("FECHA");
  std::map<std::uint32_t, std::string> montoKeys, fechaKeys;
  for (const auto& k : storetest::readListing(dir + "/listing_MONTO.txt"))
    montoKeys[k.recno] = k.hex;
  for (const auto& k : storetest::readListing(dir + "/listing_FECHA.txt"))
    fechaKeys[k.recno] = k.hex;
  std::vector<char> rec(dbf.recordLength());
  for (std::uint32_t r = 1; r <= 30; ++r) {
    dbf.read(r, rec.data());
    char str[17], dtos[8];
    ASSERT_TRUE(formatNumber(dbf.number(rec.data(), monto).value, 17, 2, str));
    EXPECT_EQ(hex({str, 17}), montoKeys[r]) << r;
    formatDate(dbf.date(rec.data(), fecha), dtos);
    EXPECT_EQ(hex(std::string(dtos, 8) + std::string(dbf.text(rec.data(), codigo))), fechaKeys[r])
        << r;
  }
}

TEST_P(PeerSet, MemosOfEveryShape) {
  const std::string dir = storetest::kPeerDir + "/" + GetParam();
  Dbf dbf = Dbf::open(dir + "/vectab.dbf", {true, true, 0});
  const int nota = *dbf.fieldIndex("NOTA");
  std::vector<char> rec(dbf.recordLength());
  dbf.read(3, rec.data());
  const std::string long3 = dbf.memo(rec.data(), nota);
  EXPECT_EQ(long3.size(), 411u);
  EXPECT_NE(long3.find("\r\n"), std::string::npos);
  dbf.read(20, rec.data());
  EXPECT_EQ(dbf.memo(rec.data(), nota).size(), 56u);  // fills one 64-byte block exactly
  dbf.read(21, rec.data());
  EXPECT_EQ(dbf.memo(rec.data(), nota).size(), 57u);  // one byte into a second block
  std::size_t empty = 0;
  for (std::uint32_t r = 1; r <= 30; ++r) {
    dbf.read(r, rec.data());
    if (dbf.memoBlock(rec.data(), nota) == 0) ++empty;
    EXPECT_EQ(dbf.memo(rec.data(), nota).find('\xAF'), std::string::npos);
  }
  EXPECT_GT(empty, 0u);
}

TEST(PeerSet, ByteOrderedTagsAreDetectedUnderTheCollation) {
  Cdx cdx = Cdx::open(storetest::kPeerDir + "/plain/vectab.cdx", {true, true, 0});
  const std::size_t nombre = *cdx.findTag("nomdesc");
  EXPECT_FALSE(cdx.isOrdered(nombre));                // accented names in byte order
  EXPECT_TRUE(cdx.isOrdered(*cdx.findTag("MONTO")));  // digits and blanks agree in both orders
  // Seeks in such a tag still find equal keys (by a scan) and never write.
  CdxCursor c(cdx, nombre);
  ASSERT_TRUE(c.first());
  const std::string key(c.key());
  const std::uint32_t recno = c.recno();
  CdxCursor s(cdx, nombre);
  EXPECT_TRUE(s.seek(key));
  EXPECT_EQ(s.recno(), recno);
  EXPECT_THROW(cdx.insertKey(nombre, "X", 1), exo::FailureError);
}

TEST(PeerSet, SeeksLandOnEveryListedKey) {
  const std::string dir = storetest::kPeerDir + "/spanish";
  Cdx cdx = Cdx::open(dir + "/vectab.cdx", {true, true, 0});
  for (const char* name : {"CODIGO", "FECHA", "NOMDESC"}) {
    const std::size_t tag = *cdx.findTag(name);
    for (const auto& k : storetest::readListing(dir + "/listing_" + std::string(name) + ".txt")) {
      std::string key;
      for (std::size_t i = 0; i < k.hex.size(); i += 2)
        key += static_cast<char>(std::stoi(k.hex.substr(i, 2), nullptr, 16));
      CdxCursor c(cdx, tag);
      ASSERT_TRUE(c.seek(key, k.recno)) << name << " " << k.recno;
      EXPECT_EQ(c.recno(), k.recno);
      EXPECT_TRUE(c.seek(key.substr(0, 3)));  // a prefix finds the first key starting with it
      EXPECT_EQ(std::string(c.key()).substr(0, 3), key.substr(0, 3));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Collations, PeerSet, ::testing::Values("plain", "spanish"));

// --- python3-dbf and Visual FoxPro vectors ------------------------------------------------

std::string perlNumber(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

// A record as `dbf_dump --fs '|'` prints it.
std::string dumpLine(Dbf& dbf, const char* rec) {
  std::string line;
  for (int f = 0; f < static_cast<int>(dbf.fields().size()); ++f) {
    const Field& fd = dbf.fields()[f];
    if (f > 0) line += '|';
    std::string v;
    if (fd.type == 'C') {
      v = dbf.text(rec, f);
      v.erase(v.find_last_not_of(' ') + 1);
    } else if (fd.type == 'N' || fd.type == 'I' || fd.type == 'B') {
      const NumberValue n = dbf.number(rec, f);
      if (n.state == NumberState::Value) v = perlNumber(n.value);
    } else if (fd.type == 'Y') {
      v = perlNumber(std::round(dbf.number(rec, f).value * 10000));
    } else if (fd.type == 'D') {
      char d[8];
      formatDate(dbf.date(rec, f), d);
      v.assign(d, 8);
      v.erase(v.find_last_not_of(' ') + 1);
    } else if (fd.type == 'L') {
      v = dbf.logical(rec, f) ? "1" : "0";
    } else if (fd.type == 'M') {
      v = dbf.memo(rec, f);
    } else if (fd.type == 'T') {
      std::int32_t ms = 0;
      std::memcpy(&ms, rec + fd.offset + 4, 4);
      v = std::to_string((std::int64_t{dbf.date(rec, f)} - 2440588) * 86400 + ms / 1000);
    }
    line += v;
  }
  return line;
}

TEST(GeneratedVectors, TablesReadAsDbfDumpPrintsThem) {
  for (const char* name : {"vfp_terceros", "fox26_cuentas", "db3_movtos"}) {
    SCOPED_TRACE(name);
    Dbf dbf = Dbf::open(storetest::kVectorDir + "/generated/" + name + ".dbf", {true, true, 0});
    EXPECT_EQ(dbf.lastUpdate(), julianDay(2011, 12, 31));  // both year-byte conventions
    std::ifstream expected(storetest::kVectorDir + "/expected/" + name + ".dbf_dump.txt",
                           std::ios::binary);
    std::vector<char> rec(dbf.recordLength());
    std::string line;
    std::size_t active = 0;
    for (std::uint32_t r = 1; r <= dbf.recordCount(); ++r) {
      dbf.read(r, rec.data());
      if (Dbf::isDeleted(rec.data())) continue;
      ++active;
      ASSERT_TRUE(std::getline(expected, line));
      EXPECT_EQ(dumpLine(dbf, rec.data()), line) << "record " << r;
    }
    EXPECT_FALSE(std::getline(expected, line));
    EXPECT_GT(active, 5u);
  }
}

// Walks every tag of the Visual FoxPro files as index_dump prints it ("key record").
TEST(ExternalVectors, FoxProTagsWalkAsIndexDumpPrintsThem) {
  const std::string dir = storetest::kVectorDir + "/external/vfp-foxprodb/";
  const std::string exp = storetest::kVectorDir + "/expected/vfp-foxprodb/";
  const struct {
    const char* file;
    const char* tag;
    const char* expected;
    bool integer;
  } cases[] = {
      {"calls.CDX", "CALL_ID", "calls.CALL_ID.txt", true},
      {"calls.CDX", "CONTACT_ID", "calls.CONTACT_ID.txt", true},
      {"contacts.CDX", "TYPE_ID", "contacts.TYPE_ID.txt", true},
      {"types.CDX", "TYPE_ID", "types.TYPE_ID.txt", true},
      {"setup.CDX", "KEY_NAME", "setup.KEY_NAME.txt", false},
      {"FOXPRO-DB-TEST.DCX", "OBJECTNAME", "dcx.OBJECTNAME.txt", false},
      {"FOXPRO-DB-TEST.DCX", "OBJECTTYPE", "dcx.OBJECTTYPE.txt", false},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(std::string(tc.file) + " " + tc.tag);
    Cdx cdx = Cdx::open(dir + tc.file, {true, true, 0});
    const std::size_t tag = *cdx.findTag(tc.tag);
    cdx.setKeyKind(tag, tc.integer ? KeyKind::Binary : KeyKind::MachineCharacter);
    EXPECT_EQ(cdx.check(tag), "");
    std::ifstream expected(exp + tc.expected);
    std::string line;
    CdxCursor c(cdx, tag);
    for (bool ok = c.first(); ok; ok = c.next()) {
      std::string key(c.key());
      if (tc.integer) {
        const auto u = static_cast<std::uint32_t>(
            static_cast<unsigned char>(key[0]) << 24 | static_cast<unsigned char>(key[1]) << 16 |
            static_cast<unsigned char>(key[2]) << 8 | static_cast<unsigned char>(key[3]));
        key = std::to_string(static_cast<std::int64_t>(u) - 0x80000000LL);
      } else {
        key.erase(key.find_last_not_of(' ') + 1);
      }
      ASSERT_TRUE(std::getline(expected, line));
      EXPECT_EQ(key + " " + std::to_string(c.recno()), line);
    }
    EXPECT_FALSE(std::getline(expected, line));
  }
}

TEST(ExternalVectors, FoxProTablesWithBacklinkAndMixedCaseMemo) {
  Dbf calls =
      Dbf::open(storetest::kVectorDir + "/external/vfp-foxprodb/calls.dbf", {true, true, 0});
  EXPECT_EQ(calls.version(), 0x30);
  EXPECT_EQ(calls.headerLength(), 32 + 32 * calls.fields().size() + 1 + 263);
  ASSERT_NE(calls.memoFile(), nullptr);  // calls.FPT beside calls.dbf
  std::vector<char> rec(calls.recordLength());
  calls.read(1, rec.data());
  EXPECT_EQ(calls.number(rec.data(), *calls.fieldIndex("call_id")).value, 1);
  EXPECT_EQ(calls.memo(rec.data(), *calls.fieldIndex("NOTES")),
            "Nancy told me about their blends. Thinking about it. Should call back later.");
  int y = 0, m = 0, d = 0;
  civilDate(calls.date(rec.data(), *calls.fieldIndex("CALL_DATE")), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 19941121);
}

}  // namespace
