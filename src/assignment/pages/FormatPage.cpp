// A page of the group "Asignación Contable".
#include "assignment/pages/FormatPage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <cstdio>

#include "assignment/Assignment.h"
#include "assignment/pages/AssignmentDialog.h"
#include "expr/Interp.h"
#include "expr/Memvars.h"
#include "expr/Text.h"
#include "masterdata/ReferenceLists.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"
#include "ui/PageLook.h"
#include "ui/Text.h"
#include "ui/WorkAreaModel.h"

namespace exo::assignment {

namespace {
constexpr std::array<int, 12> kVersions = {7, 7, 7, 6, 6, 6, 7, 7, 7, 7, 6, 7};
constexpr std::array<int, 12> kAnnexes = {2, 3, 4, 5, 7, 8, 6, 10, 9, 1, 11, 12};

// Entry n of ANAMEFORMS, trimmed (empty when the formats table has fewer records).
std::string formatName(Interp& ip, int n) {
  Memvars::Slot* s = ip.memvars().find("ANAMEFORMS");
  if (s == nullptr || !s->value().isArray()) return {};
  const auto& items = s->value().arrayData().items;
  if (n < 1 || n > static_cast<int>(items.size())) return {};
  const Value& v = items[static_cast<std::size_t>(n) - 1];
  return v.isText() ? std::string(trimBlanks(v.textView())) : std::string();
}

// Keeps the selected area for a scope.
class KeepSelected {
 public:
  explicit KeepSelected(store::Engine& e) : m_engine(e), m_area(e.selected()) {}
  ~KeepSelected() { m_engine.select(m_area); }
  KeepSelected(const KeepSelected&) = delete;
  KeepSelected& operator=(const KeepSelected&) = delete;

 private:
  store::Engine& m_engine;
  int m_area;
};
}  // namespace

std::string formatPageHeading(int page) {
  char text[64];
  std::snprintf(text, sizeof text, "Formato %d - Versi\363n %02d - Anexo %02d", 1000 + page,
                kVersions.at(static_cast<std::size_t>(page) - 1),
                kAnnexes.at(static_cast<std::size_t>(page) - 1));
  return text;
}

bool showsAssignmentButton(int page) { return page != 4 && page != 10 && page != 11; }

FormatPage::FormatPage(shell::Session& session, store::Engine& engine, int page, QWidget* parent)
    : QWidget(parent),
      m_session(session),
      m_engine(engine),
      m_page(page),
      m_area(engine.areaOf("Conceptos2")) {
  KeepSelected keep(engine);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ui::pageHeading(ui::qt(formatPageHeading(page)), this), 0, Qt::AlignLeft);
  m_title = new QLabel(ui::qt(formatName(engine.interp(), page)), this);
  m_title->setWordWrap(true);
  m_title->setStyleSheet(QStringLiteral(
      "QLabel { font-weight: bold; color: rgb(0,0,128); background: transparent; }"));
  layout->addWidget(m_title);
  if (m_area == 0) {
    // The reference tables are opened before any page; a page built without them says so.
    m_title->setText(QStringLiteral("La tabla Concepts.dbf no est\u00e1 abierta."));
    layout->addStretch(1);
    return;
  }
  masterdata::limitOrder(engine, m_area, formatCode());

  ui::GridColumn code;
  code.heading = QStringLiteral("Concepto");
  code.expression = "CONCEPTO";
  code.width = 8;
  ui::GridColumn detail;
  detail.heading = QStringLiteral("Descripci\u00f3n");
  // The technical row of a format without DIAN concepts shows the format's own description.
  const std::string formatDetail = masterdata::formatDetail(engine, formatCode());
  const int area = m_area;
  detail.value = [&engine, area, formatDetail] {
    return ui::qt(masterdata::conceptDetail(engine.text(area, "DETALLE"), formatDetail));
  };
  detail.width = 70;
  m_model = new ui::WorkAreaModel(engine, m_area, {code, detail}, this);
  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(m_model);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setColumnWidthsInChars({8, 70});
  m_grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  layout->addWidget(m_grid, 1);
  m_detail = new QLabel(this);
  m_detail->setWordWrap(true);
  m_detail->setMinimumHeight(m_detail->fontMetrics().height() * 3);
  m_detail->setStyleSheet(
      QStringLiteral("QLabel { color: rgb(0,0,100); background: transparent; }"));
  layout->addWidget(m_detail);
  auto* row = new QHBoxLayout;
  m_button = new QPushButton(QStringLiteral("C\u00f3digos Contables"), this);
  m_button->setAutoDefault(false);
  m_button->setMinimumSize(180, 32);
  row->addWidget(m_button);
  row->addStretch(1);
  layout->addLayout(row);
  m_button->setVisible(showsAssignmentButton(page));

  connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &FormatPage::rowChanged);
  connect(m_grid, &ui::BrowseGrid::rowActivated, this, [this] { ASIGNACODCONT(); });
  connect(m_button, &QPushButton::clicked, this, &FormatPage::ASIGNACODCONT);
}

std::string FormatPage::formatCode() const { return store::formatCode(m_page); }

void FormatPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_model == nullptr) return;
  // The concepts area is shared by the twelve pages: this page's range is set again, and the
  // grid goes back to the concept it stood on.
  KeepSelected keep(m_engine);
  masterdata::limitOrder(m_engine, m_area, formatCode());
  m_model->refresh();
  connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &FormatPage::rowChanged, Qt::UniqueConnection);
  int row = 0;
  if (m_recno > 0) {
    m_engine.goTo(m_engine.interp(), m_area, m_recno);
    row = std::max(0, m_model->currentRow());
  }
  if (m_model->rowCount() > 0) {
    m_grid->setCurrentIndex(m_model->index(row, 0));
    m_grid->scrollTo(m_model->index(row, 0));
  }
  rowChanged();
  m_grid->setFocus();
}

void FormatPage::rowChanged() {
  const int row = m_grid->currentRowNumber();
  if (row < 0 || !m_model->moveTo(row)) {
    m_detail->clear();
    return;
  }
  m_recno = m_engine.recNo(m_area);
  m_detail->setText(ui::qt(masterdata::conceptDetail(
      m_engine.text(m_area, "DETALLE"), masterdata::formatDetail(m_engine, formatCode()))));
}

void FormatPage::ASIGNACODCONT() {
  if (m_model == nullptr) return;
  const int row = m_grid->currentRowNumber();
  if (row < 0 || !m_model->moveTo(row)) return;
  ConceptRef c;
  c.format = m_engine.text(m_area, "FORMATO");
  c.code = m_engine.text(m_area, "CONCEPTO");
  c.detail = m_engine.text(m_area, "DETALLE");
  c.nature = m_engine.text(m_area, "TIPO");
  setEnabled(false);
  {
    AssignmentSession work(m_session, m_engine, c);
    if (work.isOpen()) {
      AssignmentDialog dialog(work, window());
      dialog.exec();
    }
  }
  setEnabled(true);
  m_model->moveTo(row);
  m_grid->setFocus();
}

}  // namespace exo::assignment
