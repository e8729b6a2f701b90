// Navigation checked against a model: random keys with duplicates, deleted records, ascending
// and descending tags with and without the "!Deleted()" condition, a filter and a scope. Every
// walk, count, position and jump must agree with the model's list of visible records.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "StoreTestSupport.h"
#include "expr/Collation.h"
#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Engine.h"

namespace {

using exo::Interp;
using exo::Value;
using exo::store::Engine;

struct Row {
  std::string code;
  int amount;
  bool deleted;
};

TEST(EngineModel, WalksCountsAndPositionsAgreeWithTheModel) {
  storetest::TempDir dir;
  Interp ip;
  Engine engine(ip);
  std::mt19937 rng(2024);
  const std::string letters = "AB\301\321N";
  std::vector<Row> rows;
  const std::string table = dir.file("modelo.dbf");
  engine.createTable(table, {{"CODIGO", 'C', 3, 0}, {"MONTO", 'N', 6, 0}});
  const int area = engine.open(table, "MOD", false, false);
  for (int i = 0; i < 700; ++i) {
    Row r;
    for (int k = 0; k < 3; ++k) r.code += letters[rng() % letters.size()];
    r.amount = static_cast<int>(rng() % 1000);
    r.deleted = rng() % 10 == 0;
    engine.appendBlank(area);
    engine.put(area, "CODIGO", Value::text(r.code));
    engine.put(area, "MONTO", Value::number(r.amount));
    if (r.deleted) engine.deleteRecord(ip, area);
    rows.push_back(r);
  }
  engine.buildIndex(area, "", "ACTIVOS", "CODIGO", "!Deleted()");
  engine.buildIndex(area, "", "TODOS", "CODIGO", "");
  engine.buildIndex(area, "", "DESC", "CODIGO", "!Deleted()", true);

  for (const char* tag : {"ACTIVOS", "TODOS", "DESC"}) {
    for (bool filtered : {false, true}) {
      for (bool scoped : {false, true}) {
        SCOPED_TRACE(std::string(tag) + (filtered ? " filtered" : "") + (scoped ? " scoped" : ""));
        const bool descending = std::string(tag) == "DESC";
        engine.setOrder(area, tag);
        engine.setFilter(ip, area, filtered ? "MONTO % 3 <> 0" : "");
        const std::string low = "B", high = "\321";  // B.. up to Ñ in the Spanish order
        engine.orderScope(ip, area, 0, scoped ? Value::text(descending ? high : low) : Value());
        engine.orderScope(ip, area, 1, scoped ? Value::text(descending ? low : high) : Value());

        std::vector<std::uint32_t> model;
        for (std::uint32_t r = 1; r <= rows.size(); ++r) {
          const Row& row = rows[r - 1];
          if (row.deleted || (filtered && row.amount % 3 == 0)) continue;
          const std::string first = row.code.substr(0, 1);
          if (scoped && (exo::collate(first, low) < 0 || exo::collate(first, high) > 0)) continue;
          model.push_back(r);
        }
        std::stable_sort(model.begin(), model.end(), [&](std::uint32_t a, std::uint32_t b) {
          return exo::collate(rows[a - 1].code, rows[b - 1].code) < 0;
        });
        if (descending) std::reverse(model.begin(), model.end());

        std::vector<std::uint32_t> forward, backward;
        engine.forEach(area, [&] {
          forward.push_back(static_cast<std::uint32_t>(engine.recNo(area)));
          return true;
        });
        ASSERT_EQ(forward.size(), model.size());
        for (std::size_t i = 0; i < model.size(); ++i) {
          // Equal keys may come in either record order in a descending walk; compare codes.
          ASSERT_EQ(rows[forward[i] - 1].code, rows[model[i] - 1].code) << i;
        }
        engine.goBottom(ip, area);
        while (!engine.bof(area) && !engine.eof(area)) {
          backward.push_back(static_cast<std::uint32_t>(engine.recNo(area)));
          engine.skip(ip, area, -1);
        }
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(backward, forward);
        EXPECT_EQ(engine.keyCount(ip, area), static_cast<std::int64_t>(model.size()));
        for (int probe = 0; probe < 20 && !forward.empty(); ++probe) {
          const auto n = static_cast<std::int64_t>(rng() % forward.size()) + 1;
          engine.goToKeyNo(area, n);
          ASSERT_EQ(static_cast<std::uint32_t>(engine.recNo(area)),
                    forward[static_cast<std::size_t>(n - 1)]);
          EXPECT_EQ(engine.keyNo(ip, area), n);
          engine.goTop(ip, area);
          engine.skip(ip, area, n - 1);
          EXPECT_EQ(static_cast<std::uint32_t>(engine.recNo(area)),
                    forward[static_cast<std::size_t>(n - 1)]);
        }
        engine.goToKeyNo(area, static_cast<std::int64_t>(forward.size()) + 1);
        EXPECT_TRUE(engine.eof(area));
      }
    }
  }
}

}  // namespace

namespace {

// Random changes through the work area (appends, key changes, deletions, recalls) keep every tag
// equal to the records it should hold, in a sound tree, in shared and exclusive use.
TEST(EngineModel, RandomChangesKeepEveryTagCurrent) {
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    storetest::TempDir dir;
    Interp ip;
    Engine engine(ip);
    std::mt19937 rng(shared ? 9 : 10);
    const std::string table = dir.file("cambios.dbf");
    engine.createTable(table, {{"CODIGO", 'C', 4, 0}, {"MONTO", 'N', 6, 0}});
    const int area = engine.open(table, "CAM", shared, false);
    engine.buildIndex(area, "", "ACTIVOS", "CODIGO", "!Deleted()");
    engine.buildIndex(area, "", "GRANDES", "CODIGO", "MONTO > 500");
    engine.buildIndex(area, "", "MONTO", "MONTO", "");
    engine.setOrder(area, "");
    std::vector<Row> rows;
    const auto randomCode = [&] {
      std::string c;
      for (int k = 0; k < 4; ++k) c += static_cast<char>('A' + rng() % 6);
      return c;
    };
    for (int step = 0; step < 1500; ++step) {
      const int what = static_cast<int>(rng() % 10);
      if (rows.empty() || what < 4) {
        rows.push_back({randomCode(), static_cast<int>(rng() % 1000), false});
        engine.appendBlank(area);
        engine.put(area, "CODIGO", Value::text(rows.back().code));
        engine.put(area, "MONTO", Value::number(rows.back().amount));
        continue;
      }
      const std::uint32_t r = static_cast<std::uint32_t>(rng() % rows.size()) + 1;
      engine.goTo(ip, area, r);
      Row& row = rows[r - 1];
      if (what < 7) {
        row.code = randomCode();
        row.amount = static_cast<int>(rng() % 1000);
        engine.put(area, "CODIGO", Value::text(row.code));
        engine.put(area, "MONTO", Value::number(row.amount));
      } else if (what < 9) {
        row.deleted = true;
        engine.deleteRecord(ip, area);
      } else {
        row.deleted = false;
        engine.recall(ip, area);
      }
    }
    engine.commit(ip, area);

    struct Expect {
      const char* tag;
      std::function<bool(const Row&)> holds;
      std::function<bool(const Row&, const Row&)> less;
    };
    const auto byCode = [](const Row& a, const Row& b) { return exo::collate(a.code, b.code) < 0; };
    const auto byAmount = [](const Row& a, const Row& b) { return a.amount < b.amount; };
    const std::vector<Expect> expects = {
        {"ACTIVOS", [](const Row& r) { return !r.deleted; }, byCode},
        {"GRANDES", [](const Row& r) { return !r.deleted && r.amount > 500; }, byCode},
        {"MONTO", [](const Row& r) { return !r.deleted; }, byAmount},
    };
    for (const Expect& e : expects) {
      SCOPED_TRACE(e.tag);
      std::vector<std::uint32_t> model;
      for (std::uint32_t r = 1; r <= rows.size(); ++r)
        if (e.holds(rows[r - 1])) model.push_back(r);
      std::stable_sort(model.begin(), model.end(), [&](std::uint32_t a, std::uint32_t b) {
        return e.less(rows[a - 1], rows[b - 1]);
      });
      engine.setOrder(area, e.tag);
      std::vector<std::uint32_t> walked;
      engine.forEach(area, [&] {
        walked.push_back(static_cast<std::uint32_t>(engine.recNo(area)));
        return true;
      });
      EXPECT_EQ(walked, model);
    }
    engine.close(ip, area);
    exo::store::Cdx cdx = exo::store::Cdx::open(dir.file("cambios.cdx"));
    for (std::size_t t = 0; t < cdx.tags().size(); ++t) {
      cdx.setKeyKind(t, cdx.tags()[t].name == "MONTO" ? exo::store::KeyKind::Binary
                                                      : exo::store::KeyKind::Character);
      EXPECT_EQ(cdx.check(t), "") << cdx.tags()[t].name;
    }
  }
}

}  // namespace

namespace {

// Totals over random runs, with a condition and deleted records, against a model: one record
// per run that has a qualifying record, copied from its first qualifying record, the sums over
// the qualifying records of the run only.
TEST(EngineModel, TotalsAgreeWithTheModel) {
  storetest::TempDir dir;
  Interp ip;
  Engine engine(ip);
  std::mt19937 rng(77);
  const std::string table = dir.file("movs.dbf");
  engine.createTable(table, {{"CTA_DIR", 'C', 2, 0},
                             {"TIPO", 'C', 1, 0},
                             {"MONTO", 'N', 10, 2},
                             {"VALOR", 'N', 8, 0},
                             {"NOTA", 'M', 10, 0}});
  const int area = engine.open(table, "MOV", false, false);
  struct Line {
    std::string key, tipo;
    double monto;
    int valor;
    bool deleted;
  };
  std::vector<Line> lines;
  for (int i = 0; i < 2000; ++i) {
    Line l{std::string(1, static_cast<char>('A' + rng() % 8)) + static_cast<char>('0' + rng() % 5),
           rng() % 3 == 0 ? "X" : "Y", static_cast<double>(rng() % 100000) / 100.0,
           static_cast<int>(rng() % 1000), rng() % 12 == 0};
    engine.appendBlank(area);
    engine.put(area, "CTA_DIR", Value::text(l.key));
    engine.put(area, "TIPO", Value::text(l.tipo));
    engine.put(area, "MONTO", Value::number(l.monto));
    engine.put(area, "VALOR", Value::number(l.valor));
    if (l.deleted) engine.deleteRecord(ip, area);
    lines.push_back(l);
  }
  engine.buildIndex(area, "", "CTA", "CTA_DIR", "!Deleted()");

  // The model: runs of the key in key order (record order within a key).
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (!lines[i].deleted) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return lines[a].key < lines[b].key; });
  struct Total {
    std::string key, tipo;
    double monto = 0;
    long valor = 0;
  };
  std::vector<Total> model;
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i;
    Total t;
    bool any = false;
    for (; j < order.size() && lines[order[j]].key == lines[order[i]].key; ++j) {
      const Line& l = lines[order[j]];
      if (l.tipo != "X") continue;
      if (!any) t = {l.key, l.tipo, 0, 0};
      any = true;
      t.monto += l.monto;
      t.valor += l.valor;
    }
    if (any) model.push_back(t);
    i = j;
  }

  const auto written =
      engine.total(area, dir.file("totales.dbf"), "CTA_DIR", {"MONTO", "valor"}, "TIPO = 'X'");
  ASSERT_EQ(written, model.size());
  EXPECT_TRUE(engine.eof(area));  // the source ends at its end
  const int totals = engine.open(dir.file("totales.dbf"), "TOT");
  EXPECT_EQ(engine.fields(totals).size(), 4u);  // the memo field is left out
  std::size_t i = 0;
  engine.forEach(totals, [&] {
    EXPECT_EQ(engine.text(totals, "CTA_DIR"), model[i].key);
    EXPECT_EQ(engine.text(totals, "TIPO"), "X");
    EXPECT_NEAR(engine.number(totals, "MONTO"), model[i].monto, 0.005);
    EXPECT_EQ(engine.number(totals, "VALOR"), static_cast<double>(model[i].valor));
    ++i;
    return true;
  });
  EXPECT_EQ(i, model.size());
}

}  // namespace
