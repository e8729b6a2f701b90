// Bulk operations of the work areas: structure copies, append from another table, copies to a
// new table, byte copies of files and totals by key. They move records as buffers, field by
// field only where the two structures differ.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "expr/Codepage.h"
#include "expr/Memvars.h"
#include "store/EngineImpl.h"
#include "store/File.h"
#include "store/FileFaults.h"
#include "store/StoreFailure.h"

namespace exo::store {

namespace {

std::vector<FieldDef> structureOf(const Dbf& d, bool withMemos) {
  std::vector<FieldDef> defs;
  for (const Field& f : d.fields()) {
    if (!withMemos && (f.type == 'M' || f.type == 'G' || f.type == 'P')) continue;
    defs.push_back({f.name, f.type, f.length, f.decimals});
  }
  return defs;
}

bool isMemo(char type) { return type == 'M' || type == 'G' || type == 'P'; }

// How one field of a target record is filled from a source record.
struct FieldMove {
  int from = -1, to = -1;
  bool sameBytes = false;  // same type and size: the bytes are copied as they are
};

// Sources of at least this many records are made ready on a thread of their own, in blocks of
// kPreparedBlock records.
constexpr std::uint32_t kPreparedMinimum = 2;
constexpr std::uint32_t kPreparedBlock = 4096;

std::vector<FieldMove> planMoves(const Dbf& source, const Dbf& target) {
  std::vector<FieldMove> moves;
  for (std::size_t t = 0; t < target.fields().size(); ++t) {
    const Field& tf = target.fields()[t];
    const auto s = source.fieldIndex(tf.name);
    if (!s) continue;
    const Field& sf = source.fields()[static_cast<std::size_t>(*s)];
    FieldMove m;
    m.from = *s;
    m.to = static_cast<int>(t);
    m.sameBytes = sf.type == tf.type && sf.length == tf.length && sf.decimals == tf.decimals &&
                  !isMemo(sf.type);
    moves.push_back(m);
  }
  return moves;
}

// Fills `out` (a blank record of `target`) from `in` (a record of `source`). Returns the name of
// a numeric field whose value did not fit (it then holds asterisks), or "".
std::string moveFields(Dbf& source, const char* in, Dbf& target, char* out,
                       const std::vector<FieldMove>& moves) {
  std::string overflow;
  for (const FieldMove& m : moves) {
    const Field& sf = source.fields()[static_cast<std::size_t>(m.from)];
    const Field& tf = target.fields()[static_cast<std::size_t>(m.to)];
    if (m.sameBytes) {
      std::memcpy(out + tf.offset, in + sf.offset, tf.length);
      continue;
    }
    const bool sourceNumber =
        sf.type == 'N' || sf.type == 'F' || sf.type == 'I' || sf.type == 'B' || sf.type == 'Y';
    switch (tf.type) {
      case 'N':
      case 'F':
      case 'I':
      case 'B':
      case 'Y':
        if (sourceNumber && !target.setNumber(out, m.to, source.number(in, m.from).value)) {
          overflow = tf.name;
        }
        break;
      case 'D':
        if (sf.type == 'D') target.setDate(out, m.to, source.date(in, m.from));
        break;
      case 'L':
        if (sf.type == 'L') target.setLogical(out, m.to, source.logical(in, m.from));
        break;
      case 'M':
        if (isMemo(sf.type)) {
          const std::string text = source.memo(in, m.from);
          if (!text.empty()) target.setMemo(out, m.to, text);
        }
        break;
      default:
        if (sf.type == tf.type || (sf.type == 'C' && tf.type != 'G' && tf.type != 'P')) {
          target.setText(out, m.to, source.text(in, m.from));
        }
        break;
    }
  }
  return overflow;
}

// Records of the source made ready for the target by a thread of their own while the calling
// thread appends the ones before: blocks handed over in the order of the source.
class PreparedRecords {
 public:
  struct Block {
    std::vector<char> records;  // `count` target records, one after another
    std::uint32_t count = 0;
    std::vector<std::pair<std::uint32_t, std::string>> overflows;  // record in block, field
  };

  // The next block in place of `out` (whose room is kept for a later block), false when there is
  // none left.
  bool next(Block& out) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (out.records.capacity() > 0) {
      out.records.clear();
      out.count = 0;
      out.overflows.clear();
      m_spare.push_back(std::move(out));
      out = Block();
    }
    m_changed.wait(lock, [&] { return !m_ready.empty() || m_finished; });
    if (m_ready.empty()) return false;
    out = std::move(m_ready.front());
    m_ready.pop_front();
    m_changed.notify_all();
    return true;
  }
  // Hands `block` over and leaves in it an empty one, with the room of a block already read
  // when there is one; false when the reader has gone.
  bool put(Block& block) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_ready.size() < kAhead || m_abandoned; });
    if (m_abandoned) return false;
    m_ready.push_back(std::move(block));
    block = Block();
    if (!m_spare.empty()) {
      block = std::move(m_spare.back());
      m_spare.pop_back();
    }
    m_changed.notify_all();
    return true;
  }
  void finish() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
  }
  void abandon() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_abandoned = true;
    m_changed.notify_all();
  }

 private:
  static constexpr std::size_t kAhead = 4;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<Block> m_ready;
  std::vector<Block> m_spare;  // read blocks whose room is used again
  bool m_finished = false, m_abandoned = false;
};

}  // namespace

void Engine::copyStructure(int area, const std::string& file) {
  Area& a = at(area);
  createTable(file, structureOf(*a.dbf, true));
}

std::uint64_t Engine::appendFrom(int area, const std::string& source,
                                 const std::string& condition) {
  return appendMatching(area, source, condition, nullptr);
}

std::uint64_t Engine::appendFrom(int area, const std::string& source, const RecordTest& accept) {
  return appendMatching(area, source, {}, &accept);
}

std::uint64_t Engine::appendFrom(int area, const std::string& source, const RecordTest& accept,
                                 const FieldNames& ledgerText) {
  return appendMatching(area, source, {}, &accept, ledgerText);
}

std::uint64_t Engine::appendMatching(int area, const std::string& source,
                                     const std::string& condition, const RecordTest* accept,
                                     const FieldNames& ledgerText) {
  Area& target = at(area);
  flush(target);
  if (target.dbf->isReadOnly()) {
    fail(GenCode::ReadOnly, "Tabla abierta solo para lectura", target.dbf->path(), "APPEND FROM");
    return 0;
  }
  // The source is opened in an area of its own so that the condition sees its fields.
  const int selected = m_selected;
  const int from = openArea(freeArea(), source, "__APPFROM" + std::to_string(area), true, true);
  m_selected = selected;
  if (from == 0) return 0;
  Area& s = *find(from);
  struct CloseSource {
    Engine& e;
    int area;
    ~CloseSource() {
      if (Area* a = e.find(area)) {
        try {
          e.closeArea(*a);
        } catch (const FailureError&) {
          // The source is open read-only, so closing it writes nothing. What can come here is
          // a failure the error handler has shown already and was told to abandon; a destructor
          // must not throw it again, and the source's files are closed all the same.
        }
      }
    }
  } closeSource{*this, from};

  const ProgramPtr cond = condition.empty() ? nullptr : m_ip.compile(condition);
  const std::vector<FieldMove> moves = planMoves(*s.dbf, *target.dbf);
  // The target's character fields that take the source's text converted.
  std::vector<const Field*> converted;
  for (const std::string& name : ledgerText) {
    const auto i = target.dbf->fieldIndex(name);
    const auto j = s.dbf->fieldIndex(name);
    if (!i || !j) continue;
    const Field& f = target.dbf->fields()[static_cast<std::size_t>(*i)];
    if (f.type == 'C') converted.push_back(&f);
  }
  const std::uint8_t mark = s.dbf->codePageMark();
  const std::vector<char> blank = target.dbf->blankRecord();
  std::vector<char> in(s.dbf->recordLength());
  std::vector<char> out;
  std::uint64_t added = 0;
  const std::uint32_t count = s.dbf->recordCount();
  std::uint32_t r = 1;
  // With a test written in C++ and no memo to carry, the records are read, tested and made
  // ready on a thread of their own (the source's view read in place) while this one appends
  // them. The thread stops before a record whose number cannot be read; from there the records
  // go one by one below, so that the failure is raised here as it always is.
  bool memos = false;
  for (const FieldMove& m : moves)
    memos = memos || isMemo(target.dbf->fields()[static_cast<std::size_t>(m.to)].type);
  const char* view = nullptr;
  if (accept != nullptr && !cond && !memos && count >= kPreparedMinimum && !fileOpHookInstalled() &&
      std::thread::hardware_concurrency() > 1 && !attempt([&] { view = s.dbf->viewOf(1, count); }))
    return added;
  if (view != nullptr) {
    const std::size_t inLength = s.dbf->recordLength();
    const std::size_t outLength = target.dbf->recordLength();
    PreparedRecords prepared;
    std::uint32_t stoppedAt = 0;
    std::exception_ptr thrown;
    std::thread reader([&] {
      try {
        PreparedRecords::Block block;
        for (std::uint32_t i = 1; i <= count; ++i) {
          const char* rec = view + std::size_t(i - 1) * inLength;
          if (Dbf::isDeleted(rec)) continue;
          if (s.dbf->unreadableNumber(rec) >= 0) {
            stoppedAt = i;
            break;
          }
          if (!(*accept)(*s.dbf, rec)) continue;
          if (block.count == 0) block.records.reserve(kPreparedBlock * outLength);
          block.records.insert(block.records.end(), blank.begin(), blank.end());
          char* out = block.records.data() + std::size_t(block.count) * outLength;
          std::string overflow = moveFields(*s.dbf, rec, *target.dbf, out, moves);
          for (const Field* f : converted) convertLedgerText(mark, out + f->offset, f->length);
          if (!overflow.empty()) block.overflows.emplace_back(block.count, std::move(overflow));
          if (++block.count == kPreparedBlock && !prepared.put(block)) return;
        }
        if (block.count > 0) prepared.put(block);
      } catch (...) {
        thrown = std::current_exception();
      }
      prepared.finish();
    });
    struct Join {
      PreparedRecords& prepared;
      std::thread& thread;
      ~Join() {
        prepared.abandon();
        thread.join();
      }
    };
    {
      const Join join{prepared, reader};
      PreparedRecords::Block block;
      while (prepared.next(block)) {
        std::size_t overflow = 0;
        for (std::uint32_t i = 0; i < block.count; ++i) {
          if (appendRecord(target, block.records.data() + std::size_t(i) * outLength) == 0)
            return added;
          ++added;
          if (overflow < block.overflows.size() && block.overflows[overflow].first == i) {
            fail(GenCode::DataWidth,
                 "El valor no cabe en el campo " + block.overflows[overflow].second,
                 target.dbf->path(), "APPEND FROM");
            ++overflow;
          }
        }
      }
    }
    if (thrown) std::rethrow_exception(thrown);
    if (stoppedAt == 0) {
      goBottom(m_ip, area);
      return added;
    }
    r = stoppedAt;
  }
  for (; r <= count; ++r) {
    if (!attempt([&] { s.dbf->read(r, in.data()); })) return added;
    if (Dbf::isDeleted(in.data())) continue;
    // A number that cannot be read would be carried, summed or tested as zero: the append
    // stops at the record that holds it.
    if (const int bad = s.dbf->unreadableNumber(in.data()); bad >= 0) {
      m_ip.raise(unreadableNumberFailure(*s.dbf, r, bad, in.data()));
      return added;
    }
    const RecnoOf named(s, r);
    if (cond && !isTrue(s, *cond, in.data())) continue;
    if (accept && !(*accept)(*s.dbf, in.data())) continue;
    out = blank;
    std::string overflow;
    if (!attempt(
            [&] { overflow = moveFields(*s.dbf, in.data(), *target.dbf, out.data(), moves); })) {
      return added;
    }
    for (const Field* f : converted) convertLedgerText(mark, out.data() + f->offset, f->length);
    if (appendRecord(target, out.data()) == 0) return added;
    ++added;
    if (!overflow.empty()) {
      fail(GenCode::DataWidth, "El valor no cabe en el campo " + overflow, target.dbf->path(),
           "APPEND FROM");
    }
  }
  goBottom(m_ip, area);
  return added;
}

std::uint64_t Engine::copyTo(int area, const std::string& file, const std::string& condition) {
  Area& a = at(area);
  flush(a);
  const std::string path = file;
  std::vector<FieldDef> defs = structureOf(*a.dbf, true);
  std::unique_ptr<Dbf> out;
  if (!attempt([&] { out = std::make_unique<Dbf>(Dbf::create(path, defs)); })) return 0;
  const ProgramPtr cond = condition.empty() ? nullptr : m_ip.compile(condition);
  const std::vector<FieldMove> moves = planMoves(*a.dbf, *out);
  bool memos = false;
  for (const Field& f : a.dbf->fields()) memos = memos || isMemo(f.type);
  std::vector<char> rec;
  std::uint64_t written = 0;
  forEach(area, [&] {
    if (cond && !isTrue(a, *cond, a.record.data())) return true;
    bool ok;
    if (!memos) {
      ok = attempt([&] { out->append(a.record.data()); });
    } else {
      rec = out->blankRecord();
      ok = attempt([&] {
        moveFields(*a.dbf, a.record.data(), *out, rec.data(), moves);
        out->append(rec.data());
      });
    }
    if (ok) ++written;
    return ok;
  });
  attempt([&] { out->close(); });
  return written;
}

void Engine::copyFile(const std::string& from, const std::string& to) {
  File in = File::open(from, false);
  const std::string temp = siblingTempName(to);
  File out = File::create(temp);
  try {
    std::vector<char> buffer(1 << 20);
    std::uint64_t offset = 0;
    for (;;) {
      const std::size_t n = in.readSome(offset, buffer.data(), buffer.size());
      if (n == 0) break;
      out.writeAt(offset, buffer.data(), n);
      offset += n;
    }
    out.sync();
    out.close();
    replaceFile(temp, to);
  } catch (...) {
    out.close();
    removeFileQuietly(temp);
    throw;
  }
}

std::uint64_t Engine::total(int area, const std::string& file, const std::string& key,
                            const FieldNames& sums, const std::string& condition) {
  Area& a = at(area);
  flush(a);
  std::unique_ptr<Dbf> out;
  if (!attempt(
          [&] { out = std::make_unique<Dbf>(Dbf::create(file, structureOf(*a.dbf, false))); })) {
    return 0;
  }
  const ProgramPtr keyProgram = m_ip.compile(key);
  const ProgramPtr cond = condition.empty() ? nullptr : m_ip.compile(condition);
  if (!keyProgram) return 0;
  const std::vector<FieldMove> moves = planMoves(*a.dbf, *out);

  // The summed fields, as positions in the source and in the total.
  struct Sum {
    int from, to;
    double total = 0;
  };
  std::vector<Sum> summed;
  for (const std::string& name : sums) {
    const auto from = a.dbf->fieldIndex(name);
    const auto to = out->fieldIndex(name);
    if (!from || !to) {
      fail(GenCode::NoVar, "Campo inexistente: " + name, a.dbf->path(), "TOTAL");
      return 0;
    }
    summed.push_back({*from, *to});
  }

  std::string runKey, recordKey;
  bool inRun = false, qualified = false;
  const std::vector<char> blank = out->blankRecord();
  std::vector<char> first = blank;
  std::uint64_t written = 0;
  auto finishRun = [&] {
    if (!inRun || !qualified) return true;
    std::string overflow;
    for (const Sum& s : summed) {
      if (!out->setNumber(first.data(), s.to, s.total))
        overflow = out->fields()[std::size_t(s.to)].name;
    }
    if (!attempt([&] { out->append(first.data()); })) return false;
    ++written;
    if (!overflow.empty()) {
      fail(GenCode::DataWidth, "El total no cabe en el campo " + overflow, file, "TOTAL");
    }
    return true;
  };
  bool ok = true;
  // A key of character fields is read from the record's bytes.
  const KeyPlan plan = planKey(*a.dbf, key);
  if (!plan.pieces.empty()) recordKey.resize(plan.length);
  forEach(area, [&] {
    if (!plan.pieces.empty()) {
      plan.build(a.record.data(), recordKey.data());
    } else {
      evalOn(a, *keyProgram, a.record.data(), [&](const Value& v) {
        recordKey.clear();
        if (v.isText()) recordKey.assign(v.textView());
        else keyBytesOf(v, v.isNumber() ? 'N' : v.isDate() ? 'D' : 'L', recordKey);
      });
    }
    if (!inRun || recordKey != runKey) {
      if (!finishRun()) return ok = false;
      runKey = recordKey;
      inRun = true;
      qualified = false;
      for (Sum& s : summed) s.total = 0;
    }
    if (cond && !isTrue(a, *cond, a.record.data())) return true;
    if (!qualified) {
      qualified = true;
      std::copy(blank.begin(), blank.end(), first.begin());
      moveFields(*a.dbf, a.record.data(), *out, first.data(), moves);
    }
    for (Sum& s : summed) {
      const NumberValue n = a.dbf->number(a.record.data(), s.from);
      if (n.state == NumberState::Overflow || n.state == NumberState::Invalid) {
        // A total that left the value out would be wrong without a word: the totals stop.
        m_ip.raise(unreadableNumberFailure(*a.dbf, a.recno, s.from, a.record.data()));
        return ok = false;
      }
      s.total += n.value;
    }
    return true;
  });
  if (ok) finishRun();
  attempt([&] { out->close(); });
  return written;
}

}  // namespace exo::store
