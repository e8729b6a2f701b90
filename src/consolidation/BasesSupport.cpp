// The texts, the readiness check of a format's movement table and the scratch files shared by
// the withholding bases and the manual-data tables.
#include "consolidation/BasesSupport.h"

#include "consolidation/Readiness.h"

#include <system_error>

#include "expr/Text.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/FileLock.h"

namespace exo::consolidation {

namespace fs = std::filesystem;

bool formatTableReady(shell::Session& session, int formatNumber) {
  return CHEQUEATODO(session, formatNumber);
}

bool confirm(shell::Session& session, std::string_view title, std::string_view text) {
  const std::vector<std::string> buttons = {std::string(kNo), std::string(kYes)};
  return session.ui().ask(title, text, buttons, 0) == 1;
}

bool holdUserTable(shell::Session& session, const fs::path& table, store::FileHold& hold) {
  const std::string name = table.filename().string();
  try {
    if (hold.take(table.string(), false) != store::FileHold::Status::InUse) return true;
  } catch (const FailureError& e) {
    session.ui().message(shell::MessageKind::Stop, kAttention,
                         errorMessage(e.failure()) + "\r\nNo se cambi\363 nada.");
    return false;
  }
  session.ui().message(shell::MessageKind::Stop, kAttention,
                       "La tabla " + name +
                           " est\341 en uso por otro programa.\r\n"
                           "Ci\351rrela all\355 e intente de nuevo; no se cambi\363 nada.");
  return false;
}

ScratchFiles::~ScratchFiles() {
  for (const fs::path& p : m_files) {
    std::error_code ec;
    fs::remove(p, ec);
  }
}

std::string ScratchFiles::add(std::string_view name) {
  if (const auto old = shell::findEntry(m_folder, name)) {
    std::error_code ec;
    fs::remove(*old, ec);
  }
  m_files.push_back(m_folder / std::string(name));
  return m_files.back().string();
}

std::string directoryCodeOrder(store::Engine& engine, int area) {
  const auto orders = engine.orders(area);
  for (const auto& o : orders)
    if (upper1252(trimBlanks(o.key)) == "CLAVE") return o.tag;
  return orders.empty() ? std::string() : orders.front().tag;
}

}  // namespace exo::consolidation
