// Table model over a work area.
#include "ui/WorkAreaModel.h"

#include <cstdlib>

#include "store/Engine.h"
#include "ui/Text.h"

namespace exo::ui {

namespace {

// Keeps the area selected while a column is evaluated, as the language reads bare field names
// from the selected area.
class Selected {
 public:
  Selected(store::Engine& e, int area) : m_engine(e), m_saved(e.selected()) { e.select(area); }
  ~Selected() { m_engine.select(m_saved); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  store::Engine& m_engine;
  int m_saved;
};

}  // namespace

WorkAreaModel::WorkAreaModel(store::Engine& engine, int area, std::vector<GridColumn> columns,
                             QObject* parent)
    : QAbstractTableModel(parent), m_engine(engine), m_area(area), m_columns(std::move(columns)) {
  for (const GridColumn& c : m_columns) {
    std::string text = c.expression;
    if (!text.empty() && !c.picture.empty())
      text = "Transform((" + text + "), \"" + c.picture + "\")";
    m_programs.push_back(text.empty() ? nullptr : engine.interp().compile(text));
  }
  m_rows = static_cast<int>(m_engine.keyCount(m_engine.interp(), m_area));
}

int WorkAreaModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rows;
}

int WorkAreaModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

bool WorkAreaModel::moveTo(int row) const {
  if (row < 0 || row >= m_rows) return false;
  Interp& ip = m_engine.interp();
  const bool placed = m_row >= 0 && m_engine.recNo(m_area) == m_recno && !m_engine.eof(m_area);
  if (placed && row == m_row) return true;
  // Near rows are reached by skipping, far ones by position.
  if (placed && std::abs(row - m_row) < 256) m_engine.skip(ip, m_area, row - m_row);
  else m_engine.goToKeyNo(m_area, row + 1);
  if (m_engine.eof(m_area)) {
    m_row = -1;
    return false;
  }
  m_row = row;
  m_recno = m_engine.recNo(m_area);
  return true;
}

int WorkAreaModel::currentRow() const {
  if (m_engine.eof(m_area)) return -1;
  const auto n = m_engine.keyNo(m_engine.interp(), m_area);
  m_row = static_cast<int>(n) - 1;
  m_recno = m_engine.recNo(m_area);
  return m_row;
}

QString WorkAreaModel::text(int column) const {
  const GridColumn& c = m_columns[static_cast<std::size_t>(column)];
  try {
    Selected selected(m_engine, m_area);
    if (const ProgramPtr& p = m_programs[static_cast<std::size_t>(column)]) {
      return qt(displayValue(m_engine.interp().eval(*p)));
    }
    return c.value ? c.value() : QString();
  } catch (const FailureError&) {
    return QStringLiteral("?");
  }
}

QVariant WorkAreaModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
      if (!moveTo(index.row())) return {};
      QString t = text(index.column());
      return role == Qt::EditRole ? t.trimmed() : t;
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(m_columns[static_cast<std::size_t>(index.column())].alignment);
    case RecNoRole:
      return moveTo(index.row()) ? QVariant::fromValue<qint64>(m_engine.recNo(m_area)) : QVariant();
    default: return {};
  }
}

QVariant WorkAreaModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return m_columns[static_cast<std::size_t>(section)].heading;
}

Qt::ItemFlags WorkAreaModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.isValid() && !m_columns[static_cast<std::size_t>(index.column())].field.empty()) {
    f |= Qt::ItemIsEditable;
  }
  return f;
}

bool WorkAreaModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || !moveTo(index.row())) return false;
  const GridColumn& c = m_columns[static_cast<std::size_t>(index.column())];
  if (c.field.empty()) return false;
  Interp& ip = m_engine.interp();
  try {
    const Value current = m_engine.get(m_area, c.field);
    const std::string text = core(value.toString());
    Value v;
    if (current.isNumber()) v = Value::number(value.toString().toDouble());
    else if (current.isLogical()) v = Value::logical(text == ".T." || text == "T" || text == "S");
    else if (current.isDate()) v = ip.evalText("CToD(\"" + text + "\")");
    else v = Value::text(text);
    m_engine.put(m_area, c.field, v);
    m_engine.commit(ip, m_area);
  } catch (const FailureError&) {
    return false;
  }
  // The record may have left the order or the filter: the rows are counted again.
  refresh();
  return true;
}

void WorkAreaModel::refresh() {
  beginResetModel();
  m_rows = static_cast<int>(m_engine.keyCount(m_engine.interp(), m_area));
  m_row = -1;
  endResetModel();
}

}  // namespace exo::ui
