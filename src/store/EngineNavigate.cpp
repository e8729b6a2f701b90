// Navigation of the work areas: top, bottom, skip, go to and seek in natural order or along the
// controlling order within its scope, filter and the records' deletion marks; key counts and
// positions as browse grids use them.
#include <algorithm>
#include <cstring>

#include "store/EngineImpl.h"

namespace exo::store {

namespace {

// Compares the leading bytes of a key with a scope or seek prefix.
int comparePrefix(const cdx::KeyOrder& order, std::string_view key, std::string_view prefix) {
  const std::size_t n = std::min(key.size(), prefix.size());
  return order.compare(key.data(), prefix.data(), n);
}

}  // namespace

// --- navigation ----------------------------------------------------------------------------------

int Engine::scopeSide(const Order& o, std::string_view key) const {
  const cdx::KeyOrder order = keyOrderOf(o.kind);
  const auto& low = o.descending ? o.scopeBottom : o.scopeTop;
  const auto& high = o.descending ? o.scopeTop : o.scopeBottom;
  if (low && comparePrefix(order, key, *low) < 0) return -1;
  if (high && comparePrefix(order, key, *high) > 0) return 1;
  return 0;
}

Engine::Place Engine::place(Area& a) {
  const Order& o = *a.order();
  if (a.cursor && a.cursorRecno == a.recno && a.cursorChanges == a.changes && a.cursor->valid()) {
    return Place::Exact;
  }
  if (!a.cursor) a.cursor = std::make_unique<CdxCursor>(*a.bags[o.bag], o.tag);
  const std::string key = keyOf(a, o, a.stored.data());
  a.cursor->seek(key, a.recno);
  a.cursorChanges = a.changes;
  if (!a.cursor->valid()) return Place::End;
  if (a.cursor->recno() == a.recno && a.cursor->key() == key) {
    a.cursorRecno = a.recno;
    return Place::Exact;
  }
  return Place::After;
}

bool Engine::settleOrdered(Area& a, bool storedForward, bool ok) {
  const Order& o = *a.order();
  CdxCursor& c = *a.cursor;
  std::vector<char>& rec = a.scratch;
  while (ok) {
    const int side = scopeSide(o, c.key());
    if (side != 0) {
      if ((side > 0) == storedForward) return false;
      ok = storedForward ? c.next() : c.prev();
      continue;
    }
    const std::uint32_t recno = c.recno();
    // Records in key order lie all over the file: the next ones are asked for ahead.
    if (const std::uint32_t ahead = storedForward ? c.recnoAhead(6) : 0) a.dbf->prefetch(ahead);
    if (recno >= 1 && recno <= a.dbf->recordCount()) {
      a.dbf->read(recno, rec.data());
      if (visible(a, rec.data(), recno)) {
        // The record read becomes the current one; the scratch takes the old buffer (of the
        // same length) for the next read.
        a.record.swap(rec);
        a.stored = a.record;
        a.recno = recno;
        a.eof = false;
        a.cursorRecno = recno;
        a.cursorChanges = a.changes;
        return true;
      }
    }
    ok = storedForward ? c.next() : c.prev();
  }
  return false;
}

bool Engine::startOrdered(Area& a, bool fromTop) {
  const Order& o = *a.order();
  if (!a.cursor) a.cursor = std::make_unique<CdxCursor>(*a.bags[o.bag], o.tag);
  CdxCursor& c = *a.cursor;
  const bool storedForward = fromTop != o.descending;
  const auto& low = o.descending ? o.scopeBottom : o.scopeTop;
  const auto& high = o.descending ? o.scopeTop : o.scopeBottom;
  bool ok;
  if (storedForward) {
    if (low) {
      c.seek(*low);
      ok = c.valid();
    } else {
      ok = c.first();
    }
  } else if (high) {
    const cdx::KeyOrder order = keyOrderOf(o.kind);
    c.seek(*high);
    while (c.valid() && comparePrefix(order, c.key(), *high) <= 0) c.next();
    ok = c.valid() ? c.prev() : c.last();
  } else {
    ok = c.last();
  }
  return settleOrdered(a, storedForward, ok);
}

bool Engine::moveNatural(Area& a, std::uint32_t from, bool forward) {
  const std::uint32_t count = a.dbf->recordCount();
  std::vector<char>& rec = a.scratch;
  std::int64_t r = static_cast<std::int64_t>(from) + (forward ? 1 : -1);
  for (; r >= 1 && r <= static_cast<std::int64_t>(count); r += forward ? 1 : -1) {
    a.dbf->read(static_cast<std::uint32_t>(r), rec.data());
    if (visible(a, rec.data(), static_cast<std::uint32_t>(r))) {
      a.record.swap(rec);
      a.stored = a.record;
      a.recno = static_cast<std::uint32_t>(r);
      a.eof = false;
      return true;
    }
  }
  return false;
}

void Engine::goTop(Interp&, int area) {
  Area& a = at(area);
  flush(a);
  if (a.dbf->isShared()) a.dbf->refresh();
  const bool ok = a.order() ? startOrdered(a, true) : moveNatural(a, 0, true);
  if (!ok) toEof(a);
  a.bof = !ok;
  a.found = false;
  afterMove(a);
}

void Engine::goBottom(Interp&, int area) {
  Area& a = at(area);
  flush(a);
  if (a.dbf->isShared()) a.dbf->refresh();
  const bool ok =
      a.order() ? startOrdered(a, false) : moveNatural(a, a.dbf->recordCount() + 1, false);
  if (!ok) toEof(a);
  a.bof = !ok;
  a.found = false;
  afterMove(a);
}

void Engine::goTo(Interp&, int area, std::int64_t recno) {
  Area& a = at(area);
  flush(a);
  if (recno >= 1 && recno <= static_cast<std::int64_t>(a.dbf->recordCount())) {
    attempt([&] { load(a, static_cast<std::uint32_t>(recno)); });
  } else {
    toEof(a);
  }
  a.bof = false;
  a.found = false;
  afterMove(a);
}

void Engine::skip(Interp&, int area, std::int64_t n) {
  Area& a = at(area);
  flush(a);
  a.bof = false;
  a.found = false;
  if (n == 0) {
    if (!a.eof) load(a, a.recno);
    afterMove(a);
    return;
  }
  const bool forward = n > 0;
  for (std::int64_t i = 0; i < (forward ? n : -n); ++i) {
    if (forward && a.eof) break;
    if (!forward && a.eof) {
      const bool ok =
          a.order() ? startOrdered(a, false) : moveNatural(a, a.dbf->recordCount() + 1, false);
      if (!ok) {
        toEof(a);
        a.bof = true;
        break;
      }
      continue;
    }
    const std::uint32_t from = a.recno;
    bool ok;
    if (!a.order()) {
      ok = moveNatural(a, from, forward);
    } else {
      const Order& o = *a.order();
      const bool storedForward = forward != o.descending;
      const Place p = place(a);
      bool moved;
      if (p == Place::Exact) moved = storedForward ? a.cursor->next() : a.cursor->prev();
      else if (p == Place::After) moved = storedForward ? true : a.cursor->prev();
      else moved = storedForward ? false : a.cursor->last();
      ok = settleOrdered(a, storedForward, moved);
    }
    if (!ok) {
      if (forward) {
        toEof(a);
      } else {
        load(a, from);
        a.cursorChanges = ~0ull;
        a.bof = true;
      }
      break;
    }
  }
  afterMove(a);
}

bool Engine::seekOrdered(Area& a, std::string_view key, bool softSeek, bool last) {
  const Order& o = *a.order();
  if (!a.cursor) a.cursor = std::make_unique<CdxCursor>(*a.bags[o.bag], o.tag);
  CdxCursor& c = *a.cursor;
  const cdx::KeyOrder order = keyOrderOf(o.kind);
  const std::string_view wanted = key.substr(0, o.keyLength);
  // Among equal keys the logical first is the stored first, or the stored last when descending.
  const bool wantLast = last != o.descending;
  c.seek(wanted);
  std::uint32_t match = 0;
  std::vector<char>& rec = a.scratch;
  while (c.valid() && comparePrefix(order, c.key(), wanted) == 0) {
    if (scopeSide(o, c.key()) == 0) {
      const std::uint32_t r = c.recno();
      if (r >= 1 && r <= a.dbf->recordCount()) {
        a.dbf->read(r, rec.data());
        if (visible(a, rec.data(), r)) {
          match = r;
          if (!wantLast) break;
        }
      }
    }
    c.next();
  }
  a.found = match != 0;
  if (match != 0) {
    load(a, match);
    a.cursorChanges = ~0ull;  // placed again on the next move
  } else if (softSeek) {
    bool ok;
    if (!o.descending) ok = settleOrdered(a, true, c.valid());
    else ok = settleOrdered(a, false, c.valid() ? c.prev() : c.last());
    if (!ok) toEof(a);
  } else {
    toEof(a);
  }
  a.bof = false;
  afterMove(a);
  return a.found;
}

bool Engine::seek(Interp&, int area, const Value& key, bool softSeek, bool last) {
  Area& a = at(area);
  flush(a);
  const Order* o = a.order();
  if (!o) {
    fail(GenCode::NoOrder, "No hay un orden activo para buscar", a.dbf->path(), "DBSEEK");
    return false;
  }
  std::string bytes;
  if (!keyBytesOf(key, o->keyType, bytes)) {
    fail(GenCode::DataType, "La b\372squeda no es del tipo de la clave", a.dbf->path(), "DBSEEK");
    return false;
  }
  return seekOrdered(a, bytes, softSeek, last);
}

bool Engine::seekKey(int area, const Value& key, bool softSeek) {
  return seek(m_ip, area, key, softSeek, false);
}

void Engine::goToKeyNo(int area, std::int64_t n) {
  Area& a = at(area);
  goTop(m_ip, area);
  if (a.eof || n <= 1) {
    if (n < 1) toEof(a);
    return;
  }
  const Order* o = a.order();
  if (!o || !o->onlyActive || a.filter) {
    skip(m_ip, area, n - 1);
    return;
  }
  // Count keys along the tag in the order's direction; only the last one is read.
  place(a);
  CdxCursor& c = *a.cursor;
  const bool storedForward = !o->descending;
  std::int64_t position = 1;
  bool ok = true;
  while (position < n) {
    ok = storedForward ? c.next() : c.prev();
    if (!ok) break;
    const int side = scopeSide(*o, c.key());
    if (side != 0) {
      if ((side > 0) == storedForward) {
        ok = false;
        break;
      }
      continue;
    }
    ++position;
  }
  if (!ok || !settleOrdered(a, storedForward, true)) toEof(a);
  a.found = false;
  afterMove(a);
}

void Engine::forEach(int area, const std::function<bool()>& visit) {
  goTop(m_ip, area);
  while (!at(area).eof) {
    if (!visit()) return;
    skip(m_ip, area, 1);
  }
}

// --- record state ------------------------------------------------------------------------------

std::int64_t Engine::recNo(int area) const {
  const Area* a = find(area);
  return a ? a->recno : 0;
}

std::int64_t Engine::recCount(int area) const {
  const Area* a = find(area);
  return a ? a->dbf->recordCount() : 0;
}

bool Engine::eof(int area) const {
  const Area* a = find(area);
  return !a || a->eof;
}

bool Engine::bof(int area) const {
  const Area* a = find(area);
  return !a || a->bof;
}

bool Engine::found(int area) const {
  const Area* a = find(area);
  return a && a->found;
}

bool Engine::deleted(int area) const {
  const Area* a = find(area);
  return a && Dbf::isDeleted(a->fieldSource());
}

// --- key counts and positions ------------------------------------------------------------------

std::int64_t Engine::keyCount(Interp&, int area) {
  Area& a = at(area);
  flush(a);
  if (a.keyCount >= 0 && a.countChanges == a.changes) return a.keyCount;
  std::int64_t count = 0;
  std::vector<char> rec(a.dbf->recordLength());
  if (const Order* o = a.order()) {
    CdxCursor c(*a.bags[o->bag], o->tag);
    const auto& low = o->descending ? o->scopeBottom : o->scopeTop;
    bool ok = low ? (c.seek(*low), c.valid()) : c.first();
    const bool keysSuffice = o->onlyActive && !a.filter;
    for (; ok; ok = c.next()) {
      const int side = scopeSide(*o, c.key());
      if (side > 0) break;
      if (side < 0) continue;
      if (keysSuffice) {
        ++count;
        continue;
      }
      const std::uint32_t r = c.recno();
      if (r < 1 || r > a.dbf->recordCount()) continue;
      a.dbf->read(r, rec.data());
      if (visible(a, rec.data(), r)) ++count;
    }
  } else {
    for (std::uint32_t r = 1; r <= a.dbf->recordCount(); ++r) {
      a.dbf->read(r, rec.data());
      if (visible(a, rec.data(), r)) ++count;
    }
  }
  a.keyCount = count;
  a.countChanges = a.changes;
  return count;
}

std::int64_t Engine::keyNo(Interp& ip, int area) {
  Area& a = at(area);
  flush(a);
  if (a.eof) return 0;
  std::int64_t position = 0;
  std::vector<char> rec(a.dbf->recordLength());
  const Order* o = a.order();
  if (!o) {
    for (std::uint32_t r = 1; r <= a.recno; ++r) {
      a.dbf->read(r, rec.data());
      if (visible(a, rec.data(), r)) ++position;
    }
    return visible(a, a.stored.data(), a.recno) ? position : 0;
  }
  CdxCursor c(*a.bags[o->bag], o->tag);
  const auto& low = o->descending ? o->scopeBottom : o->scopeTop;
  bool ok = low ? (c.seek(*low), c.valid()) : c.first();
  const bool keysSuffice = o->onlyActive && !a.filter;
  bool reached = false;
  for (; ok; ok = c.next()) {
    const int side = scopeSide(*o, c.key());
    if (side > 0) break;
    if (side < 0) continue;
    const std::uint32_t r = c.recno();
    if (r < 1 || r > a.dbf->recordCount()) continue;
    if (!keysSuffice) {
      a.dbf->read(r, rec.data());
      if (!visible(a, rec.data(), r)) continue;
    }
    ++position;
    if (r == a.recno) {
      reached = true;
      break;
    }
  }
  if (!reached) return 0;
  return o->descending ? keyCount(ip, area) - position + 1 : position;
}

}  // namespace exo::store
