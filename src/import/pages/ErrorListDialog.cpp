// The error list of the third-party check.
#include "import/pages/ErrorListDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "import/ThirdPartyCheck.h"
#include "shell/Session.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"
#include "ui/Text.h"
#include "ui/WorkAreaModel.h"

namespace exo::import {

namespace {

// A read-only grid column over a field, `width` characters wide.
ui::GridColumn column(const QString& heading, const char* field, int width) {
  ui::GridColumn c;
  c.heading = heading;
  c.expression = field;
  c.width = width;
  return c;
}

}  // namespace

namespace {

QLabel* valueLabel(QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  l->setStyleSheet(QStringLiteral("QLabel { background: white; padding: 2px 4px; }"));
  return l;
}

QString multiline(std::string_view cp1252) {
  QString s = ui::qt(cp1252);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

}  // namespace

ErrorListDialog::ErrorListDialog(store::Engine& engine, int area, QWidget* parent)
    : QDialog(parent), m_engine(engine), m_area(area) {
  setWindowTitle(QStringLiteral("Listado de errores en la definici\u00f3n de Fichas de Terceros"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(720, 560);
  auto* layout = new QVBoxLayout(this);

  m_engine.goTop(m_engine.interp(), m_area);
  m_model = new ui::WorkAreaModel(engine, area,
                                  {column(QStringLiteral("C\u00f3digo"), "CODIGO", 10),
                                   column(QStringLiteral("Documento"), "DOCUMENTO", 18),
                                   column(QStringLiteral("Nombre"), "NOMBRE", 50)},
                                  this);
  auto* count = new QHBoxLayout;
  auto* caption = new QLabel(QStringLiteral("Total errorres:"), this);
  caption->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,125); }"));
  m_total = new QLabel(QString::number(m_model->rowCount()), this);
  m_total->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(150,0,0); }"));
  count->addWidget(caption);
  count->addWidget(m_total);
  count->addStretch(1);
  layout->addLayout(count);

  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(m_model);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setColumnWidthsInChars({10, 18, 0});
  m_grid->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_grid, 1);

  auto* details = new QGridLayout;
  m_code = valueLabel(this);
  m_document = valueLabel(this);
  m_name = valueLabel(this);
  m_errors = new QPlainTextEdit(this);
  m_errors->setReadOnly(true);
  m_errors->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_errors->setFixedHeight(m_errors->fontMetrics().lineSpacing() * 7 + 10);
  const char* const captions[] = {
      "C\xC3\xB3"
      "digo:",
      "Documento:", "Nombre:", "Errores:"};
  QWidget* values[] = {m_code, m_document, m_name, m_errors};
  for (int i = 0; i < 4; ++i) {
    details->addWidget(new QLabel(QString::fromUtf8(captions[i]), this), i, 0,
                       Qt::AlignTop | Qt::AlignLeft);
    details->addWidget(values[i], i, 1);
  }
  details->setColumnStretch(1, 1);
  layout->addLayout(details);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* quit = new QPushButton(QStringLiteral("&Salir"), this);
  quit->setAutoDefault(false);
  buttons->addWidget(quit);
  layout->addLayout(buttons);
  connect(quit, &QPushButton::clicked, this, &QDialog::accept);

  connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { showRow(current.row()); });
  if (m_model->rowCount() > 0) m_grid->setCurrentIndex(m_model->index(0, 0));
  m_grid->setFocus();
}

void ErrorListDialog::showRow(int row) {
  if (!m_model->moveTo(row)) {
    for (QLabel* l : {m_code, m_document, m_name}) l->clear();
    m_errors->clear();
    return;
  }
  m_code->setText(ui::qt(m_engine.text(m_area, "CODIGO")));
  m_document->setText(ui::qt(m_engine.text(m_area, "DOCUMENTO")));
  m_name->setText(ui::qt(m_engine.text(m_area, "NOMBRE")));
  m_errors->setPlainText(multiline(SETTXTERR(m_engine.text(m_area, "ERROR"))));
}

QString ErrorListDialog::code() const { return m_code->text(); }
QString ErrorListDialog::document() const { return m_document->text(); }
QString ErrorListDialog::name() const { return m_name->text(); }
QString ErrorListDialog::errors() const { return m_errors->toPlainText(); }

void MUESTRABASEERROR(shell::Session& session, store::Engine& engine, QWidget* parent) {
  const std::filesystem::path table = errorTablePath(session);
  std::error_code ec;
  if (!std::filesystem::exists(table, ec)) return;
  const int selected = engine.selected();
  const int area = engine.open(table.string(), "Errores", true, true);
  if (area == 0) return;
  struct Close {
    store::Engine& engine;
    int area, selected;
    ~Close() {
      try {
        engine.close(engine.interp(), area);
      } catch (...) {
        // A read-only table has nothing left to write.
      }
      engine.select(selected);
    }
  } close{engine, area, selected};
  ErrorListDialog dialog(engine, area, parent);
  dialog.exec();
}

}  // namespace exo::import
