// A table model over rows held in memory (lists built by the core: errors, summaries, choices).
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

namespace exo::ui {

class ArrayModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  ArrayModel(QStringList headings, std::vector<QStringList> rows, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void setRows(std::vector<QStringList> rows);
  void setAlignment(int column, Qt::Alignment alignment);
  const QStringList& row(int i) const { return m_rows[static_cast<std::size_t>(i)]; }

 private:
  QStringList m_headings;
  std::vector<QStringList> m_rows;
  std::vector<Qt::Alignment> m_alignments;
};

}  // namespace exo::ui
