// Browse grid: a table view with the keys and frozen columns the pages rely on.
#include "ui/BrowseGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>

namespace exo::ui {

BrowseGrid::BrowseGrid(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
  setAlternatingRowColors(true);
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setHighlightSections(false);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  connect(this, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (!(model()->flags(index) & Qt::ItemIsEditable)) emit rowActivated(index.row());
  });
}

void BrowseGrid::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  if (m_frozenView) {
    m_frozenView->setModel(model);
    m_frozenView->setSelectionModel(selectionModel());
  }
  setFrozenColumns(m_frozen);
}

void BrowseGrid::setColumnWidthsInChars(const std::vector<int>& widths) {
  const int ch = fontMetrics().horizontalAdvance(QLatin1Char('N'));
  for (std::size_t i = 0; i < widths.size(); ++i) {
    if (widths[i] > 0) setColumnWidth(static_cast<int>(i), widths[i] * ch + 12);
  }
  fitStretchColumn();
  layoutFrozen();
}

void BrowseGrid::setStretchColumn(int column) {
  m_stretch = column;
  if (column >= 0) horizontalHeader()->setStretchLastSection(false);
  // The rows scrolled into view may hold longer names.
  if (!m_stretchFollowsScroll) {
    m_stretchFollowsScroll = true;
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { fitStretchColumn(); });
  }
  fitStretchColumn();
}

void BrowseGrid::fitStretchColumn() {
  if (m_fitting || m_stretch < 0 || !model() || m_stretch >= model()->columnCount()) return;
  m_fitting = true;
  int others = 0;
  for (int c = 0; c < model()->columnCount(); ++c)
    if (c != m_stretch && !isColumnHidden(c)) others += columnWidth(c);
  // The room there is, without the vertical scroll bar's own.
  const int room = viewport()->width() - others;
  const int wanted = std::max(sizeHintForColumn(m_stretch), room);
  if (columnWidth(m_stretch) != wanted) setColumnWidth(m_stretch, wanted);
  m_fitting = false;
}

void BrowseGrid::keyPressEvent(QKeyEvent* event) {
  const int row = currentRowNumber();
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      state() != EditingState) {
    if (row >= 0) emit rowActivated(row);
    return;
  }
  if (event->key() == Qt::Key_F3) {
    emit f3Pressed(row);
    return;
  }
  QTableView::keyPressEvent(event);
}

void BrowseGrid::setFrozenColumns(int n) {
  m_frozen = n;
  if (n <= 0 || !model()) {
    if (m_frozenView) m_frozenView->hide();
    return;
  }
  if (!m_frozenView) {
    // A second view over the same model draws the frozen columns on top of this one.
    m_frozenView = new QTableView(this);
    m_frozenView->setFocusPolicy(Qt::NoFocus);
    m_frozenView->verticalHeader()->hide();
    m_frozenView->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    m_frozenView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozenView->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozenView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozenView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozenView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_frozenView->setAlternatingRowColors(true);
    m_frozenView->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    m_frozenView->setModel(model());
    m_frozenView->setSelectionModel(selectionModel());
    viewport()->stackUnder(m_frozenView);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_frozenView->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(m_frozenView, &QTableView::clicked, this,
            [this](const QModelIndex& i) { setCurrentIndex(i); });
  }
  m_frozenView->show();
  layoutFrozen();
}

void BrowseGrid::layoutFrozen() {
  if (!m_frozenView || m_frozen <= 0 || !model()) return;
  int width = 0;
  for (int c = 0; c < model()->columnCount(); ++c) {
    const bool frozen = c < m_frozen;
    m_frozenView->setColumnHidden(c, !frozen);
    if (frozen) {
      m_frozenView->setColumnWidth(c, columnWidth(c));
      width += columnWidth(c);
    }
  }
  m_frozenView->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), width,
                            viewport()->height() + horizontalHeader()->height());
}

void BrowseGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  fitStretchColumn();
  layoutFrozen();
}

void BrowseGrid::updateGeometries() {
  QTableView::updateGeometries();
  fitStretchColumn();
  layoutFrozen();
}

}  // namespace exo::ui
