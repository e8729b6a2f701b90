// The choice and the summary of the one-run generation.
#include "generation/pages/AllFormatsDialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "store/Dictionary.h"
#include "ui/Text.h"

namespace exo::generation {

AllFormatsDialog::AllFormatsDialog(const std::array<QString, 12>& captions, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Generar todos los formatos"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("Se generan los formatos marcados, uno tras otro. El encabezado del archivo "
                     "XML se pide una sola vez y vale para todos."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  auto* formats = new QGroupBox(QStringLiteral("Formatos: "), this);
  auto* grid = new QGridLayout(formats);
  for (int n = 1; n <= 12; ++n) {
    auto* box = new QCheckBox(captions[static_cast<std::size_t>(n) - 1], formats);
    box->setChecked(true);
    m_formats[static_cast<std::size_t>(n) - 1] = box;
    // Two columns: 1001 to 1006 on the left, 1007 to 1012 on the right.
    grid->addWidget(box, (n - 1) % 6, (n - 1) / 6);
    connect(box, &QCheckBox::toggled, this, &AllFormatsDialog::refresh);
  }
  layout->addWidget(formats);

  auto* marks = new QHBoxLayout;
  m_all = new QPushButton(QStringLiteral("Marcar &todos"), this);
  m_none = new QPushButton(QStringLiteral("&Desmarcar todos"), this);
  for (QPushButton* b : {m_all, m_none}) {
    b->setAutoDefault(false);
    marks->addWidget(b);
  }
  marks->addStretch(1);
  layout->addLayout(marks);
  connect(m_all, &QPushButton::clicked, this, [this] {
    for (QCheckBox* b : m_formats) b->setChecked(true);
  });
  connect(m_none, &QPushButton::clicked, this, [this] {
    for (QCheckBox* b : m_formats) b->setChecked(false);
  });

  auto* outputs = new QGroupBox(QStringLiteral("Generar: "), this);
  auto* outputsLayout = new QHBoxLayout(outputs);
  m_excel = new QCheckBox(QStringLiteral("Archivo Excel"), outputs);
  m_xml = new QCheckBox(QStringLiteral("Archivo XML"), outputs);
  m_excel->setChecked(true);
  m_xml->setChecked(true);
  outputsLayout->addWidget(m_excel);
  outputsLayout->addWidget(m_xml);
  outputsLayout->addStretch(1);
  layout->addWidget(outputs);
  connect(m_excel, &QCheckBox::toggled, this, &AllFormatsDialog::refresh);
  connect(m_xml, &QCheckBox::toggled, this, &AllFormatsDialog::refresh);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  m_generate = new QPushButton(QStringLiteral("&Generar"), this);
  m_generate->setDefault(true);
  m_cancel = new QPushButton(QStringLiteral("Ca&ncelar"), this);
  buttons->addWidget(m_generate);
  buttons->addWidget(m_cancel);
  layout->addLayout(buttons);
  connect(m_generate, &QPushButton::clicked, this, &QDialog::accept);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
  refresh();
}

std::vector<int> AllFormatsDialog::formats() const {
  std::vector<int> out;
  for (int n = 1; n <= 12; ++n)
    if (m_formats[static_cast<std::size_t>(n) - 1]->isChecked()) out.push_back(n);
  return out;
}

bool AllFormatsDialog::excel() const { return m_excel->isChecked(); }
bool AllFormatsDialog::xml() const { return m_xml->isChecked(); }

// "&Generar" only with some format and some output ticked.
void AllFormatsDialog::refresh() {
  m_generate->setEnabled(!formats().empty() && (excel() || xml()));
}

AllFormatsSummary::AllFormatsSummary(const AllFormatsResult& result, bool xml,
                                     const QString& outputFolder,
                                     std::function<bool(const QString&)> open, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Resumen de la generaci\u00f3n"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel(QStringLiteral("Formatos generados: %1 de %2")
                                 .arg(result.generated())
                                 .arg(result.formats.size()),
                             this);
  heading->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,125); }"));
  layout->addWidget(heading);

  m_table = new QTableWidget(static_cast<int>(result.formats.size()), 5, this);
  m_table->setHorizontalHeaderLabels({QStringLiteral("Formato"), QStringLiteral("Registros"),
                                      QStringLiteral("Total"), QStringLiteral("Observaciones"),
                                      QStringLiteral("Archivos")});
  m_table->verticalHeader()->setVisible(false);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setWordWrap(false);
  const auto right = Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter);
  for (int row = 0; row < static_cast<int>(result.formats.size()); ++row) {
    const FormatOutcome& f = result.formats[static_cast<std::size_t>(row)];
    auto cell = [&](int column, const QString& text, Qt::Alignment align) {
      auto* item = new QTableWidgetItem(text);
      item->setTextAlignment(align);
      m_table->setItem(row, column, item);
      return item;
    };
    cell(0, ui::qt(store::formatCode(f.format)), Qt::AlignCenter);
    if (!f.done) {
      cell(1, QStringLiteral("no generado"), Qt::AlignLeft | Qt::AlignVCenter)
          ->setForeground(QColor(170, 0, 0));
      m_table->setSpan(row, 1, 1, 2);
    } else {
      cell(1, ui::qt(amountText(static_cast<double>(f.records))), right);
      cell(2, ui::qt(amountText(f.total)), right);
    }
    QString observations;
    if (f.done && xml) observations = QString::number(f.findings.size());
    if (!f.notes.empty())
      observations += (observations.isEmpty() ? QString() : QStringLiteral(" + ")) +
                      QStringLiteral("%1 aviso%2")
                          .arg(f.notes.size())
                          .arg(f.notes.size() == 1 ? QString() : QStringLiteral("s"));
    cell(3, observations, Qt::AlignCenter);
    QStringList files;
    for (const std::filesystem::path& p : f.files) files << ui::qt(p.filename().string());
    QTableWidgetItem* filesItem =
        cell(4, files.join(QStringLiteral(", ")), Qt::AlignLeft | Qt::AlignVCenter);
    QStringList paths;
    for (const std::filesystem::path& p : f.files) paths << ui::qt(p.string());
    filesItem->setToolTip(paths.join(QLatin1Char('\n')));
  }
  m_table->resizeColumnsToContents();
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->resizeRowsToContents();
  layout->addWidget(m_table, 2);

  layout->addWidget(new QLabel(QStringLiteral("Detalle:"), this));
  m_details = new QPlainTextEdit(this);
  m_details->setReadOnly(true);
  m_details->setLineWrapMode(QPlainTextEdit::NoWrap);
  QString text = ui::qt(summaryText(result, xml));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  m_details->setPlainText(text);
  layout->addWidget(m_details, 1);

  auto* buttons = new QHBoxLayout;
  m_folder = new QPushButton(QStringLiteral("Abrir &carpeta"), this);
  m_folder->setAutoDefault(false);
  m_folder->setToolTip(outputFolder);
  m_close = new QPushButton(QStringLiteral("&Cerrar"), this);
  m_close->setDefault(true);
  buttons->addWidget(m_folder);
  buttons->addStretch(1);
  buttons->addWidget(m_close);
  layout->addLayout(buttons);
  connect(m_folder, &QPushButton::clicked, this, [this, outputFolder, open] {
    if (!open(outputFolder))
      QMessageBox::information(this, QStringLiteral("Atenci\u00f3n....."),
                               QStringLiteral("No hay un programa para abrir la carpeta.\n\n"
                                              "Los archivos est\u00e1n en ") +
                                   outputFolder);
  });
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

  // Wide enough for every column of the table, without going past the screen.
  int width = m_table->verticalHeader()->width() + 4;
  for (int c = 0; c < m_table->columnCount(); ++c) width += m_table->columnWidth(c);
  resize(std::min(std::max(width + 40, 640), 1000), 520);
}

}  // namespace exo::generation
