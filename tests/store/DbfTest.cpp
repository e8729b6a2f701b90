// Tables and memo files we write: layout of new files, typed fields, round trips, pack and
// zap, memo block reuse, damaged files, and crash safety of appends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Dbf.h"
#include "store/FieldCodec.h"
#include "store/MemoFile.h"

namespace {

using namespace exo::store;

const std::vector<FieldDef> kFields = {
    {"codigo", 'C', 10, 0}, {"MONTO", 'N', 12, 2}, {"FECHA", 'D', 0, 0},
    {"ACTIVO", 'L', 0, 0},  {"NOTA", 'M', 0, 0},
};

TEST(FieldCodec, NumbersAreWrittenAsXbaseDoes) {
  const struct {
    double v;
    int w, d;
    const char* text;
    bool fits;
  } cases[] = {
      {0.5, 6, 2, "  0.50", true},
      {-0.01, 6, 2, " -0.01", true},
      {2.675, 8, 2, "    2.68", true},
      {-2.675, 8, 2, "   -2.68", true},
      {-0.004, 6, 2, "  0.00", true},
      {1.005, 6, 2, "  1.01", true},
      {999999999.99, 12, 2, "999999999.99", true},
      {-99999999.99, 12, 2, "-99999999.99", true},
      {1000000000, 12, 2, "************", false},
      {12.5, 3, 0, " 13", true},
      {-12.5, 3, 0, "-13", true},
      {123, 2, 0, "**", false},
      {99.995, 6, 2, "100.00", true},
      {1e10, 12, 0, " 10000000000", true},
  };
  for (const auto& c : cases) {
    char out[32] = {};
    EXPECT_EQ(formatNumber(c.v, c.w, c.d, out), c.fits) << c.v;
    EXPECT_EQ(std::string(out, c.w), c.text) << c.v;
  }
}

// Numeric text and memo pointers read as words of eight bytes agree with a byte by byte reading
// of the same rules, whatever mix of digits, blanks, signs, points and other bytes a field holds.
namespace {

NumberValue numberByteByByte(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\0')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.remove_suffix(1);
  if (t.empty()) return {};
  if (t.find_first_not_of('*') == std::string_view::npos) return {0, NumberState::Overflow};
  if (t.front() == '+') t.remove_prefix(1);
  bool digit = false;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') digit = true;
    else if (!(t[i] == '.' || (t[i] == '-' && i == 0))) return {0, NumberState::Invalid};
  }
  double v = 0;
  const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  if (!digit || r.ec != std::errc() || r.ptr != t.data() + t.size())
    return {0, NumberState::Invalid};
  return {v, NumberState::Value};
}

bool blockByteByByte(std::string_view t, std::uint32_t& block) {
  std::uint64_t n = 0;
  for (const char c : t) {
    if (c == ' ' || c == '\0') continue;
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > 0xFFFFFFFFull) return false;
  }
  block = static_cast<std::uint32_t>(n);
  return true;
}

}  // namespace

TEST(FieldCodec, WordReadingsAgreeWithByteReadings) {
  EXPECT_EQ(parseNumber("   123.45").value, 123.45);
  EXPECT_EQ(parseNumber("  -0.0050").value, -0.005);
  EXPECT_EQ(parseNumber(" 12345678").value, 12345678);
  EXPECT_EQ(parseNumber("1234567.8").value, 1234567.8);
  EXPECT_EQ(parseNumber("      .5").value, 0.5);
  EXPECT_EQ(parseNumber("      7.").value, 7);
  EXPECT_EQ(parseNumber("     1.2.3").state, NumberState::Invalid);
  EXPECT_EQ(parseNumber("        -.").state, NumberState::Invalid);
  EXPECT_EQ(parseNumber("       12-").state, NumberState::Invalid);
  EXPECT_EQ(parseNumber("    1 2").state, NumberState::Invalid);
  EXPECT_EQ(parseNumber("   -0.00").value, 0.0);
  EXPECT_FALSE(std::signbit(parseNumber("   -0.00").value));
  std::uint32_t block = 1;
  EXPECT_TRUE(parseBlockNumber("          ", block));
  EXPECT_EQ(block, 0u);
  EXPECT_TRUE(parseBlockNumber("  12345678", block));
  EXPECT_EQ(block, 12345678u);
  EXPECT_TRUE(parseBlockNumber("4294967295", block));
  EXPECT_EQ(block, 4294967295u);
  EXPECT_FALSE(parseBlockNumber("4294967296", block));
  EXPECT_FALSE(parseBlockNumber("     12 x ", block));
  EXPECT_TRUE(parseBlockNumber("  1 2  3  ", block));
  EXPECT_EQ(block, 123u);

  const char bytes[] = {' ', ' ', '\0', '-', '+', '.', '*', 'x', '0', '1', '5', '9', '9', '3'};
  std::uint32_t seed = 12345;
  const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 40000; ++round) {
    std::string t(4 + next() % 13, ' ');
    // Mostly blanks then digits, as fields are written; the rest any mix.
    const std::size_t from = next() % t.size();
    for (std::size_t i = from; i < t.size(); ++i)
      t[i] = round % 3 == 0 ? bytes[next() % sizeof bytes] : bytes[8 + next() % 6];
    if (round % 5 == 1 && from < t.size()) t[from] = '-';
    if (round % 7 == 2) t[from + (t.size() - from) / 2] = '.';
    const NumberValue got = parseNumber(t), want = numberByteByByte(t);
    ASSERT_EQ(got.state, want.state) << '"' << t << '"';
    ASSERT_EQ(got.value, want.value) << '"' << t << '"';
    std::uint32_t a = 7, b = 7;
    ASSERT_EQ(parseBlockNumber(t, a), blockByteByByte(t, b)) << '"' << t << '"';
    ASSERT_EQ(a, b) << '"' << t << '"';
  }
}

TEST(FieldCodec, NumberTextDatesAndKeys) {
  EXPECT_EQ(parseNumber("   -5000.00").value, -5000);
  EXPECT_EQ(parseNumber("  +1.5").value, 1.5);
  EXPECT_EQ(parseNumber("      ").state, NumberState::Empty);
  EXPECT_EQ(parseNumber("*****").state, NumberState::Overflow);
  EXPECT_EQ(parseNumber(" 1,50").state, NumberState::Invalid);
  EXPECT_EQ(julianDay(2000, 1, 1), 2451545);
  EXPECT_EQ(parseDate("20110315"), 2455636);
  EXPECT_EQ(parseDate("        "), 0);
  EXPECT_EQ(parseDate("00000000"), 0);
  char d[8];
  formatDate(2436500, d);
  EXPECT_EQ(std::string(d, 8), "19581023");
  const struct {
    double v;
    const char* hex;
  } keys[] = {{0, "8000000000000000"},
              {-0.0, "8000000000000000"},
              {35, "C041800000000000"},
              {-1, "400FFFFFFFFFFFFF"},
              {2436500, "C14296CA00000000"}};
  for (const auto& k : keys) {
    char out[8];
    encodeNumberKey(k.v, out);
    EXPECT_EQ(storetest::hex({out, 8}), k.hex);
    EXPECT_EQ(decodeNumberKey(out), k.v);
  }
}

// Numbers are read by a short path when they have at most 15 digits; it must give the very double
// the general decimal conversion gives, for every width, scale and sign a field can hold, and
// leave the longer and the malformed texts to the general rules.
TEST(FieldCodec, NumbersReadAsTheGeneralConversionReadsThem) {
  std::mt19937_64 rng(20101231);
  const auto general = [](const std::string& t) {
    double v = 0;
    std::string_view s = t;
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v == 0 ? 0.0 : v;
  };
  for (int i = 0; i < 200000; ++i) {
    const int digits = 1 + static_cast<int>(rng() % 18);
    const int decimals = static_cast<int>(rng() % (digits + 1));
    std::string t;
    for (int d = 0; d < digits; ++d) {
      if (d == digits - decimals) t += '.';
      t += static_cast<char>('0' + rng() % 10);
    }
    if (rng() % 2) t.insert(0, "-");
    t.insert(0, std::string(rng() % 4, ' '));
    const NumberValue n = parseNumber(t);
    ASSERT_EQ(n.state, NumberState::Value) << t;
    ASSERT_EQ(n.value, general(t)) << t;
  }
  EXPECT_EQ(parseNumber("0.1").value, 0.1);
  EXPECT_EQ(parseNumber("123456789.123456").value, 123456789.123456);
  EXPECT_EQ(parseNumber(" -0.00").value, 0.0);
  EXPECT_FALSE(std::signbit(parseNumber(" -0.00").value));
  EXPECT_EQ(parseNumber("12.").value, 12);
  EXPECT_EQ(parseNumber(".5").value, 0.5);
  EXPECT_EQ(parseNumber("1.2.3").state, NumberState::Invalid);
  EXPECT_EQ(parseNumber("-").state, NumberState::Invalid);
  EXPECT_EQ(parseNumber(".").state, NumberState::Invalid);
  EXPECT_EQ(parseNumber("1-2").state, NumberState::Invalid);
}

// Blanks (spaces and NULs) around a number are passed over eight bytes at a time, and a date's
// eight digits checked at once: bytes near a blank or a digit must not pass for one, whatever
// their place.
TEST(FieldCodec, BlanksAndDigitsTakenEightAtATime) {
  std::mt19937_64 rng(19581023);
  const char* cores[] = {"12.5",
                         "-7",
                         "1 2",
                         "\x80"
                         "5",
                         "5\xA0",
                         "\x01"
                         "3",
                         "3!",
                         "0",
                         "\xE0\x10",
                         "-0.00"};
  for (int i = 0; i < 20000; ++i) {
    const std::string core = cores[rng() % std::size(cores)];
    std::string t;
    for (std::size_t n = rng() % 20; n > 0; --n) t += rng() % 2 ? ' ' : '\0';
    t += core;
    for (std::size_t n = rng() % 20; n > 0; --n) t += rng() % 2 ? ' ' : '\0';
    const NumberValue got = parseNumber(t), want = parseNumber(core);
    ASSERT_EQ(got.state, want.state) << i;
    ASSERT_EQ(got.value, want.value) << i;
  }
  EXPECT_EQ(parseNumber(std::string(19, '\0')).state, NumberState::Empty);
  EXPECT_EQ(parseNumber(std::string(9, ' ') + "\xA0").state, NumberState::Invalid);
  for (int at = 0; at < 8; ++at) {
    for (const char bad : {'/', ':', ' ', '\0', '\x40', '\xB0', '\xF9', '\x3F', '\x2F'}) {
      std::string date = "20110315";
      date[static_cast<std::size_t>(at)] = bad;
      EXPECT_EQ(parseDate(date), 0) << at << " " << int{bad};
    }
  }
  for (int i = 0; i < 2000; ++i) {
    const int y = 1 + static_cast<int>(rng() % 9999), m = 1 + static_cast<int>(rng() % 12),
              d = 1 + static_cast<int>(rng() % 28);
    char text[9];
    std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, d);
    ASSERT_EQ(parseDate(text), julianDay(y, m, d)) << text;
  }
}

// Whole numbers are written without the general conversion: the text must be the one the
// general conversion gives (digits, the field's decimals as zeros, no sign on zero), right-aligned,
// and asterisks when it does not fit.
TEST(FieldCodec, WholeNumbersAreWrittenAsTheGeneralConversionWritesThem) {
  std::mt19937_64 rng(2011);
  char out[40], expected[80];
  for (int i = 0; i < 20000; ++i) {
    const int width = 1 + static_cast<int>(rng() % 22);
    const int decimals = static_cast<int>(rng() % 4);
    const double magnitude = static_cast<double>(rng() % 1000000000000000ull) /
                             static_cast<double>(std::uint64_t{1} << (rng() % 50));
    const double v = std::floor(rng() % 2 ? -magnitude : magnitude);
    const int n = std::snprintf(expected, sizeof expected, "%.*f", decimals, v == 0 ? 0.0 : v);
    const bool fits = n <= width;
    ASSERT_EQ(formatNumber(v, width, decimals, out), fits) << v;
    const std::string text(out, static_cast<std::size_t>(width));
    if (fits) {
      ASSERT_EQ(text, std::string(static_cast<std::size_t>(width - n), ' ') + expected) << v;
    } else {
      ASSERT_EQ(text, std::string(static_cast<std::size_t>(width), '*')) << v;
    }
  }
  ASSERT_TRUE(formatNumber(-0.0, 5, 2, out));
  EXPECT_EQ(std::string(out, 5), " 0.00");
  ASSERT_TRUE(formatNumber(999999999999999.0, 15, 0, out));
  EXPECT_EQ(std::string(out, 15), "999999999999999");
  ASSERT_TRUE(formatNumber(1e15, 16, 0, out));  // beyond the short way
  EXPECT_EQ(std::string(out, 16), "1000000000000000");
  EXPECT_EQ(parseNumber(std::string_view("  12.5\0\0", 8)).value, 12.5);
  EXPECT_EQ(parseNumber("+-5").value, -5);
  EXPECT_EQ(parseNumber("1 2").state, NumberState::Invalid);
}

TEST(Dbf, NewTableLayoutIsFoxPro2WithMemo) {
  storetest::TempDir dir;
  { Dbf t = Dbf::create(dir.file("t.dbf"), kFields); }
  const std::string bytes = storetest::readFile(dir.file("t.dbf"));
  ASSERT_EQ(bytes.size(), 32u + 5 * 32 + 1 + 1);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xF5);
  EXPECT_EQ(bytes[28], 0);
  EXPECT_EQ(bytes[29], 3);
  EXPECT_EQ(std::string(bytes.data() + 32, 7), std::string("CODIGO\0", 7));
  EXPECT_EQ(bytes[32 + 12], 1);  // field offset inside the record
  EXPECT_EQ(bytes[64 + 12], 11);
  EXPECT_EQ(bytes[64 + 17], 2);  // decimals
  EXPECT_EQ(bytes[32 + 5 * 32], 0x0D);
  EXPECT_EQ(bytes.back(), 0x1A);
  const std::string memo = storetest::readFile(dir.file("t.fpt"));
  ASSERT_EQ(memo.size(), 512u);
  EXPECT_EQ(storetest::hex(memo.substr(0, 8)), "0000000800000040");
  { Dbf t = Dbf::create(dir.file("plain.dbf"), {{"A", 'C', 3, 0}}); }
  EXPECT_EQ(storetest::readFile(dir.file("plain.dbf"))[0], 0x03);
}

TEST(Dbf, RoundTripOfEveryFieldKind) {
  storetest::TempDir dir;
  const std::string path = dir.file("t.dbf");
  {
    Dbf t = Dbf::create(path, kFields);
    for (int i = 1; i <= 300; ++i) {
      std::vector<char> rec = t.blankRecord();
      t.setText(rec.data(), 0, "K" + std::to_string(i));
      EXPECT_TRUE(t.setNumber(rec.data(), 1, i * 1.25 - 100));
      t.setDate(rec.data(), 2, i % 7 == 0 ? 0 : julianDay(2011, 1, 1) + i);
      t.setLogical(rec.data(), 3, i % 2 == 0);
      t.setMemo(rec.data(), 4, i % 3 == 0 ? std::string() : std::string(i, 'a' + i % 26));
      Dbf::setDeleted(rec.data(), i % 10 == 0);
      EXPECT_EQ(t.append(rec.data()), static_cast<std::uint32_t>(i));
    }
    std::vector<char> rec = t.blankRecord();
    EXPECT_FALSE(t.setNumber(rec.data(), 1, 1e12));  // does not fit N(12,2)
    EXPECT_EQ(t.text(rec.data(), 1), "************");
  }
  Dbf t = Dbf::open(path, {true, true, 0});
  ASSERT_EQ(t.recordCount(), 300u);
  std::vector<char> rec(t.recordLength());
  for (std::uint32_t i = 1; i <= 300; ++i) {
    t.read(i, rec.data());
    EXPECT_EQ(t.text(rec.data(), 0),
              ("K" + std::to_string(i)).append(10 - 1 - std::to_string(i).size(), ' '));
    EXPECT_DOUBLE_EQ(t.number(rec.data(), 1).value, i * 1.25 - 100);
    EXPECT_EQ(t.date(rec.data(), 2), i % 7 == 0 ? 0 : julianDay(2011, 1, 1) + static_cast<int>(i));
    EXPECT_EQ(t.logical(rec.data(), 3), i % 2 == 0);
    EXPECT_EQ(t.memo(rec.data(), 4), i % 3 == 0 ? std::string() : std::string(i, 'a' + i % 26));
    EXPECT_EQ(Dbf::isDeleted(rec.data()), i % 10 == 0);
  }
  EXPECT_EQ(storetest::readFile(path).size(), t.headerLength() + 300u * t.recordLength() + 1);
}

TEST(Dbf, MemoBlocksAreReusedWhenTheTextFitsAndAppendedOtherwise) {
  storetest::TempDir dir;
  Dbf t = Dbf::create(dir.file("t.dbf"), kFields);
  std::vector<char> rec = t.blankRecord();
  t.setMemo(rec.data(), 4, std::string(100, 'x'));  // 2 blocks of 64
  const std::uint32_t first = t.memoBlock(rec.data(), 4);
  EXPECT_EQ(first, 8u);
  t.setMemo(rec.data(), 4, std::string(50, 'y'));  // shrinks: same blocks
  EXPECT_EQ(t.memoBlock(rec.data(), 4), first);
  t.setMemo(rec.data(), 4, std::string(56, 'z'));  // fills the one block it now owns
  EXPECT_EQ(t.memoBlock(rec.data(), 4), first);
  t.setMemo(rec.data(), 4, std::string(57, 'w'));  // needs 2: appended after the first memo
  EXPECT_EQ(t.memoBlock(rec.data(), 4), first + 2);
  EXPECT_EQ(t.memo(rec.data(), 4), std::string(57, 'w'));
  std::vector<char> other = t.blankRecord();  // a new record never reuses blocks
  t.setMemo(other.data(), 4, "v");
  EXPECT_EQ(t.memoBlock(other.data(), 4), first + 4);
  t.setMemo(rec.data(), 4, "");
  EXPECT_EQ(t.text(rec.data(), 4), "          ");
}

TEST(Dbf, PackZapAndBufferedAppendsInterleaveWithReadsAndWrites) {
  storetest::TempDir dir;
  const std::string path = dir.file("t.dbf");
  Dbf t = Dbf::create(path, {{"N", 'N', 6, 0}});
  std::vector<char> rec = t.blankRecord();
  for (int i = 1; i <= 50; ++i) {
    t.setNumber(rec.data(), 0, i);
    t.append(rec.data());
  }
  t.read(40, rec.data());  // pending append read back
  Dbf::setDeleted(rec.data(), true);
  t.write(40, rec.data());
  for (std::uint32_t r = 1; r <= 50; r += 2) {
    t.read(r, rec.data());
    Dbf::setDeleted(rec.data(), true);
    t.write(r, rec.data());
  }
  t.pack();
  ASSERT_EQ(t.recordCount(), 24u);
  t.read(24, rec.data());
  EXPECT_EQ(t.number(rec.data(), 0).value, 50);
  t.read(19, rec.data());
  EXPECT_EQ(t.number(rec.data(), 0).value, 38);
  t.close();
  Dbf again = Dbf::open(path, {false, false, 0});
  EXPECT_EQ(again.recordCount(), 24u);
  again.zap();
  EXPECT_EQ(again.recordCount(), 0u);
  again.close();
  EXPECT_EQ(storetest::readFile(path).size(), 32u + 32 + 1 + 1);
  Dbf shared = Dbf::open(path);
  EXPECT_THROW(shared.pack(), exo::FailureError);
}

// A run of records rewritten in one piece: what the file, a read of the same open (its cache or
// its view) and a later open see is the run, and nothing beyond it moves; records still
// buffered as appends change in the buffer; a run past the end is refused.
TEST(Dbf, RunsOfRecordsAreWrittenInOnePiece) {
  storetest::TempDir dir;
  const std::string path = dir.file("run.dbf");
  {
    Dbf t = Dbf::create(path, {{"N", 'N', 6, 0}});
    std::vector<char> rec = t.blankRecord();
    for (int i = 1; i <= 30; ++i) {
      t.setNumber(rec.data(), 0, i);
      t.append(rec.data());
    }
    t.close();
  }
  const auto numbers = [](Dbf& t) {
    std::vector<int> out;
    std::vector<char> rec(t.recordLength());
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      out.push_back(static_cast<int>(t.number(rec.data(), 0).value));
    }
    return out;
  };
  const auto runOf = [](Dbf& t, std::initializer_list<int> values) {
    std::vector<char> bytes;
    std::vector<char> rec = t.blankRecord();
    for (int v : values) {
      t.setNumber(rec.data(), 0, v);
      bytes.insert(bytes.end(), rec.begin(), rec.end());
    }
    return bytes;
  };
  std::vector<int> expected(30);
  for (int i = 0; i < 30; ++i) expected[static_cast<std::size_t>(i)] = i + 1;
  {
    Dbf t = Dbf::open(path, {false, false, 0});
    ASSERT_EQ(numbers(t), expected);  // every record read once, so the reads are cached
    const auto run = runOf(t, {-5, -6, -7});
    t.writeRun(5, 3, run.data());
    expected[4] = -5;
    expected[5] = -6;
    expected[6] = -7;
    EXPECT_EQ(numbers(t), expected);
    // Appended records still in the buffer change there with the run.
    std::vector<char> rec = t.blankRecord();
    t.setNumber(rec.data(), 0, 31);
    t.append(rec.data());
    const auto tail = runOf(t, {-30, -31});
    t.writeRun(30, 2, tail.data());
    expected[29] = -30;
    expected.push_back(-31);
    EXPECT_EQ(numbers(t), expected);
    EXPECT_THROW(t.writeRun(31, 2, tail.data()), exo::FailureError);
    EXPECT_THROW(t.writeRun(0, 1, tail.data()), exo::FailureError);
    t.close();
  }
  Dbf again = Dbf::open(path, {true, true, 0});
  EXPECT_EQ(numbers(again), expected);
  EXPECT_EQ(storetest::readFile(path).size(), 32u + 32 + 1 + 31 * 7 + 1);
}

exo::Failure failureOf(const std::string& path) {
  try {
    Dbf::open(path, {true, true, 0});
  } catch (const exo::FailureError& e) {
    return e.failure();
  }
  return {};
}

TEST(Dbf, DamagedTablesAreReportedNotCrashed) {
  storetest::TempDir dir;
  const std::string good = dir.file("good.dbf");
  {
    Dbf t = Dbf::create(good, {{"A", 'C', 5, 0}, {"M", 'M', 0, 0}});
    std::vector<char> rec = t.blankRecord();
    for (int i = 0; i < 3; ++i) t.append(rec.data());
  }
  const std::string bytes = storetest::readFile(good);
  const auto damaged = [&](std::size_t at, std::string patch, std::size_t cut = std::string::npos) {
    std::string b = bytes.substr(0, cut);
    b.replace(at, patch.size(), patch);
    storetest::writeFile(dir.file("bad.dbf"), b);
    std::filesystem::copy_file(dir.file("good.fpt"), dir.file("bad.fpt"),
                               std::filesystem::copy_options::overwrite_existing);
    return failureOf(dir.file("bad.dbf"));
  };
  const struct {
    std::size_t at;
    std::string patch;
    std::size_t cut;
    const char* what;
  } cases[] = {
      {0, "", 20, "header shorter than 32 bytes"},
      {0, "", bytes.size() - 10, "fewer records than the header count"},
      {8, std::string("\x05\x00", 2), std::string::npos, "header length below minimum"},
      {8, std::string("\xFF\x7F", 2), std::string::npos, "header longer than the file"},
      {10, std::string("\x01\x00", 2), std::string::npos, "record length 1"},
      {10, std::string("\x04\x00", 2), std::string::npos, "fields longer than the record"},
      {32 + 16, std::string("\x00", 1), std::string::npos, "zero-length field"},
      {32 + 64, std::string("Z", 1), std::string::npos, "descriptor runs past the header"},
  };
  for (const auto& c : cases) {
    const exo::Failure f = damaged(c.at, c.patch, c.cut);
    EXPECT_EQ(f.genCode, exo::GenCode::Corruption) << c.what;
    EXPECT_EQ(f.fileName, dir.file("bad.dbf")) << c.what;
    EXPECT_FALSE(f.description.empty()) << c.what;
  }
  // A memo pointer beyond the memo file.
  std::string b = bytes;
  b.replace(97 + 6, 10, "     99999");  // record 1, field M
  storetest::writeFile(dir.file("bad.dbf"), b);
  Dbf t = Dbf::open(dir.file("bad.dbf"), {true, true, 0});
  std::vector<char> rec(t.recordLength());
  t.read(1, rec.data());
  try {
    t.memo(rec.data(), 1);
    ADD_FAILURE() << "memo beyond the file was read";
  } catch (const exo::FailureError& e) {
    EXPECT_EQ(e.failure().genCode, exo::GenCode::Corruption);
    EXPECT_NE(e.failure().fileName.find("bad.fpt"), std::string::npos);
  }
  EXPECT_EQ(storetest::readFile(dir.file("bad.dbf")), b);  // never written
}

// A child appends in a loop and is killed at a random moment: the table it leaves opens, its
// count never exceeds the records on disk, and every counted record is whole.
TEST(Dbf, AppendsKilledMidwayLeaveAReadableTable) {
  storetest::TempDir dir;
  const std::string path = dir.file("crash.dbf");
  { Dbf::create(dir.file("crash.dbf"), {{"N", 'N', 10, 0}, {"T", 'C', 50, 0}}); }
  for (int round = 0; round < 2; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Dbf t = Dbf::open(path, {round == 1, false, 0});
      std::vector<char> rec = t.blankRecord();
      for (std::uint32_t i = t.recordCount() + 1;; ++i) {
        t.setNumber(rec.data(), 0, i);
        t.setText(rec.data(), 1, std::string(50, static_cast<char>('A' + i % 26)));
        t.append(rec.data());
        if (i % 5000 == 0) t.commit();
      }
    }
    ::usleep(150 * 1000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    Dbf t = Dbf::open(path, {false, true, 0});
    EXPECT_GT(t.recordCount(), 0u);
    std::vector<char> rec(t.recordLength());
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      ASSERT_EQ(t.number(rec.data(), 0).value, r);
      ASSERT_EQ(t.text(rec.data(), 1), std::string(50, static_cast<char>('A' + r % 26)));
    }
  }
}

}  // namespace

namespace {

// Field names compare with ASCII letters upper-cased only: a name with an accented letter written
// by another program is found as it is spelt, and its lower-case spelling is another name.
TEST(Dbf, FieldNamesIgnoreTheCaseOfAsciiLettersOnly) {
  storetest::TempDir dir;
  const std::string path = dir.file("nombres.dbf");
  { Dbf t = Dbf::create(path, {{"anio", 'N', 4, 0}, {"AXO", 'N', 4, 0}}); }
  std::string bytes = storetest::readFile(path);
  ASSERT_EQ(bytes.substr(64, 3), "AXO");
  bytes[65] = '\xD1';  // the second field becomes "AÑO", as another program may write it
  storetest::writeFile(path, bytes);
  Dbf t = Dbf::open(path, {true, true, 0});
  EXPECT_EQ(t.fieldIndex("ANIO"), 0);
  EXPECT_EQ(t.fieldIndex("Anio"), 0);
  EXPECT_EQ(t.fieldIndex("A\xD1O"), 1);
  EXPECT_EQ(t.fieldIndex("a\xD1o"), 1);
  EXPECT_EQ(t.fieldIndex("a\xF1o"), std::nullopt);  // ñ is not Ñ in a name
  EXPECT_THROW(Dbf::create(dir.file("otra.dbf"), {{"A\xD1O", 'N', 4, 0}}), exo::FailureError);
}

}  // namespace
