// Windows of the run-time error handler.
#include "ui/ErrorWindows.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "expr/Dates.h"
#include "shell/ErrorHandler.h"
#include "shell/ErrorLog.h"
#include "store/File.h"
#include "ui/ArrayModel.h"
#include "ui/BrowseGrid.h"
#include "ui/QtUserInterface.h"
#include "ui/Text.h"

namespace exo::ui {

ErrorDialog::ErrorDialog(QWidget* parent, const std::string& message,
                         const std::vector<std::string>& calls,
                         const std::vector<std::string>& buttons)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("LISTA DE ERRORES PRODUCIDOS POR EL PROGAMA"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(640, 420);
  QFont f = font();
  f.setPointSize(10);
  setFont(f);
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QStringLiteral("Nombre del error: ") + qt(message), this);
  name->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  name->setWordWrap(true);
  name->setMargin(6);
  name->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(name);
  auto* stackLabel = new QLabel(QStringLiteral("&Stack List"), this);
  layout->addWidget(stackLabel);
  m_calls = new QListWidget(this);
  for (const std::string& c : calls) m_calls->addItem(qt(c));
  stackLabel->setBuddy(m_calls);
  layout->addWidget(m_calls, 1);
  layout->addWidget(new QLabel(
      QStringLiteral("\"&Mas...\" visualiza el Registro de Errores").remove(QLatin1Char('&')),
      this));
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    auto* b = new QPushButton(qt(buttons[i]), this);
    b->setAutoDefault(false);
    if (i + 1 == buttons.size()) b->setDefault(true);
    connect(b, &QPushButton::clicked, this, [this, i] {
      m_chosen = static_cast<int>(i);
      accept();
    });
    row->addWidget(b);
  }
  layout->addLayout(row);
}

ErrorLogBrowser::ErrorLogBrowser(QWidget* parent, store::Engine& engine,
                                 const std::filesystem::path& folder)
    : QDialog(parent) {
  const bool large = screen() && screen()->geometry().width() >= 800;
  setWindowTitle(large ? QStringLiteral("Registro de Errores del programa")
                       : QStringLiteral("Registro de Errores del Programa"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(large ? 780 : 600, large ? 560 : 440);
  const auto entries = shell::readErrorLog(engine, folder);
  std::vector<QStringList> rows;
  for (const auto& e : entries) {
    rows.push_back({qt(dateToText(e.fecha)), qt(e.hora), qt(e.error)});
    m_reports.push_back(e.texto);
  }
  m_model = new ArrayModel(
      {QStringLiteral("Fecha"), QStringLiteral("Hora"),
       large ? QStringLiteral("Nombre del error") : QStringLiteral("Descripcion del error")},
      std::move(rows), this);
  auto* layout = new QVBoxLayout(this);
  m_grid = new BrowseGrid(this);
  m_grid->setModel(m_model);
  m_grid->setColumnWidthsInChars({11, 9, 50});
  // The message takes the free width, and all of its length when it is longer.
  m_grid->setStretchColumn(2);
  layout->addWidget(m_grid, 1);
  m_text = new QPlainTextEdit(this);
  m_text->setReadOnly(true);
  m_text->setFont(QFont(QStringLiteral("Monospace"), 9));
  layout->addWidget(m_text, 2);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  auto* print = new QPushButton(large ? QStringLiteral("&Imprimir") : QStringLiteral("&Ver"), this);
  auto* quit = new QPushButton(QStringLiteral("&Salir"), this);
  row->addWidget(print);
  row->addWidget(quit);
  layout->addLayout(row);
  connect(quit, &QPushButton::clicked, this, &QDialog::accept);
  connect(print, &QPushButton::clicked, this, [this, folder] {
    const int r = m_grid->currentRowNumber();
    if (r >= 0)
      printReportText(this, "ERROR DEL PROGRAMA", m_reports[static_cast<std::size_t>(r)], folder);
  });
  connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { showEntry(current.row()); });
  if (!entries.empty()) {
    const auto first = shell::initialLogRow(entries, today());
    m_grid->setCurrentIndex(m_model->index(static_cast<int>(first), 0));
    showEntry(static_cast<int>(first));
  }
}

void ErrorLogBrowser::showEntry(int row) {
  if (row < 0 || row >= static_cast<int>(m_reports.size())) return;
  m_text->setPlainText(messageText(m_reports[static_cast<std::size_t>(row)]));
}

namespace {

// Draws the printed text, 65 characters to a line, page after page.
bool paintReport(QPrinter& printer, const QString& text) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  QFont font(QStringLiteral("Times New Roman"), 10);
  painter.setFont(font);
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  const qreal lineHeight = painter.fontMetrics().lineSpacing();
  const QStringList lines = text.split(QLatin1Char('\n'));
  qreal y = lineHeight;
  for (const QString& line : lines) {
    if (y + lineHeight > page.height()) {
      printer.newPage();
      y = lineHeight;
    }
    painter.drawText(QPointF(0, y), line);
    y += lineHeight;
  }
  return painter.end();
}

}  // namespace

void printReportText(QWidget* parent, const std::string& title, const std::string& text,
                     const std::filesystem::path& pdfFolder) {
  const QString page = messageText(shell::IMPERROR(text, std::time(nullptr)));
  (void)title;  // the page text carries its own title
  if (QPrinterInfo::availablePrinters().isEmpty()) {
    // Written beside under a temporary name and put in place whole: a failed print leaves the
    // previous file as it was, never a part of a file under its name.
    const std::string file = (pdfFolder / "Imprime.pdf").string();
    const std::string temp = store::siblingTempName(file);
    bool written = false;
    {
      QPrinter printer(QPrinter::HighResolution);
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(QString::fromStdString(temp));
      written = paintReport(printer, page);
    }
    std::error_code ec;
    try {
      if (written && std::filesystem::file_size(temp, ec) > 0 && !ec) {
        store::replaceFile(temp, file);
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file)));
        return;
      }
    } catch (const FailureError&) {
    }
    try {
      store::removeFile(temp);
    } catch (const FailureError&) {
      // A leftover temporary file goes at the next start.
    }
    return;
  }
  QPrinter printer(QPrinter::HighResolution);
  QPrintPreviewDialog preview(&printer, parent);
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                   [&page](QPrinter* p) { (void)paintReport(*p, page); });
  preview.exec();
}

void installErrorWindows(shell::ErrorHandler& handler, QWidget* parent, store::Engine& engine) {
  handler.setDialog([parent](const std::string& message, const std::vector<std::string>& calls,
                             const std::vector<std::string>& buttons) {
    ErrorDialog dialog(parent, message, calls, buttons);
    dialog.exec();
    return dialog.chosen();
  });
  handler.setLogBrowser([&handler, parent, &engine] {
    ErrorLogBrowser browser(parent, engine, handler.workingFolder() / "Error");
    browser.exec();
  });
  handler.setPrinter([&handler, parent](const std::string& title, const std::string& text) {
    printReportText(parent, title, text, handler.workingFolder());
  });
}

}  // namespace exo::ui
