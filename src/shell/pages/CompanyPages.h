// The company-year choice on screen: the start-up dialog "Seleccione empresa" (SELECEMPRESA)
// and the page "Seleccionar Empresa" of the group "General" (TAB1_PAG07).
#pragma once

#include <QDialog>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "shell/Company.h"

class QLabel;
class QRadioButton;
class QPushButton;

namespace exo::store {
class Engine;
}
namespace exo::ui {
class ArrayModel;
class BrowseGrid;
}  // namespace exo::ui

namespace exo::shell {

class Session;

// The list of companies with its label and, when both products are installed, the product
// buttons; shared by the dialog and the page.
class CompanyChooser : public QWidget {
  Q_OBJECT
 public:
  CompanyChooser(Session& session, store::Engine& engine, QWidget* parent = nullptr);

  // Loads the list of `product` (CARGAVRCTL) and stands on the row of `lastFolder`; returns
  // whether that company is in the list (always true for an empty `lastFolder`).
  bool load(int product, const std::string& lastFolder);
  // Leaves the company of folder `camino` out of the list of `product` (the copy of
  // assignments does not offer the current company as its own source).
  void exclude(int product, std::string camino);
  const CompanyEntry* chosenEntry() const;
  const std::vector<CompanyEntry>& entries() const { return m_entries; }
  ui::BrowseGrid* list() const { return m_grid; }
  QLabel* label() const { return m_label; }
  QRadioButton* productButton(int product) const { return product == 1 ? m_orbisal : m_contable; }

 signals:
  void chosen();  // Enter or double click on a row

 private:
  Session& m_session;
  store::Engine& m_engine;
  QLabel* m_label;
  QRadioButton* m_orbisal;
  QRadioButton* m_contable;
  ui::BrowseGrid* m_grid;
  ui::ArrayModel* m_model;
  std::vector<CompanyEntry> m_entries;
  int m_excludedProduct = 0;
  std::string m_excluded;
};

class CompanyDialog : public QDialog {
  Q_OBJECT
 public:
  CompanyDialog(Session& session, store::Engine& engine, QWidget* parent = nullptr);
  CompanyChooser* chooser() const { return m_chooser; }
  // The entry chosen with "&Seleccionar", Enter or a double click; null when cancelled.
  const CompanyEntry* result() const { return m_chosen ? &m_result : nullptr; }

 private:
  CompanyChooser* m_chooser;
  CompanyEntry m_result;
  bool m_chosen = false;
};

using ShowCompany = std::function<void(const std::string&)>;

// SELECEMPRESA: the modal choice. At start-up (`startup`) leaving without a company shows the
// stop message and returns false: the program must end. With a company chosen it is applied and
// the assignment table compacted.
bool SELECEMPRESA(Session& session, store::Engine& engine, QWidget* parent, bool startup,
                  const ShowCompany& showCompany);

// TAB1_PAG07: the page "Seleccionar Empresa".
class CompanyPage : public QWidget {
  Q_OBJECT
 public:
  CompanyPage(Session& session, store::Engine& engine, ShowCompany showCompany,
              QWidget* parent = nullptr);
  // Reloads the list of the session's product; false when the current company is not in it
  // (the page is then not opened).
  bool reload();
  CompanyChooser* chooser() const { return m_chooser; }

 private:
  void choose();
  Session& m_session;
  store::Engine& m_engine;
  ShowCompany m_showCompany;
  CompanyChooser* m_chooser;
};

}  // namespace exo::shell
