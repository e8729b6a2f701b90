// The third-party picker of the holder dialogs (IMPORTATERCERO): the directory copy in code
// order, the search dialog (BUSCATERCERO) and F3 for the next match (BUSCASIG3O); several third
// parties marked for format 1010, one chosen for the current row of format 1012.
#pragma once

#include <QDialog>
#include <set>
#include <string>

#include "consolidation/ManualData.h"

class QLineEdit;
class QRadioButton;

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

namespace exo::consolidation {

// "Digite dato a buscar": the text (upper case) and the field to look in.
class SearchDialog : public QDialog {
  Q_OBJECT
 public:
  SearchDialog(const QString& text, SearchField field, QWidget* parent = nullptr);
  QString text() const;
  SearchField field() const;
  QLineEdit* edit() const { return m_edit; }

 private:
  QLineEdit* m_edit;
  QRadioButton* m_code;
  QRadioButton* m_name;
  QRadioButton* m_nit;
};

// "Seleccione Cuenta".
class ThirdPartyPicker : public QDialog {
  Q_OBJECT
 public:
  ThirdPartyPicker(shell::Session& session, store::Engine& engine, int direcArea, bool multiple,
                   QWidget* parent = nullptr);

  ui::BrowseGrid* grid() const { return m_grid; }
  const std::set<std::string>& marked() const { return m_marked; }
  // The code of the current row.
  std::string currentCode() const;
  // The button's search and F3 (the search text and field are kept while the picker is open).
  void search(const QString& text, SearchField field);
  void searchNext();
  void toggle(int row);

 private:
  void showCurrent();

  shell::Session& m_session;
  store::Engine& m_engine;
  int m_area;
  bool m_multiple;
  ui::BrowseGrid* m_grid;
  ui::WorkAreaModel* m_model;
  std::set<std::string> m_marked;
  QString m_text = QString(40, QLatin1Char(' '));
  SearchField m_field = SearchField::Code;
};

// IMPORTATERCERO: the picker over the directory copy; on "&Grabar" the marked third parties are
// added or refreshed (multiple, format 1010) or the current row of `baseArea` gets the chosen
// one (single, format 1012). True when something was written.
bool IMPORTATERCERO(shell::Session& session, store::Engine& engine, QWidget* parent, int baseArea,
                    int formatNumber, bool multiple);

}  // namespace exo::consolidation
