// Figures of the table engine's file layer on 1,000,000 records: buffered appends, a full
// scan, and building a character tag and a numeric tag from keys in memory.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/FieldCodec.h"

using namespace exo::store;

namespace {

using bench::seconds;

constexpr std::uint32_t kRecords = 1000000;

}  // namespace

int main() {
  const auto dir = std::filesystem::temp_directory_path() / "exo-bench-store";
  std::filesystem::create_directories(dir);
  const std::string table = (dir / "movtos.dbf").string();
  auto t0 = std::chrono::steady_clock::now();
  {
    Dbf t = Dbf::create(table, {{"CTA_DIR", 'C', 5, 0},
                                {"CODIGO", 'C', 20, 0},
                                {"MONTO", 'N', 14, 2},
                                {"FECHA", 'D', 0, 0}});
    std::vector<char> rec = t.blankRecord();
    char code[21], party[8];
    for (std::uint32_t i = 1; i <= kRecords; ++i) {
      std::snprintf(code, sizeof code, "1.%u.%02u.%05u", i % 9, i % 97, i % 99991);
      std::snprintf(party, sizeof party, "T%u", i % 5000);
      t.setText(rec.data(), 0, party);
      t.setText(rec.data(), 1, code);
      t.setNumber(rec.data(), 2, (i % 100000) * 1.25 - 50000);
      t.setDate(rec.data(), 3, julianDay(2011, 1, 1) + static_cast<int>(i % 365));
      t.append(rec.data());
    }
    t.close();
  }
  std::printf("append %u records: %.3f s\n", kRecords, seconds(t0));

  Dbf t = Dbf::open(table, {false, true, 0});
  KeyBatch codes(20, KeyKind::Character), amounts(8, KeyKind::Binary);
  codes.reserve(kRecords);
  amounts.reserve(kRecords);
  std::vector<char> rec(t.recordLength());
  t0 = std::chrono::steady_clock::now();
  double total = 0;
  for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
    t.read(r, rec.data());
    total += t.number(rec.data(), 2).value;
  }
  std::printf("full scan with one number per record: %.3f s (total %.2f)\n", seconds(t0), total);
  for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
    t.read(r, rec.data());
    codes.add(t.text(rec.data(), 1), r);
    char k[8];
    encodeNumberKey(t.number(rec.data(), 2).value, k);
    amounts.add({k, 8}, r);
  }
  Cdx cdx = Cdx::create((dir / "movtosx.cdx").string());
  t0 = std::chrono::steady_clock::now();
  cdx.buildTag({"CODIGO", "CODIGO", "!Deleted()", 20, KeyKind::Character}, codes);
  std::printf("build character tag over %zu keys: %.3f s\n", codes.size(), seconds(t0));
  t0 = std::chrono::steady_clock::now();
  cdx.buildTag({"MONTO", "MONTO", "", 8, KeyKind::Binary}, amounts);
  std::printf("build numeric tag over %zu keys: %.3f s\n", amounts.size(), seconds(t0));
  t0 = std::chrono::steady_clock::now();
  std::size_t n = 0;
  CdxCursor c(cdx, 0);
  for (bool ok = c.first(); ok; ok = c.next()) ++n;
  std::printf("walk character tag (%zu keys): %.3f s\n", n, seconds(t0));
  std::filesystem::remove_all(dir);
  return 0;
}
