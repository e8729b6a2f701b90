// The refresh of the company's copy of the ledger's directory of third parties: the three files
// are staged beside the copy, checked, and only then put in place together.
#include <chrono>
#include <optional>
#include <system_error>
#include <thread>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "import/ThirdPartyCheck.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/File.h"

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

// A damaged source never replaces a sound copy.
void checkStaged(const std::vector<std::string>& staged) {
  checkDirectoryFiles(staged[0], staged[1], staged[2]);
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
  // The three files are staged beside the copy under temporary names, checked, and then put
  // in place together: a run stopped at any point leaves the old copy or the new one.
  std::optional<shell::StagedFiles> staged;
  std::vector<std::string> targets;
  try {
    staged.emplace(work);
    // An existing copy is replaced under its own name, whatever the letter case it has.
    for (std::size_t i = 0; i < std::size(kCopies); ++i)
      targets.push_back(staged->stage(shell::entryPath(work, kCopies[i].to).filename().string(),
                                      i + 1 == std::size(kCopies)));
  } catch (const FailureError&) {
    notCopied(session, "No se pudo escribir en la carpeta de la empresa " +
                           std::string(trimBlanks(session.celPath())) + ".");
    return false;
  }
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (!shell::throughHandler(ip,
                               [&] { store::Engine::copyFile(sources[i].string(), targets[i]); })) {
      notCopied(session, std::string("No se pudo copiar el archivo ") + kCopies[i].from + ".");
      return false;
    }
    ui.meterAdvance(static_cast<std::int64_t>(i) + 1);
    ui.pumpEvents();
    std::this_thread::sleep_for(kPauseAfterCopy);
  }
  if (!shell::throughHandler(ip, [&] { checkStaged(targets); })) {
    notCopied(session, "El directorio de terceros del programa Norvasta est\341 da\361ado.");
    return false;
  }
  if (!shell::throughHandler(ip, [&] { staged->commit(); })) {
    notCopied(session, "No se pudo reemplazar la copia del directorio de terceros.");
    return false;
  }
  ui.status(0, kFinished);
  return true;
}

}  // namespace exo::import
