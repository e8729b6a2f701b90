// The chart import page.
#include "import/pages/ChartImportPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "import/ImportRun.h"
#include "import/LedgerImport.h"
#include "masterdata/pages/CopySourceDialog.h"
#include "shell/Session.h"
#include "ui/PageAction.h"
#include "ui/PageLook.h"
#include "ui/Text.h"

namespace exo::import {

ChartImportPage::ChartImportPage(shell::Session& session, store::Engine& engine, QWidget* parent)
    : QWidget(parent), m_session(session), m_engine(engine) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ui::pageHeading(QStringLiteral("Importar Cuentas del P.U.C."), this), 0,
                    Qt::AlignLeft);
  layout->addSpacing(16);

  auto* box = new QGridLayout;
  box->addWidget(new QLabel(QStringLiteral("Importar Cuentas del P.U.C.:"), this), 0, 0);
  m_import = new QPushButton(QStringLiteral("&Importar"), this);
  m_import->setMinimumWidth(120);
  box->addWidget(m_import, 0, 1, Qt::AlignLeft);
  m_status = ui::statusLabel(this);
  box->addWidget(m_status, 1, 0, 1, 2);
  m_meter = ui::pageMeter(this, 1000, false);
  box->addWidget(m_meter, 2, 0, 1, 2);
  box->setColumnStretch(1, 1);
  layout->addLayout(box);
  layout->addSpacing(24);

  m_fromCompany = new QPushButton(
      QStringLiteral("Importar C\u00f3digos Contables asignados a Conceptos"), this);
  m_fromPreviousYear = new QPushButton(
      QStringLiteral("Importar Conceptos Contables de Norvasta Informaci\u00f3n Ex\u00f3gena 2010"),
      this);
  for (QPushButton* b : {m_fromCompany, m_fromPreviousYear}) {
    b->setMinimumHeight(32);
    layout->addWidget(b, 0, Qt::AlignLeft);
  }
  layout->addStretch(1);
  for (QPushButton* b : {m_import, m_fromCompany, m_fromPreviousYear}) b->setAutoDefault(false);

  connect(m_import, &QPushButton::clicked, this, &ChartImportPage::importChart);
  connect(m_fromCompany, &QPushButton::clicked, this, &ChartImportPage::copyFromCompany);
  connect(m_fromPreviousYear, &QPushButton::clicked, this, &ChartImportPage::copyFromPreviousYear);
}

void ChartImportPage::importChart() {
  const ui::PageControls controls{
      this, {m_import, m_fromCompany, m_fromPreviousYear}, {m_status}, m_meter};
  ui::runPageAction(controls, m_session, [this](shell::Session& s) {
    const ChartImportResult r = IMPORTAPUC(s, m_engine);
    // The count of the accounts copied beside the end of the run.
    if (r.done)
      m_status->setText(m_status->text() + QStringLiteral("  Cuentas copiadas: ") +
                        ui::qt(withThousands(r.copied)) + QStringLiteral(" de ") +
                        ui::qt(withThousands(r.accounts)) + QStringLiteral(" en uso"));
  });
}

void ChartImportPage::copyFromCompany() {
  const ui::PageControls controls{
      this, {m_import, m_fromCompany, m_fromPreviousYear}, {m_status}, nullptr};
  ui::runPageAction(controls, m_session,
                    [this](shell::Session& s) { masterdata::copyFromCompany(s, m_engine, this); });
}

void ChartImportPage::copyFromPreviousYear() {
  const ui::PageControls controls{
      this, {m_import, m_fromCompany, m_fromPreviousYear}, {m_status}, nullptr};
  ui::runPageAction(controls, m_session,
                    [this](shell::Session& s) { masterdata::copyFromPreviousYear(s, m_engine); });
}

}  // namespace exo::import
