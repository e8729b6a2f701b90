// The pages of the group "General" over the reference tables: "Formatos" (TAB1_PAG01),
// "Conceptos" with its filter by format (TAB1_PAG02), "Tipo Documentos" (TAB1_PAG03),
// "Departamentos" (TAB1_PAG04), "Municipios" with its filter by department (TAB1_PAG05) and
// "Países" (TAB1_PAG06).
//
// Each grid reads its table's open work area through the keys of its order, so a whole table
// scrolls without being read; the pages are kept for the session, so every grid and filter is
// where the user left it when the page is shown again.
#pragma once

#include <QWidget>
#include <string>

class QComboBox;
class QLabel;

namespace exo::store {
class Engine;
}
namespace exo::ui {
class BrowseGrid;
class WorkAreaModel;
}  // namespace exo::ui

namespace exo::masterdata {

// A read-only grid over an open work area, under a heading, with the labels below it that
// follow the current row.
class ReferencePage : public QWidget {
  Q_OBJECT
 public:
  ui::BrowseGrid* grid() const { return m_grid; }
  ui::WorkAreaModel* model() const { return m_model; }
  QComboBox* filter() const { return m_filter; }
  QLabel* detail() const { return m_detail; }
  int rowCount() const;

 protected:
  ReferencePage(store::Engine& engine, const QString& heading, QWidget* parent);
  // Puts the grid (and the filter row when `filterCaption` is set) under the heading.
  void addGrid(ui::WorkAreaModel* model, const std::vector<int>& widths,
               const QString& filterCaption = {});
  // Called with the area on the current row's record (nothing at end of range).
  virtual void rowChanged() {}
  // Applies the filter's choice (1-based) and returns the row count.
  virtual std::int64_t applyFilter(int) { return 0; }
  // True when the page's table is open; otherwise the page says so and shows no grid.
  bool tableOpen(int area, const char* file);
  QLabel* addLabel();
  // Fills the labels from the grid's current row.
  void refreshLabels();
  void showEvent(QShowEvent* event) override;

  store::Engine& m_engine;
  ui::BrowseGrid* m_grid = nullptr;
  ui::WorkAreaModel* m_model = nullptr;
  QComboBox* m_filter = nullptr;
  QLabel* m_detail = nullptr;

 private:
  void filterChosen(int index);
};

class FormatsPage : public ReferencePage {
  Q_OBJECT
 public:
  FormatsPage(store::Engine& engine, QWidget* parent = nullptr);

 protected:
  void rowChanged() override;
};

class ConceptsPage : public ReferencePage {
  Q_OBJECT
 public:
  ConceptsPage(store::Engine& engine, QWidget* parent = nullptr);
  QLabel* base() const { return m_base; }

 protected:
  void rowChanged() override;
  std::int64_t applyFilter(int choice) override;

 private:
  QLabel* m_base = nullptr;
};

class DocumentTypesPage : public QWidget {
  Q_OBJECT
 public:
  explicit DocumentTypesPage(QWidget* parent = nullptr);
  ui::BrowseGrid* grid() const { return m_grid; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  ui::BrowseGrid* m_grid;
};

class DepartmentsPage : public ReferencePage {
  Q_OBJECT
 public:
  DepartmentsPage(store::Engine& engine, QWidget* parent = nullptr);
};

class MunicipalitiesPage : public ReferencePage {
  Q_OBJECT
 public:
  MunicipalitiesPage(store::Engine& engine, QWidget* parent = nullptr);

 protected:
  std::int64_t applyFilter(int choice) override;
};

class CountriesPage : public ReferencePage {
  Q_OBJECT
 public:
  CountriesPage(store::Engine& engine, QWidget* parent = nullptr);
};

// "#,###,###.##" without leading blanks: a base as the concepts page shows it below the grid.
std::string baseText(double base);

}  // namespace exo::masterdata
