// The browse grid every page uses: a table view over a work area or rows in memory, whole-row
// selection, Enter and double click to act on a row, F3 where a page binds it, and first
// columns that stay in place while the others scroll.
#pragma once

#include <QTableView>

namespace exo::ui {

class BrowseGrid : public QTableView {
  Q_OBJECT
 public:
  explicit BrowseGrid(QWidget* parent = nullptr);

  void setModel(QAbstractItemModel* model) override;
  // Column widths in characters of the grid's font (0 leaves a column as it is).
  void setColumnWidthsInChars(const std::vector<int>& widths);
  // Column `column` takes the width the other columns leave free (never less than its widest
  // visible text); -1: none. Name columns use it, so that a name is not cut while the grid has
  // room, and the other columns stay in view.
  void setStretchColumn(int column);
  int stretchColumn() const { return m_stretch; }
  // Keeps the first `n` columns in place when scrolling sideways.
  void setFrozenColumns(int n);
  int frozenColumns() const { return m_frozen; }
  int currentRowNumber() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

 signals:
  void rowActivated(int row);  // Enter or double click
  void f3Pressed(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void updateGeometries() override;

 private:
  void layoutFrozen();
  void fitStretchColumn();

  QTableView* m_frozenView = nullptr;
  int m_frozen = 0;
  int m_stretch = -1;
  bool m_fitting = false;
  bool m_stretchFollowsScroll = false;
};

}  // namespace exo::ui
