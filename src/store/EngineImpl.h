// Pieces shared by the engine's source files: evaluation of compiled texts against one record
// buffer of an area, key bytes of values, and the failures the engine raises itself.
// Internal to src/store.
#pragma once

#include <string>
#include <string_view>

#include "expr/Ast.h"
#include "expr/Interp.h"
#include "store/Engine.h"
#include "store/EngineArea.h"

namespace exo::store {

// Evaluates `p` with `a` selected and its fields read from `rec`, hands the (possibly temporary)
// result to `use`, and restores the selection. Nothing is allocated for temporary texts.
template <class F>
void Engine::evalOn(Area& a, const Program& p, const char* rec, F&& use) {
  struct Restore {
    Engine& e;
    Area& a;
    int selected;
    const char* record;
    ~Restore() {
      e.m_selected = selected;
      a.evalRecord = record;
    }
  } restore{*this, a, m_selected, a.evalRecord};
  m_selected = a.number;
  a.evalRecord = rec == a.record.data() ? nullptr : rec;
  ArenaScope arena(m_ip.arena());
  StackScope stack(m_ip);
  DepthGuard depth(m_ip);
  const Value v = p.root().eval(m_ip);
  use(v);
}

// Names the record a scratch buffer of the area holds while its fields are evaluated, so that
// a failure of one of them names the record; the previous number comes back at the end.
class RecnoOf {
 public:
  RecnoOf(Area& a, std::uint32_t recno) : m_area(a), m_saved(a.evalRecno) { a.evalRecno = recno; }
  ~RecnoOf() { m_area.evalRecno = m_saved; }
  RecnoOf(const RecnoOf&) = delete;
  RecnoOf& operator=(const RecnoOf&) = delete;

 private:
  Area& m_area;
  std::uint32_t m_saved;
};

// Runs a file-layer operation, handing its failure to the error handler until it succeeds or the
// handler lets the caller go on without it (false).
template <class F>
bool Engine::attempt(F&& op) {
  for (;;) {
    try {
      op();
      return true;
    } catch (const FailureError& e) {
      Failure f = e.failure();
      f.canDefault = true;
      bool retry = false;
      m_ip.raise(std::move(f), &retry);
      if (!retry) return false;
    }
  }
}

// Silences the error handler for a scope: failures abandon at once (the caller catches them).
// Used where a failure only means "cannot tell" (the type of a foreign tag's key, the keys of
// a record checked on open).
class QuietHandler {
 public:
  explicit QuietHandler(Interp& ip) : m_ip(ip), m_saved(ip.errorHandler()) {
    m_ip.setErrorHandler([](Interp&, const Failure&) { return ErrorReply::abandon(); });
  }
  ~QuietHandler() { m_ip.setErrorHandler(m_saved); }
  QuietHandler(const QuietHandler&) = delete;
  QuietHandler& operator=(const QuietHandler&) = delete;

 private:
  Interp& m_ip;
  ErrorHandler m_saved;
};

// Key bytes of a value for an order whose keys are of type `type` (C, N, D, L): text as is
// (the caller pads or compares as a prefix), numbers and dates in the 8-byte ordered form.
// False when the value is not of that type.
bool keyBytesOf(const Value& v, char type, std::string& out);

// The failure the engine raises for its own reasons (not a file error).
Failure engineFailure(GenCode code, std::string description, std::string fileName = {},
                      std::string operation = {});

// The failure of a numeric field whose text cannot be read as a number: names the file, the
// record (0: not known) and the field, and shows the text found.
Failure unreadableNumberFailure(const Dbf& table, std::uint32_t recno, int field,
                                const char* record);

// True when a condition text is the "!Deleted()" that every system tag carries (spaces and
// letter case aside), so that deleted records are known to be absent from the tag.
bool isActiveCondition(std::string_view text);

// Order of the keys of a tag of this kind (fill byte and collation).
cdx::KeyOrder keyOrderOf(KeyKind kind);

}  // namespace exo::store
