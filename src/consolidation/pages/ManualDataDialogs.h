// The dialogs of the manual data of formats 1004, 1010, 1011 and 1012 (DATOS_FISCALES04 ...
// DATOS_FISCALES12) and their entry points REGUL_FORM04 ... REGUL_FORM12, which prepare the
// table, show the dialog and close the table again. Every change in a grid is written at once.
#pragma once

#include <QDialog>
#include <vector>

class QLabel;
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

class ManualDataDialog : public QDialog {
  Q_OBJECT
 public:
  // `area` is the table open as BaseDatos; `formatNumber` 4, 10, 11 or 12.
  ManualDataDialog(shell::Session& session, store::Engine& engine, int formatNumber, int area,
                   QWidget* parent = nullptr);

  ui::BrowseGrid* grid() const { return m_grid; }
  BasesGridModel* model() const { return m_model; }
  int area() const { return m_area; }
  // The buttons by caption ("&Importar Tercero", "&Borrar ficha", "Rehacer base"...).
  QPushButton* button(const QString& caption) const;
  // The detail panel's value for a caption ("Código:", "Saldo:"...), or the concept line.
  QString detail(const QString& caption) const;
  // Whether the dialog was closed with its own button.
  bool closedByButton() const { return m_closedByButton; }

 private:
  void setArea(int area);
  void showRow(int row);
  void importThirdParty();
  void deleteRow();
  void rebuild();

  shell::Session& m_session;
  store::Engine& m_engine;
  int m_format;
  int m_area;
  ui::BrowseGrid* m_grid;
  BasesGridModel* m_model = nullptr;
  std::vector<std::pair<QString, QLabel*>> m_details;
  std::vector<QPushButton*> m_buttons;
  bool m_closedByButton = false;
};

// REGUL_FORM04 (format 1004), REGUL_FORM10, REGUL_FORM11, REGUL_FORM12: prepare the table,
// show the dialog, close the table. The generation page calls them with its format number.
bool REGUL_FORM04(shell::Session& session, store::Engine& engine, QWidget* parent);
bool REGUL_FORM10(shell::Session& session, store::Engine& engine, QWidget* parent);
bool REGUL_FORM11(shell::Session& session, store::Engine& engine, QWidget* parent);
bool REGUL_FORM12(shell::Session& session, store::Engine& engine, QWidget* parent);

}  // namespace exo::consolidation
