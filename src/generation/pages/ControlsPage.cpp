// The analysis page.
#include "generation/pages/ControlsPage.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/Session.h"
#include "ui/PageAction.h"
#include "ui/PageLook.h"
#include "ui/Text.h"

namespace exo::generation {

namespace {
QString yearText(const shell::Session& session) {
  return QStringLiteral("A\u00f1o:  ") + ui::qt(session.anioIni());
}
}  // namespace

ControlsPage::ControlsPage(shell::Session& session, AnalysisAction analysis,
                           CoverageAction coverage, QWidget* parent)
    : QWidget(parent),
      m_session(session),
      m_action(std::move(analysis)),
      m_coverageAction(std::move(coverage)) {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(ui::pageHeading(QStringLiteral("Informes para an\u00e1lisis"), this), 0,
                 Qt::AlignLeft);
  top->addStretch(1);
  m_year = new QLabel(yearText(session), this);
  m_year->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,125); }"));
  top->addWidget(m_year, 0, Qt::AlignTop);
  layout->addLayout(top);
  layout->addSpacing(16);

  auto* box = new QGroupBox(this);
  auto* choices = new QVBoxLayout(box);
  m_receivable = new QRadioButton(
      QStringLiteral("1008 - Saldos en Cuentas por Cobrar al 31 de Diciembre"), box);
  m_payable = new QRadioButton(
      QStringLiteral("1009 - Saldos en Cuentas por Pagar al 31 de Diciembre"), box);
  auto* group = new QButtonGroup(this);
  group->addButton(m_receivable, 1);
  group->addButton(m_payable, 2);
  m_receivable->setChecked(true);
  choices->addWidget(m_receivable);
  choices->addWidget(m_payable);
  layout->addWidget(box, 0, Qt::AlignLeft);
  layout->addSpacing(16);

  m_analysis = new QPushButton(QStringLiteral("Generar informe Excel para an\u00e1lisis"), this);
  m_analysis->setAutoDefault(false);
  m_analysis->setMinimumHeight(40);
  if (!m_action) {
    m_analysis->setEnabled(false);
    m_analysis->setToolTip(QStringLiteral(
        "Los libros de an\u00e1lisis no est\u00e1n disponibles en esta versi\u00f3n."));
  }
  layout->addWidget(m_analysis, 0, Qt::AlignLeft);
  layout->addSpacing(16);
  // Before filing: the accounts with third-party movements that no concept takes, and what of
  // each concept's accounts reached its format.
  m_coverage = new QPushButton(QStringLiteral("Cobertura de cuentas y conceptos (Excel)"), this);
  m_coverage->setAutoDefault(false);
  m_coverage->setMinimumHeight(40);
  m_coverage->setToolTip(QStringLiteral(
      "Cuentas con movimientos de terceros que ning\u00fan concepto toma, y por concepto el total "
      "contable frente a lo integrado al formato."));
  m_coverage->setEnabled(static_cast<bool>(m_coverageAction));
  layout->addWidget(m_coverage, 0, Qt::AlignLeft);
  m_status = ui::statusLabel(this);
  layout->addWidget(m_status);
  layout->addStretch(1);
  connect(m_analysis, &QPushButton::clicked, this, &ControlsPage::analyse);
  connect(m_coverage, &QPushButton::clicked, this, &ControlsPage::checkCoverage);
}

int ControlsPage::choice() const { return m_payable->isChecked() ? 2 : 1; }

void ControlsPage::showEvent(QShowEvent* event) {
  m_year->setText(yearText(m_session));
  QWidget::showEvent(event);
  choiceButton(choice())->setFocus();
}

void ControlsPage::analyse() {
  if (!m_action) return;
  const int n = choice();
  const ui::PageControls controls{
      this, {m_receivable, m_payable, m_analysis, m_coverage}, {m_status}, nullptr};
  ui::runPageAction(controls, m_session, [&](shell::Session& s) { m_action(s, n); });
}

void ControlsPage::checkCoverage() {
  if (!m_coverageAction) return;
  const ui::PageControls controls{
      this, {m_receivable, m_payable, m_analysis, m_coverage}, {m_status}, nullptr};
  ui::runPageAction(controls, m_session, [&](shell::Session& s) { m_coverageAction(s); });
}

}  // namespace exo::generation
