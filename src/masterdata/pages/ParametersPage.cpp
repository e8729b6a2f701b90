// The parameters page.
#include "masterdata/pages/ParametersPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "expr/Text.h"
#include "import/LedgerImport.h"
#include "shell/MemFile.h"
#include "shell/Session.h"
#include "ui/PageAction.h"
#include "ui/PageLook.h"
#include "ui/Text.h"

namespace exo::masterdata {

namespace {
constexpr const char* kAttention = "Atenci\363n.....";
}

ParametersPage::ParametersPage(shell::Session& session, store::Engine& engine, QWidget* parent)
    : QWidget(parent), m_session(session), m_engine(engine) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ui::pageHeading(QStringLiteral("Parametrizaci\u00f3n"), this), 0,
                    Qt::AlignLeft);
  layout->addSpacing(16);

  auto* number = new QHBoxLayout;
  number->addWidget(new QLabel(
      QStringLiteral("Siguiente N\u00famero Consecutivo de env\u00edo por a\u00f1o:"), this));
  m_consecut = new QLineEdit(this);
  m_consecut->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this));
  m_consecut->setMaxLength(3);
  m_consecut->setFixedWidth(m_consecut->fontMetrics().horizontalAdvance(QStringLiteral("0000")) +
                            16);
  m_consecut->setAlignment(Qt::AlignRight);
  number->addWidget(m_consecut);
  m_save = new QPushButton(QStringLiteral("Grabar"), this);
  number->addWidget(m_save);
  number->addStretch(1);
  layout->addLayout(number);
  layout->addSpacing(24);

  m_maintenance = new QPushButton(QStringLiteral("Mantenimiento Bases"), this);
  m_maintenance->setMinimumSize(200, 34);
  layout->addWidget(m_maintenance, 0, Qt::AlignLeft);
  m_status = ui::statusLabel(this);
  layout->addWidget(m_status);
  m_meter = ui::pageMeter(this, 100, false);
  m_meter->setStyleSheet(QStringLiteral(
      "QProgressBar { background: black; border: 1px solid rgb(60,60,60); border-radius: 2px; }"
      " QProgressBar::chunk { background: yellow; }"));
  m_meter->setFixedHeight(16);
  layout->addWidget(m_meter);
  layout->addStretch(1);
  for (QPushButton* b : {m_save, m_maintenance}) b->setAutoDefault(false);

  // The field is bound to CCONSECUT: what is typed is the running program's number at once,
  // and "Grabar" keeps it for the company.
  connect(m_consecut, &QLineEdit::textEdited, this, [this](const QString& text) {
    std::string number = ui::core(text);
    number.resize(3, ' ');
    m_session.setConsecut(number);
  });
  connect(m_consecut, &QLineEdit::returnPressed, this, &ParametersPage::save);
  connect(m_save, &QPushButton::clicked, this, &ParametersPage::save);
  connect(m_maintenance, &QPushButton::clicked, this, &ParametersPage::maintain);
}

void ParametersPage::showEvent(QShowEvent* event) {
  // Another company may have been chosen since the page was last on screen.
  m_consecut->setText(ui::qt(trimBlanks(m_session.consecut())));
  m_consecut->setFocus();
  QWidget::showEvent(event);
}

void ParametersPage::save() {
  const std::string digits(trimBlanks(m_session.consecut()));
  if (digits.empty() || std::stoi(digits) == 0) {
    m_session.ui().message(shell::MessageKind::Stop, kAttention,
                           "El n\372mero consecutivo de env\355o debe estar entre 1 y 999.");
    m_consecut->setFocus();
    return;
  }
  const ui::PageControls controls{this, {m_save, m_maintenance}, {m_status}, nullptr};
  ui::runPageAction(controls, m_session, [this](shell::Session& s) {
    shell::saveMemvars(s.interp(), s.companyFile(shell::kConsecutFile), "cConsecut*");
    m_status->setText(QStringLiteral("N\u00famero consecutivo grabado....."));
  });
}

void ParametersPage::maintain() {
  const ui::PageControls controls{this, {m_save, m_maintenance, m_consecut}, {m_status}, m_meter};
  ui::runPageAction(controls, m_session,
                    [this](shell::Session& s) { import::AUTOMANTENIM(s, m_engine); });
}

}  // namespace exo::masterdata
