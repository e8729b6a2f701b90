// Wait message, directory lookups, record copy and locks.
#include "shell/Utilities.h"

#include <chrono>
#include <thread>
#include <vector>

#include "expr/Codepage.h"
#include "expr/Functions.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "expr/WorkAreas.h"
#include "shell/Session.h"
#include "shell/ShellFailure.h"

namespace exo::shell {
namespace {

constexpr auto kLockRetryPause = std::chrono::milliseconds(50);

Failure workAreaFailure(GenCode code, std::string description, std::string operation) {
  Failure f = shellFailure(code, std::move(description), {}, std::move(operation));
  f.canDefault = true;
  return f;
}

// The work areas of the interpreter; raises (and throws on) their absence.
WorkAreas& workAreas(Interp& ip, const char* operation) {
  if (WorkAreas* w = ip.workAreas()) return *w;
  const Failure f = workAreaFailure(GenCode::NoTable, "No hay tablas abiertas", operation);
  ip.raise(f);
  throw FailureError(f);
}

// Selects an area for a scope and selects the previous one again at its end.
class SelectScope {
 public:
  SelectScope(WorkAreas& w, int area) : m_w(w), m_previous(w.selected()) { w.select(area); }
  ~SelectScope() { m_w.select(m_previous); }
  SelectScope(const SelectScope&) = delete;
  SelectScope& operator=(const SelectScope&) = delete;

 private:
  WorkAreas& m_w;
  int m_previous;
};

std::string lookUpDirectory(Interp& ip, std::string_view key, const char* field,
                            std::string_view notRegistered, const char* operation) {
  WorkAreas& w = workAreas(ip, operation);
  const int area = w.areaOf("DIREC");
  if (area == 0) {
    ip.raise(workAreaFailure(GenCode::NoAlias,
                             "El directorio de terceros (DIREC) no est\341 abierto", operation));
    return std::string(notRegistered);
  }
  SelectScope select(w, area);
  ArenaScope arena(ip.arena());
  if (!w.seek(ip, area, Value::temp(key), false, false)) return std::string(notRegistered);
  const int index = w.fieldIndex(area, field);
  if (index < 0) {
    ip.raise(workAreaFailure(GenCode::NoVar,
                             std::string("El directorio no tiene el campo ") + field, operation));
    return std::string(notRegistered);
  }
  const Value v = w.getField(ip, area, index);
  return v.isText() ? ledgerText(w.codePageMark(area), v.textView()) : std::string(notRegistered);
}

}  // namespace

// --- wait message --------------------------------------------------------------------------

void DLGMENSAJ(Session& session, std::string_view text, std::optional<ScreenPos> where) {
  closeWaitMessage(session);
  session.ui().waitOpen(trimRight(text), where);
  session.interp().memvars().assign("ODLGMSG1", Value::logical(true));
}

void MIMENSAJ(Session& session, std::string_view text, std::optional<ScreenPos> where) {
  DLGMENSAJ(session, text, where);
  session.ui().pumpEvents();
}

void closeWaitMessage(Session& session) {
  Memvars::Slot* open = session.interp().memvars().find("ODLGMSG1");
  if (open == nullptr || open->value().isNil()) return;
  session.ui().waitClose();
  open->value() = Value();
}

// --- directory lookups ---------------------------------------------------------------------

std::string BUSNOMDI(Interp& ip, std::string_view key) {
  return lookUpDirectory(ip, key, "NOMBRE", kNameNotRegistered, "BUSNOMDI");
}

std::string BUSNITDI(Interp& ip, std::string_view key) {
  return lookUpDirectory(ip, key, "DIREC4", kNitNotRegistered, "BUSNITDI");
}

// --- record copy and locks -----------------------------------------------------------------

void AREG(Interp& ip, std::string_view sourceAlias) {
  WorkAreas& w = workAreas(ip, "AREG");
  const int target = w.selected();
  const int source = w.areaOf(sourceAlias);
  if (source == 0) {
    ip.raise(
        workAreaFailure(GenCode::NoAlias, "Alias no abierto: " + std::string(sourceAlias), "AREG"));
    return;
  }
  // Values first: when the source is the target itself the append moves its record pointer.
  std::vector<std::pair<int, Value>> values;
  {
    ArenaScope arena(ip.arena());
    const std::vector<FieldInfo> fields = w.fields(source);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const int into = w.fieldIndex(target, fields[i].name);
      if (into >= 0) values.emplace_back(into, w.getField(ip, source, static_cast<int>(i)).owned());
    }
  }
  // An append the handler let go (the table locked by another program) adds no record: the
  // values must not land on the record that happens to be current.
  const std::int64_t before = w.recCount(target);
  w.append(ip, target);
  if (w.eof(target) || w.recNo(target) <= before) return;
  PROTEGER(ip, 0);
  for (const auto& [field, value] : values) w.putField(ip, target, field, value);
  DESPROTEGER(ip);
}

bool PROTEGER(Interp& ip, int mode) {
  WorkAreas* w = ip.workAreas();
  const int area = w != nullptr ? w->selected() : 0;
  if (area == 0 || !w->isUsed(area)) return true;
  // Past the last record (an empty table, a failed seek) there is no record to lock, and none
  // will appear by waiting: asking again would never end.
  if (mode != 1 && (w->eof(area) || w->recNo(area) < 1 || w->recNo(area) > w->recCount(area)))
    return true;
  while (!(mode == 1 ? w->lockFile(ip, area) : w->lockRecord(ip, area, 0))) {
    std::this_thread::sleep_for(kLockRetryPause);
  }
  return true;
}

void DESPROTEGER(Interp& ip) {
  WorkAreas* w = ip.workAreas();
  const int area = w != nullptr ? w->selected() : 0;
  if (area != 0 && w->isUsed(area)) w->unlock(ip, area);
}

// --- language functions --------------------------------------------------------------------

namespace {
Value busnomdiFn(Args& a) { return Value::text(BUSNOMDI(a.interp(), a.text(0))); }
Value busnitdiFn(Args& a) { return Value::text(BUSNITDI(a.interp(), a.text(0))); }
Value aregFn(Args& a) {
  AREG(a.interp(), a.text(0));
  return Value();
}
Value protegerFn(Args& a) {
  return Value::logical(PROTEGER(a.interp(), static_cast<int>(a.num(0, 0))));
}
Value desprotegerFn(Args& a) {
  DESPROTEGER(a.interp());
  return Value();
}
}  // namespace

void registerUtilityFunctions(Interp& ip) {
  ip.functions().add("BUSNOMDI", busnomdiFn, 1, 1);
  ip.functions().add("BUSNITDI", busnitdiFn, 1, 1);
  ip.functions().add("AREG", aregFn, 1, 1);
  ip.functions().add("PROTEGER", protegerFn, 0, 1);
  ip.functions().add("DESPROTEGER", desprotegerFn, 0, 0);
}

}  // namespace exo::shell
