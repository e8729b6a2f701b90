// The error log table.
#include "shell/ErrorLog.h"

#include <system_error>

#include "expr/Text.h"
#include "shell/ErrorReport.h"
#include "shell/Paths.h"
#include "store/Engine.h"

namespace exo::shell {
namespace {

constexpr const char* kTag = "Err_DDHH";
constexpr const char* kKey = "DtoS(Fecha) + Hora";
constexpr std::size_t kMessageWidth = 50;

// Keeps the selected area for a scope and closes the log area at its end.
class LogScope {
 public:
  explicit LogScope(store::Engine& e) : m_engine(e), m_selected(e.selected()) {}
  ~LogScope() {
    try {
      if (m_area != 0) m_engine.close(m_engine.interp(), m_area);
    } catch (...) {
      // Closing the log after a failure of its own: the failure has been reported already.
    }
    m_engine.select(m_selected);
  }
  LogScope(const LogScope&) = delete;
  LogScope& operator=(const LogScope&) = delete;
  void setArea(int area) { m_area = area; }

 private:
  store::Engine& m_engine;
  int m_selected;
  int m_area = 0;
};

bool hasTag(store::Engine& engine, int area) {
  for (const OrderInfo& o : engine.orders(area)) {
    if (upperName(o.tag) == upperName(kTag)) return true;
  }
  return false;
}

}  // namespace

std::filesystem::path errorLogFolder(const std::filesystem::path& working, UserInterface& ui) {
  const std::filesystem::path folder = entryPath(working, "Error");
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return folder;
  std::filesystem::create_directory(folder, ec);
  if (!ec) return folder;
  ui.message(
      MessageKind::Alert, "Atenci\363n.....",
      "NO se pudo crear " + folder.string() + "\r\nse usar\341 el directorio " + working.string());
  return working;
}

int ABREERROR(store::Engine& engine, const std::filesystem::path& folder) {
  const std::string table = entryPath(folder, "Error.Dbf").string();
  std::error_code ec;
  if (!std::filesystem::exists(table, ec)) {
    engine.createTable(
        table,
        {{"Fecha", 'D', 8, 0}, {"Hora", 'C', 8, 0}, {"Error", 'C', 50, 0}, {"Texto", 'M', 10, 0}});
  }
  const int area = engine.open(table, "ERROR");
  if (area == 0) return 0;
  if (!hasTag(engine, area)) {
    engine.buildIndex(area, entryPath(folder, "Error.cdx").string(), kTag, kKey, "!Deleted()",
                      true);
  }
  engine.setOrder(area, kTag);
  return area;
}

void appendErrorLog(store::Engine& engine, const std::filesystem::path& folder, std::time_t when,
                    const std::string& message, const std::string& report) {
  LogScope scope(engine);
  const int area = ABREERROR(engine, folder);
  scope.setArea(area);
  if (area == 0) return;
  Interp& ip = engine.interp();
  engine.appendBlank(area);
  if (engine.eof(area)) return;  // the append was let go
  engine.lockRecord(ip, area, 0);
  engine.put(area, "FECHA", Value::date(julianOf(when)));
  engine.put(area, "HORA", Value::text(timeOf(when)));
  engine.put(area, "ERROR", Value::text(message.substr(0, kMessageWidth)));
  engine.put(area, "TEXTO", Value::text(report));
  engine.commit(ip, area);
  engine.unlock(ip, area);
}

std::vector<ErrorLogEntry> readErrorLog(store::Engine& engine,
                                        const std::filesystem::path& folder) {
  std::vector<ErrorLogEntry> entries;
  std::error_code ec;
  if (!std::filesystem::exists(entryPath(folder, "Error.Dbf"), ec)) return entries;
  LogScope scope(engine);
  const int area = ABREERROR(engine, folder);
  scope.setArea(area);
  if (area == 0) return entries;
  engine.forEach(area, [&] {
    ErrorLogEntry e;
    const Value fecha = engine.get(area, "FECHA");
    e.fecha = fecha.isDate() ? fecha.julian() : 0;
    e.hora = engine.text(area, "HORA");
    e.error = std::string(trimRight(engine.text(area, "ERROR")));
    e.texto = engine.text(area, "TEXTO");
    entries.push_back(std::move(e));
    return true;
  });
  return entries;
}

std::size_t initialLogRow(const std::vector<ErrorLogEntry>& entries, std::int32_t today) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].fecha == today) return i;
  }
  return entries.empty() ? 0 : entries.size() - 1;
}

}  // namespace exo::shell
