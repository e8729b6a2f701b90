// The refresh of the company's copy of the ledger's directory of third parties: the three files
// are staged beside the copy, checked, and only then moved over it.
#include <chrono>
#include <system_error>
#include <thread>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "import/ThirdPartyCheck.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::import {
namespace {

namespace fs = std::filesystem;
using shell::MessageKind;

constexpr const char* kAttention = "Atenci\363n.....";
constexpr const char* kFinished = "Proceso terminado.";
constexpr auto kPauseAfterCopy = std::chrono::milliseconds(100);

struct CopyPair {
  const char* from;
  const char* to;
};
constexpr CopyPair kCopies[] = {
    {store::kLedgerDirectory, store::kDirectoryCopy},
    {store::kLedgerDirectoryMemo, store::kDirectoryCopyMemo},
    {store::kLedgerDirectoryIndex, store::kDirectoryCopyIndex},
};

// A folder beside the working copy where the new files are written; removed with what is left
// in it when the refresh ends, however it ends.
class Staging {
 public:
  explicit Staging(const fs::path& companyFolder)
      : m_path(companyFolder / (std::string(store::kDirectoryCopy) + ".nuevo")) {
    std::error_code ec;
    fs::remove_all(m_path, ec);
    fs::create_directory(m_path, ec);
    m_made = !ec;
  }
  ~Staging() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;
  bool made() const { return m_made; }
  fs::path file(const char* name) const { return m_path / name; }

 private:
  fs::path m_path;
  bool m_made = false;
};

// Runs a step of the file layer; its failure goes to the error handler, which may ask to retry
// (true once the step succeeds) or let the refresh stop (false). Abandoning throws.
template <typename F>
bool throughHandler(Interp& ip, F&& step) {
  for (;;) {
    try {
      step();
      return true;
    } catch (const FailureError& error) {
      Failure f = error.failure();
      f.canRetry = true;
      f.canDefault = true;
      bool retry = false;
      ip.raise(std::move(f), &retry);
      if (!retry) return false;
    }
  }
}

// A damaged source never replaces a sound copy.
void checkStaged(const Staging& staging) {
  checkDirectoryFiles(staging.file(store::kDirectoryCopy).string(),
                      staging.file(store::kDirectoryCopyMemo).string(),
                      staging.file(store::kDirectoryCopyIndex).string());
}

void notCopied(const shell::Session& session, const std::string& why) {
  session.ui().message(MessageKind::Stop, kAttention,
                       why + "\r\nLa copia anterior del directorio de terceros no se modific\363.");
}

}  // namespace

void checkDirectoryFiles(const std::string& table, const std::string& memo,
                         const std::string& index) {
  store::Dbf directory = store::Dbf::open(table, {false, true, 0});
  bool hasMemo = false;
  for (const store::Field& f : directory.fields()) hasMemo = hasMemo || f.type == 'M';
  if (hasMemo && directory.memoFile() == nullptr) {
    Failure f;
    f.genCode = GenCode::Open;
    f.subsystem = "DBFCDX";
    f.subCode = 1000 + static_cast<int>(GenCode::Open);
    f.description = "Falta el archivo de memos del directorio de terceros";
    f.fileName = memo;
    throw FailureError(std::move(f));
  }
  directory.close();
  store::Cdx::open(index, {false, true, 0}).close();
}

bool IMPORTASOLOTERC(shell::Session& session, store::Engine& engine) {
  Interp& ip = engine.interp();
  shell::UserInterface& ui = session.ui();
  ui.status(0, "");
  ui.meterBegin("", std::size(kCopies), false);
  struct MeterEnd {
    shell::UserInterface& ui;
    ~MeterEnd() { ui.meterEnd(); }
  } meterEnd{ui};

  const fs::path ledger = session.native("\\" + std::string(trimBlanks(session.celPath())));
  const fs::path work = session.companyFolder();
  std::vector<fs::path> sources;
  for (const CopyPair& c : kCopies) {
    const auto found = shell::findEntry(ledger, c.from);
    if (!found) {
      notCopied(session, std::string("No se encontr\363 el archivo ") + c.from + " en la carpeta " +
                             std::string(trimBlanks(session.celPath())) +
                             " del programa Norvasta.");
      return false;
    }
    sources.push_back(*found);
  }
  Staging staging(work);
  if (!staging.made()) {
    notCopied(session, "No se pudo escribir en la carpeta de la empresa " +
                           std::string(trimBlanks(session.celPath())) + ".");
    return false;
  }
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const std::string to = staging.file(kCopies[i].to).string();
    if (!throughHandler(ip, [&] { store::Engine::copyFile(sources[i].string(), to); })) {
      notCopied(session, std::string("No se pudo copiar el archivo ") + kCopies[i].from + ".");
      return false;
    }
    ui.meterAdvance(static_cast<std::int64_t>(i) + 1);
    ui.pumpEvents();
    std::this_thread::sleep_for(kPauseAfterCopy);
  }
  if (!throughHandler(ip, [&] { checkStaged(staging); })) {
    notCopied(session, "El directorio de terceros del programa Norvasta est\341 da\361ado.");
    return false;
  }
  // Renames inside one folder: they fail only when the folder itself refuses changes.
  for (std::size_t i = 0; i < std::size(kCopies); ++i) {
    std::error_code ec;
    fs::rename(staging.file(kCopies[i].to), shell::entryPath(work, kCopies[i].to), ec);
    if (ec && i == 0) {
      notCopied(session, std::string("No se pudo reemplazar el archivo ") + kCopies[i].to + ".");
      return false;
    }
    if (ec) {
      ui.message(MessageKind::Stop, kAttention,
                 std::string("No se pudo reemplazar el archivo ") + kCopies[i].to +
                     ".\r\nLa copia del directorio de terceros qued\363 incompleta: repita la "
                     "importaci\363n.");
      return false;
    }
  }
  ui.status(0, kFinished);
  return true;
}

}  // namespace exo::import
