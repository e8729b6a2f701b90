// The assignment dialog of a concept ("Códigos contables asociados al concepto"), the account
// picker ("Seleccione Cuenta") and its search box ("Digite dato a buscar"). They only show what
// an AssignmentSession holds and pass the user's choices to its routines.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <optional>

#include "assignment/Assignment.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace exo::ui {
class BrowseGrid;
class WorkAreaModel;
}  // namespace exo::ui

namespace exo::assignment {

// The chart of the ledger (AELPUC) as the picker's rows.
class ChartModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  ChartModel(AssignmentSession& session, bool withMarks, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void rowChangedAt(int row);

 private:
  AssignmentSession& m_session;
  bool m_withMarks;
};

// "Digite dato a buscar": the text and what it is compared with.
class SearchDialog : public QDialog {
  Q_OBJECT
 public:
  SearchDialog(const SearchState& previous, QWidget* parent = nullptr);
  QString text() const;
  bool byDescription() const;
  QLineEdit* field() const { return m_text; }
  QRadioButton* descriptionChoice() const { return m_description; }

 private:
  QLineEdit* m_text;
  QRadioButton* m_code;
  QRadioButton* m_description;
};

// "Seleccione Cuenta".
class PickerDialog : public QDialog {
  Q_OBJECT
 public:
  PickerDialog(AssignmentSession& session, Mode mode, int startRow, QWidget* parent = nullptr);
  ui::BrowseGrid* grid() const { return m_grid; }
  ChartModel* model() const { return m_model; }
  QPushButton* searchButton() const { return m_search; }
  QPushButton* saveButton() const { return m_save; }
  QPushButton* cancelButton() const { return m_cancel; }
  void moveTo(int row);
  int currentRow() const;

 private:
  void search();
  void searchNext();

  AssignmentSession& m_session;
  ui::BrowseGrid* m_grid;
  ChartModel* m_model;
  QPushButton* m_search;
  QPushButton* m_save;
  QPushButton* m_cancel;
};

// The picker of INCLCODCON in a window.
class PickerWindow final : public AccountPicker {
 public:
  explicit PickerWindow(QWidget* parent) : m_parent(parent) {}
  std::optional<int> pick(AssignmentSession& session, Mode mode, int startRow) override;

 private:
  QWidget* m_parent;
};

// "Códigos contables asociados al concepto".
class AssignmentDialog : public QDialog {
  Q_OBJECT
 public:
  AssignmentDialog(AssignmentSession& session, QWidget* parent = nullptr);
  ui::BrowseGrid* grid() const { return m_grid; }
  ui::WorkAreaModel* model() const { return m_model; }
  QPushButton* button(Mode mode) const;
  QPushButton* closeButton() const { return m_close; }
  // Runs INCLCODCON in `mode` on the grid's current row with `picker`.
  void run(Mode mode, AccountPicker& picker);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  AssignmentSession& m_session;
  ui::BrowseGrid* m_grid;
  ui::WorkAreaModel* m_model;
  QPushButton* m_add;
  QPushButton* m_change;
  QPushButton* m_delete;
  QPushButton* m_close;
};

}  // namespace exo::assignment
