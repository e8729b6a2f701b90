// The page "Controles" of the group "Medios Magnéticos": the analysis workbooks of the balances
// of formats 1008 and 1009. The workbook itself is made by the action the program gives the page
// (choice 1 for 1008, 2 for 1009); a program without it shows the button disabled.
#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;

namespace exo::shell {
class Session;
}

namespace exo::generation {

using AnalysisAction = std::function<void(shell::Session& session, int choice)>;

class ControlsPage : public QWidget {
  Q_OBJECT
 public:
  ControlsPage(shell::Session& session, AnalysisAction analysis, QWidget* parent = nullptr);

  // 1 for 1008, 2 for 1009.
  int choice() const;
  QRadioButton* choiceButton(int n) const { return n == 2 ? m_payable : m_receivable; }
  QPushButton* analysisButton() const { return m_analysis; }
  QLabel* yearLabel() const { return m_year; }
  QLabel* statusLine() const { return m_status; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void analyse();

  shell::Session& m_session;
  AnalysisAction m_action;
  QRadioButton* m_receivable;
  QRadioButton* m_payable;
  QPushButton* m_analysis;
  QLabel* m_year;
  QLabel* m_status;
};

}  // namespace exo::generation
