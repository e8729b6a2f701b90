// The choice of the company to copy the assignments from.
#include "masterdata/pages/CopySourceDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "assignment/AssignmentCopy.h"
#include "shell/Session.h"
#include "shell/pages/CompanyPages.h"
#include "ui/BrowseGrid.h"
#include "ui/PageLook.h"
#include "ui/Text.h"

namespace exo::masterdata {

CopySourceDialog::CopySourceDialog(shell::Session& session, store::Engine& engine, int product,
                                   QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(ui::qt(assignment::kCopyTitle));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(480, 380);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ui::pageHeading(QStringLiteral("Seleccione Empresa origen"), this), 0,
                    Qt::AlignLeft);
  m_chooser = new shell::CompanyChooser(session, engine, this);
  // The current company is no source of its own assignments.
  const std::string cel = session.celPath();
  if (const auto slash = cel.find('\\'); slash != std::string::npos)
    m_chooser->exclude(product, cel.substr(slash + 1));
  layout->addWidget(m_chooser, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* select = new QPushButton(QStringLiteral("&Seleccionar"), this);
  select->setToolTip(QStringLiteral("Selecciona empresa origen"));
  auto* cancel = new QPushButton(QStringLiteral("&Cancelar"), this);
  for (QPushButton* b : {select, cancel}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);
  auto choose = [this] {
    if (const shell::CompanyEntry* e = m_chooser->chosenEntry()) {
      m_result = *e;
      accept();
    }
  };
  connect(select, &QPushButton::clicked, this, choose);
  connect(m_chooser, &shell::CompanyChooser::chosen, this, choose);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  m_chooser->load(product, {});
  m_chooser->list()->setFocus();
}

void copyFromCompany(shell::Session& session, store::Engine& engine, QWidget* parent) {
  const auto choice = assignment::companiesForCopy(session, engine);
  if (!choice) return;
  CopySourceDialog dialog(session, engine, choice->product, parent);
  if (dialog.exec() != QDialog::Accepted || !dialog.result()) return;
  assignment::copyAssignmentsFromCompany(session, engine, *dialog.result());
}

void copyFromPreviousYear(shell::Session& session, store::Engine& engine) {
  assignment::copyAssignmentsFromPreviousYear(session, engine);
}

}  // namespace exo::masterdata
