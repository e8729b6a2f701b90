// The dialog "Importar Códigos Contables asignados a Conceptos": the choice of the company whose
// assignment table is copied into the current company, and the two copy actions of the chart
// page as its buttons run them.
#pragma once

#include <QDialog>
#include <optional>

#include "shell/Company.h"

namespace exo::shell {
class CompanyChooser;
class Session;
}  // namespace exo::shell
namespace exo::store {
class Engine;
}

namespace exo::masterdata {

class CopySourceDialog : public QDialog {
  Q_OBJECT
 public:
  CopySourceDialog(shell::Session& session, store::Engine& engine, int product,
                   QWidget* parent = nullptr);
  shell::CompanyChooser* chooser() const { return m_chooser; }
  // The company confirmed with "&Seleccionar", Enter or a double click.
  const std::optional<shell::CompanyEntry>& result() const { return m_result; }

 private:
  shell::CompanyChooser* m_chooser;
  std::optional<shell::CompanyEntry> m_result;
};

// "Importar Códigos Contables asignados a Conceptos": offers the companies and copies the
// chosen one's assignments.
void copyFromCompany(shell::Session& session, store::Engine& engine, QWidget* parent);
// "Importar Conceptos Contables de Norvasta Información Exógena 2010".
void copyFromPreviousYear(shell::Session& session, store::Engine& engine);

}  // namespace exo::masterdata
