// Fuzz target: a table (and the memo file after it) opened and read field by field.
// Input: 2 bytes giving the table's length, the table bytes, then the memo file's bytes.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "expr/Failure.h"
#include "store/Dbf.h"
#include "store/MemoFile.h"

using namespace exo::store;

namespace {

void readAll(Dbf& t) {
  std::vector<char> rec(t.recordLength());
  std::string text, told;
  MemoFault fault;
  const std::uint32_t n = std::min<std::uint32_t>(t.recordCount(), 2000);
  for (std::uint32_t r = 1; r <= n; ++r) {
    t.read(r, rec.data());
    for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) {
      const char type = t.fields()[f].type;
      t.text(rec.data(), f);
      try {
        if (type == 'N' || type == 'F' || type == 'I' || type == 'B' || type == 'Y')
          t.number(rec.data(), f);
        if (type == 'D' || type == 'T') t.date(rec.data(), f);
        if (type == 'L') t.logical(rec.data(), f);
        if ((type == 'M' || type == 'G' || type == 'P' || type == 'W') &&
            !t.tryMemo(rec.data(), f, text, fault))
          MemoFile::faultText(fault, told);  // a damaged block of the memo file
      } catch (const exo::FailureError&) {
        // a damaged memo pointer (or number) is reported per field; every field is read
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t tableSize = std::min<std::size_t>(size - 2, data[0] | data[1] << 8);
  const std::string table = fuzzsupport::writeInput("t.dbf", data + 2, tableSize);
  fuzzsupport::writeInput("t.fpt", data + 2 + tableSize, size - 2 - tableSize);
  fuzzsupport::writeInput("t.dbt", data + 2 + tableSize, size - 2 - tableSize);
  try {
    Dbf t = Dbf::open(table, {false, true, 0});
    readAll(t);
  } catch (const exo::FailureError&) {
  }
  return 0;
}
