// The page "Controles" of the group "Medios Magnéticos": the analysis workbooks of the balances
// of formats 1008 and 1009, and the coverage workbook of the assignments. The workbooks are made
// by the actions the program gives the page (choice 1 for 1008, 2 for 1009); a button without
// its action is shown disabled.
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
using CoverageAction = std::function<void(shell::Session& session)>;

class ControlsPage : public QWidget {
  Q_OBJECT
 public:
  ControlsPage(shell::Session& session, AnalysisAction analysis, QWidget* parent = nullptr)
      : ControlsPage(session, std::move(analysis), {}, parent) {}
  ControlsPage(shell::Session& session, AnalysisAction analysis, CoverageAction coverage,
               QWidget* parent);

  // 1 for 1008, 2 for 1009.
  int choice() const;
  QRadioButton* choiceButton(int n) const { return n == 2 ? m_payable : m_receivable; }
  QPushButton* analysisButton() const { return m_analysis; }
  QPushButton* coverageButton() const { return m_coverage; }
  QLabel* yearLabel() const { return m_year; }
  QLabel* statusLine() const { return m_status; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void analyse();
  void checkCoverage();

  shell::Session& m_session;
  AnalysisAction m_action;
  CoverageAction m_coverageAction;
  QRadioButton* m_receivable;
  QRadioButton* m_payable;
  QPushButton* m_analysis;
  QPushButton* m_coverage;
  QLabel* m_year;
  QLabel* m_status;
};

}  // namespace exo::generation
