// The frame of the return commands.
#include "app/cli/ReturnCommand.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "expr/Codepage.h"
#include "expr/Failure.h"
#include "expr/Text.h"
#include "generation/XmlWriter.h"
#include "masterdata/ThirdParty.h"
#include "reports/WorkbookScript.h"
#include "shell/AssignmentTable.h"
#include "shell/Company.h"
#include "shell/Console.h"
#include "shell/ErrorHandler.h"
#include "shell/Paths.h"
#include "store/RefTables.h"

namespace exo::cli {
namespace {

namespace fs = std::filesystem;

const char* const kGlobalUsage =
    "Opciones de los comandos de la declaraci\xC3\xB3n:\n"
    "  --program CARPETA       carpeta del programa (por omisi\xC3\xB3n la carpeta actual)\n"
    "  --drive CARPETA         ra\xC3\xADz de la unidad con \\NRVVS\\ o \\NRVCONTB\\ (por "
    "omisi\xC3\xB3n EXOGENA_DRIVE, si no /)\n"
    "  --product NRVVS|NRVCONTB  programa contable (por omisi\xC3\xB3n el de la \xC3\xBAltima "
    "sesi\xC3\xB3n)\n"
    "  --company CARPETA       carpeta de la empresa-a\xC3\xB1o como la escribe el archivo de "
    "control\n"
    "                          (por omisi\xC3\xB3n la empresa de la \xC3\xBAltima sesi\xC3\xB3n)\n"
    "  --yes | --no            respuesta a las preguntas de la operaci\xC3\xB3n\n";

void fail(const std::string& utf8) { std::fprintf(stderr, "exogena-cli: %s\n", utf8.c_str()); }

std::string productName(int product) {
  return product == 1 ? "Norvasta Orbisal Plus (\\NRVVS\\)" : "Norvasta Contable (\\NRVCONTB\\)";
}

// The control file's folder as compared: trimmed, upper case, ending in one backslash.
std::string folderKey(std::string_view folder) {
  std::string key = upper1252(trimBlanks(folder));
  if (!key.empty() && key.back() != '\\') key.push_back('\\');
  return key;
}

std::string companyList(const std::vector<shell::CompanyEntry>& list) {
  if (list.empty()) return "  (el archivo de control no tiene empresas)\n";
  std::string out;
  for (const shell::CompanyEntry& e : list) {
    out += "  " + toUtf8(std::string(trimBlanks(e.camino))) + "  " +
           toUtf8(std::string(trimBlanks(e.empresa))) + " (" + e.anio + ")\n";
  }
  return out;
}

// An option's value: "--name VALUE" or "--name=VALUE".
bool takeValue(std::vector<std::string>& args, std::size_t& i, const std::string& name,
               std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
  } else if (arg == name) {
    if (i + 1 >= args.size()) {
      error = "falta el valor de " + name;
      return true;
    }
    value = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
  } else {
    return false;
  }
  args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
  if (value.empty() && error.empty()) error = "el valor de " + name + " est\xC3\xA1 vac\xC3\xADo";
  return true;
}

}  // namespace

const char* globalOptionsUsage() { return kGlobalUsage; }

std::string parseGlobalOptions(std::vector<std::string>& args, GlobalOptions& o,
                               const std::vector<std::string>& own) {
  bool yes = false, no = false;
  std::string error;
  for (std::size_t i = 0; i < args.size() && error.empty();) {
    std::string value;
    if (takeValue(args, i, "--program", o.program, error) ||
        takeValue(args, i, "--drive", o.drive, error) ||
        takeValue(args, i, "--company", o.company, error)) {
      continue;
    }
    if (takeValue(args, i, "--product", value, error)) {
      const std::string p = upper1252(fromUtf8(value));
      if (p == "NRVVS" || p == "\\NRVVS\\") o.product = 1;
      else if (p == "NRVCONTB" || p == "\\NRVCONTB\\") o.product = 2;
      else if (error.empty()) error = "--product debe ser NRVVS o NRVCONTB, no " + value;
      continue;
    }
    if (args[i] == "--yes" || args[i] == "--no") {
      (args[i] == "--yes" ? yes : no) = true;
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    bool isOwn = false;
    for (const std::string& name : own) isOwn = isOwn || args[i] == name;
    if (!isOwn && args[i].size() > 2 && args[i].rfind("--", 0) == 0) {
      error = "opci\xC3\xB3n no v\xC3\xA1lida: " + args[i];
      break;
    }
    ++i;
  }
  if (error.empty() && yes && no) error = "--yes y --no no pueden ir juntas";
  o.answer = yes  ? shell::TerminalAnswer::Yes
             : no ? shell::TerminalAnswer::No
                  : shell::TerminalAnswer::Refuse;
  return error;
}

int ReturnContext::open(const GlobalOptions& o, bool listing) {
  const int code = prepare(o, listing);
  return code == kExitDone ? chooseCompany(o, listing) : code;
}

int ReturnContext::openWithoutCompany(const GlobalOptions& o, int& product,
                                      std::vector<shell::CompanyEntry>& companies) {
  int code = prepare(o, false);
  if (code == kExitDone) code = productOf(o, product);
  if (code == kExitDone) companies = shell::CARGAVRCTL(session(), engine(), product);
  return code;
}

int ReturnContext::prepare(const GlobalOptions& o, bool listing) {
  std::error_code ec;
  shell::Folders folders = shell::Folders::fromEnvironment();
  if (!o.program.empty()) folders.program = o.program;
  if (!o.drive.empty()) folders.drive = o.drive;
  folders.program = fs::absolute(folders.program, ec);
  folders.drive = fs::absolute(folders.drive, ec);
  if (!fs::is_directory(folders.program, ec)) {
    fail("la carpeta del programa no existe: " + folders.program.string());
    return kExitStopped;
  }
  if (!fs::is_directory(folders.drive, ec)) {
    fail("la carpeta de la unidad no existe: " + folders.drive.string());
    return kExitStopped;
  }
  if (!shell::findEntry(folders.program, store::kDepartmentsFile)) {
    fail("la carpeta " + folders.program.string() +
         " no tiene las tablas de referencia del programa.\n"
         "  Inst\xC3\xA1lela con: exogena-cli install " +
         folders.program.string());
    return kExitStopped;
  }
  // The program folder is the working folder, as for the desktop program.
  fs::current_path(folders.program, ec);
  if (ec) {
    fail("no se puede trabajar en la carpeta " + folders.program.string());
    return kExitStopped;
  }

  m_ui.setStatusStream(stdout);
  const bool terminal = shell::isTerminal(stderr);
  m_ui.setMeterStyle(terminal, !terminal);
  m_ui.setAnswer(o.answer);
  masterdata::registerThirdPartyClasses(interp());
  reports::registerWorkbookFunctions(interp(), &m_ui, folders);
  if (!m_runtime.openSession(m_ui, folders, !listing)) {
    fail("no se encontr\xC3\xB3 ning\xC3\xBAn programa contable en la unidad " +
         folders.drive.string() + " (use --drive o EXOGENA_DRIVE)");
    return kExitStopped;
  }
  generation::registerXmlFunctions(interp(), session());
  store::CREATABLAS(engine());
  return kExitDone;
}

int ReturnContext::productOf(const GlobalOptions& o, int& product) {
  shell::Session& s = session();
  product = o.product != 0 ? o.product : shell::initialProduct(s, shell::lastProductRoot(s));
  if (!(product == 1 ? s.hayOrbisal() : s.hayContable())) {
    fail(productName(product) + " no est\xC3\xA1 instalado en la unidad " +
         s.folders().drive.string());
    return kExitStopped;
  }
  return kExitDone;
}

int ReturnContext::chooseCompany(const GlobalOptions& o, bool listing) {
  shell::Session& s = session();
  const std::string lastRoot = shell::lastProductRoot(s);
  int product = 0;
  if (const int code = productOf(o, product); code != kExitDone) return code;
  const std::vector<shell::CompanyEntry> list = shell::CARGAVRCTL(s, engine(), product);
  std::string wanted;
  if (!o.company.empty()) {
    wanted = folderKey(fromUtf8(o.company));
  } else {
    const bool sameProduct = o.product == 0 || shell::initialProduct(s, lastRoot) == product;
    if (sameProduct) wanted = folderKey(shell::lastCompanyFolder(s));
    if (wanted.empty()) {
      fail("no hay una empresa de la \xC3\xBAltima sesi\xC3\xB3n" +
           std::string(sameProduct ? "" : " en ese programa") +
           ": ind\xC3\xADquela con --company CARPETA. Empresas de " + productName(product) + ":\n" +
           companyList(list));
      return kExitStopped;
    }
  }
  const shell::CompanyEntry* entry = nullptr;
  for (const shell::CompanyEntry& e : list) {
    if (entry == nullptr && folderKey(e.camino) == wanted) entry = &e;
  }
  if (entry == nullptr) {
    fail("la empresa " + toUtf8(wanted) + " no est\xC3\xA1 en el archivo de control de " +
         productName(product) + ". Empresas:\n" + companyList(list));
    return kExitStopped;
  }
  // As at the program's start: the company applied (and locked), its assignment table compacted.
  // A listing only reads.
  const shell::CompanyUse use = listing ? shell::CompanyUse::Read : shell::CompanyUse::Write;
  if (!shell::chooseCompany(s, engine(), *entry, {}, use)) return kExitStopped;
  if (use == shell::CompanyUse::Write) {
    std::string problem;
    switch (shell::compactAssignments(s, engine(), &problem)) {
      case shell::Compaction::Done:
      case shell::Compaction::NoTable: break;
      case shell::Compaction::InUse:
        fail(
            "aviso: la tabla de asignaciones est\xC3\xA1 en uso por otro programa; no se "
            "compact\xC3\xB3 esta vez");
        break;
      case shell::Compaction::Damaged:
        fail(
            "aviso: la tabla de asignaciones est\xC3\xA1 da\xC3\xB1"
            "ada (" +
            toUtf8(problem) + "); rep\xC3\xA1rela con: exogena-cli repair-assignments");
        break;
      case shell::Compaction::Failed:
        fail("aviso: no se pudo compactar la tabla de asignaciones (" + toUtf8(problem) +
             "); queda como estaba");
        break;
    }
  }
  std::printf("Empresa: %s (%s)\n", toUtf8(std::string(trimBlanks(s.empresa()))).c_str(),
              toUtf8(s.celPath()).c_str());
  std::fflush(stdout);
  return kExitDone;
}

int runReturnCommand(
    int argc, char** argv, const ReturnCommandInfo& command,
    const std::function<int(ReturnContext& context, const std::vector<std::string>& args)>& body) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const auto usage = [&](std::FILE* to) {
    std::fprintf(to, "Uso: exogena-cli %s%s%s [opciones]\n%s", command.name,
                 *command.arguments ? " " : "", command.arguments, kGlobalUsage);
  };
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return kExitDone;
    }
  }
  GlobalOptions options;
  std::string error = parseGlobalOptions(args, options, command.options);
  if (error.empty() && (args.size() < command.minArgs || args.size() > command.maxArgs)) {
    error = args.size() < command.minArgs ? "faltan argumentos"
                                          : "argumento de m\xC3\xA1s: " + args[command.maxArgs];
  }
  if (!error.empty()) {
    std::fprintf(stderr, "exogena-cli %s: %s\n", command.name, error.c_str());
    usage(stderr);
    return kExitUsage;
  }

  ReturnContext context;
  int code = kExitDone;
  try {
    code = context.open(options, command.listing);
    if (code == kExitDone) code = body(context, args);
  } catch (const shell::UnansweredQuestion& q) {
    std::fprintf(stderr,
                 "exogena-cli %s: la operaci\xC3\xB3n pregunta \"%s\" y no se indic\xC3\xB3 la "
                 "respuesta.\n  Repita el comando con --yes (responder s\xC3\xAD) o --no "
                 "(responder no).\n",
                 command.name, q.what());
    code = kExitUnanswered;
  } catch (const FailureError& e) {
    std::fprintf(stderr, "exogena-cli %s: %s\n", command.name,
                 toUtf8(errorMessage(e.failure())).c_str());
    code = kExitStopped;
  } catch (const fs::filesystem_error& e) {
    // A file operation of the standard library: said in Spanish, with the file.
    std::fprintf(stderr, "exogena-cli %s: %s: %s\n", command.name,
                 toUtf8(shell::fileErrorText(e.code())).c_str(), e.path1().string().c_str());
    code = kExitStopped;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "exogena-cli %s: %s\n", command.name, e.what());
    code = kExitStopped;
  }
  try {
    context.engine().closeAll(context.interp());
  } catch (const FailureError& e) {
    std::fprintf(stderr, "exogena-cli %s: %s\n", command.name,
                 toUtf8(errorMessage(e.failure())).c_str());
    if (code == kExitDone) code = kExitStopped;
  }
  return code;
}

void printFailure(const std::string& message, const std::vector<std::string>& calls) {
  std::fprintf(stderr, "%s\n", toUtf8(message).c_str());
  for (const std::string& line : calls) std::fprintf(stderr, "%s\n", toUtf8(line).c_str());
}

CommandErrorHandler::CommandErrorHandler(ReturnContext& context)
    : m_ip(context.interp()),
      m_handler(context.interp(), context.ui(), &context.engine(),
                context.session().folders().program),
      m_previous(context.interp().errorHandler()) {
  m_handler.setDialog([](const std::string& message, const std::vector<std::string>& calls,
                         const std::vector<std::string>&) {
    printFailure(message, calls);
    return -1;
  });
  m_handler.setExit([](int) {});
  m_handler.setMainLoopRunning(true);
  shell::ERRORSYS(m_handler, m_ip);
}

CommandErrorHandler::~CommandErrorHandler() { m_ip.setErrorHandler(std::move(m_previous)); }

}  // namespace exo::cli
