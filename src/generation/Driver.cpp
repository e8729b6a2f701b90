// The generation driver: file names, the XML header, the overwrite questions and the run of one
// format's builder and report definitions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <set>

#include "consolidation/BasesSupport.h"
#include "consolidation/IntegrationState.h"
#include "consolidation/Readiness.h"
#include "expr/Codepage.h"
#include "expr/Interp.h"
#include "expr/Memvars.h"
#include "expr/TPublic.h"
#include "expr/Text.h"
#include "generation/Builders.h"
#include "generation/Generation.h"
#include "generation/XmlWriter.h"
#include "masterdata/ThirdParty.h"
#include "reports/Runner.h"
#include "shell/OpenFile.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/Publication.h"

namespace exo::generation {

namespace fs = std::filesystem;
using shell::Session;
using store::Engine;

namespace {

// The key of OCABEZ for each header value.
struct HeaderKey {
  const char* key;
  std::string Header::*field;
};
constexpr HeaderKey kHeaderKeys[] = {
    {"ano", &Header::ano},       {"CodCpt", &Header::codCpt}, {"Format", &Header::format},
    {"Versi", &Header::versi},   {"NumEnv", &Header::numEnv}, {"FecEnv", &Header::fecEnv},
    {"FecIni", &Header::fecIni}, {"FecFin", &Header::fecFin},
};

// The amount a format totals: the value the XML header adds up.
const char* mainAmount(int formatNumber) {
  return formatNumber == 10 || formatNumber == 12 ? "VAL" : "MONTO";
}

std::string mustHaveBases(int formatNumber) {
  return formatNumber == 2 ? "Regularice Base en Retenciones practicadas."
                           : "Regularice Base en Retenciones que le practicaron.";
}

std::string manualDataMissing(const std::string& code) {
  return "Debe regularizar datos.\r\n\r\nPor favor pulse el bot\363n \" Incluir/Modificar Datos "
         "Formato " +
         code + " \",\r\ne intente nuevamente.\r\n\r\n";
}

// The working table of an XML definition and its alias.
constexpr const char* kXmlWorkTable = "TmpXml.dbf";
constexpr const char* kXmlWorkAlias = "TMPXML";

// Closes the area of `alias` when it is still open on leaving the scope (a definition that
// stopped half-way leaves its working table open), so that the scratch file can be erased. A
// failure to write the table as it closes (a full disk) went through the error handler, which
// marks the run as failed; it never leaves the destructor.
struct CloseAlias {
  Engine& engine;
  const char* alias;
  ~CloseAlias() {
    const int area = engine.areaOf(alias);
    try {
      if (area != 0 && engine.isUsed(area)) engine.close(engine.interp(), area);
    } catch (const FailureError&) {
    }
  }
};

// "code name - concepto cccc" for each third party and concept without its retention base, once
// each, the names from the directory open as "Direc".
std::vector<std::string> partiesWithoutBase(Session& session, Engine& engine,
                                            const std::vector<MissingBase>& missing) {
  std::vector<std::string> lines;
  std::set<std::pair<std::string, std::string>> seen;
  // The names are sought in the directory's code order, which its index file gives.
  const bool directory =
      engine.areaOf(kDirectoryAlias) != 0 &&
      shell::findEntry(session.companyFolder(), store::kDirectoryCopyIndex).has_value();
  for (const MissingBase& m : missing) {
    if (!seen.insert({m.party, m.conceptCode}).second) continue;
    const std::string name =
        directory ? std::string(trimBlanks(shell::BUSNOMDI(engine.interp(), m.party)))
                  : std::string();
    lines.push_back(std::string(trimBlanks(std::string(trimBlanks(m.party)) + " " + name)) +
                    " - concepto " + m.conceptCode);
  }
  return lines;
}

std::string withoutBaseLines(const std::vector<std::string>& lines) {
  if (lines.empty()) return {};
  constexpr std::size_t kMaxLines = 30;
  std::string text = "\r\n\r\nSin base de retenci\363n:";
  for (std::size_t i = 0; i < lines.size() && i < kMaxLines; ++i) text += "\r\n" + lines[i];
  if (lines.size() > kMaxLines)
    text += "\r\n... y " + std::to_string(lines.size() - kMaxLines) + " m\341s.";
  return text;
}

bool askOverwrite(Session& session, std::string_view text) {
  return session.ui().ask(kAttention, text, {"&Continuar", "Ca&ncelar"}, 0) == 0;
}

}  // namespace

std::string twoDigits(int formatNumber) { return shell::twoDigits(formatNumber); }

std::string companyCode(std::string_view celPath) { return shell::companyFolderName(celPath); }

fs::path outputFolder(const Session& session) {
  std::string output(trimBlanks(session.dirSalida()));
  while (!output.empty() && output.back() == '\\') output.pop_back();
  if (output.empty()) output = store::kOutputFolder;
  return shell::entryPath(session.companyFolder(), output);
}

fs::path workbookPath(const Session& session, int formatNumber) {
  return shell::entryPath(outputFolder(session), companyCode(session.celPath()) + "-MMgmExc" +
                                                     twoDigits(formatNumber) + ".xlsx");
}

std::string excelDefinition(int formatNumber) { return "MMG" + twoDigits(formatNumber) + "EC.RPO"; }
std::string xmlDefinition(int formatNumber) { return "MMG" + twoDigits(formatNumber) + "XC.RPO"; }

// The name the XML writer gives the file it writes from this header: the driver checks and
// reports the file under that very name, whatever was typed as the sending number.
std::string xmlFileName(const Header& h) {
  XmlHeader x{
      h.ano,   std::string(trimLeft(h.codCpt)), h.format, h.versi, h.numEnv, h.fecEnv, h.fecIni,
      h.fecFin};
  return xmlFileName(x, std::atoi(h.format.c_str()) - 1000);
}

Header defaultHeader(int formatNumber, std::string_view version, std::string_view consecut,
                     std::string_view now, std::string_view taxYear) {
  Header h;
  const std::string clock = padRight(now, 14, '0');
  h.ano = clock.substr(0, 4);
  h.codCpt = std::string(kInsertion);
  h.format = store::formatCode(formatNumber);
  // VERSION read as a number and written with no decimals ("08" gives "8").
  h.versi = std::to_string(std::llround(std::strtod(std::string(version).c_str(), nullptr)));
  h.numEnv = std::string(consecut);
  h.fecEnv = clock.substr(0, 4) + "-" + clock.substr(4, 2) + "-" + clock.substr(6, 2) + "T" +
             clock.substr(8, 2) + ":" + clock.substr(10, 2) + ":" + clock.substr(12, 2);
  // The period reported is the company-year's tax year, never the year of sending.
  const std::string_view year = trimBlanks(taxYear);
  const bool isYear = year.size() == 4 && std::all_of(year.begin(), year.end(),
                                                      [](char c) { return c >= '0' && c <= '9'; });
  const std::string period = isYear ? std::string(year) : h.ano;
  h.fecIni = period + "-01-01";
  h.fecFin = period + "-12-31";
  return h;
}

void keepPeriodInOneYear(std::string& edited, std::string& other) {
  const auto yearOf = [](const std::string& date) -> std::string {
    if (date.size() < 4) return {};
    for (std::size_t i = 0; i < 4; ++i)
      if (date[i] < '0' || date[i] > '9') return {};
    return date.substr(0, 4);
  };
  const std::string year = yearOf(edited);
  if (year.empty() || yearOf(other).empty() || yearOf(other) == year) return;
  other = year + other.substr(4);
}

std::string formatVersion(Session& session, Engine& engine, int formatNumber) {
  (void)session;
  const int formats = engine.areaOf("Formatos2");
  if (formats == 0) return {};
  const std::string code = store::formatCode(formatNumber);
  std::string version;
  engine.setOrder(formats, "");
  engine.forEach(formats, [&] {
    if (trimBlanks(engine.text(formats, "FORMATO")) != code) return true;
    version = std::string(trimBlanks(engine.text(formats, "VERSION")));
    return false;
  });
  return version;
}

Header headerOf(const Session& session) {
  Header h;
  TPublic& cab = session.cabez();
  for (const HeaderKey& k : kHeaderKeys) {
    if (!cab.isDef(k.key)) continue;
    const Value v = cab.get(k.key);
    h.*k.field = v.isText() ? std::string(v.textView()) : std::string();
  }
  return h;
}

void storeHeader(Session& session, const Header& h) {
  TPublic& cab = session.cabez();
  for (const HeaderKey& k : kHeaderKeys) {
    if (cab.isDef(k.key)) cab.set(k.key, Value::text(h.*k.field));
    else cab.add(k.key, Value::text(h.*k.field));
  }
}

bool PONECABEZA(Session& session, Engine& engine, int formatNumber, const HeaderEditor& edit) {
  const std::string version = formatVersion(session, engine, formatNumber);
  engine.interp().memvars().assign("CVERSION", Value::text(version));
  char now[32];
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  std::strftime(now, sizeof now, "%Y%m%d%H%M%S", &local);
  Header h = defaultHeader(formatNumber, version, session.consecut(), now, session.anioIni());
  storeHeader(session, h);
  const bool accepted = edit ? edit(h) : true;
  storeHeader(session, h);
  return accepted;
}

bool HAYELARCHXLS(Session& session, const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return false;
  const std::string text =
      "El archivo  " + std::string(trimBlanks(file.string())) +
      "  ya existe.\r\n\r\nSi lo genera nuevamente borrar\341 los datos contenidos en el "
      "existente.\r\n\r\nSeguro desea continuar ?";
  return !askOverwrite(session, text);
}

bool CARGAARCHEXCEL(Session& session, int formatNumber) {
  const fs::path file = workbookPath(session, formatNumber);
  std::error_code ec;
  if (fs::exists(file, ec)) return shell::openOrExplain(session.ui(), file);
  session.ui().message(shell::MessageKind::Info, kAttention,
                       "El archivo  " + file.string() +
                           "  no ha sido creado.\r\n\r\nGenere el archivo correspondiente "
                           "pulsando el bot\363n \"Generar archivo Excel\" e intente\r\n "
                           "nuevamente esta opci\363n.");
  return false;
}

std::string splitFilesText(int formatNumber, const std::vector<XmlFileOutcome>& files) {
  std::int64_t records = 0;
  for (const XmlFileOutcome& f : files) records += f.part.records;
  std::string text = "El formato " + store::formatCode(formatNumber) + " tiene " +
                     std::to_string(records) + " registros; DIAN recibe a lo sumo " +
                     std::to_string(kMaxRecordsPerFile) + " por archivo. Se escribieron " +
                     std::to_string(files.size()) +
                     " archivos, cada uno con su n\372mero de env\355o:\r\n";
  for (const XmlFileOutcome& f : files) {
    char total[64];
    std::snprintf(total, sizeof total, "%.0f", f.part.total);
    text += "\r\n" + f.part.file.filename().string() + "  env\355o " + f.part.numEnv + ": " +
            std::to_string(f.part.records) + " registros, valor total " + total;
  }
  text += "\r\n\r\nPresente todos los archivos.";
  return text;
}

std::string findingsText(const fs::path& file, const std::vector<XmlFinding>& findings,
                         std::size_t maxLines) {
  std::string text = "El archivo " + file.filename().string() + " qued\363 escrito con " +
                     std::to_string(findings.size()) +
                     (findings.size() == 1 ? " observaci\363n" : " observaciones") +
                     " de las reglas de su formato:\r\n";
  for (std::size_t i = 0; i < findings.size() && i < maxLines; ++i)
    text += "\r\n" + describe(findings[i]);
  if (findings.size() > maxLines)
    text += "\r\n... y " + std::to_string(findings.size() - maxLines) + " m\341s.";
  text += "\r\n\r\nCorrija los datos y genere el archivo nuevamente antes de presentarlo.";
  return text;
}

// The frame every format's builder follows.
GenerationResult runFormat(Session& session, Engine& engine, reports::Runner& runner,
                           int formatNumber, bool excel, bool xml, const HeaderEditor& editHeader) {
  GenerationResult result;
  Interp& ip = engine.interp();
  const std::string code = store::formatCode(formatNumber);
  const fs::path folder = session.companyFolder();
  result.workbook = workbookPath(session, formatNumber);

  if (formatNumber == 2 || formatNumber == 3) {
    if (!shell::findEntry(folder, store::baseTableFile(code))) {
      session.ui().message(shell::MessageKind::Stop, kAttention,
                           "Debe regularizar Base en Retenciones");
      return result;
    }
  } else if (formatNumber == 4 || formatNumber >= 10) {
    if (!shell::findEntry(folder, store::baseTableFile(code))) {
      session.ui().message(shell::MessageKind::Stop, kAttention, manualDataMissing(code));
      return result;
    }
  }
  std::error_code ec;
  if (excel && fs::exists(result.workbook, ec)) {
    if (formatNumber <= 9) {
      if (HAYELARCHXLS(session, result.workbook)) return result;
    } else if (!askOverwrite(session,
                             "El archivo Excel a generar ya existe.\r\n\r\nSi lo genera "
                             "nuevamente borrar\341 los datos contenidos en el existente.\r\n\r\n"
                             "Seguro desea continuar ?")) {
      return result;
    }
  }
  TPublic& impre = session.impre();
  const auto setFormat = [&] {
    if (impre.isDef("nFormat")) impre.set("nFormat", Value::number(formatNumber));
    else impre.add("nFormat", Value::number(formatNumber));
  };
  setFormat();
  if (xml && !PONECABEZA(session, engine, formatNumber, editHeader)) return result;

  // The output folder is made when missing, so that the definitions can write into it.
  fs::create_directories(outputFolder(session), ec);
  consolidation::ScratchFiles scratch(session.scratchFolder());
  shell::OpenAreas areas(engine);
  const BuildResult built = buildRecords(session, engine, areas, scratch, formatNumber);
  if (!built.built) return result;
  result.missingBases = built.missingBases;
  openDirectory(session, engine, areas);
  if (built.missingBases) {
    result.withoutBase = partiesWithoutBase(session, engine, built.withoutBase);
    session.ui().message(shell::MessageKind::Info, kAttention,
                         "Hay errores en Valor del pago o abono sujeto a retenci\363n.\r\n\r\n" +
                             mustHaveBases(formatNumber) + withoutBaseLines(result.withoutBase));
  }
  const int tracon = built.area;
  const char* amount = mainAmount(formatNumber);
  // The third party of each record, in the order the definitions write them, so that the
  // check of the files names each record's third party by its code.
  XmlParties parties;
  const int formField = engine.fieldIndex(tracon, "FORM");
  const int partyField = engine.fieldIndex(tracon, "CTA_DIR");
  engine.forEach(tracon, [&] {
    ++result.records;
    result.total += engine.number(tracon, amount);
    const bool minor = formField >= 0 && trimBlanks(engine.text(tracon, "FORM")) == kMinorForm;
    parties.codes.push_back(minor || partyField < 0
                                ? std::string()
                                : std::string(trimBlanks(engine.text(tracon, "CTA_DIR"))));
    return true;
  });
  engine.goTop(ip, tracon);

  shell::FailureWatch watch(ip);
  // The workbook and the XML file read the same third parties from the directory, open read
  // only for the run: each record is built once.
  masterdata::ThirdPartyMemoScope thirdParties(ip);
  setFormat();
  if (excel) {
    if (impre.isDef("cLibro")) impre.set("cLibro", Value::text(result.workbook.string()));
    else impre.add("cLibro", Value::text(result.workbook.string()));
    engine.select(tracon);
    engine.goTop(ip, tracon);
    runner.EJECUTAR(excelDefinition(formatNumber));
    if (watch.failed()) return result;
  }
  if (xml) {
    const Header asked = headerOf(session);
    result.xmlFile = shell::entryPath(outputFolder(session), xmlFileName(asked));
    // The definition builds its working table of the file's records under this name; it is a
    // scratch file of the run, erased with the others however the run ends.
    const std::string table = scratch.add(kXmlWorkTable);
    if (impre.isDef("cTabla")) impre.set("cTabla", Value::text(table));
    else impre.add("cTabla", Value::text(table));
    engine.select(tracon);
    engine.goTop(ip, tracon);
    std::error_code timeEc;
    const auto before = fs::last_write_time(store::publishedPlace(result.xmlFile.string()), timeEc);
    const bool existed = !timeEc;
    forgetXmlFiles(ip);
    {
      CloseAlias closeWorkTable{engine, kXmlWorkAlias};
      runner.EJECUTAR(xmlDefinition(formatNumber));
    }
    if (watch.failed()) return result;
    std::vector<XmlFilePart> written = lastXmlFiles(ip);
    if (written.empty()) {
      // A definition that writes the file by other means than GENERAXML: the file of the name
      // the header gives, when it changed.
      const auto after =
          fs::last_write_time(store::publishedPlace(result.xmlFile.string()), timeEc);
      if (!timeEc && (!existed || after != before))
        written.push_back(
            {result.xmlFile, std::string(trimBlanks(asked.numEnv)), result.records, result.total});
    }
    result.xmlWritten = !written.empty();
    if (!result.xmlWritten) {
      session.ui().message(shell::MessageKind::Error, kAttention,
                           "La definici\363n " + xmlDefinition(formatNumber) +
                               " no escribi\363 el archivo " + result.xmlFile.string() + ".");
      return result;
    }
    result.xmlFile = written.front().file;
    const std::shared_ptr<const XmlRuleTables> kept = keptRuleTables(session.folders().program);
    const XmlRuleTables& rules = *kept;
    // The files of a format split in several are checked side by side (each check reads its
    // own file with the same tables); their findings are taken in the files' order.
    std::vector<std::size_t> offsets;
    std::size_t offset = 0;
    for (const XmlFilePart& part : written) {
      offsets.push_back(offset);
      offset += static_cast<std::size_t>(part.records);
    }
    // The files as written: their renames into the official names may still be held by this
    // thread's publication (the checks of the later files run on threads of their own).
    std::vector<fs::path> places;
    for (const XmlFilePart& part : written)
      places.emplace_back(store::publishedPlace(part.file.string()));
    const auto check = [&](std::size_t i) {
      XmlParties own{parties.codes, offsets[i]};
      return checkXmlFile(places[i], formatNumber, rules, own);
    };
    std::vector<std::future<std::vector<XmlFinding>>> others;
    for (std::size_t i = 1; i < written.size(); ++i)
      others.push_back(std::async(std::launch::async, check, i));
    std::vector<XmlFinding> firstChecked = check(0);
    for (std::size_t i = 0; i < written.size(); ++i) {
      const XmlFilePart& part = written[i];
      parties.offset = offsets[i];
      // First the values the writer had to change so that the file is well formed, then the
      // findings of the format's rules.
      XmlFileOutcome outcome{part, part.changed};
      for (XmlFinding& f : outcome.findings) {
        const std::size_t at = parties.offset + static_cast<std::size_t>(f.record - 1);
        if (f.record > 0 && at < parties.codes.size()) f.partyCode = parties.codes[at];
      }
      result.xmlAltered = result.xmlAltered || !part.changed.empty();
      for (XmlFinding& f : i == 0 ? firstChecked : others[i - 1].get())
        outcome.findings.push_back(std::move(f));
      result.findings.insert(result.findings.end(), outcome.findings.begin(),
                             outcome.findings.end());
      result.xmlFiles.push_back(std::move(outcome));
    }
    if (result.xmlFiles.size() > 1)
      session.ui().message(shell::MessageKind::Info, kAttention,
                           splitFilesText(formatNumber, result.xmlFiles));
    for (const XmlFileOutcome& f : result.xmlFiles)
      if (!f.findings.empty())
        session.ui().message(shell::MessageKind::Alert, kAttention,
                             findingsText(f.part.file, f.findings));
  }
  result.done = true;
  return result;
}

namespace {

// The files a run that a failure ended had written (the workbook when `workbook` is given, and
// every XML file put in place) are removed: nothing of a failed run stands under an official
// name, where it could be taken for the format's files. True when some file was removed.
bool removeRunFiles(const Interp& ip, const fs::path& workbook) {
  std::vector<fs::path> files;
  if (!workbook.empty()) files.push_back(workbook);
  for (const XmlFilePart& part : lastXmlFiles(ip)) files.push_back(part.file);
  bool removed = false;
  // While an earlier format of the run may still fail, the erasure waits with the renames.
  for (const fs::path& file : files) removed = store::unpublishFile(file.string()) || removed;
  return removed;
}

void abandonRun(Session& session, const Interp& ip, int formatNumber, const fs::path& workbook,
                GenerationResult& result) {
  const bool removed = removeRunFiles(ip, workbook);
  result.done = false;
  result.failed = true;
  result.xmlWritten = false;
  result.xmlFiles.clear();
  result.findings.clear();
  session.ui().message(
      shell::MessageKind::Stop, kAttention,
      "No se gener\363 el formato " + store::formatCode(formatNumber) +
          ": un error detuvo su generaci\363n." +
          (removed ? "\r\nSe borraron los archivos que alcanz\363 a escribir." : ""));
}

}  // namespace

#define EXO_BUILDER(N, NUMBER)                                                           \
  GenerationResult DORAZOF##N(Session& session, Engine& engine, reports::Runner& runner, \
                              std::string_view conceptCode, bool excel, bool xml,        \
                              const HeaderEditor& editHeader) {                          \
    (void)conceptCode;                                                                   \
    return runFormat(session, engine, runner, NUMBER, excel, xml, editHeader);           \
  }
EXO_BUILDER(1001, 1)
EXO_BUILDER(1002, 2)
EXO_BUILDER(1003, 3)
EXO_BUILDER(1004, 4)
EXO_BUILDER(1005, 5)
EXO_BUILDER(1006, 6)
EXO_BUILDER(1007, 7)
EXO_BUILDER(1008, 8)
EXO_BUILDER(1009, 9)
EXO_BUILDER(1010, 10)
EXO_BUILDER(1011, 11)
EXO_BUILDER(1012, 12)
#undef EXO_BUILDER

GenerationResult GENERADORAZO(Session& session, Engine& engine, reports::Runner& runner,
                              int formatNumber, std::string_view conceptCode, bool excel, bool xml,
                              const HeaderEditor& editHeader) {
  using Builder = GenerationResult (*)(Session&, Engine&, reports::Runner&, std::string_view, bool,
                                       bool, const HeaderEditor&);
  static constexpr Builder kBuilders[] = {DORAZOF1001, DORAZOF1002, DORAZOF1003, DORAZOF1004,
                                          DORAZOF1005, DORAZOF1006, DORAZOF1007, DORAZOF1008,
                                          DORAZOF1009, DORAZOF1010, DORAZOF1011, DORAZOF1012};
  if (formatNumber < 1 || formatNumber > 12) return {};
  const int selected = engine.selected();
  if (!consolidation::CHEQUEATODO(session, formatNumber)) return {};
  // Tables integrated before the latest change of assignments, movements or fixes: the return
  // would not say what the ledger says now.
  if (const auto changed = consolidation::changedSinceIntegration(session.companyFolder());
      !changed.empty()) {
    const std::vector<std::string> buttons = {std::string(consolidation::kYes),
                                              std::string(consolidation::kNo)};
    if (session.ui().ask(
            kAttention,
            consolidation::integrateAgainMessage(changed) + "\r\n\r\n\277Generar de todos modos?",
            buttons, 1) != 0) {
      return {};
    }
  }
  // A failure let go anywhere in the run, also after the files were written (a scratch table
  // that cannot be written when it is closed), ends the format's run as not generated.
  const fs::path workbook = workbookPath(session, formatNumber);
  std::error_code ec;
  const auto workbookBefore = fs::last_write_time(workbook, ec);
  const bool workbookExisted = !ec;
  const auto writtenWorkbook = [&] {
    std::error_code after;
    const auto time = fs::last_write_time(store::publishedPlace(workbook.string()), after);
    return excel && !after && (!workbookExisted || time != workbookBefore) ? workbook : fs::path();
  };
  forgetXmlFiles(engine.interp());
  shell::FailureWatch watch(engine.interp());
  GenerationResult result;
  try {
    result =
        kBuilders[formatNumber - 1](session, engine, runner, conceptCode, excel, xml, editHeader);
  } catch (const std::exception&) {
    // A failure that abandons the whole work: the files go with it. (A run stopped as if the
    // process had ended is not one: it leaves the disk as it is.)
    removeRunFiles(engine.interp(), writtenWorkbook());
    throw;
  }
  if (watch.failed()) abandonRun(session, engine.interp(), formatNumber, writtenWorkbook(), result);
  if (engine.isUsed(selected) || selected == 0) engine.select(selected);
  return result;
}

}  // namespace exo::generation
