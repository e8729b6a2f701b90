// exogena-cli batch: the return's steps for many companies of the control file, each company in
// processes of its own (this program started again with --company), several companies at once.
//   batch [--companies A,B,...|--all] [--jobs N] [--steps import,fixes,integrate,bases,generate]
//         [--anio AAAA]
// A company whose step fails, or asks a question (no answer is given unless --yes/--no is), ends
// there with the step's message; the others go on. At the end the summary (one row per company
// and format) is printed and written to "Resumen-declaraciones.xlsx" in the program folder; each
// company's whole output is kept in "Informes/Lote-CARPETA.txt". Exit code 0 only when every
// company finished.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/ReturnCommand.h"
#include "expr/Codepage.h"
#include "expr/Text.h"
#include "reports/Workbook.h"
#include "reports/XlsxFile.h"
#include "shell/Process.h"
#include "shell/RunFiles.h"

namespace exo::cli {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

const char* const kSteps[] = {"import", "fixes", "integrate", "bases", "generate"};
constexpr const char* kSummaryBook = "Resumen-declaraciones.xlsx";

// The commands of one step, in order.
std::vector<Args> commandsOf(const std::string& step, const std::string& anio,
                             const fs::path& summaryFile) {
  if (step == "import") return {{"import-chart"}, {"import-movements"}};
  if (step == "fixes") return {{"fix-iva"}, {"fix-comisiones"}};
  if (step == "integrate") return {{"integrate"}};
  if (step == "bases") {
    std::vector<Args> list;
    for (const char* f : {"1002", "1003", "1004", "1010", "1011", "1012"})
      list.push_back({"bases", "--format", f});
    return list;
  }
  Args generate{"generate", "--format", "all", "--both", "--resumen", summaryFile.string()};
  if (!anio.empty()) {
    generate.push_back("--anio");
    generate.push_back(anio);
  }
  return {generate};
}

struct FormatRow {
  std::string format;
  std::string status;
  std::int64_t records = 0;
  double total = 0;
  int files = 0;
  int observations = 0;
  double seconds = 0;
};

struct CompanyRun {
  std::string folder;  // CAMINO without its backslash, as --company takes it
  std::string name;    // Windows-1252
  std::string year;
  bool finished = false;
  std::string status;  // UTF-8: "terminada" or what stopped it
  double seconds = 0;
  std::vector<FormatRow> formats;
};

// The name of a company's files in "Informes": the folder the control file gives, with every
// character no file name may hold on Windows put as "_". The control file belongs to the ledger
// product: a folder written "..\..\X" must not steer the log out of "Informes".
std::string logName(std::string_view folder, std::string_view ending) {
  std::string name = "Lote-";
  constexpr std::string_view kNotInNames = "\\/:*?\"<>|";
  for (const char ch : folder) {
    const bool control = static_cast<unsigned char>(ch) < 0x20;
    name += control || kNotInNames.find(ch) != std::string_view::npos ? '_' : ch;
  }
  return name + std::string(ending);
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ','))
    if (!item.empty()) out.push_back(item);
  return out;
}

std::string upperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The last line of a command's output that explains why it stopped (its error or message).
std::string lastMessage(const fs::path& log, std::uintmax_t from) {
  std::ifstream in(log, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  std::string line, found, last;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    last = line;
    if (line.rfind("exogena-cli", 0) == 0 || line.rfind("aviso:", 0) == 0 ||
        line.rfind("error:", 0) == 0)
      found = line;
  }
  return found.empty() ? last : found;
}

std::vector<FormatRow> readSummary(const fs::path& file) {
  std::vector<FormatRow> rows;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    FormatRow r;
    std::string records, total, files, observations, seconds;
    if (!std::getline(fields, r.format, '\t') || !std::getline(fields, r.status, '\t') ||
        !std::getline(fields, records, '\t') || !std::getline(fields, total, '\t') ||
        !std::getline(fields, files, '\t') || !std::getline(fields, observations, '\t') ||
        !std::getline(fields, seconds, '\t'))
      continue;
    r.records = std::strtoll(records.c_str(), nullptr, 10);
    r.total = std::strtod(total.c_str(), nullptr);
    r.files = std::atoi(files.c_str());
    r.observations = std::atoi(observations.c_str());
    r.seconds = std::strtod(seconds.c_str(), nullptr);
    rows.push_back(r);
  }
  return rows;
}

class Batch {
 public:
  Batch(GlobalOptions options, int product, std::vector<std::string> steps, std::string anio,
        fs::path program)
      : m_options(std::move(options)),
        m_product(product),
        m_steps(std::move(steps)),
        m_anio(std::move(anio)),
        m_program(std::move(program)),
        m_self(shell::currentExecutable()) {}

  void run(std::vector<CompanyRun>& companies, unsigned jobs) {
    std::error_code ec;
    fs::create_directories(m_program / "Informes", ec);
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
      for (std::size_t i = next++; i < companies.size(); i = next++) runCompany(companies[i]);
    };
    std::vector<std::thread> threads;
    for (unsigned j = 1; j < jobs; ++j) threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads) t.join();
  }

 private:
  void say(const std::string& utf8) {
    const std::lock_guard<std::mutex> lock(m_print);
    std::printf("%s\n", utf8.c_str());
    std::fflush(stdout);
  }

  Args globalArgs(const CompanyRun& c) const {
    Args args{"--program", m_program.string(),
              "--product", m_product == 1 ? "NRVVS" : "NRVCONTB",
              "--company", c.folder};
    if (!m_options.drive.empty()) {
      args.push_back("--drive");
      args.push_back(m_options.drive);
    }
    if (m_options.answer == shell::TerminalAnswer::Yes) args.push_back("--yes");
    if (m_options.answer == shell::TerminalAnswer::No) args.push_back("--no");
    return args;
  }

  void runCompany(CompanyRun& c) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path log = m_program / "Informes" / logName(c.folder, ".txt");
    const fs::path summary = m_program / "Informes" / logName(c.folder, ".resumen");
    std::error_code ec;
    fs::remove(log, ec);
    fs::remove(summary, ec);
    const std::string& label = c.folder;
    say(label + ": comienza (" + toUtf8(std::string(trimBlanks(c.name))) + ", " + c.year + ")");
    c.finished = true;
    c.status = "terminada";
    for (const std::string& step : m_steps) {
      for (const Args& command : commandsOf(step, m_anio, summary)) {
        say(label + ": " + command.front() +
            (command.size() > 2 && command[0] == "bases" ? " " + command[2] : ""));
        Args args = globalArgs(c);
        args.insert(args.end(), command.begin(), command.end());
        const std::uintmax_t before = fs::exists(log, ec) ? fs::file_size(log, ec) : 0;
        std::string error;
        const int code = m_self.empty() ? -1 : shell::runProcess(m_self, args, log, error);
        if (m_self.empty()) error = "no se sabe d\xF3nde est\xE1 el programa";
        if (command[0] == "generate") c.formats = readSummary(summary);
        if (code == 0) continue;
        c.finished = false;
        const std::string why = code < 0 ? toUtf8(error) : lastMessage(log, before);
        c.status = (code == kExitUnanswered ? "pregunta sin respuesta en " : "se detuvo en ") +
                   command.front() + ": " + why;
        break;
      }
      if (!c.finished) break;
    }
    fs::remove(summary, ec);
    c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", c.seconds);
    say(label + ": " + (c.finished ? "terminada" : c.status) + " (" + seconds + " s; registro en " +
        log.string() + ")");
  }

  GlobalOptions m_options;
  int m_product;
  std::vector<std::string> m_steps;
  std::string m_anio;
  fs::path m_program;
  fs::path m_self;
  std::mutex m_print;
};

// One row per company and format (a company that did not reach the generation gets one row).
void writeSummaryBook(const std::vector<CompanyRun>& companies, const fs::path& file,
                      std::string& error) {
  reports::Workbook book;
  reports::Sheet& sh = book.active();
  sh.name = "Resumen";
  reports::CellStyle heading;
  heading.bold = true;
  const std::uint32_t bold = book.styleId(heading);
  reports::CellStyle amount;
  amount.numberFormat = "#,##0";
  const std::uint32_t amounts = book.styleId(amount);
  const char* const titles[] = {"Empresa", "Carpeta",  "A\xF1o",        "Formato", "Registros",
                                "Total",   "Archivos", "Observaciones", "Estado",  "Segundos"};
  for (int col = 1; col <= 10; ++col) {
    book.setText(sh, 1, col, titles[col - 1]);
    sh.at(1, col).style = bold;
  }
  int row = 1;
  for (const CompanyRun& c : companies) {
    const auto put = [&](const FormatRow* f) {
      ++row;
      book.setText(sh, row, 1, std::string(trimBlanks(c.name)));
      book.setText(sh, row, 2, c.folder);
      book.setText(sh, row, 3, c.year);
      book.setText(sh, row, 9, fromUtf8(f != nullptr && c.finished ? f->status : c.status));
      if (f == nullptr) {
        book.setNumber(sh, row, 10, std::round(c.seconds * 10) / 10);
        return;
      }
      book.setText(sh, row, 4, f->format);
      book.setNumber(sh, row, 5, static_cast<double>(f->records));
      book.setNumber(sh, row, 6, f->total);
      sh.at(row, 6).style = amounts;
      book.setNumber(sh, row, 7, f->files);
      book.setNumber(sh, row, 8, f->observations);
      book.setNumber(sh, row, 10, std::round(f->seconds * 100) / 100);
    };
    if (c.formats.empty()) put(nullptr);
    for (const FormatRow& f : c.formats) put(&f);
  }
  const double widths[] = {40, 12, 6, 9, 11, 20, 9, 14, 60, 10};
  for (int col = 1; col <= 10; ++col) sh.columnWidths[col] = widths[col - 1];
  error = reports::saveXlsx(book, file);
}

void printSummary(const std::vector<CompanyRun>& companies) {
  std::printf("\nResumen de las declaraciones\n");
  for (const CompanyRun& c : companies) {
    std::printf("%s (%s, %s): %s, %.1f s\n", c.folder.c_str(),
                toUtf8(std::string(trimBlanks(c.name))).c_str(), c.year.c_str(), c.status.c_str(),
                c.seconds);
    for (const FormatRow& f : c.formats) {
      std::printf("  Formato %s: %s, %" PRId64
                  " registros, total %s, %d archivos, %d "
                  "observaciones, %.2f s\n",
                  f.format.c_str(), f.status.c_str(), f.records,
                  shell::withThousands(static_cast<std::int64_t>(f.total)).c_str(), f.files,
                  f.observations, f.seconds);
    }
  }
}

int usage(const char* what, const std::string& value) {
  std::fprintf(stderr, "exogena-cli batch: %s: %s\n", what, value.c_str());
  return kExitUsage;
}

int batch(int argc, char** argv) {
  Args args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::printf(
          "Uso: exogena-cli batch [--companies A,B,...|--all] [--jobs N] [--steps "
          "import,fixes,integrate,bases,generate] [--anio AAAA] [opciones]\n%s",
          globalOptionsUsage());
      return kExitDone;
    }
  }
  GlobalOptions options;
  std::string error =
      parseGlobalOptions(args, options, {"--companies", "--all", "--jobs", "--steps", "--anio"});
  if (!error.empty()) return usage(error.c_str(), "");
  if (!options.company.empty()) return usage("use --companies en lugar de", "--company");
  std::vector<std::string> wanted, steps(std::begin(kSteps), std::end(kSteps));
  std::string anio;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--all") {
      wanted.clear();
    } else if (a == "--companies" && hasValue) {
      wanted = splitList(args[++i]);
      if (wanted.empty()) return usage("--companies sin empresas", args[i]);
    } else if (a == "--jobs" && hasValue) {
      const std::string& text = args[++i];
      const int n = text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos
                        ? std::atoi(text.c_str())
                        : 0;
      if (n < 1 || n > 64) return usage("--jobs debe ser un n\xC3\xBAmero de 1 a 64", args[i]);
      jobs = static_cast<unsigned>(n);
    } else if (a == "--steps" && hasValue) {
      steps = splitList(args[++i]);
      for (const std::string& s : steps)
        if (std::find(std::begin(kSteps), std::end(kSteps), s) == std::end(kSteps))
          return usage("paso desconocido (import, fixes, integrate, bases, generate)", s);
      if (steps.empty()) return usage("--steps sin pasos", args[i]);
    } else if (a == "--anio" && hasValue) {
      anio = args[++i];
      if (anio.size() != 4 || anio.find_first_not_of("0123456789") != std::string::npos)
        return usage("--anio debe tener cuatro d\xC3\xADgitos", anio);
    } else {
      return usage("argumento inv\xC3\xA1lido", a);
    }
  }

  std::vector<CompanyRun> companies;
  fs::path program;
  {
    ReturnContext context;
    int product = 0;
    std::vector<shell::CompanyEntry> list;
    const int code = context.openWithoutCompany(options, product, list);
    if (code != kExitDone) return code;
    options.product = product;
    program = context.session().folders().program;
    for (const shell::CompanyEntry& e : list) {
      std::string folder = std::string(trimBlanks(e.camino));
      while (!folder.empty() && folder.back() == '\\') folder.pop_back();
      CompanyRun c;
      c.folder = toUtf8(folder);
      // A company-year listed twice in the control file is one company: run it once (two
      // processes on one company would only wait for each other and share one log).
      if (std::any_of(companies.begin(), companies.end(),
                      [&](const CompanyRun& other) { return other.folder == c.folder; }))
        continue;
      c.name = e.empresa;
      c.year = e.anio;
      companies.push_back(c);
    }
    if (!wanted.empty()) {
      std::vector<CompanyRun> chosen;
      for (const std::string& w : wanted) {
        std::string key = upperAscii(w);
        while (!key.empty() && (key.back() == '\\' || key.back() == '/')) key.pop_back();
        const auto it = std::find_if(companies.begin(), companies.end(),
                                     [&](const CompanyRun& c) { return c.folder == key; });
        if (it == companies.end())
          return usage("la empresa no est\xC3\xA1 en el archivo de control", w);
        if (std::any_of(chosen.begin(), chosen.end(),
                        [&](const CompanyRun& c) { return c.folder == it->folder; }))
          return usage("empresa repetida en --companies", w);
        chosen.push_back(*it);
      }
      companies = chosen;
    }
    context.engine().closeAll(context.interp());
  }
  if (companies.empty()) {
    std::fprintf(stderr, "exogena-cli batch: el archivo de control no tiene empresas\n");
    return kExitStopped;
  }
  jobs = std::min<unsigned>(jobs, static_cast<unsigned>(companies.size()));
  std::printf("%zu empresas, %u a la vez\n", companies.size(), jobs);
  std::fflush(stdout);

  Batch(options, options.product, steps, anio, program).run(companies, jobs);
  printSummary(companies);
  const fs::path book = program / kSummaryBook;
  writeSummaryBook(companies, book, error);
  if (!error.empty()) {
    std::fprintf(stderr, "exogena-cli batch: %s\n", toUtf8(error).c_str());
    return kExitStopped;
  }
  std::printf("Resumen: %s\n", toUtf8(book.string()).c_str());
  const auto done = std::count_if(companies.begin(), companies.end(),
                                  [](const CompanyRun& c) { return c.finished; });
  std::printf("Empresas terminadas: %zd de %zu\n", static_cast<std::ptrdiff_t>(done),
              companies.size());
  return done == static_cast<std::ptrdiff_t>(companies.size()) ? kExitDone : kExitStopped;
}

}  // namespace

int batchCommand(int argc, char** argv) { return batch(argc, argv); }

}  // namespace exo::cli
