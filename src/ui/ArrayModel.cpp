// Table model over rows in memory.
#include "ui/ArrayModel.h"

namespace exo::ui {

ArrayModel::ArrayModel(QStringList headings, std::vector<QStringList> rows, QObject* parent)
    : QAbstractTableModel(parent),
      m_headings(std::move(headings)),
      m_rows(std::move(rows)),
      m_alignments(static_cast<std::size_t>(m_headings.size()), Qt::AlignLeft | Qt::AlignVCenter) {}

int ArrayModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ArrayModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_headings.size());
}

QVariant ArrayModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(m_alignments[static_cast<std::size_t>(index.column())]);
  }
  if (role != Qt::DisplayRole) return {};
  const QStringList& r = m_rows[static_cast<std::size_t>(index.row())];
  return index.column() < r.size() ? r[index.column()] : QString();
}

QVariant ArrayModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return m_headings.value(section);
}

void ArrayModel::setRows(std::vector<QStringList> rows) {
  beginResetModel();
  m_rows = std::move(rows);
  endResetModel();
}

void ArrayModel::setAlignment(int column, Qt::Alignment alignment) {
  m_alignments[static_cast<std::size_t>(column)] = alignment;
}

}  // namespace exo::ui
