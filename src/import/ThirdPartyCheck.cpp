// The check of the ledger's directory of third parties and the display of its error rows.
#include "import/ThirdPartyCheck.h"

#include <array>
#include <optional>
#include <vector>

#include "expr/Text.h"
#include "masterdata/ThirdParty.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::import {
namespace {

namespace fs = std::filesystem;
using shell::MessageKind;

constexpr const char* kAttention = "Atenci\363n.....";
constexpr const char* kValidating = "Validando Estrutura de Fichas de Terceros.....";
constexpr const char* kAllCorrect = "Fichas de Terceros correctamente definidas";
constexpr const char* kFinished = "Proceso terminado.....";
constexpr const char* kErrorsAlias = "ERRORES";
constexpr const char* kLedgerAlias = "DIRORIGEN";
constexpr std::int64_t kRepaintEvery = 20;

// Closes the areas a routine opened and selects the area that was selected before, however the
// routine ends.
class AreaScope {
 public:
  explicit AreaScope(store::Engine& e) : m_engine(e), m_selected(e.selected()) {}
  ~AreaScope() {
    for (int area : m_opened) {
      try {
        if (m_engine.isUsed(area)) m_engine.close(m_engine.interp(), area);
      } catch (...) {  // a failure while unwinding has already been reported
      }
    }
    m_engine.select(m_selected);
  }
  AreaScope(const AreaScope&) = delete;
  AreaScope& operator=(const AreaScope&) = delete;
  int keep(int area) {
    if (area != 0) m_opened.push_back(area);
    return area;
  }

 private:
  store::Engine& m_engine;
  int m_selected;
  std::vector<int> m_opened;
};

// The ledger's company folder: CELPATH on the root of the drive.
fs::path ledgerFolder(const shell::Session& session) {
  return session.native("\\" + std::string(trimBlanks(session.celPath())));
}

// The order of the index whose key is the third party's code, else the first one.
std::string codeOrder(store::Engine& engine, int area) {
  const auto orders = engine.orders(area);
  for (const auto& o : orders)
    if (upper1252(trimBlanks(o.key)) == "CLAVE") return o.tag;
  return orders.empty() ? std::string() : orders.front().tag;
}

// The document of an error row: the identification without check digit, then "-" and the
// digit when one is written. A NIT written without a hyphen has no identification without digit
// (the record leaves it blank), so its row shows no document; the code still names the record.
std::string documentOf(const masterdata::ThirdPartyRecord& r) {
  std::string nit(trimBlanks(r.nit2));
  if (nit.empty()) return nit;
  return r.digVerf.empty() ? nit : nit + "-" + r.digVerf;
}

// The name of an error row: the business name, or the name parts present joined by single
// blanks. A natural person whose parts were blanked by the name-structure rule has neither.
std::string nameOf(const masterdata::ThirdPartyRecord& r) {
  std::string name(trimBlanks(r.razonSoc));
  if (!name.empty()) return name;
  for (const std::string* part : {&r.priApell, &r.segApell, &r.priNomb, &r.segNomb}) {
    const std::string_view p = trimBlanks(*part);
    if (p.empty()) continue;
    if (!name.empty()) name += ' ';
    name += p;
  }
  return name;
}

void appendError(store::Engine& engine, int area, const masterdata::TValidTercero& t) {
  const masterdata::ThirdPartyRecord& r = t.record();
  engine.appendBlank(area);
  engine.put(area, "CODIGO", Value::text(trimBlanks(r.ctaDir)));
  engine.put(area, "DOCUMENTO", Value::text(documentOf(r)));
  engine.put(area, "NOMBRE", Value::text(nameOf(r)));
  engine.put(area, "ERROR", Value::text(r.cError));
  engine.unlock(engine.interp(), area);
}

// The ledger's directory and its index, or a message naming what is missing.
std::optional<std::pair<fs::path, fs::path>> ledgerDirectory(const shell::Session& session) {
  const fs::path folder = ledgerFolder(session);
  const auto table = shell::findEntry(folder, store::kLedgerDirectory);
  const auto index = shell::findEntry(folder, store::kLedgerDirectoryIndex);
  if (table && index) return std::make_pair(*table, *index);
  session.ui().message(MessageKind::Stop, kAttention,
                       std::string("No se encontr\363 el archivo ") +
                           (table ? store::kLedgerDirectoryIndex : store::kLedgerDirectory) +
                           " del directorio de terceros en la carpeta " +
                           std::string(trimBlanks(session.celPath())) + " del programa Norvasta.");
  return std::nullopt;
}

}  // namespace

fs::path errorTablePath(const shell::Session& session) {
  return session.companyFile(store::kDirectoryErrors);
}

ValidationResult VALIDAFICHTERC(shell::Session& session, store::Engine& engine) {
  shell::UserInterface& ui = session.ui();
  ValidationResult result;
  const auto ledger = ledgerDirectory(session);
  if (!ledger) return result;

  AreaScope areas(engine);
  // An error list still open over the previous table is closed before the table is recreated.
  if (const int old = engine.areaOf(kErrorsAlias)) engine.close(engine.interp(), old);
  const fs::path folder = session.companyFolder();
  store::createCompanyTable(engine, folder.string(), store::kDirectoryErrors);
  const int errors = areas.keep(engine.open(errorTablePath(session).string(), kErrorsAlias));
  if (errors == 0) return result;
  const int directory = areas.keep(engine.open(ledger->first.string(), kLedgerAlias, true, true));
  if (directory == 0) return result;
  engine.addIndex(directory, ledger->second.filename().string());
  engine.setOrder(directory, codeOrder(engine, directory));

  ui.status(0, kValidating);
  ui.meterBegin(kValidating, engine.recCount(directory), true);
  masterdata::DirectoryReader reader(engine.interp());
  // In code order, worked out from the records: a record whose key the ledger's index lacks
  // is validated all the same.
  for (const std::uint32_t recno : engine.recordsInKeyOrder(directory)) {
    engine.goTo(engine.interp(), directory, recno);
    const masterdata::TValidTercero t = masterdata::TValidTercero::New(reader.read(directory));
    if (t.record().lError) {
      appendError(engine, errors, t);
      ++result.errors;
    }
    ui.meterAdvance(++result.records);
    if (result.records % kRepaintEvery == 0) ui.pumpEvents();
  }
  engine.close(engine.interp(), directory);
  if (result.errors == 0) ui.message(MessageKind::Info, kAttention, kAllCorrect);
  engine.close(engine.interp(), errors);
  ui.meterEnd();
  ui.status(0, kFinished);
  result.done = true;
  return result;
}

std::string SETTXTERR(std::string_view error) {
  const std::string_view text = trimBlanks(error);
  std::array<std::string_view, 6> pieces{};
  std::size_t start = 0;
  for (std::size_t i = 0; i < pieces.size() && start <= text.size(); ++i) {
    const std::size_t semicolon = i + 1 < pieces.size() ? text.find(';', start) : text.npos;
    const std::size_t end = semicolon == text.npos ? text.size() : semicolon;
    pieces[i] = trimBlanks(text.substr(start, end - start));
    start = semicolon == text.npos ? text.size() + 1 : semicolon + 1;
  }
  std::string out(pieces[0]);
  bool previousNotEmpty = !out.empty();
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    std::string piece = previousNotEmpty ? "\r\n" : "";
    piece += pieces[i];
    previousNotEmpty = !piece.empty();
    out += piece;
  }
  return out;
}

}  // namespace exo::import
