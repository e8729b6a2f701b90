// The grid model of the review and manual-data dialogs.
#include "consolidation/pages/BasesGrid.h"

#include <algorithm>

#include <QFontMetrics>
#include <QLabel>
#include <QLocale>

#include "shell/Session.h"
#include "store/Engine.h"
#include "ui/Text.h"

namespace exo::consolidation {

BasesGridModel::BasesGridModel(shell::Session& session, store::Engine& engine, int area,
                               std::vector<ui::GridColumn> columns, QObject* parent)
    : WorkAreaModel(engine, area, std::move(columns), parent),
      m_session(session),
      m_engine(engine) {}

bool BasesGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  const ui::GridColumn& c = column(index.column());
  if (c.field.empty() || !moveTo(index.row())) return false;
  QString text = value.toString().trimmed();
  text.remove(QLatin1Char(','));
  bool ok = false;
  const double number = text.isEmpty() ? 0.0 : QLocale::c().toDouble(text, &ok);
  if (!ok && !text.isEmpty()) {
    m_session.ui().message(shell::MessageKind::Alert, "Atenci\363n.....",
                           "El valor digitado no es un n\372mero: " + ui::core(text));
    return false;
  }
  try {
    if (m_writer) {
      m_writer(c, number);
    } else {
      m_engine.put(area(), c.field, Value::number(number));
      m_engine.commit(m_engine.interp(), area());
    }
  } catch (const FailureError&) {
    return false;  // shown by the error handler
  }
  emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
  return true;
}

QLabel* detailValue(QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  l->setMinimumWidth(80);
  l->setStyleSheet(QStringLiteral("QLabel { background: white; padding: 1px 4px; }"));
  // The whole height of the font, accents on capitals ("L\u00d3PEZ") included, inside the frame.
  const QFontMetrics metrics = l->fontMetrics();
  const int glyphs =
      metrics.boundingRect(QStringLiteral("\u00c1\u00c9\u00cd\u00d3\u00da\u00d1gjpqy")).height();
  l->setMinimumHeight(std::max(metrics.lineSpacing(), glyphs) + 2 * l->frameWidth() + 2);
  return l;
}

}  // namespace exo::consolidation
