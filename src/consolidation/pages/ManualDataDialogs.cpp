// The manual-data dialogs of formats 1004, 1010, 1011 and 1012.
#include "consolidation/pages/ManualDataDialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "consolidation/ManualData.h"
#include "consolidation/Partners.h"
#include "consolidation/pages/BasesGrid.h"
#include "consolidation/pages/ThirdPartyPicker.h"
#include "expr/Text.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"
#include "ui/Text.h"

namespace exo::consolidation {

namespace {

const auto kLeft = Qt::AlignLeft | Qt::AlignVCenter;
const auto kRight = Qt::AlignRight | Qt::AlignVCenter;

std::vector<ui::GridColumn> columnsFor(int format, store::Engine& engine, int area) {
  switch (format) {
    case 4:
      return {{QStringLiteral("Concepto"), "CONC", {}, {}, 9, kLeft, {}},
              {QStringLiteral("Valor acumulado\ndel pago"),
               "MONTO",
               {},
               "##,###,###,###,###",
               20,
               kRight,
               "MONTO"},
              {QStringLiteral("Valor solicitado como\ndescuento tributario"),
               "VLR_ADIC1",
               {},
               "##,###,###,###,###",
               20,
               kRight,
               "VLR_ADIC1"}};
    case 11:
      return {{QStringLiteral("Concepto"), "CONC", {}, {}, 9, kLeft, {}},
              {QStringLiteral("Saldos al\n31 de diciembre"),
               "MONTO",
               {},
               "##,###,###,###,###",
               20,
               kRight,
               "MONTO"}};
    case 10:
      return {
          {QStringLiteral("Nombre"),
           {},
           [&engine, area] {
             return ui::qt(fullName(engine.text(area, "RAZ"), engine.text(area, "APL1"),
                                    engine.text(area, "APL2"), engine.text(area, "NOM1"),
                                    engine.text(area, "NOM2")));
           },
           {},
           40,
           kLeft,
           {}},
          {QStringLiteral("Valor Patrimonial\nacciones o aportes"),
           "VAL",
           {},
           "##,###,###,###,###",
           20,
           kRight,
           "VAL"},
          {QStringLiteral("Valor pagados"), "VPAR", {}, "##,###,###,###,###", 20, kRight, "VPAR"},
          {QStringLiteral("%\nparticip."), "POR", {}, "###.#####", 10, kRight, "POR"}};
    default:
      return {{QStringLiteral("Concepto"), "CPT", {}, {}, 8, kLeft, {}},
              {QStringLiteral("C\u00f3digo Contable"), "CODI_CONT", {}, {}, 16, kLeft, {}},
              {QStringLiteral("Nombre cuenta"), "NOMB_CONT", {}, {}, 30, kLeft, {}},
              {QStringLiteral("Tercero"), "FULLNOMB", {}, {}, 34, kLeft, {}}};
  }
}

// The description of the format's first concept.
QString firstConcept(shell::Session& session, store::Engine& engine, int format) {
  const int area = engine.areaOf("Conceptos3");
  if (area == 0) return {};
  const std::int64_t recno = engine.recNo(area);
  QString text;
  if (engine.seekKey(area, Value::text(store::formatCode(format))))
    text = ui::qt(trimBlanks(engine.text(area, "DETALLE")));
  engine.goTo(engine.interp(), area, recno);
  (void)session;
  return text;
}

bool runManualData(shell::Session& session, store::Engine& engine, int format, QWidget* parent) {
  const int selected = engine.selected();
  const ManualDataResult r = prepareManualData(session, engine, format);
  if (!r.done) return false;
  bool closed = false;
  {
    ManualDataDialog dialog(session, engine, format, r.area, parent);
    dialog.exec();
    closed = dialog.closedByButton();
  }
  if (const int area = engine.areaOf(kBaseDatosAlias)) engine.close(engine.interp(), area);
  engine.select(selected);
  return closed;
}

}  // namespace

ManualDataDialog::ManualDataDialog(shell::Session& session, store::Engine& engine, int formatNumber,
                                   int area, QWidget* parent)
    : QDialog(parent), m_session(session), m_engine(engine), m_format(formatNumber), m_area(area) {
  const QString code = QString::fromStdString(store::formatCode(formatNumber));
  setWindowTitle(QStringLiteral("Ingrese datos para formato  ") + code);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  const bool holders = formatNumber == 10 || formatNumber == 12;
  resize(holders ? 960 : 640, holders ? 620 : 520);  // every column of the partners in view
  auto* layout = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  auto* format = new QLabel(QStringLiteral("Formato: ") + code, this);
  format->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,125); }"));
  top->addWidget(format);
  if (formatNumber == 10) {
    top->addWidget(new QLabel(firstConcept(session, engine, formatNumber), this), 1);
  } else if (!holders) {
    auto* conceptLabel = detailValue(this);
    auto* filter = detailValue(this);
    filter->setWordWrap(true);
    top->addWidget(conceptLabel);
    top->addWidget(filter, 1);
    m_details = {{QStringLiteral("Concepto"), conceptLabel}, {QStringLiteral("Detalle"), filter}};
  }
  layout->addLayout(top);

  m_grid = new ui::BrowseGrid(this);
  if (formatNumber != 12)
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
  else m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  layout->addWidget(m_grid, 1);

  if (holders) {
    std::vector<QString> captions = {QStringLiteral("C\u00f3digo:"),
                                     QStringLiteral("Tipo documento:"),
                                     QStringLiteral("N\u00famero identificaci\u00f3n:"),
                                     QStringLiteral("D.V.:"),
                                     QStringLiteral("Primer Apellido:"),
                                     QStringLiteral("Segundo Apellido:"),
                                     QStringLiteral("Primer nombre:"),
                                     QStringLiteral("Otros nombres:"),
                                     QStringLiteral("Raz\u00f3n social:")};
    if (formatNumber == 10) {
      captions.push_back(QStringLiteral("Direcci\u00f3n:"));
      captions.push_back(QStringLiteral("Dpto.:"));
      captions.push_back(QStringLiteral("Municipio:"));
    }
    captions.push_back(QStringLiteral("Pa\u00eds:"));
    if (formatNumber == 12) captions.push_back(QStringLiteral("Saldo:"));
    auto* panel = new QGridLayout;
    int i = 0;
    for (const QString& caption : captions) {
      auto* value = detailValue(this);
      panel->addWidget(new QLabel(caption, this), i / 2, (i % 2) * 2);
      panel->addWidget(value, i / 2, (i % 2) * 2 + 1);
      m_details.emplace_back(caption, value);
      ++i;
    }
    panel->setColumnStretch(1, 1);
    panel->setColumnStretch(3, 1);
    layout->addLayout(panel);
  }

  auto* buttons = new QHBoxLayout;
  auto add = [&](const QString& caption) {
    auto* b = new QPushButton(caption, this);
    b->setAutoDefault(false);
    buttons->addWidget(b);
    m_buttons.push_back(b);
    return b;
  };
  if (holders) {
    connect(add(QStringLiteral("&Importar Tercero")), &QPushButton::clicked, this,
            [this] { importThirdParty(); });
    if (formatNumber == 10)
      connect(add(QStringLiteral("&Borrar ficha")), &QPushButton::clicked, this,
              [this] { deleteRow(); });
    else
      connect(add(QStringLiteral("Rehacer base")), &QPushButton::clicked, this,
              [this] { rebuild(); });
  }
  buttons->addStretch(1);
  connect(add(holders ? QStringLiteral("&Salir") : QStringLiteral("Salir")), &QPushButton::clicked,
          this, [this] {
            m_closedByButton = true;
            accept();
          });
  layout->addLayout(buttons);
  setArea(area);
}

void ManualDataDialog::setArea(int area) {
  m_area = area;
  auto* old = m_model;
  m_model =
      new BasesGridModel(m_session, m_engine, area, columnsFor(m_format, m_engine, area), this);
  m_grid->setModel(m_model);
  std::vector<int> widths;
  for (int c = 0; c < m_model->columnCount(); ++c) widths.push_back(m_model->column(c).width);
  m_grid->setColumnWidthsInChars(widths);
  // The name of the partner (1010) or of the third party (1012) takes the free width.
  m_grid->setStretchColumn(m_format == 10 ? 0 : m_format == 12 ? 3 : -1);
  if (m_format == 12) m_grid->setFrozenColumns(3);
  if (old != nullptr) old->deleteLater();
  connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { showRow(current.row()); });
  if (m_model->rowCount() > 0) m_grid->setCurrentIndex(m_model->index(0, 0));
  else showRow(-1);
  m_grid->setFocus();
}

void ManualDataDialog::showRow(int row) {
  const bool on = m_model->moveTo(row);
  if (!on) {
    for (auto& d : m_details) d.second->clear();
    return;
  }
  if (m_format == 4 || m_format == 11) {
    m_details[0].second->setText(ui::qt(trimBlanks(m_engine.text(m_area, "CONC"))));
    m_details[1].second->setText(ui::qt(trimBlanks(m_engine.text(m_area, "FILTRO"))));
    return;
  }
  const TBaseSocios b = TBaseSocios::New(m_engine, m_area, m_format);
  std::vector<std::string> values = {b.clave, b.tDoc, b.nId,  b.dv, b.apl1,
                                     b.apl2,  b.nom1, b.nom2, b.raz};
  if (m_format == 10) {
    values.push_back(b.dir);
    values.push_back(b.dpto);
    values.push_back(b.mncp);
  }
  values.push_back(b.pais);
  for (std::size_t i = 0; i < values.size() && i < m_details.size(); ++i)
    m_details[i].second->setText(ui::qt(trimBlanks(values[i])));
  if (m_format == 12) {
    const Value saldo =
        m_engine.interp().evalText("Transform(" + std::to_string(static_cast<long long>(b.nSaldo)) +
                                   ", \"##,###,###,###,###\")");
    m_details.back().second->setText(ui::qt(trimBlanks(saldo.textView())));
  }
}

QPushButton* ManualDataDialog::button(const QString& caption) const {
  for (QPushButton* b : m_buttons)
    if (b->text() == caption) return b;
  return nullptr;
}

QString ManualDataDialog::detail(const QString& caption) const {
  for (const auto& d : m_details)
    if (d.first == caption) return d.second->text();
  return {};
}

void ManualDataDialog::importThirdParty() {
  const int row = m_grid->currentRowNumber();
  if (m_format == 12 && !m_model->moveTo(row)) return;
  if (!IMPORTATERCERO(m_session, m_engine, this, m_area, m_format, m_format == 10)) return;
  // The rows may have moved in the order of names: the grid follows the table.
  const int current = m_model->currentRow();
  m_model->refresh();
  const int target = m_format == 12 ? row : current;
  if (target >= 0 && target < m_model->rowCount())
    m_grid->setCurrentIndex(m_model->index(target, 0));
  showRow(m_grid->currentRowNumber());
  m_grid->setFocus();
}

void ManualDataDialog::deleteRow() {
  const int row = m_grid->currentRowNumber();
  if (!m_model->moveTo(row)) return;
  if (!BORRASOCIO(m_session, m_engine, m_area)) return;
  const int current = m_model->currentRow();
  m_model->refresh();
  if (m_model->rowCount() > 0)
    m_grid->setCurrentIndex(m_model->index(current >= 0 ? current : m_model->rowCount() - 1, 0));
  else showRow(-1);
  m_grid->setFocus();
}

void ManualDataDialog::rebuild() {
  const RebuildResult r = REHACEBASE12(m_session, m_engine, m_area);
  if (r.area != 0 && r.area != m_area) setArea(r.area);
  else m_model->refresh();
  if (m_model->rowCount() > 0) m_grid->setCurrentIndex(m_model->index(0, 0));
}

bool REGUL_FORM04(shell::Session& session, store::Engine& engine, QWidget* parent) {
  return runManualData(session, engine, 4, parent);
}
bool REGUL_FORM10(shell::Session& session, store::Engine& engine, QWidget* parent) {
  return runManualData(session, engine, 10, parent);
}
bool REGUL_FORM11(shell::Session& session, store::Engine& engine, QWidget* parent) {
  return runManualData(session, engine, 11, parent);
}
bool REGUL_FORM12(shell::Session& session, store::Engine& engine, QWidget* parent) {
  return runManualData(session, engine, 12, parent);
}

}  // namespace exo::consolidation
