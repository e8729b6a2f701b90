// The grid model of the review and manual-data dialogs: a work-area model whose editable numeric
// columns take only numbers (a wrong entry is refused with a message) and whose writes go
// through a routine of the dialog, so that a percentage stored also recomputes its base.
#pragma once

#include <functional>

#include "ui/WorkAreaModel.h"

class QLabel;
class QWidget;

namespace exo::shell {
class Session;
}

namespace exo::consolidation {

class BasesGridModel : public ui::WorkAreaModel {
  Q_OBJECT
 public:
  // Writes `value` into the column's field of the current record; the default puts it and
  // commits (the engine locks the record around the change).
  using Writer = std::function<void(const ui::GridColumn& column, double value)>;

  BasesGridModel(shell::Session& session, store::Engine& engine, int area,
                 std::vector<ui::GridColumn> columns, QObject* parent = nullptr);

  void setWriter(Writer writer) { m_writer = std::move(writer); }
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  shell::Session& m_session;
  store::Engine& m_engine;
  Writer m_writer;
};

// A label of the read-only detail panels.
QLabel* detailValue(QWidget* parent);

}  // namespace exo::consolidation
