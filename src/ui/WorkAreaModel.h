// A table model over a work area: its rows are the keys of the area's controlling order within
// scope and filter (sized from the key count, positioned by key position, so a table of a
// million records scrolls without reading it), its columns expressions of the language or C++
// callbacks on the current record. Editable columns write their field under a record lock.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <string>
#include <vector>

#include "expr/Interp.h"

namespace exo::store {
class Engine;
}

namespace exo::ui {

struct GridColumn {
  QString heading;
  std::string expression;          // evaluated with the area selected (empty: use `value`)
  std::function<QString()> value;  // called with the area on the row's record
  std::string picture;             // Transform picture for the expression ("" = display form)
  int width = 0;                   // in characters, 0 = from the heading
  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
  std::string field;  // when set, the column edits this field
};

class WorkAreaModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Role { RecNoRole = Qt::UserRole + 1 };

  WorkAreaModel(store::Engine& engine, int area, std::vector<GridColumn> columns,
                QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  const GridColumn& column(int i) const { return m_columns[static_cast<std::size_t>(i)]; }
  int area() const { return m_area; }
  // Moves the area to a row's record; false when the row no longer exists.
  bool moveTo(int row) const;
  // The row of the area's current record (-1 at end of file).
  int currentRow() const;
  // Re-reads the key count after the table, its scope or its filter changed.
  void refresh();

 private:
  QString text(int column) const;

  store::Engine& m_engine;
  int m_area;
  std::vector<GridColumn> m_columns;
  std::vector<ProgramPtr> m_programs;
  int m_rows = 0;
  mutable int m_row = -1;
  mutable std::int64_t m_recno = 0;
};

}  // namespace exo::ui
