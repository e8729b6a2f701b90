// The generation page.
#include "generation/pages/GenerationPage.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "consolidation/ControlReport.h"
#include "consolidation/Readiness.h"
#include "consolidation/pages/ManualDataDialogs.h"
#include "consolidation/pages/WithholdingBasesDialog.h"
#include "expr/Text.h"
#include "generation/GenerateAll.h"
#include "generation/Generation.h"
#include "generation/XmlWriter.h"
#include "generation/pages/AllFormatsDialogs.h"
#include "generation/pages/ConceptPicker.h"
#include "generation/pages/HeaderDialog.h"
#include "reports/Runner.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "ui/PageAction.h"
#include "ui/PageLook.h"
#include "ui/Text.h"

namespace exo::generation {

namespace {

const char16_t* const kFormatCaptions[12] = {
    u"1001 - Pagos o Abonos en Cuenta",
    u"1002 - Retenciones en la Fuente practicadas",
    u"1003 - Retenciones en la Fuente que le practicaron",
    u"1004 - Descuentos Tributarios",
    u"1005 - Impuesto a la Ventas por pagar (Descontable)",
    u"1006 - Impuesto a la Ventas por pagar (Generado)",
    u"1007 - Ingresos recibidos",
    u"1008 - Saldos en Cuentas por Cobrar al 31 de Diciembre",
    u"1009 - Saldos en Cuentas por Pagar al 31 de Diciembre",
    u"1010 - Informaci\u00f3n de Socios, Accionistas....",
    u"1011 - Informaci\u00f3n de las Declaraciones Tributarias",
    u"1012 - Informaci\u00f3n de las Declaraciones Tributarias, Acciones...",
};

// A button of up to three lines, as wide as its longest line needs (and never narrower than a
// line of "Prevalidador DIAN"), so that the row of five fits a 1024-pixel screen.
QPushButton* bigButton(const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setAutoDefault(false);
  b->setMinimumHeight(b->fontMetrics().lineSpacing() * 3 + 14);
  int widest = b->fontMetrics().horizontalAdvance(QStringLiteral("Prevalidador DIAN"));
  for (const QString& line : caption.split(QLatin1Char('\n')))
    widest = std::max(widest, b->fontMetrics().horizontalAdvance(line));
  b->setMinimumWidth(widest + 20);
  return b;
}

QString yearText(const shell::Session& session) {
  return QStringLiteral("A\u00f1o:  ") + ui::qt(session.anioIni());
}

}  // namespace

QString regularizationCaption(int formatNumber) {
  switch (formatNumber) {
    case 2: return QStringLiteral("Regularizar Base\nen Retenciones\npracticadas");
    case 3: return QStringLiteral("Regularizar Base\nen Retenciones\nque le practicaron");
    case 4:
    case 10:
    case 11:
    case 12:
      return QStringLiteral("Incluir/Modificar\nDatos Formato ") +
             QString::number(1000 + formatNumber);
    default: return {};
  }
}

GenerationPage::GenerationPage(shell::Session& session, store::Engine& engine, QWidget* parent)
    : QWidget(parent), m_session(session), m_engine(engine) {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(
      ui::pageHeading(QStringLiteral("Generaci\u00f3n de los Medios Magn\u00e9ticos"), this), 0,
      Qt::AlignLeft);
  top->addStretch(1);
  m_year = new QLabel(yearText(session), this);
  m_year->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,125); }"));
  top->addWidget(m_year, 0, Qt::AlignTop);
  layout->addLayout(top);

  auto* middle = new QHBoxLayout;
  auto* formats = new QGroupBox(QStringLiteral("Seleccione Formato: "), this);
  auto* formatsLayout = new QVBoxLayout(formats);
  auto* formatGroup = new QButtonGroup(this);
  for (int n = 1; n <= 12; ++n) {
    auto* choice = new QRadioButton(QString::fromUtf16(kFormatCaptions[n - 1]), formats);
    m_formats[static_cast<std::size_t>(n) - 1] = choice;
    formatGroup->addButton(choice, n);
    formatsLayout->addWidget(choice);
  }
  m_formats[0]->setChecked(true);
  connect(formatGroup, &QButtonGroup::idClicked, this, &GenerationPage::setFormat);
  middle->addWidget(formats, 3);

  auto* right = new QVBoxLayout;
  auto* control = new QGroupBox(QStringLiteral("Control: "), this);
  auto* grid = new QGridLayout(control);
  grid->addWidget(new QLabel(QStringLiteral("C\u00f3digo Tercero:"), control), 0, 0);
  m_party = new QLineEdit(control);
  m_party->setMaxLength(20);
  m_party->setMinimumWidth(m_party->fontMetrics().horizontalAdvance(QString(20, u'W')) / 2 + 16);
  connect(m_party, &QLineEdit::textEdited, this, [this](const QString& text) {
    const int at = m_party->cursorPosition();
    m_party->setText(text.toUpper());
    m_party->setCursorPosition(at);
  });
  grid->addWidget(m_party, 0, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Concepto:"), control), 1, 0);
  m_concept = new QLineEdit(ui::qt(kAllConcepts), control);
  m_concept->setReadOnly(true);
  m_concept->setMaximumWidth(
      m_concept->fontMetrics().horizontalAdvance(QStringLiteral("Todos...")) + 24);
  grid->addWidget(m_concept, 1, 1);
  m_pickConcept = new QToolButton(control);
  m_pickConcept->setText(QStringLiteral("..."));
  m_pickConcept->setToolTip(QStringLiteral("Seleccionar Concepto"));
  grid->addWidget(m_pickConcept, 1, 2, Qt::AlignLeft);
  m_toScreen = new QRadioButton(QStringLiteral("Pantalla-Impresora"), control);
  m_toWorkbook = new QRadioButton(QStringLiteral("Excel"), control);
  m_toScreen->setChecked(true);
  auto* outputs = new QHBoxLayout;
  outputs->addWidget(m_toScreen);
  outputs->addWidget(m_toWorkbook);
  outputs->addStretch(1);
  grid->addLayout(outputs, 2, 0, 1, 3);
  m_process = new QPushButton(QStringLiteral("Procesar"), control);
  m_process->setAutoDefault(false);
  grid->addWidget(m_process, 3, 0, 1, 3, Qt::AlignRight);
  grid->setColumnStretch(2, 1);
  right->addWidget(control);

  auto* base =
      new QLabel(QStringLiteral("Movimientos Base para la generaci\u00f3n de cada formato"), this);
  base->setWordWrap(true);
  base->setStyleSheet(QStringLiteral("QLabel { color: rgb(0,0,125); font-weight: bold; }"));
  right->addSpacing(8);
  right->addWidget(base);
  m_regularize = bigButton(QStringLiteral("Regularizar Base en"), this);
  right->addWidget(m_regularize, 0, Qt::AlignLeft);
  right->addStretch(1);
  middle->addLayout(right, 2);
  layout->addLayout(middle);
  layout->addSpacing(8);

  auto* buttons = new QHBoxLayout;
  m_excel = bigButton(QStringLiteral("Generar archivo Excel"), this);
  m_review = bigButton(QStringLiteral("Revisar archivo Excel"), this);
  m_xml = bigButton(QStringLiteral("Generar\narchivo\nXML"), this);
  m_convert = bigButton(QStringLiteral("Convertir archivo\nExcel a XML"), this);
  m_prevalidator =
      bigButton(QStringLiteral("Prevalidador DIAN\nVersi\u00f3n 1.0\nSeptiembre 2009"), this);
  for (QPushButton* b : {m_excel, m_review, m_xml, m_convert, m_prevalidator})
    buttons->addWidget(b);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  // Every format (or the ones ticked) in one run, beside the buttons of one format.
  m_all = new QPushButton(QStringLiteral("Generar todos los formatos (Excel y XML)..."), this);
  m_all->setAutoDefault(false);
  m_all->setMinimumHeight(m_all->fontMetrics().lineSpacing() + 18);
  m_all->setToolTip(
      QStringLiteral("Genera el archivo Excel y el archivo XML de cada formato marcado, con un "
                     "solo encabezado, y muestra un resumen"));
  auto* allRow = new QHBoxLayout;
  allRow->addWidget(m_all);
  allRow->addStretch(1);
  layout->addSpacing(4);
  layout->addLayout(allRow);
  layout->addStretch(1);

  m_status = ui::statusLabel(this);
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(m_status);
  m_meter = ui::pageMeter(this, 1000, false);
  layout->addWidget(m_meter);

  connect(m_pickConcept, &QToolButton::clicked, this, &GenerationPage::pickConcept);
  connect(m_process, &QPushButton::clicked, this, &GenerationPage::process);
  connect(m_regularize, &QPushButton::clicked, this, &GenerationPage::regularize);
  connect(m_excel, &QPushButton::clicked, this, [this] { generate(true, false); });
  connect(m_xml, &QPushButton::clicked, this, [this] { generate(false, true); });
  connect(m_review, &QPushButton::clicked, this, &GenerationPage::review);
  connect(m_convert, &QPushButton::clicked, this, &GenerationPage::convert);
  connect(m_prevalidator, &QPushButton::clicked, this, &GenerationPage::prevalidate);
  connect(m_all, &QPushButton::clicked, this, &GenerationPage::generateAll);
  refreshRegularization();
}

void GenerationPage::setFormat(int n) {
  if (n < 1 || n > 12) return;
  m_format = n;
  if (!m_formats[static_cast<std::size_t>(n) - 1]->isChecked())
    m_formats[static_cast<std::size_t>(n) - 1]->setChecked(true);
  m_concept->setText(ui::qt(kAllConcepts));
  refreshRegularization();
}

void GenerationPage::refreshRegularization() {
  const QString caption = regularizationCaption(m_format);
  m_regularize->setText(caption);
  m_regularize->setVisible(!caption.isEmpty());
}

void GenerationPage::showEvent(QShowEvent* event) {
  // The company (and so the year) may have changed since the page was last on screen.
  m_year->setText(yearText(m_session));
  refreshRegularization();
  QWidget::showEvent(event);
  m_formats[static_cast<std::size_t>(m_format) - 1]->setFocus();
}

template <class Work>
void GenerationPage::run(Work work) {
  m_status->clear();
  m_status->setToolTip({});
  m_meter->setValue(0);
  const ui::PageControls controls{
      this,
      {m_formats[0], m_formats[1],  m_formats[2], m_formats[3], m_formats[4],   m_formats[5],
       m_formats[6], m_formats[7],  m_formats[8], m_formats[9], m_formats[10],  m_formats[11],
       m_party,      m_pickConcept, m_toScreen,   m_toWorkbook, m_process,      m_regularize,
       m_excel,      m_review,      m_xml,        m_convert,    m_prevalidator, m_all},
      {m_status},
      m_meter};
  ui::runPageAction(controls, m_session, work);
}

void GenerationPage::pickConcept() {
  const auto chosen = CONSULCONCEP(m_engine, m_format, ui::core(m_concept->text()), this);
  if (chosen) m_concept->setText(ui::qt(*chosen));
}

namespace {

// The runner of report definitions of the program, bound to the interpreter at start-up.
reports::Runner* runnerOf(shell::Session& s) {
  reports::Runner* runner = reports::Runner::of(s.interp());
  if (runner == nullptr)
    s.ui().message(shell::MessageKind::Error, "Error.....",
                   "No est\xE1 disponible el ejecutor de informes del programa.");
  return runner;
}

}  // namespace

// The outcome on the status line with the name of the file written; its folder in the hint.
void GenerationPage::showFile(const QString& outcome, const std::filesystem::path& file) {
  m_status->setText(outcome + QStringLiteral("  Archivo: ") + ui::qt(file.filename().string()));
  m_status->setToolTip(ui::qt(file.string()));
}

// The outcome of a format written as several XML files: how many, the first one named; the
// message shown by the run lists them all.
void GenerationPage::showFiles(const QString& outcome, std::size_t count,
                               const std::filesystem::path& first) {
  m_status->setText(outcome + QStringLiteral("  Archivos XML: %1 (el primero %2)")
                                  .arg(count)
                                  .arg(ui::qt(first.filename().string())));
  m_status->setToolTip(ui::qt(first.parent_path().string()));
}

void GenerationPage::process() {
  const std::string party = ui::core(m_party->text().trimmed());
  const std::string conceptCode = ui::core(m_concept->text());
  const auto output = m_toWorkbook->isChecked() ? consolidation::ControlOutput::Workbook
                                                : consolidation::ControlOutput::Printer;
  const int format = m_format;
  run([&](shell::Session& s) {
    reports::Runner* runner = runnerOf(s);
    if (runner == nullptr) return;
    const consolidation::ControlResult r =
        consolidation::CONTROLCONTB(s, m_engine, *runner, party, format, conceptCode, output);
    if (!r.done) return;
    QString text = QStringLiteral("Proceso terminado.....  Filas: ") + QString::number(r.rows);
    if (output == consolidation::ControlOutput::Workbook) showFile(text, r.workbook);
    else m_status->setText(text);
  });
}

void GenerationPage::regularize() {
  const int format = m_format;
  run([&](shell::Session& s) {
    switch (format) {
      case 2: consolidation::REGUL_BASE_RET(s, m_engine, this); break;
      case 3: consolidation::REGUL_BASE_RETV(s, m_engine, this); break;
      case 4: consolidation::REGUL_FORM04(s, m_engine, this); break;
      case 10: consolidation::REGUL_FORM10(s, m_engine, this); break;
      case 11: consolidation::REGUL_FORM11(s, m_engine, this); break;
      case 12: consolidation::REGUL_FORM12(s, m_engine, this); break;
      default: break;
    }
  });
}

void GenerationPage::generate(bool excel, bool xml) {
  const int format = m_format;
  const std::string conceptCode = ui::core(m_concept->text());
  run([&](shell::Session& s) {
    reports::Runner* runner = runnerOf(s);
    if (runner == nullptr) return;
    const GenerationResult r = GENERADORAZO(s, m_engine, *runner, format, conceptCode, excel, xml,
                                            headerDialogEditor(this));
    if (!r.done) return;
    const QString outcome = QStringLiteral("Proceso terminado.....  Registros: %1  Total: %2")
                                .arg(r.records)
                                .arg(ui::qt(amountText(r.total)));
    if (xml && r.xmlFiles.size() > 1) showFiles(outcome, r.xmlFiles.size(), r.xmlFile);
    else showFile(outcome, excel ? r.workbook : r.xmlFile);
  });
}

void GenerationPage::generateAll() {
  std::array<QString, 12> captions;
  for (int n = 1; n <= 12; ++n)
    captions[static_cast<std::size_t>(n) - 1] = QString::fromUtf16(kFormatCaptions[n - 1]);
  AllFormatsDialog choice(captions, this);
  if (choice.exec() != QDialog::Accepted) return;
  const std::vector<int> formats = choice.formats();
  const bool excel = choice.excel(), xml = choice.xml();
  if (formats.empty() || (!excel && !xml)) return;
  AllFormatsResult result;
  run([&](shell::Session& s) {
    reports::Runner* runner = runnerOf(s);
    if (runner == nullptr) return;
    result = generateFormats(s, m_engine, *runner, formats, excel, xml, headerDialogEditor(this));
  });
  if (!result.started) return;
  m_status->setText(QStringLiteral("Proceso terminado.....  Formatos generados: %1 de %2")
                        .arg(result.generated())
                        .arg(result.formats.size()));
  const QString folder = ui::qt(outputFolder(m_session).string());
  AllFormatsSummary summary(
      result, xml, folder,
      [this](const QString& path) { return m_session.ui().openWithShell(ui::core(path)); }, this);
  summary.exec();
}

void GenerationPage::review() {
  const int format = m_format;
  run([&](shell::Session& s) { CARGAARCHEXCEL(s, format); });
}

void GenerationPage::convert() {
  const int format = m_format;
  run([&](shell::Session& s) {
    const HeaderEditor editor = headerDialogEditor(this);
    const XmlResult r =
        CONVIERTE2XML(s, format, [&] { return PONECABEZA(s, m_engine, format, editor); });
    if (!r.written) return;
    const QString outcome = QStringLiteral("Proceso terminado.....  Registros: %1").arg(r.records);
    if (r.files.size() > 1) {
      // The workbook went as several files, as the generation does: each one is told.
      std::vector<XmlFileOutcome> files;
      for (const XmlFilePart& part : r.files) files.push_back({part, {}});
      s.ui().message(shell::MessageKind::Info, kAttention, splitFilesText(format, files));
      showFiles(outcome, r.files.size(), r.file);
    } else {
      showFile(outcome, r.file);
    }
  });
}

void GenerationPage::prevalidate() {
  run([](shell::Session& s) { consolidation::PREVALIDADOR(s); });
}

}  // namespace exo::generation
