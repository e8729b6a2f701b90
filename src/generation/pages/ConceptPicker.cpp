// The concept picker.
#include "generation/pages/ConceptPicker.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "expr/Value.h"
#include "generation/Generation.h"
#include "masterdata/ReferenceLists.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "ui/ArrayModel.h"
#include "ui/BrowseGrid.h"
#include "ui/Text.h"

namespace exo::generation {

std::vector<std::string> conceptChoices(store::Engine& engine, int formatNumber) {
  std::vector<std::string> out{std::string(kAllConcepts)};
  const int area = engine.areaOf("Conceptos3");
  if (area == 0) return out;
  Interp& ip = engine.interp();
  const std::int64_t recno = engine.recNo(area);
  const std::string code = store::formatCode(formatNumber);
  // The order is format + concept: the concepts of a format follow its first key in code order.
  if (engine.seekKey(area, Value::text(code))) {
    while (!engine.eof(area) && trimBlanks(engine.text(area, "FORMATO")) == code) {
      out.emplace_back(trimBlanks(engine.text(area, "CONCEPTO")));
      engine.skip(ip, area, 1);
    }
  }
  engine.goTo(ip, area, recno);
  return out;
}

std::vector<std::string> conceptNames(store::Engine& engine, int formatNumber) {
  std::vector<std::string> out{std::string()};
  const int area = engine.areaOf("Conceptos3");
  if (area == 0) return out;
  Interp& ip = engine.interp();
  const std::int64_t recno = engine.recNo(area);
  const std::string code = store::formatCode(formatNumber);
  const std::string formatDetail = masterdata::formatDetail(engine, code);
  if (engine.seekKey(area, Value::text(code))) {
    while (!engine.eof(area) && trimBlanks(engine.text(area, "FORMATO")) == code) {
      out.push_back(masterdata::conceptDetail(engine.text(area, "DETALLE"), formatDetail));
      engine.skip(ip, area, 1);
    }
  }
  engine.goTo(ip, area, recno);
  return out;
}

ConceptPicker::ConceptPicker(std::vector<std::string> choices, const std::string& current,
                             QWidget* parent, const std::vector<std::string>& names)
    : QDialog(parent), m_choices(std::move(choices)) {
  setWindowTitle(QStringLiteral("Conceptos"));
  auto* layout = new QVBoxLayout(this);
  const bool named = names.size() == m_choices.size();
  std::vector<QStringList> rows;
  int selected = 0;
  for (std::size_t i = 0; i < m_choices.size(); ++i) {
    if (named) rows.push_back({ui::qt(m_choices[i]), ui::qt(names[i])});
    else rows.push_back({ui::qt(m_choices[i])});
    if (m_choices[i] == current) selected = static_cast<int>(i);
  }
  QStringList headings{QStringLiteral("Concepto")};
  if (named) headings << QStringLiteral("Descripci\u00f3n");
  auto* model = new ui::ArrayModel(headings, std::move(rows), this);
  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(model);
  if (named) {
    m_grid->setColumnWidthsInChars({8, 40});
    m_grid->setStretchColumn(1);
  } else {
    m_grid->horizontalHeader()->setStretchLastSection(true);
  }
  m_grid->setCurrentIndex(model->index(selected, 0));
  layout->addWidget(m_grid);
  auto* buttons = new QHBoxLayout;
  auto* take = new QPushButton(QStringLiteral("Seleccionar"), this);
  auto* close = new QPushButton(QStringLiteral("&Salir"), this);
  take->setAutoDefault(false);
  close->setAutoDefault(false);
  buttons->addStretch(1);
  buttons->addWidget(take);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(m_grid, &ui::BrowseGrid::rowActivated, this, &ConceptPicker::take);
  connect(take, &QPushButton::clicked, this, [this] { this->take(m_grid->currentRowNumber()); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  resize(named ? 560 : 220, 320);
}

void ConceptPicker::take(int row) {
  if (row < 0 || row >= static_cast<int>(m_choices.size())) return;
  m_chosen = m_choices[static_cast<std::size_t>(row)];
  accept();
}

std::optional<std::string> CONSULCONCEP(store::Engine& engine, int formatNumber,
                                        const std::string& current, QWidget* parent) {
  ConceptPicker picker(conceptChoices(engine, formatNumber), current, parent,
                       conceptNames(engine, formatNumber));
  if (QWidget* main = parent != nullptr ? parent->window() : nullptr)
    picker.move(main->pos() + QPoint(std::max(0, main->width() - picker.width() - 40), 120));
  if (picker.exec() != QDialog::Accepted) return std::nullopt;
  return picker.chosen();
}

}  // namespace exo::generation
