// The generation driver: file names, the XML header, the overwrite questions and the run of one
// format's builder and report definitions.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "consolidation/BasesSupport.h"
#include "consolidation/Readiness.h"
#include "expr/Interp.h"
#include "expr/Memvars.h"
#include "expr/TPublic.h"
#include "expr/Text.h"
#include "generation/Builders.h"
#include "generation/Generation.h"
#include "import/ImportRun.h"
#include "reports/Runner.h"
#include "shell/OpenFile.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

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

// The leading number of a text (blanks skipped; digits only), as VAL() reads a sending number.
long long leadingNumber(std::string_view text) {
  text = trimLeft(text);
  long long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    if (n > 99999999LL) break;
    n = n * 10 + (c - '0');
  }
  return n;
}

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
// stopped half-way leaves its working table open), so that the scratch file can be erased.
struct CloseAlias {
  Engine& engine;
  const char* alias;
  ~CloseAlias() {
    const int area = engine.areaOf(alias);
    if (area != 0 && engine.isUsed(area)) engine.close(engine.interp(), area);
  }
};

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

std::string xmlFileName(const Header& h) {
  char number[16];
  std::snprintf(number, sizeof number, "%08lld", leadingNumber(h.numEnv));
  const std::string_view cpt = trimLeft(h.codCpt);
  return "Dmuisca_0" + std::string(cpt.empty() ? " " : cpt.substr(0, 1)) + "0" + h.format + "0" +
         h.versi + h.ano + number + ".xml";
}

Header defaultHeader(int formatNumber, std::string_view version, std::string_view consecut,
                     std::string_view now) {
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
  h.fecIni = h.ano + "-01-01";
  h.fecFin = h.ano + "-12-31";
  return h;
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
  Header h = defaultHeader(formatNumber, version, session.consecut(), now);
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
  consolidation::ScratchFiles scratch(folder);
  import::OpenAreas areas(engine);
  const BuildResult built = buildRecords(session, engine, areas, scratch, formatNumber);
  if (!built.built) return result;
  result.missingBases = built.missingBases;
  if (built.missingBases) {
    session.ui().message(shell::MessageKind::Info, kAttention,
                         "Hay errores en Valor del pago o abono sujeto a retenci\363n.\r\n\r\n" +
                             mustHaveBases(formatNumber));
  }
  openDirectory(session, engine, areas);
  const int tracon = built.area;
  const char* amount = mainAmount(formatNumber);
  engine.forEach(tracon, [&] {
    ++result.records;
    result.total += engine.number(tracon, amount);
    return true;
  });
  engine.goTop(ip, tracon);

  import::FailureWatch watch(ip);
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
    result.xmlFile = shell::entryPath(outputFolder(session), xmlFileName(headerOf(session)));
    // The definition builds its working table of the file's records under this name; it is a
    // scratch file of the run, erased with the others however the run ends.
    const std::string table = scratch.add(kXmlWorkTable);
    if (impre.isDef("cTabla")) impre.set("cTabla", Value::text(table));
    else impre.add("cTabla", Value::text(table));
    engine.select(tracon);
    engine.goTop(ip, tracon);
    std::error_code timeEc;
    const auto before = fs::last_write_time(result.xmlFile, timeEc);
    const bool existed = !timeEc;
    {
      CloseAlias closeWorkTable{engine, kXmlWorkAlias};
      runner.EJECUTAR(xmlDefinition(formatNumber));
    }
    if (watch.failed()) return result;
    const auto after = fs::last_write_time(result.xmlFile, timeEc);
    result.xmlWritten = !timeEc && (!existed || after != before);
    if (!result.xmlWritten) {
      session.ui().message(shell::MessageKind::Error, kAttention,
                           "La definici\363n " + xmlDefinition(formatNumber) +
                               " no escribi\363 el archivo " + result.xmlFile.string() + ".");
      return result;
    }
    result.findings =
        checkXmlFile(result.xmlFile, formatNumber, ruleTablesFromFolder(session.folders().program));
    if (!result.findings.empty())
      session.ui().message(shell::MessageKind::Alert, kAttention,
                           findingsText(result.xmlFile, result.findings));
  }
  result.done = true;
  return result;
}

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
  GenerationResult result =
      kBuilders[formatNumber - 1](session, engine, runner, conceptCode, excel, xml, editHeader);
  if (engine.isUsed(selected) || selected == 0) engine.select(selected);
  return result;
}

}  // namespace exo::generation
