// The check the failure and batch tests make after every change: the index file's tags describe
// the table exactly.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "store/Cdx.h"
#include "store/Dbf.h"

namespace storetest {

// Each tag of `index` (keys of one character field, condition "!Deleted()") holds exactly one
// key per active record of `table`, with the record's bytes, and is structurally sound.
inline void expectTagsDescribeTable(const std::string& table, const std::string& index) {
  using exo::store::Cdx;
  using exo::store::CdxCursor;
  using exo::store::Dbf;
  Dbf t = Dbf::open(table, {true, true, 0});
  Cdx c = Cdx::open(index, {true, true, 0});
  std::vector<char> rec(t.recordLength());
  for (std::size_t tag = 0; tag < c.tags().size(); ++tag) {
    SCOPED_TRACE(index + " " + c.tags()[tag].name);
    EXPECT_EQ(c.check(tag), "");
    const auto field = t.fieldIndex(c.tags()[tag].keyExpression);
    ASSERT_TRUE(field.has_value());
    std::multiset<std::pair<std::string, std::uint32_t>> wanted, held;
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      if (!Dbf::isDeleted(rec.data())) wanted.emplace(t.text(rec.data(), *field), r);
    }
    CdxCursor cursor(c, tag);
    for (bool ok = cursor.first(); ok; ok = cursor.next())
      held.emplace(cursor.key(), cursor.recno());
    EXPECT_EQ(held, wanted);
  }
}

}  // namespace storetest
