// The page "Parametrización..." of the group "General": the consecutive number of the next DIAN
// submission (CCONSECUT) with "Grabar", which saves it in the company's "Consecut.mem", and
// "Mantenimiento Bases", which compacts the assignment table, fills its missing natures and
// imports the chart again (AUTOMANTENIM), with its status label and meter.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::masterdata {

class ParametersPage : public QWidget {
  Q_OBJECT
 public:
  ParametersPage(shell::Session& session, store::Engine& engine, QWidget* parent = nullptr);

  QLineEdit* consecutive() const { return m_consecut; }
  QPushButton* saveButton() const { return m_save; }
  QPushButton* maintenanceButton() const { return m_maintenance; }
  QLabel* statusLine() const { return m_status; }
  QProgressBar* meter() const { return m_meter; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void save();
  void maintain();

  shell::Session& m_session;
  store::Engine& m_engine;
  QLineEdit* m_consecut;
  QPushButton* m_save;
  QPushButton* m_maintenance;
  QLabel* m_status;
  QProgressBar* m_meter;
};

}  // namespace exo::masterdata
