// Records written together with their index keys, so that the tags always describe the table
// file: a record change is written before its keys and undone when a key cannot be changed, a
// failed append leaves no keys behind, appends that never reach the file take their keys
// with them; batches of changes under the table lock. And the check made when an index file is
// attached: the last records of the table must have their keys (a program killed between an
// append and its keys leaves them out), and a batch must not have been left unfinished.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "store/EngineImpl.h"
#include "store/StoreFailure.h"

namespace exo::store {

namespace {

// How many of the table's last records an attached index file is checked against.
constexpr std::uint32_t kRecentRecords = 8;

constexpr const char* kMissingKeys =
    "\315ndice desactualizado: faltan claves de los \372ltimos registros";
constexpr const char* kUndoFailed =
    "\315ndice desactualizado: no se pudo deshacer en el \355ndice un cambio de registro fallido";
constexpr const char* kBatchLeft =
    "\315ndice desactualizado: qued\363 a medio escribir un lote de cambios";
constexpr const char* kBatchUnwritten =
    "\315ndice desactualizado: no se pudieron escribir los cambios de claves del lote";

}  // namespace

// The change of one record's key in one order: the old key leaves (`out`), the new one enters
// (`in`); `done` records the steps made (1 old key removed, 2 new key added), so that a retry
// goes on where the failure stopped and an undo reverses exactly what was made.
struct KeyMove {
  bool out = false, in = false;
  std::string oldKey, newKey;
  int done = 0;
};

KeyMove Engine::keyMove(Area& a, const Order& o, const char* from, const char* to) {
  KeyMove m;
  m.out = from != nullptr && inOrder(a, o, from);
  m.in = to != nullptr && inOrder(a, o, to);
  if (m.out) m.oldKey = keyOf(a, o, from);
  if (m.in) m.newKey = keyOf(a, o, to);
  if (m.out && m.in && m.oldKey == m.newKey) m.out = m.in = false;
  return m;
}

// Makes the steps of `m` not made yet; false when a step failed and the handler let the caller
// go on without it.
bool Engine::moveKeys(Area& a, const Order& o, KeyMove& m, std::uint32_t recno) {
  if (!m.out && !m.in) return true;
  Cdx& bag = *a.bags[o.bag];
  ++a.changes;
  return attempt([&] {
    if (m.out && m.in && m.done == 0 && bag.moveKey(o.tag, m.oldKey, m.newKey, recno)) m.done = 3;
    if (m.out && !(m.done & 1)) {
      bag.deleteKey(o.tag, m.oldKey, recno);
      m.done |= 1;
    }
    if (m.in && !(m.done & 2)) {
      bag.insertKey(o.tag, m.newKey, recno);
      m.done |= 2;
    }
  });
}

// Reverses the key changes from `from` to `to` of orders [0, upTo) and the steps made of
// `partial` (order upTo), without the error handler: the failure that led here was reported.
// False when the undo failed too.
bool Engine::undoKeys(Area& a, std::size_t upTo, KeyMove& partial, const char* from, const char* to,
                      std::uint32_t recno) {
  try {
    for (std::size_t i = std::min(upTo + 1, a.orders.size()); i-- > 0;) {
      const Order& o = a.orders[i];
      KeyMove whole;
      if (i < upTo) {
        whole = keyMove(a, o, from, to);
        whole.done = (whole.out ? 1 : 0) | (whole.in ? 2 : 0);
      }
      KeyMove& m = i < upTo ? whole : partial;
      Cdx& bag = *a.bags[o.bag];
      if (m.done & 2) bag.deleteKey(o.tag, m.newKey, recno);
      if (m.done & 1) bag.insertKey(o.tag, m.oldKey, recno);
      ++a.changes;
    }
  } catch (const FailureError&) {
    return false;
  }
  return true;
}

// A change the file did not take is given up: the buffer shows the record as stored.
void Engine::dropChange(Area& a) {
  a.record = a.stored;
  a.dirty = false;
  ++a.changes;
  if (a.autoLocked) releaseAutoLock(a);
}

void Engine::releaseAutoLock(Area& a) {
  a.autoLocked = false;
  a.dbf->unlockRecord(a.recno);
}

// The index files marked for a single change outside a batch (Cdx::beginChange), cleared when
// the change is over: made, or undone in step with its keys.
class ChangeMarks {
 public:
  explicit ChangeMarks(Area& a) : m_a(a) {}
  // Given up (a change not made, or a failure on its way up): the marks go as they can.
  ~ChangeMarks() {
    try {
      finish();
    } catch (...) {
    }
  }
  ChangeMarks(const ChangeMarks&) = delete;
  ChangeMarks& operator=(const ChangeMarks&) = delete;
  void add(std::size_t bag) {
    if (std::find(m_bags.begin(), m_bags.end(), bag) != m_bags.end()) return;
    m_a.bags[bag]->beginChange();
    m_bags.push_back(bag);
  }
  // The tags could not be put back in step with the record: the marks stay for the next open.
  void keep() { m_keep = true; }
  // The change is made: the marks go.
  void finish() {
    while (!m_bags.empty()) {
      const std::size_t bag = m_bags.back();
      m_bags.pop_back();
      m_a.bags[bag]->endChange(m_keep);
    }
  }

 private:
  Area& m_a;
  std::vector<std::size_t> m_bags;
  bool m_keep = false;
};

void Engine::flush(Area& a) {
  if (!a.dirty) {
    if (a.autoLocked) releaseAutoLock(a);
    return;
  }
  // The record first, then its keys: a record the file did not take leaves the keys alone, and
  // a key that could not be changed sends the keys changed so far and the record back. The
  // same holds when the handler abandons the operation (the failure then goes on up). Every
  // index file whose keys will follow the record is marked before it: in a batch once for the
  // whole batch; outside one for this change alone, its keys worked out first to know which.
  std::vector<KeyMove> ahead;
  if (!a.batch) {
    try {
      for (const Order& o : a.orders) {
        ahead.push_back(keyMove(a, o, a.stored.data(), a.record.data()));
      }
    } catch (const FailureError&) {
      dropChange(a);
      throw;
    }
  }
  ChangeMarks marks(a);
  bool written = false;
  std::size_t i = 0;
  KeyMove current;
  KeyMove* m = &current;
  try {
    for (std::size_t k = 0; k < ahead.size(); ++k) {
      if (!ahead[k].out && !ahead[k].in) continue;
      if (!attempt([&] { marks.add(a.orders[k].bag); })) return dropChange(a);
    }
    for (auto& bag : a.bags) {
      if (a.batch && !attempt([&] { bag->markChangesComing(); })) return dropChange(a);
    }
    if (!attempt([&] { a.dbf->write(a.recno, a.record.data()); })) return dropChange(a);
    written = true;
    for (; i < a.orders.size(); ++i) {
      if (a.batch) {
        current = KeyMove();  // nothing made yet for this order, should its keys fail to evaluate
        current = keyMove(a, a.orders[i], a.stored.data(), a.record.data());
      } else {
        m = &ahead[i];
      }
      if (moveKeys(a, a.orders[i], *m, a.recno)) continue;
      restoreRecord(a, i, *m, marks);
      return dropChange(a);
    }
  } catch (const FailureError&) {
    if (written) restoreRecord(a, i, *m, marks);
    dropChange(a);
    throw;
  }
  marks.finish();
  a.stored = a.record;
  a.dirty = false;
  ++a.changes;
  if (a.autoLocked) releaseAutoLock(a);
}

// Puts back the keys of orders [0, failed] (`partial` for the one that failed) and the stored
// record after a key change failed; when that fails too the marks stay and the index file is
// reported stale.
void Engine::restoreRecord(Area& a, std::size_t failed, KeyMove& partial, ChangeMarks& marks) {
  bool undone = undoKeys(a, failed, partial, a.stored.data(), a.record.data(), a.recno);
  if (undone) {
    try {
      a.dbf->write(a.recno, a.stored.data());
    } catch (const FailureError&) {
      undone = false;
    }
  }
  if (undone) return;
  marks.keep();
  reportStaleIndex(a.bags[a.orders[failed].bag]->path(), false);
}

std::uint32_t Engine::appendRecord(Area& a, const char* rec, bool keepLock) {
  std::uint32_t recno = 0;
  if (!attempt([&] { recno = a.dbf->append(rec, true); })) return 0;
  std::size_t i = 0;
  KeyMove m;
  try {
    for (; i < a.orders.size(); ++i) {
      m = KeyMove();
      m = keyMove(a, a.orders[i], nullptr, rec);
      if (moveKeys(a, a.orders[i], m, recno)) continue;
      withdrawAppend(a, i, m, rec, recno);
      return 0;
    }
  } catch (const FailureError&) {
    withdrawAppend(a, i, m, rec, recno);
    throw;
  }
  ++a.changes;
  if (!keepLock) a.dbf->unlockRecord(recno);
  return recno;
}

// An appended record whose keys could not all be added: the keys added go, and the record is
// marked deleted, so that it is in no tag of active records and no read shows it.
void Engine::withdrawAppend(Area& a, std::size_t failed, KeyMove& partial, const char* rec,
                            std::uint32_t recno) {
  bool undone = undoKeys(a, failed, partial, nullptr, rec, recno);
  std::vector<char> deleted(rec, rec + a.dbf->recordLength());
  Dbf::setDeleted(deleted.data(), true);
  try {
    a.dbf->write(recno, deleted.data());
  } catch (const FailureError&) {
    undone = false;
  }
  a.dbf->unlockRecord(recno);
  ++a.changes;
  if (!undone) reportStaleIndex(a.bags[a.orders[failed].bag]->path(), false);
}

// Gives up the buffered appends that could not be written, with their keys, so that the index
// files describe only records that are in the table file.
void Engine::dropUnwritten(Area& a) {
  Dbf& d = *a.dbf;
  std::vector<char> rec(d.recordLength());
  for (std::uint32_t r = d.writtenCount() + 1; r <= d.recordCount(); ++r) {
    d.read(r, rec.data());
    for (const Order& o : a.orders) {
      KeyMove m = keyMove(a, o, rec.data(), nullptr);
      moveKeys(a, o, m, r);
    }
  }
  d.discardUnwritten();
  ++a.changes;
}

// Batches (see Engine.h): the area's index files are put in batch mode while the area holds its
// table lock, and brought out of it before that lock goes.
bool Engine::beginBatch(int area, BatchCount count) {
  Area& a = at(area);
  flush(a);
  if (a.batch) return true;
  Dbf& d = *a.dbf;
  if (d.isReadOnly() || (d.isShared() && !d.holdsFileLock())) return false;
  for (auto& bag : a.bags) {
    if (attempt([&] { bag->beginBatch(count); })) continue;
    for (auto& begun : a.bags) begun->abandonBatch();  // nothing was held back yet
    return false;
  }
  a.batch = true;
  return true;
}

void Engine::endBatch(int area) {
  Area* a = find(area);
  if (a == nullptr || !a->batch) return;
  flush(*a);
  finishBatch(*a);
}

bool Engine::inBatch(int area) const {
  const Area* a = find(area);
  return a != nullptr && a->batch;
}

// Ends the batch of every index file of the area. A file whose pages cannot be written (and the
// handler lets it go) keeps its mark and is reported stale: the next open rebuilds its tags.
void Engine::finishBatch(Area& a) {
  a.batch = false;
  ++a.changes;
  struct GiveUp {
    Area& a;
    ~GiveUp() {
      for (auto& bag : a.bags) bag->abandonBatch();
    }
  } giveUp{a};
  // The table's changed records reach the disk before any index file's mark goes: a machine
  // that stops afterwards finds either the mark or keys whose records are there. A table that
  // cannot be synced leaves the marks, and the next open rebuilds the tags.
  if (std::any_of(a.bags.begin(), a.bags.end(), [](const auto& bag) { return bag->inBatch(); }) &&
      !attempt([&] { a.dbf->syncData(); })) {
    for (auto& bag : a.bags) {
      if (!bag->inBatch()) continue;
      bag->abandonBatch();
      reportStaleIndex(bag->path(), false, nullptr, kBatchUnwritten);
    }
    return;
  }
  for (auto& bag : a.bags) {
    if (!bag->inBatch()) continue;
    if (attempt([&] { bag->endBatch(); })) continue;
    bag->abandonBatch();
    reportStaleIndex(bag->path(), false, nullptr, kBatchUnwritten);
  }
}

void Engine::unlockRecord(int area, std::int64_t recno) {
  Area& a = at(area);
  flush(a);
  const auto r = static_cast<std::uint32_t>(recno == 0 ? a.recno : recno);
  if (r == a.recno) a.autoLocked = false;
  a.dbf->unlockRecord(r);  // held only when the table is not locked whole
}

void Engine::reportStaleIndex(const std::string& file, bool canRetry, bool* retry,
                              const char* description) {
  if (description == nullptr) description = canRetry ? kMissingKeys : kUndoFailed;
  Failure f =
      engineFailure(GenCode::Corruption, description, file, canRetry ? "ORDLISTADD" : "REPLACE");
  f.canRetry = canRetry;
  m_ip.raise(std::move(f), retry);
}

// Orders of bag `bag` that lack the key of record `r` (read into `rec`). Orders whose keys this
// program cannot build, and tags not in our order (where a seek may miss), are not judged; a
// unique tag holds each key once, for its lowest record, so there the key alone must be found.
std::vector<std::size_t> Engine::lackingKeys(Area& a, std::size_t bag, std::uint32_t r,
                                             std::vector<char>& rec) {
  std::vector<std::size_t> lacking;
  a.dbf->read(r, rec.data());
  if (Dbf::isDeleted(rec.data())) return lacking;
  Cdx& file = *a.bags[bag];
  for (std::size_t i = 0; i < a.orders.size(); ++i) {
    const Order& o = a.orders[i];
    if (o.bag != bag || !o.writable || !inOrder(a, o, rec.data())) continue;
    const bool unique = file.tags()[o.tag].unique();
    CdxCursor cursor(file, o.tag);
    if (cursor.seekInOrder(keyOf(a, o, rec.data()), unique ? 0 : r) &&
        (unique || cursor.recno() == r))
      continue;
    if (file.isOrdered(o.tag)) lacking.push_back(i);
  }
  return lacking;
}

void Engine::checkRecentKeys(Area& a, std::size_t bag) {
  Dbf& d = *a.dbf;
  // A mark that cannot be read fails the open: the index may be behind its table.
  if (a.bags[bag]->leftInBatch()) {
    // A batch that never ended may have left any page of any tag behind its records: every tag
    // this program keeps is built again from the table, and the mark is cleared after.
    std::vector<std::size_t> all;
    for (std::size_t i = 0; i < a.orders.size(); ++i)
      if (a.orders[i].bag == bag && a.orders[i].writable) all.push_back(i);
    for (;;) {
      if (rebuildTags(a, bag, all, true)) return;
      bool retry = false;
      reportStaleIndex(a.bags[bag]->path(), true, &retry, kBatchLeft);
      if (!retry) return;
    }
  }
  const std::uint32_t count = d.recordCount();
  const std::uint32_t first = count > kRecentRecords ? count - kRecentRecords + 1 : 1;
  std::vector<std::size_t> stale;
  {
    QuietHandler quiet(m_ip);
    std::vector<char> rec(d.recordLength());
    try {
      for (std::uint32_t r = count; r >= first && r > 0; --r) {
        std::vector<std::size_t> lacking = lackingKeys(a, bag, r, rec);
        if (lacking.empty()) continue;
        // Another user may be writing this record and its keys right now: such a record is
        // locked. One that can be locked and still lacks keys was left so.
        if (d.isShared() && !d.holdsRecordLock(r)) {
          if (!d.lockRecord(r)) continue;
          lacking = lackingKeys(a, bag, r, rec);
          d.unlockRecord(r);
        }
        for (std::size_t i : lacking)
          if (std::find(stale.begin(), stale.end(), i) == stale.end()) stale.push_back(i);
      }
    } catch (const FailureError&) {
      // A record or key that cannot be read says nothing of missing keys; reads report it.
    }
  }
  if (stale.empty()) return;
  for (;;) {
    if (rebuildTags(a, bag, stale)) return;
    bool retry = false;
    reportStaleIndex(a.bags[bag]->path(), true, &retry);
    if (!retry) return;
  }
}

// Rebuilds the tags of `orders` when the open allows it: a writable table held exclusively, or
// shared with the whole file locked for the rebuild. False when it does not.
bool Engine::rebuildTags(Area& a, std::size_t bag, const std::vector<std::size_t>& orders,
                         bool clearBatchMark) {
  Dbf& d = *a.dbf;
  if (d.isReadOnly()) return false;
  const bool lockHere = d.isShared() && !d.holdsFileLock();
  if (lockHere && !d.lockFile()) return false;
  struct Definition {
    std::string name, key, condition;
    bool descending;
  };
  std::vector<Definition> definitions;
  for (std::size_t i : orders) {
    const TagInfo& t = a.bags[bag]->tags()[a.orders[i].tag];
    definitions.push_back({t.name, t.keyExpression, t.forExpression, t.descending});
  }
  const std::string keep = a.order() ? a.order()->name : std::string();
  // The mark of an unfinished batch goes only when every tag was built without a failure.
  bool failed = false;
  const ErrorHandler saved = m_ip.errorHandler();
  m_ip.setErrorHandler([&](Interp& ip, const Failure& f) {
    failed = true;
    return saved ? saved(ip, f) : defaultErrorHandler(ip, f);
  });
  try {
    if (d.isShared()) attempt([&] { d.refresh(); });
    if (clearBatchMark) attempt([&] { a.bags[bag]->distrustPages(); });
    for (const Definition& t : definitions)
      buildTag(a, bag, t.name, t.key, t.condition, t.descending);
    if (clearBatchMark && !failed) attempt([&] { a.bags[bag]->clearBatchMark(); });
  } catch (...) {
    m_ip.setErrorHandler(saved);
    if (lockHere) d.unlockAll();
    throw;
  }
  m_ip.setErrorHandler(saved);
  // The lock of the whole file goes, and with it any record lock it had taken in.
  if (lockHere) d.unlockAll();
  syncOrders(a, keep);
  return true;
}

}  // namespace exo::store
