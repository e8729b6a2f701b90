// The page "Importar Cuentas del P.U.C." of the group "General": the chart import (IMPORTAPUC)
// with its status line and meter, and the two buttons that bring assignments from another
// company or from the previous year's installation.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::import {

class ChartImportPage : public QWidget {
  Q_OBJECT
 public:
  ChartImportPage(shell::Session& session, store::Engine& engine, QWidget* parent = nullptr);

  QPushButton* importButton() const { return m_import; }
  QLabel* statusLine() const { return m_status; }
  QProgressBar* meter() const { return m_meter; }
  QPushButton* fromCompanyButton() const { return m_fromCompany; }
  QPushButton* fromPreviousYearButton() const { return m_fromPreviousYear; }

 private:
  void importChart();
  void copyFromCompany();
  void copyFromPreviousYear();

  shell::Session& m_session;
  store::Engine& m_engine;
  QPushButton* m_import;
  QPushButton* m_fromCompany;
  QPushButton* m_fromPreviousYear;
  QLabel* m_status;
  QProgressBar* m_meter;
};

}  // namespace exo::import
