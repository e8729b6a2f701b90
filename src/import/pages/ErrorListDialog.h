// MUESTRABASEERROR: the list of third parties of the ledger's directory whose record breaks the
// rules, over the error table "ErrFDir.dbf" (alias "Errores"): their count, a grid of code,
// document and name, and the current row's values with its errors one per line.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}
namespace exo::ui {
class BrowseGrid;
class WorkAreaModel;
}  // namespace exo::ui

namespace exo::import {

class ErrorListDialog : public QDialog {
  Q_OBJECT
 public:
  // `area` is the open error table.
  ErrorListDialog(store::Engine& engine, int area, QWidget* parent = nullptr);

  ui::BrowseGrid* grid() const { return m_grid; }
  QLabel* total() const { return m_total; }
  // The current row's values: code, document, name, errors.
  QString code() const;
  QString document() const;
  QString name() const;
  QString errors() const;

 private:
  void showRow(int row);

  store::Engine& m_engine;
  int m_area;
  ui::BrowseGrid* m_grid;
  ui::WorkAreaModel* m_model;
  QLabel* m_total;
  QLabel* m_code;
  QLabel* m_document;
  QLabel* m_name;
  QPlainTextEdit* m_errors;
};

// Opens the session's error table as "Errores", shows the list modally and closes the table
// again (the selected work area is kept). Nothing is shown when the table does not exist.
void MUESTRABASEERROR(shell::Session& session, store::Engine& engine, QWidget* parent);

}  // namespace exo::import
