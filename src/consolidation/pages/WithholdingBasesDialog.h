// The review of the withholding bases of formats 1002 and 1003 (REGUL_BASE_RET,
// REGUL_BASE_RETV): the base table per third party and concept with its percentages and bases,
// the percentages and bases editable in the grid, and the restore of the defaults.
#pragma once

#include <QDialog>

class QPushButton;

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}
namespace exo::ui {
class BrowseGrid;
}

namespace exo::consolidation {

class BasesGridModel;

class WithholdingBasesDialog : public QDialog {
  Q_OBJECT
 public:
  // `area` is the base table open as BaseRet; `formatNumber` 2 or 3.
  WithholdingBasesDialog(shell::Session& session, store::Engine& engine, int formatNumber, int area,
                         QWidget* parent = nullptr);

  ui::BrowseGrid* grid() const { return m_grid; }
  BasesGridModel* model() const { return m_model; }
  QPushButton* restoreButton() const { return m_restore; }
  int area() const { return m_area; }

 private:
  void setArea(int area);
  void restoreDefaults();

  shell::Session& m_session;
  store::Engine& m_engine;
  int m_format;
  int m_area;
  ui::BrowseGrid* m_grid;
  BasesGridModel* m_model = nullptr;
  QPushButton* m_restore;
};

// REGUL_BASE_RET (format 1002) and REGUL_BASE_RETV (format 1003): the readiness check, the
// table built when missing, the dialog, and the table closed when the dialog closes. The
// generation page calls them with its format number (2 or 3).
void REGUL_BASE_RET(shell::Session& session, store::Engine& engine, QWidget* parent);
void REGUL_BASE_RETV(shell::Session& session, store::Engine& engine, QWidget* parent);

}  // namespace exo::consolidation
