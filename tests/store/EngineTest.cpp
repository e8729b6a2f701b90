// Work areas over real files: tables created and filled from the language, orders kept current
// through changes, scopes, filters, key counts and positions, relations, deleted records
// hidden, sharing conflicts, and the bulk operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "StoreTestSupport.h"
#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Engine.h"

namespace {

using exo::Failure;
using exo::FailureError;
using exo::GenCode;
using exo::Interp;
using exo::Value;
using exo::store::Engine;

class EngineTest : public ::testing::Test {
 protected:
  Interp ip;
  Engine engine{ip};
  storetest::TempDir dir;

  Value eval(const std::string& text) { return ip.evalText(text); }
  std::string str(const std::string& text) {
    const Value v = eval(text);
    return v.isText() ? std::string(v.textView()) : "<no text>";
  }
  double num(const std::string& text) { return eval(text).num(); }
  bool yes(const std::string& text) { return eval(text).logical(); }
  std::string q(const std::string& name) { return "'" + dir.file(name) + "'"; }

  // A table of accounts (CODIGO C10, NOMBRE C20, SALDO N12.2, FECHA D) filled with `rows`.
  void makeAccounts(const std::vector<std::pair<std::string, double>>& rows) {
    eval("dbCreate(" + q("cuentas.dbf") +
         ", {{'CODIGO','C',10,0},{'NOMBRE','C',20,0},{'SALDO','N',12,2},{'FECHA','D',8,0},"
         "{'NOTA','M',10,0}})");
    eval("dbUseArea(.T., 'DBFCDX', " + q("cuentas.dbf") + ", 'CTA', .T., .F.)");
    for (const auto& [code, amount] : rows) {
      eval("dbAppend()");
      eval("FieldPut(1, '" + code + "')");
      eval("FieldPut(2, 'Cuenta ' + '" + code + "')");
      eval("FieldPut(3, " + std::to_string(amount) + ")");
    }
    eval("dbCommit()");
  }

  // Codes in the order walked from the top of the selected area.
  std::string walk() {
    std::string out;
    eval("dbGoTop()");
    while (!yes("Eof()")) {
      std::string code = str("Trim(CODIGO)");
      out += (out.empty() ? "" : ",") + code;
      eval("dbSkip()");
    }
    return out;
  }
  std::string walkBack() {
    std::string out;
    eval("dbGoBottom()");
    while (!yes("Bof()")) {
      out += (out.empty() ? "" : ",") + str("Trim(CODIGO)");
      eval("dbSkip(-1)");
    }
    return out;
  }
};

TEST_F(EngineTest, OrdersFollowAppendsChangesAndDeletions) {
  makeAccounts({{"5105", 10}, {"1105", 20}, {"2365", 30}, {"1110", 40}});
  eval("OrdCreate(" + q("cuentas.cdx") + ", 'CODIGO', 'CODIGO', '!Deleted()')");
  EXPECT_EQ(walk(), "1105,1110,2365,5105");
  EXPECT_EQ(walkBack(), "5105,2365,1110,1105");

  // A changed key moves the record; an appended one takes its place.
  EXPECT_TRUE(yes("dbSeek('2365')"));
  eval("FieldPut(1, '0999')");
  eval("dbAppend()");
  eval("FieldPut(1, '1107')");
  eval("dbCommit()");
  EXPECT_EQ(walk(), "0999,1105,1107,1110,5105");

  // Deleted records leave the tag (its condition) and every walk, seek and count.
  EXPECT_TRUE(yes("dbSeek('1105')"));
  eval("dbDelete()");
  EXPECT_EQ(walk(), "0999,1107,1110,5105");
  EXPECT_FALSE(yes("dbSeek('1105')"));
  EXPECT_TRUE(yes("Eof()"));
  EXPECT_EQ(num("OrdKeyCount()"), 4);
  EXPECT_EQ(num("RecCount()"), 5);
  eval("dbGoTo(2)");
  eval("dbRecall()");
  EXPECT_EQ(walk(), "0999,1105,1107,1110,5105");

  // The file on disk is a sound index in the same order.
  eval("dbCloseArea()");
  exo::store::Cdx cdx = exo::store::Cdx::open(dir.file("cuentas.cdx"));
  ASSERT_EQ(cdx.tags().size(), 1u);
  EXPECT_EQ(cdx.tags()[0].forExpression, "!Deleted()");
  EXPECT_EQ(cdx.check(0), "");
  cdx.close();
  // Reopened, the index file of the table's name opens with it.
  eval("dbUseArea(.T., 'DBFCDX', " + q("CUENTAS") + ", 'CTA', .T., .F.)");
  EXPECT_EQ(str("OrdSetFocus('codigo')"), "");
  EXPECT_EQ(walk(), "0999,1105,1107,1110,5105");
}

TEST_F(EngineTest, SeeksAreExactOrSoftAndHonourTheSpanishOrder) {
  makeAccounts({{"NUNEZ", 1},
                {"\321ANDU", 2},
                {"NAVARRO", 3},
                {"OCHOA", 4},
                {"\301LVAREZ", 5},
                {"ZULUAGA", 6}});
  eval("OrdCreate(, 'NOM', 'CODIGO', '!Deleted()')");
  // Accented letters sit beside their base letter, Ñ after N.
  EXPECT_EQ(walk(), "\301LVAREZ,NAVARRO,NUNEZ,\321ANDU,OCHOA,ZULUAGA");
  EXPECT_TRUE(yes("dbSeek('NU')"));  // a shorter key finds the first that begins with it
  EXPECT_EQ(str("Trim(CODIGO)"), "NUNEZ");
  EXPECT_TRUE(yes("Found()"));
  EXPECT_FALSE(yes("dbSeek('NZ')"));
  EXPECT_TRUE(yes("Eof()"));
  EXPECT_FALSE(yes("Found()"));
  EXPECT_FALSE(yes("dbSeek('NZ', .T.)"));  // soft: stands on the next key
  EXPECT_EQ(str("Trim(CODIGO)"), "\321ANDU");
  EXPECT_FALSE(yes("dbSeek('ZZ', .T.)"));
  EXPECT_TRUE(yes("Eof()"));

  // Numeric and date keys.
  eval("OrdCreate(, 'SALDO', 'SALDO', '!Deleted()')");
  EXPECT_TRUE(yes("dbSeek(4)"));
  EXPECT_EQ(str("Trim(CODIGO)"), "OCHOA");
  eval("dbSkip(-1)");
  EXPECT_EQ(num("SALDO"), 3);
}

TEST_F(EngineTest, ScopesAndFiltersShapeKeyCountsAndPositions) {
  std::vector<std::pair<std::string, double>> rows;
  for (int i = 0; i < 300; ++i) {
    const char* prefix[] = {"1105", "2365", "5105"};
    rows.push_back({std::string(prefix[i % 3]) + std::to_string(100 + i), i});
  }
  makeAccounts(rows);
  eval("OrdCreate(, 'CODIGO', 'CODIGO', '!Deleted()')");
  EXPECT_EQ(num("OrdKeyCount()"), 300);

  eval("OrdScope(0, '2365')");
  eval("OrdScope(1, '2365')");
  eval("dbGoTop()");
  EXPECT_EQ(num("OrdKeyCount()"), 100);
  EXPECT_EQ(str("Left(CODIGO,4)"), "2365");
  EXPECT_EQ(num("OrdKeyNo()"), 1);
  eval("dbSkip(99)");
  EXPECT_EQ(num("OrdKeyNo()"), 100);
  EXPECT_FALSE(yes("Eof()"));
  eval("dbSkip()");
  EXPECT_TRUE(yes("Eof()"));
  eval("dbGoBottom()");
  EXPECT_EQ(str("Left(CODIGO,4)"), "2365");
  EXPECT_FALSE(yes("dbSeek('1105')"));  // outside the scope

  // Browse grids jump to a row by its position.
  const int area = engine.areaOf("CTA");
  engine.goToKeyNo(area, 37);
  EXPECT_EQ(num("OrdKeyNo()"), 37);
  EXPECT_EQ(str("Left(CODIGO,4)"), "2365");
  engine.goToKeyNo(area, 101);
  EXPECT_TRUE(yes("Eof()"));

  eval("dbSetFilter({|| SALDO >= 150}, 'SALDO >= 150')");
  EXPECT_EQ(str("dbFilter()"), "SALDO >= 150");
  eval("dbGoTop()");
  EXPECT_EQ(num("OrdKeyCount()"), 50);
  EXPECT_GE(num("SALDO"), 150);
  eval("dbSkip()");
  EXPECT_EQ(num("OrdKeyNo()"), 2);
  engine.goToKeyNo(area, 50);
  EXPECT_EQ(num("OrdKeyNo()"), 50);
  EXPECT_GE(num("SALDO"), 150);
  eval("dbClearFilter()");
  EXPECT_EQ(str("dbFilter()"), "");
  eval("OrdScope(0, NIL)");
  eval("OrdScope(1, NIL)");
  EXPECT_EQ(num("OrdKeyCount()"), 300);

  // Natural order counts and positions skip deleted records too.
  eval("OrdSetFocus(0)");
  eval("dbGoTo(10)");
  eval("dbDelete()");
  EXPECT_EQ(num("OrdKeyCount()"), 299);
  eval("dbGoTo(20)");
  EXPECT_EQ(num("OrdKeyNo()"), 19);
  engine.goToKeyNo(area, 19);
  EXPECT_EQ(num("RecNo()"), 20);
}

TEST_F(EngineTest, DescendingTagsWalkFromTheHighestKey) {
  makeAccounts({{"B", 2}, {"A", 1}, {"C", 3}});
  const int area = engine.areaOf("CTA");
  engine.buildIndex(area, "", "DESC", "CODIGO", "!Deleted()", true);
  EXPECT_EQ(walk(), "C,B,A");
  EXPECT_EQ(walkBack(), "A,B,C");
  EXPECT_TRUE(yes("dbSeek('B')"));
  eval("dbSkip()");
  EXPECT_EQ(str("Trim(CODIGO)"), "A");
  EXPECT_EQ(num("OrdKeyNo()"), 3);
}

TEST_F(EngineTest, RelatedChildFollowsTheParent) {
  makeAccounts({{"1105", 1}, {"2365", 2}, {"9999", 3}});
  eval("dbCreate(" + q("nombres.dbf") + ", {{'CODIGO','C',10,0},{'TEXTO','C',30,0}})");
  eval("dbUseArea(.T., 'DBFCDX', " + q("nombres.dbf") + ", 'NOM', .T., .F.)");
  for (const char* row : {"2365|Retenciones", "1105|Caja"}) {
    const std::string r(row);
    eval("dbAppend()");
    eval("FieldPut(1, '" + r.substr(0, 4) + "')");
    eval("FieldPut(2, '" + r.substr(5) + "')");
  }
  eval("OrdCreate(, 'CODIGO', 'CODIGO', '!Deleted()')");
  eval("dbSelectArea('CTA')");
  eval("dbSetRelation('NOM', {|| CODIGO}, 'CODIGO')");
  eval("dbGoTop()");
  EXPECT_EQ(str("Trim(NOM->TEXTO)"), "Caja");
  eval("dbSkip()");
  EXPECT_EQ(str("Trim(NOM->TEXTO)"), "Retenciones");
  eval("dbSkip()");
  EXPECT_TRUE(yes("NOM->(Eof())"));
  EXPECT_EQ(str("Trim(NOM->TEXTO)"), "");
  eval("dbClearRelation()");
  eval("dbGoTop()");
  EXPECT_TRUE(yes("NOM->(Eof())"));
}

TEST_F(EngineTest, FieldsKeepTheirTypesAndMemosRoundTrip) {
  makeAccounts({{"1105", 1234.565}});
  eval("dbGoTop()");
  EXPECT_EQ(str("Str(SALDO)"), "     1234.57");  // stored rounded half away, shown with N12.2
  eval("FieldPut(4, CToD('31-12-2011'))");
  eval("FieldPut(5, 'Nota larga de la cuenta')");
  eval("dbCommit()");
  EXPECT_EQ(str("DToS(FECHA)"), "20111231");
  EXPECT_EQ(str("NOTA"), "Nota larga de la cuenta");

  // Wrong types and values too wide are failures of the error handler.
  std::vector<Failure> seen;
  ip.setErrorHandler([&](Interp&, const Failure& f) {
    seen.push_back(f);
    return exo::ErrorReply::byDefault();
  });
  eval("FieldPut(3, 'texto')");
  eval("FieldPut(3, 1000000000000)");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].genCode, GenCode::DataType);
  EXPECT_EQ(seen[1].genCode, GenCode::DataWidth);
  EXPECT_EQ(str("FIELD->CODIGO"), "1105      ");
}

TEST_F(EngineTest, SharingConflictsFailWithSharingViolation) {
  makeAccounts({{"1105", 1}});
  eval("dbCloseArea()");
  const int first = engine.open(dir.file("cuentas.dbf"), "UNO", false, false);
  ASSERT_GT(first, 0);
  std::vector<Failure> seen;
  ip.setErrorHandler([&](Interp&, const Failure& f) {
    seen.push_back(f);
    return exo::ErrorReply::byDefault();
  });
  EXPECT_EQ(engine.open(dir.file("cuentas.dbf"), "DOS", true, false), 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].genCode, GenCode::Open);
  EXPECT_EQ(seen[0].osCode, 32);
  EXPECT_FALSE(engine.isUsed(2));
  EXPECT_EQ(engine.areaOf("DOS"), 0);

  // The same alias twice is refused.
  EXPECT_EQ(engine.open(dir.file("cuentas.dbf"), "UNO", true, false), 0);
  EXPECT_EQ(seen.back().genCode, GenCode::DupAlias);
}

TEST_F(EngineTest, PackAndZapRebuildTheTags) {
  makeAccounts({{"C", 3}, {"A", 1}, {"B", 2}});
  eval("dbCloseArea()");
  const int area = engine.open(dir.file("cuentas.dbf"), "CTA", false, false);
  engine.buildIndex(area, "cuentas", "CODIGO", "CODIGO", "");
  EXPECT_TRUE(engine.seekKey(area, Value::text("A")));
  eval("dbDelete()");
  eval("__dbPack()");
  EXPECT_EQ(num("RecCount()"), 2);
  EXPECT_EQ(walk(), "B,C");
  engine.goTop(ip, area);
  EXPECT_EQ(engine.text(area, "nombre").substr(0, 8), "Cuenta B");
  eval("__dbZap()");
  EXPECT_EQ(num("RecCount()"), 0);
  EXPECT_EQ(walk(), "");
  EXPECT_EQ(num("OrdKeyCount()"), 0);
}

TEST_F(EngineTest, AppendFromCopiesFieldsByNameUnderACondition) {
  makeAccounts({{"1105", 10}, {"5105", 20}, {"5110", 30}});
  eval("dbGoTo(2)");
  eval("FieldPut(5, 'memo de 5105')");
  eval("dbDelete()");  // deleted records are not copied
  eval("dbCloseArea()");
  const std::vector<exo::store::FieldDef> fields = {
      {"SALDO", 'N', 6, 0}, {"EXTRA", 'C', 3, 0}, {"CODIGO", 'C', 3, 0}, {"NOTA", 'M', 10, 0}};
  engine.createTable(dir.file("destino.dbf"), fields);
  const int area = engine.open(dir.file("destino.dbf"), "DES");
  engine.buildIndex(area, "", "CODIGO", "CODIGO", "!Deleted()");
  EXPECT_EQ(engine.appendFrom(area, dir.file("cuentas.dbf"), "Left(CODIGO,1) = '5'"), 1u);
  EXPECT_EQ(engine.appendFrom(area, dir.file("cuentas"), ""), 2u);
  EXPECT_EQ(walk(), "110,511,511");           // cut to the target's width, keys kept current
  EXPECT_EQ(engine.areaOf("__APPFROM1"), 0);  // the source is closed again
  eval("dbGoTop()");
  EXPECT_EQ(num("SALDO"), 10);
  EXPECT_EQ(str("EXTRA"), "   ");
}

TEST_F(EngineTest, CopyToAndStructureCopies) {
  makeAccounts({{"5105", 1}, {"1105", 2}, {"5110", 3}, {"2365", 4}});
  eval("dbGoTo(3)");
  eval("FieldPut(5, 'nota de 5110')");
  eval("OrdCreate(, 'CODIGO', 'CODIGO', '!Deleted()')");
  const int area = engine.areaOf("CTA");
  EXPECT_EQ(engine.copyTo(area, dir.file("cincos.dbf"), "CODIGO = '5'"), 2u);
  engine.copyStructure(area, dir.file("vacia.dbf"));
  const int copy = engine.open(dir.file("cincos.dbf"), "CIN");
  EXPECT_EQ(walk(), "5105,5110");  // in the order of the source's controlling tag
  eval("dbGoBottom()");
  EXPECT_EQ(str("NOTA"), "nota de 5110");
  EXPECT_EQ(engine.fields(copy).size(), 5u);
  const int empty = engine.open(dir.file("vacia.dbf"), "VAC");
  EXPECT_EQ(engine.recCount(empty), 0);
  EXPECT_EQ(engine.fields(empty).size(), 5u);
  EXPECT_EQ(engine.fields(empty)[2].decimals, 2);

  Engine::copyFile(dir.file("cincos.dbf"), dir.file("copia.dbf"));
  EXPECT_EQ(storetest::readFile(dir.file("copia.dbf")),
            storetest::readFile(dir.file("cincos.dbf")));
}

TEST_F(EngineTest, TotalsSumRunsFromTheirFirstQualifyingRecord) {
  // Runs of CODIGO in order: A (3 records, 2 qualify), B (1, none qualifies), C (2, both).
  makeAccounts({{"A", 1}, {"B", 5}, {"A", 2}, {"C", 10}, {"A", 4}, {"C", 20}});
  eval("dbGoTo(1)");
  eval("FieldPut(2, 'no cuenta')");
  eval("FieldPut(5, 'memo')");
  eval("dbGoTo(2)");
  eval("FieldPut(2, 'tampoco')");
  eval("OrdCreate(, 'CODIGO', 'CODIGO', '!Deleted()')");
  const int area = engine.areaOf("CTA");
  const auto written =
      engine.total(area, dir.file("total.dbf"), "CODIGO", {"SALDO"}, "Left(NOMBRE,6) = 'Cuenta'");
  EXPECT_EQ(written, 2u);
  const int total = engine.open(dir.file("total.dbf"), "TOT");
  EXPECT_EQ(engine.fields(total).size(), 4u);  // no memo field
  engine.goTop(ip, total);
  EXPECT_EQ(engine.text(total, "CODIGO"), "A         ");
  EXPECT_EQ(engine.number(total, "SALDO"), 6);
  EXPECT_EQ(engine.recNo(total), 1);
  engine.skip(ip, total, 1);
  EXPECT_EQ(engine.text(total, "CODIGO"), "C         ");
  EXPECT_EQ(engine.number(total, "SALDO"), 30);
  engine.skip(ip, total, 1);
  EXPECT_TRUE(engine.eof(total));
}

}  // namespace

namespace {

// Two users of one shared table: a record locked by one cannot be changed by the other (a
// failure with the lock-violation code, nothing written); once released the change goes in and
// the first user reads it.
TEST(EngineSharing, ALockedRecordIsNotChangedByAnotherUser) {
  storetest::TempDir dir;
  const std::string table = dir.file("compartida.dbf");
  Interp ipA, ipB;
  Engine a(ipA), b(ipB);
  a.createTable(table, {{"CODIGO", 'C', 4, 0}});
  const int areaA = a.open(table, "A", true, false);
  a.appendBlank(areaA);
  a.put(areaA, "CODIGO", Value::text("UNO"));
  a.commit(ipA, areaA);
  const int areaB = b.open(table, "B", true, false);
  std::vector<Failure> seen;
  ipB.setErrorHandler([&](Interp&, const Failure& f) {
    seen.push_back(f);
    return exo::ErrorReply::byDefault();
  });

  ASSERT_TRUE(a.lockRecord(ipA, areaA, 1));
  b.goTo(ipB, areaB, 1);
  b.put(areaB, "CODIGO", Value::text("DOS"));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].genCode, GenCode::Lock);
  EXPECT_EQ(seen[0].osCode, 33);
  b.commit(ipB, areaB);
  a.goTo(ipA, areaA, 1);
  EXPECT_EQ(a.text(areaA, "CODIGO"), "UNO ");

  a.unlock(ipA, areaA);
  b.put(areaB, "CODIGO", Value::text("DOS"));
  b.commit(ipB, areaB);
  EXPECT_EQ(seen.size(), 1u);
  a.goTo(ipA, areaA, 1);
  EXPECT_EQ(a.text(areaA, "CODIGO"), "DOS ");
  ASSERT_TRUE(b.lockFile(ipB, areaB));
  EXPECT_FALSE(a.lockRecord(ipA, areaA, 1));  // a whole-table lock excludes the other user
  b.unlock(ipB, areaB);
  EXPECT_TRUE(a.lockRecord(ipA, areaA, 1));
}

}  // namespace

namespace {

// A tag over fields that follow each other in the record, built from a table large enough for
// its keys to be taken by two threads: every active record once, in key order, deleted records
// left out.
TEST_F(EngineTest, TagsOfAdjoiningFieldsOverLargeTablesHoldEveryActiveRecord) {
  const std::string table = dir.file("lineas.dbf");
  engine.createTable(
      table,
      {{"TIPO", 'C', 2, 0}, {"NUMERO", 'C', 6, 0}, {"TERCERO", 'C', 5, 0}, {"MONTO", 'N', 12, 2}});
  const int area = engine.open(table, "LINEAS", false, false);
  const int tipo = engine.fieldIndex(area, "TIPO"), numero = engine.fieldIndex(area, "NUMERO"),
            tercero = engine.fieldIndex(area, "TERCERO");
  std::multiset<std::pair<std::string, std::uint32_t>> wanted;
  const char* types[] = {"FC", "CE", "NC"};
  constexpr std::uint32_t kRecords = 120000;
  for (std::uint32_t r = 1; r <= kRecords; ++r) {
    char number[8], party[8];
    std::snprintf(number, sizeof number, "%06u", (r * 7919u) % 50000u);
    std::snprintf(party, sizeof party, "%05u", (r * 31u) % 997u);
    engine.append(ip, area);
    engine.putField(ip, area, tipo, Value::temp(types[r % 3]));
    engine.putField(ip, area, numero, Value::temp(number));
    engine.putField(ip, area, tercero, Value::temp(party));
    if (r % 1000 == 0) {
      engine.deleteRecord(ip, area);
    } else {
      wanted.emplace(std::string(types[r % 3]) + number + party, r);
    }
  }
  engine.commit(ip, area);
  engine.buildIndex(area, "", "CLAVE", "TIPO+NUMERO+TERCERO", "!Deleted()");
  engine.close(ip, area);

  exo::store::Cdx cdx = exo::store::Cdx::open(dir.file("lineas.cdx"), {true, true, 0});
  const std::size_t tag = *cdx.findTag("CLAVE");
  EXPECT_EQ(cdx.check(tag), "");
  std::multiset<std::pair<std::string, std::uint32_t>> held;
  std::string previous;
  exo::store::CdxCursor cursor(cdx, tag);
  for (bool ok = cursor.first(); ok; ok = cursor.next()) {
    const std::string key(cursor.key());
    EXPECT_LE(previous, key);  // digits and these capitals sort as their bytes
    previous = key;
    held.emplace(key, cursor.recno());
  }
  EXPECT_EQ(held.size(), kRecords - kRecords / 1000);
  EXPECT_TRUE(held == wanted);
}

}  // namespace
