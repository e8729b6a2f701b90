// One run over several formats, with one header, one overwrite question and one summary.
#include "generation/GenerateAll.h"

#include <cmath>
#include <cstdio>

#include "expr/Numbers.h"
#include "generation/FormatRun.h"
#include "shell/Session.h"
#include "shell/UserInterface.h"
#include "store/Dictionary.h"

namespace exo::generation {

namespace fs = std::filesystem;

namespace {

// The port of the run: everything goes on to the caller's port, except that the messages of a
// format's run are kept as notes of that format (errors are also shown), and that once the user
// has agreed to write over the existing workbooks the overwrite questions answer themselves.
class RunPort final : public shell::UserInterface {
 public:
  explicit RunPort(shell::UserInterface& outer) : m_outer(outer) {}

  std::vector<std::string>* notes = nullptr;
  bool overwriteAgreed = false;

  void message(shell::MessageKind kind, std::string_view title, std::string_view text) override {
    if (notes != nullptr) notes->emplace_back(text);
    if (notes == nullptr || kind == shell::MessageKind::Error) m_outer.message(kind, title, text);
  }
  int ask(std::string_view title, std::string_view text, const std::vector<std::string>& buttons,
          int defaultButton) override {
    if (const auto agreed = overwriteAnswer(text, buttons)) return *agreed;
    return m_outer.ask(title, text, buttons, defaultButton);
  }
  std::optional<int> answerAhead(std::string_view title, std::string_view text,
                                 const std::vector<std::string>& buttons,
                                 int defaultButton) const override {
    if (const auto agreed = overwriteAnswer(text, buttons)) return agreed;
    return m_outer.answerAhead(title, text, buttons, defaultButton);
  }
  void meterBegin(std::string_view caption, std::int64_t total, bool showPercent) override {
    m_outer.meterBegin(caption, total, showPercent);
  }
  void meterAdvance(std::int64_t done) override { m_outer.meterAdvance(done); }
  void meterEnd() override { m_outer.meterEnd(); }
  void status(int line, std::string_view text) override { m_outer.status(line, text); }
  void waitOpen(std::string_view text, std::optional<shell::ScreenPos> where) override {
    m_outer.waitOpen(text, where);
  }
  void waitClose() override { m_outer.waitClose(); }
  void pumpEvents() override { m_outer.pumpEvents(); }
  bool openWithShell(const std::string& path) override { return m_outer.openWithShell(path); }

 private:
  std::optional<int> overwriteAnswer(std::string_view text,
                                     const std::vector<std::string>& buttons) const {
    if (overwriteAgreed && buttons == std::vector<std::string>{"&Continuar", "Ca&ncelar"} &&
        text.find("ya existe") != std::string_view::npos)
      return 0;
    return std::nullopt;
  }

  shell::UserInterface& m_outer;
};

// The files a run of the driver wrote.
std::vector<fs::path> filesOf(const GenerationResult& r, bool excel, bool xml) {
  std::vector<fs::path> files;
  std::error_code ec;
  if (excel && !r.workbook.empty() && fs::exists(r.workbook, ec)) files.push_back(r.workbook);
  // A format of more than 5,000 records is several XML files, each listed.
  if (xml && r.xmlWritten) {
    for (const XmlFileOutcome& f : r.xmlFiles) files.push_back(f.part.file);
    if (r.xmlFiles.empty()) files.push_back(r.xmlFile);
  }
  return files;
}

constexpr std::string_view kHeaderCancelled = "No generado: se cancel\363 el encabezado.";

std::string formatList(const std::vector<int>& formats) {
  std::string list;
  for (std::size_t i = 0; i < formats.size(); ++i) {
    if (i > 0) list += i + 1 == formats.size() ? " y " : ", ";
    list += store::formatCode(formats[i]);
  }
  return list;
}

}  // namespace

std::size_t AllFormatsResult::findings() const {
  std::size_t n = 0;
  for (const FormatOutcome& f : formats) n += f.findings.size();
  return n;
}

std::size_t AllFormatsResult::generated() const {
  std::size_t n = 0;
  for (const FormatOutcome& f : formats) n += f.done ? 1 : 0;
  return n;
}

std::string amountText(double amount) {
  const double rounded = roundHalfAway(amount, 0);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.0f", std::fabs(rounded));
  const std::string digits = buf;
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return rounded < 0 ? "-" + out : out;
}

AllFormatsResult generateFormats(shell::Session& session, store::Engine& engine,
                                 reports::Runner& runner, const std::vector<int>& formats,
                                 bool excel, bool xml, const HeaderEditor& editHeader) {
  AllFormatsResult result;
  RunPort port(session.ui());
  if (excel) {
    std::vector<int> existing;
    for (int n : formats) {
      std::error_code ec;
      if (fs::exists(workbookPath(session, n), ec)) existing.push_back(n);
    }
    if (!existing.empty()) {
      const std::string text =
          std::string(existing.size() == 1 ? "Ya existe el archivo Excel del formato "
                                           : "Ya existen los archivos Excel de los formatos ") +
          formatList(existing) +
          ".\r\n\r\nSi los genera nuevamente borrar\341 los datos contenidos en los "
          "existentes.\r\n\r\nSeguro desea continuar ?";
      if (session.ui().ask(kAttention, text, {"&Continuar", "Ca&ncelar"}, 0) != 0) return result;
      port.overwriteAgreed = true;
    }
  }
  result.started = true;

  shell::Session runSession(session.interp(), port, session.folders());
  FormatOutcome current;
  FormatRunOptions options;
  options.excel = excel;
  options.xml = xml;
  options.editHeader = editHeader;
  options.asking = HeaderAsking::Once;
  options.begin = [&](std::size_t i) {
    current = FormatOutcome{};
    current.format = formats[i];
    session.ui().status(0, "Generando formato " + store::formatCode(formats[i]) + "  (" +
                               std::to_string(i + 1) + " de " + std::to_string(formats.size()) +
                               ")...");
    session.ui().pumpEvents();
    port.notes = &current.notes;
  };
  options.end = [&](FormatRunItem& item) {
    port.notes = nullptr;
    FormatOutcome outcome = std::move(current);
    current = FormatOutcome{};
    outcome.format = item.format;
    if (item.fate != FormatFate::Ran) {
      outcome.notes.clear();
      outcome.notes.emplace_back(item.fate == FormatFate::StoppedByCancel
                                     ? std::string(kHeaderCancelled)
                                     : std::string(kStoppedByFailure));
      result.formats.push_back(std::move(outcome));
      return;
    }
    const GenerationResult& r = item.result;
    outcome.done = r.done;
    outcome.records = r.records;
    outcome.total = r.total;
    outcome.files = filesOf(r, excel, xml);
    outcome.findings = r.findings;
    // The findings are counted in the summary; their long message is not repeated there.
    if (!r.findings.empty()) {
      const std::string shown = findingsText(r.xmlFile, r.findings);
      std::erase(outcome.notes, shown);
    }
    if (item.headerCancelled) outcome.notes.emplace_back(kHeaderCancelled);
    result.formats.push_back(std::move(outcome));
  };
  try {
    runFormatList(runSession, engine, runner, formats, options);
  } catch (...) {
    port.notes = nullptr;
    throw;
  }
  session.ui().status(0, "");
  return result;
}

std::string summaryText(const AllFormatsResult& result, bool xml) {
  std::string text;
  for (const FormatOutcome& f : result.formats) {
    const std::string code = store::formatCode(f.format);
    if (!text.empty()) text += "\r\n";
    if (!f.done) {
      text += "Formato " + code + ": no generado\r\n";
    } else {
      text += "Formato " + code + ": " + std::to_string(f.records) + " registros, total " +
              amountText(f.total) + "\r\n";
      for (const fs::path& file : f.files) text += "  " + file.string() + "\r\n";
      if (xml) {
        text += "  Observaciones del archivo XML: " + std::to_string(f.findings.size()) + "\r\n";
        constexpr std::size_t kShown = 100;
        for (std::size_t i = 0; i < f.findings.size() && i < kShown; ++i)
          text += "    " + describe(f.findings[i]) + "\r\n";
        if (f.findings.size() > kShown)
          text += "    ... y " + std::to_string(f.findings.size() - kShown) + " m\341s.\r\n";
      }
    }
    for (const std::string& note : f.notes) {
      std::string line;
      for (char c : note) {
        if (c == '\r') continue;
        if (c == '\n') {
          if (!line.empty()) text += "  " + line + "\r\n";
          line.clear();
        } else {
          line += c;
        }
      }
      if (!line.empty()) text += "  " + line + "\r\n";
    }
  }
  if (xml && result.formats.size() > 1)
    text += "\r\nObservaciones de los archivos XML: " + std::to_string(result.findings()) + "\r\n";
  return text;
}

}  // namespace exo::generation
