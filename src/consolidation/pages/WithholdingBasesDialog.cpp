// The review dialog of the withholding bases.
#include "consolidation/pages/WithholdingBasesDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "consolidation/Bases.h"
#include "consolidation/pages/BasesGrid.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"

namespace exo::consolidation {

namespace {

std::vector<ui::GridColumn> baseColumns() {
  const auto right = Qt::AlignRight | Qt::AlignVCenter;
  return {
      {QStringLiteral("C\u00f3digo"), "CTA_DIR", {}, {}, 7, Qt::AlignLeft | Qt::AlignVCenter, {}},
      {QStringLiteral("Nombre"), "NOMBRE", {}, {}, 34, Qt::AlignLeft | Qt::AlignVCenter, {}},
      {QStringLiteral("Concepto"), "CONC", {}, {}, 8, Qt::AlignLeft | Qt::AlignVCenter, {}},
      {QStringLiteral("Valor\nretenido"), "MONTO", {}, "###,###,###,###", 16, right, {}},
      {QStringLiteral("%\nRetenc."), "POR_RET", {}, "###.##", 8, right, "POR_RET"},
      {QStringLiteral("% IVA\naplicado"), "POR_IVA", {}, "###.##", 8, right, "POR_IVA"},
      {QStringLiteral("Valor Base"), "BASE_RET", {}, "###,###,###,###,###", 20, right, "BASE_RET"},
  };
}

void runReview(shell::Session& session, store::Engine& engine, int formatNumber, QWidget* parent) {
  const int selected = engine.selected();
  const BasesResult r = prepareWithholdingBases(session, engine, formatNumber);
  if (!r.done) return;
  WithholdingBasesDialog dialog(session, engine, formatNumber, r.area, parent);
  dialog.exec();
  if (const int area = engine.areaOf(kBaseRetAlias)) engine.close(engine.interp(), area);
  engine.select(selected);
}

}  // namespace

WithholdingBasesDialog::WithholdingBasesDialog(shell::Session& session, store::Engine& engine,
                                               int formatNumber, int area, QWidget* parent)
    : QDialog(parent), m_session(session), m_engine(engine), m_format(formatNumber), m_area(area) {
  const bool f1002 = formatNumber == 2;
  setWindowTitle(f1002 ? QStringLiteral("Regularizaci\u00f3n de Bases en Retenciones  (no incluye "
                                        "Concepto 2302 - Retenciones por Compras)")
                       : QStringLiteral("Regularizaci\u00f3n de Bases en Retenciones  (no incluye "
                                        "Concepto 1302 - Retenciones por Ventas)"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(1020, 560);
  auto* layout = new QVBoxLayout(this);

  // The legend: text only; the defaults themselves are the program's.
  auto* legend = new QGridLayout;
  auto bold = [this](const QString& t) {
    auto* l = new QLabel(t, this);
    l->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,125); }"));
    return l;
  };
  legend->addWidget(bold(QStringLiteral("Retenci\u00f3n:")), 0, 1);
  legend->addWidget(bold(QStringLiteral("IVA:")), 0, 2);
  legend->addWidget(new QLabel(f1002 ? QStringLiteral("Para conceptos 2318, 2319 y 2320 :")
                                     : QStringLiteral("Para concepto 1309 :"),
                               this),
                    1, 0);
  legend->addWidget(new QLabel(QStringLiteral("50.00 %"), this), 1, 1);
  legend->addWidget(new QLabel(QStringLiteral("16.00 %"), this), 1, 2);
  legend->addWidget(new QLabel(QStringLiteral("Para dem\u00e1s conceptos :"), this), 2, 0);
  legend->addWidget(
      new QLabel(
          QStringLiteral("Los que haya definido en el PUC  \u00f3  0.00 % si no los defini\u00f3"),
          this),
      2, 1);
  legend->addWidget(new QLabel(QStringLiteral("0.00 %"), this), 2, 2);
  legend->setColumnStretch(3, 1);
  layout->addLayout(legend);

  m_grid = new ui::BrowseGrid(this);
  m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
  layout->addWidget(m_grid, 1);
  setArea(area);

  auto* buttons = new QHBoxLayout;
  m_restore = new QPushButton(QStringLiteral("Restaurar valores\noriginales"), this);
  m_restore->setToolTip(QStringLiteral(
      "Restaura valores y porcentajes originales seg\u00fan definiciones en su programa Norvasta"));
  m_restore->setAutoDefault(false);
  auto* quit = new QPushButton(QStringLiteral("Salir"), this);
  quit->setAutoDefault(false);
  buttons->addWidget(m_restore);
  buttons->addStretch(1);
  buttons->addWidget(quit);
  layout->addLayout(buttons);
  connect(m_restore, &QPushButton::clicked, this, [this] { restoreDefaults(); });
  connect(quit, &QPushButton::clicked, this, &QDialog::accept);
}

void WithholdingBasesDialog::setArea(int area) {
  m_area = area;
  auto* old = m_model;
  m_model = new BasesGridModel(m_session, m_engine, area, baseColumns(), this);
  const std::string code = store::formatCode(m_format);
  m_model->setWriter([this, code](const ui::GridColumn& c, double value) {
    if (c.field == "BASE_RET") {
      storeBase(m_engine, m_area, value);
      return;
    }
    Percentages p{m_engine.number(m_area, "POR_RET"), m_engine.number(m_area, "POR_IVA")};
    (c.field == "POR_RET" ? p.retention : p.vat) = value;
    storePercentages(m_engine, m_area, code, p);
  });
  m_grid->setModel(m_model);
  m_grid->setColumnWidthsInChars({7, 28, 8, 15, 7, 7, 17});
  m_grid->setStretchColumn(1);  // the name
  m_grid->setFrozenColumns(4);
  if (old != nullptr) old->deleteLater();
  if (m_model->rowCount() > 0) m_grid->setCurrentIndex(m_model->index(0, 0));
  m_grid->setFocus();
}

void WithholdingBasesDialog::restoreDefaults() {
  const BasesResult r = withholdingBases(m_session, m_engine, m_format, true, true);
  // In use by another program the table was let go and opened again as it is.
  if (r.built || (r.inUse && r.area != 0)) setArea(r.area);
}

void REGUL_BASE_RET(shell::Session& session, store::Engine& engine, QWidget* parent) {
  runReview(session, engine, 2, parent);
}

void REGUL_BASE_RETV(shell::Session& session, store::Engine& engine, QWidget* parent) {
  runReview(session, engine, 3, parent);
}

}  // namespace exo::consolidation
