// The movement import page.
#include "import/pages/MovementImportPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "consolidation/Integration.h"
#include "import/ImportRun.h"
#include "import/LedgerImport.h"
#include "import/ThirdPartyCheck.h"
#include "import/pages/ErrorListDialog.h"
#include "shell/Session.h"
#include "ui/PageAction.h"
#include "ui/PageLook.h"
#include "ui/Text.h"

namespace exo::import {

MovementImportPage::MovementImportPage(shell::Session& session, store::Engine& engine,
                                       QWidget* parent)
    : QWidget(parent), m_session(session), m_engine(engine) {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(ui::pageHeading(QStringLiteral("Importar Movimientos Contables"), this));
  top->addStretch(1);
  m_year = new QLabel(this);
  m_year->setStyleSheet(
      QStringLiteral("QLabel { font-size: 12pt; font-weight: bold; color: rgb(0,0,125); }"));
  m_year->setText(QStringLiteral("A\u00f1o:  ") + ui::qt(m_session.anioIni()));
  m_year->setMinimumWidth(
      m_year->fontMetrics().horizontalAdvance(QStringLiteral("A\u00f1o:  0000")) + 8);
  top->addWidget(m_year, 0, Qt::AlignTop);
  layout->addLayout(top);
  layout->addSpacing(12);

  static const char* const kCaptions[] = {
      "&1. Importar Movimientos Contables",      "&2. Regularizar IVA's",
      "&3. Regularizar Comisiones en Ventas",    "&4. Integrar Movimientos a Formatos",
      "Importar s\xC3\xB3lo Fichas de Terceros", "Validar Estructura\nFichas de Terceros",
  };
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(16);
  grid->setVerticalSpacing(8);
  for (int i = 0; i < 6; ++i) {
    auto* b = new QPushButton(QString::fromUtf8(kCaptions[i]), this);
    b->setMinimumSize(260, 44);
    b->setAutoDefault(false);
    b->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding: 4px 12px; }"));
    m_buttons[static_cast<std::size_t>(i)] = b;
    // Buttons 1 to 4 are the steps in their order; 5 and 6 serve the third parties.
    if (i < 4) grid->addWidget(b, i, 0);
    else grid->addWidget(b, i - 4, 1);
  }
  grid->setColumnStretch(2, 1);
  layout->addLayout(grid);
  layout->addSpacing(16);

  for (std::size_t i = 0; i < m_lines.size(); ++i) {
    m_lines[i] = ui::statusLabel(this);
    layout->addWidget(m_lines[i]);
  }
  m_meter = ui::pageMeter(this, 1000, true);
  layout->addWidget(m_meter);
  layout->addStretch(1);

  connect(button(1), &QPushButton::clicked, this, [this] {
    run([this](shell::Session& s) {
      const MovementImportResult r = IMPORTATRACON(s, m_engine);
      if (r.done) showCounts(r);
    });
  });
  connect(button(2), &QPushButton::clicked, this,
          [this] { run([this](shell::Session& s) { showMoved(ARREGLAIVA(s, m_engine)); }); });
  connect(button(3), &QPushButton::clicked, this,
          [this] { run([this](shell::Session& s) { showMoved(ARREGLACOMIS(s, m_engine)); }); });
  connect(button(4), &QPushButton::clicked, this, [this] {
    run([this](shell::Session& s) { consolidation::IMPORTACONTAB(s, m_engine); });
  });
  connect(button(5), &QPushButton::clicked, this,
          [this] { run([this](shell::Session& s) { IMPORTASOLOTERC(s, m_engine); }); });
  connect(button(6), &QPushButton::clicked, this, &MovementImportPage::validate);
}

void MovementImportPage::showEvent(QShowEvent* event) {
  // The company (and so the year) may have changed since the page was last on screen.
  m_year->setText(QStringLiteral("A\u00f1o:  ") + ui::qt(m_session.anioIni()));
  QWidget::showEvent(event);
}

template <class Work>
void MovementImportPage::run(Work work) {
  const ui::PageControls controls{
      this, {m_buttons.begin(), m_buttons.end()}, {m_lines.begin(), m_lines.end()}, m_meter};
  ui::runPageAction(controls, m_session, work);
}

// The lines read from the ledger and the lines kept in the year's table, after the words that
// end the run on the second line (the notes of the run, when any, follow).
void MovementImportPage::showCounts(const MovementImportResult& r) {
  std::int64_t kept = 0;
  for (const PeriodCount& p : r.periods) kept += p.imported;
  const QString counts = QStringLiteral("  L\u00edneas le\u00eddas: ") +
                         ui::qt(withThousands(r.counted)) + QStringLiteral("  conservadas: ") +
                         ui::qt(withThousands(kept));
  QString text = m_lines[1]->text();
  const QString finished = ui::qt(kFinished);
  if (text.startsWith(finished)) text.insert(finished.size(), counts);
  else text = finished + counts + text;
  m_lines[1]->setText(text);
}

// The lines a fix looked at and the lines it gave another third party.
void MovementImportPage::showMoved(const FixResult& r) {
  if (!r.done) return;
  m_lines[0]->setText(m_lines[0]->text() + QStringLiteral("  L\u00edneas revisadas: ") +
                      ui::qt(withThousands(r.scanned)) +
                      QStringLiteral("  cambiadas de tercero: ") + ui::qt(withThousands(r.moved)));
}

void MovementImportPage::validate() {
  run([this](shell::Session& s) {
    const ValidationResult r = VALIDAFICHTERC(s, m_engine);
    // The error list opens over the table just filled, still with the page's buttons off.
    if (r.done && r.errors > 0) MUESTRABASEERROR(s, m_engine, this);
  });
}

}  // namespace exo::import
