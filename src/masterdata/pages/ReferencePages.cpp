// The reference-table pages of the group "General".
#include "masterdata/pages/ReferencePages.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>

#include "expr/Text.h"
#include "masterdata/ReferenceLists.h"
#include "store/Engine.h"
#include "store/RefTables.h"
#include "ui/ArrayModel.h"
#include "ui/BrowseGrid.h"
#include "ui/PageLook.h"
#include "ui/Text.h"
#include "ui/WorkAreaModel.h"

namespace exo::masterdata {

namespace {

constexpr Qt::Alignment kCentred = Qt::AlignCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

ui::GridColumn column(const char* heading, const char* expression, int width,
                      Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
  ui::GridColumn c;
  c.heading = QString::fromUtf8(heading);
  c.expression = expression;
  c.width = width;
  c.alignment = alignment;
  return c;
}

// A plain label of the page: transparent, navy, the full text wrapped.
QLabel* plainLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setStyleSheet(QStringLiteral("QLabel { color: rgb(0,0,100); background: transparent; }"));
  return label;
}

}  // namespace

std::string baseText(double base) {
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.2f", std::fabs(base));
  std::string whole(digits, std::string_view(digits).find('.'));
  const std::string decimals = std::string(digits).substr(whole.size());
  std::string grouped;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
    grouped += whole[i];
  }
  return (base < 0 ? "-" : "") + grouped + decimals;
}

ReferencePage::ReferencePage(store::Engine& engine, const QString& heading, QWidget* parent)
    : QWidget(parent), m_engine(engine) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ui::pageHeading(heading, this), 0, Qt::AlignLeft);
  layout->addSpacing(8);
}

bool ReferencePage::tableOpen(int area, const char* file) {
  if (area != 0) return true;
  // The reference tables are opened before any page; a page built without them says so.
  QLabel* label = plainLabel(this);
  label->setText(QStringLiteral("La tabla %1 no est\u00e1 abierta.").arg(QLatin1String(file)));
  layout()->addWidget(label);
  static_cast<QVBoxLayout*>(layout())->addStretch(1);
  return false;
}

void ReferencePage::addGrid(ui::WorkAreaModel* model, const std::vector<int>& widths,
                            const QString& filterCaption) {
  auto* layout = static_cast<QVBoxLayout*>(this->layout());
  if (!filterCaption.isEmpty()) {
    auto* row = new QHBoxLayout;
    auto* caption = plainLabel(this);
    caption->setText(filterCaption);
    caption->setWordWrap(false);
    row->addWidget(caption);
    m_filter = new QComboBox(this);
    m_filter->setMinimumWidth(260);
    row->addWidget(m_filter);
    row->addStretch(1);
    layout->addLayout(row);
  }
  m_model = model;
  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(model);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setColumnWidthsInChars(widths);
  // The widest column (the description) takes the room left.
  int widest = 0;
  for (std::size_t i = 0; i < widths.size(); ++i)
    if (widths[i] > widths[static_cast<std::size_t>(widest)]) widest = static_cast<int>(i);
  m_grid->horizontalHeader()->setSectionResizeMode(widest, QHeaderView::Stretch);
  layout->addWidget(m_grid, 1);
  // The labels are made after the grid: they follow its row once the page has built them.
  if (model->rowCount() > 0) m_grid->setCurrentIndex(model->index(0, 0));
  connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &ReferencePage::refreshLabels);
  if (m_filter) {
    connect(m_filter, &QComboBox::activated, this, &ReferencePage::filterChosen);
  }
}

QLabel* ReferencePage::addLabel() {
  QLabel* label = plainLabel(this);
  label->setObjectName(QStringLiteral("rowLabel"));
  layout()->addWidget(label);
  return label;
}

int ReferencePage::rowCount() const { return m_model ? m_model->rowCount() : 0; }

void ReferencePage::filterChosen(int index) {
  if (!m_model) return;
  applyFilter(index + 1);
  m_model->refresh();
  // The selection model was reset with the rows: the labels follow the first row again.
  connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &ReferencePage::refreshLabels, Qt::UniqueConnection);
  if (m_model->rowCount() > 0) m_grid->setCurrentIndex(m_model->index(0, 0));
  m_grid->scrollToTop();
  refreshLabels();
  m_grid->setFocus();
}

void ReferencePage::refreshLabels() {
  if (!m_grid) return;
  const int row = m_grid->currentRowNumber();
  if (row >= 0 && m_model->moveTo(row)) {
    rowChanged();
  } else {
    for (QLabel* label : findChildren<QLabel*>(QStringLiteral("rowLabel"))) label->clear();
  }
}

void ReferencePage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_grid) m_grid->setFocus();
}

FormatsPage::FormatsPage(store::Engine& engine, QWidget* parent)
    : ReferencePage(engine, QStringLiteral("Formatos"), parent) {
  const int area = engine.areaOf("Formatos");
  if (!tableOpen(area, store::kFormatosFile)) return;
  addGrid(new ui::WorkAreaModel(
              engine, area,
              {column("Formato", "FORMATO", 7), column("Descripción", "DETALLE", 60),
               column("Versión", "VERSION", 7, kCentred), column("Anexo", "ANEXO", 6, kCentred)},
              this),
          {7, 60, 7, 6});
  m_detail = addLabel();
  m_detail->setMinimumHeight(m_detail->fontMetrics().height() * 3);
  refreshLabels();
}

void FormatsPage::rowChanged() {
  m_detail->setText(ui::qt(trimBlanks(m_engine.text(m_model->area(), "DETALLE"))));
}

ConceptsPage::ConceptsPage(store::Engine& engine, QWidget* parent)
    : ReferencePage(engine, QStringLiteral("Conceptos"), parent) {
  const int area = engine.areaOf("Conceptos");
  if (!tableOpen(area, store::kConceptsFile)) return;
  ui::GridColumn base = column("Base", "BASE", 12, kRight);
  base.picture = "###,###,###";
  ui::GridColumn nature = column("Nat.", "", 4, kCentred);
  nature.value = [this, area] { return ui::qt(natureDisplay(m_engine.text(area, "TIPO"))); };
  ui::GridColumn detail = column("Descripción", "", 50);
  detail.value = [this, area] { return ui::qt(conceptDetailAt(m_engine, area)); };
  addGrid(new ui::WorkAreaModel(engine, area,
                                {column("Concepto", "CONCEPTO", 8), detail,
                                 column("Formato", "FORMATO", 7, kCentred), base, nature},
                                this),
          {8, 50, 7, 12, 4}, QStringLiteral("Filtrar Conceptos por Formato:"));
  for (const std::string& choice : formatFilterChoices()) m_filter->addItem(ui::qt(choice));
  m_detail = addLabel();
  m_detail->setMinimumHeight(m_detail->fontMetrics().height() * 3);
  m_base = addLabel();
  refreshLabels();
}

void ConceptsPage::rowChanged() {
  const int area = m_model->area();
  m_detail->setText(ui::qt(conceptDetailAt(m_engine, area)));
  m_base->setText(QStringLiteral("Base:  ") +
                  QString::fromStdString(baseText(m_engine.number(area, "BASE"))));
}

std::int64_t ConceptsPage::applyFilter(int choice) {
  return filterConcepts(m_engine, m_model->area(), choice);
}

DocumentTypesPage::DocumentTypesPage(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ui::pageHeading(QStringLiteral("Tipo Documentos"), this), 0, Qt::AlignLeft);
  layout->addSpacing(8);
  std::vector<QStringList> rows;
  for (const DocumentType& t : documentTypes())
    rows.push_back({ui::qt(t.code), ui::qt(t.description)});
  auto* model = new ui::ArrayModel(
      {QStringLiteral("C\u00f3digo"), QStringLiteral("Descripci\u00f3n")}, std::move(rows), this);
  model->setAlignment(0, kCentred);
  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(model);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setColumnWidthsInChars({7, 60});
  m_grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  m_grid->setCurrentIndex(model->index(0, 0));
  layout->addWidget(m_grid, 1);
}

void DocumentTypesPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_grid->setFocus();
}

DepartmentsPage::DepartmentsPage(store::Engine& engine, QWidget* parent)
    : ReferencePage(engine, QStringLiteral("Departamentos"), parent) {
  const int area = engine.areaOf("Deptos");
  if (!tableOpen(area, store::kDepartmentsFile)) return;
  engine.select(area);
  addGrid(new ui::WorkAreaModel(
              engine, area,
              {column("Código", "COD_DP", 7, kCentred), column("Nombre", "DEPARTAMEN", 50)}, this),
          {7, 50});
}

MunicipalitiesPage::MunicipalitiesPage(store::Engine& engine, QWidget* parent)
    : ReferencePage(engine, QStringLiteral("Municipios"), parent) {
  const int area = engine.areaOf("Municipios");
  if (!tableOpen(area, store::kMunicipalitiesFile)) return;
  engine.select(area);
  addGrid(new ui::WorkAreaModel(
              engine, area,
              {column("Código", "COD_MN", 7, kCentred), column("Nombre", "MUNICIPIO", 36),
               column("Departamento", "DEPARTAMEN", 30), column("Cód_Dpt", "COD_DP", 8, kCentred)},
              this),
          {7, 36, 30, 8}, QStringLiteral("Filtrar por Departamento:"));
  for (const std::string& choice : departmentChoices(engine.interp()))
    m_filter->addItem(ui::qt(trimBlanks(choice)));
}

std::int64_t MunicipalitiesPage::applyFilter(int choice) {
  return FILTRADPTOS(m_engine, m_model->area(), choice);
}

CountriesPage::CountriesPage(store::Engine& engine, QWidget* parent)
    : ReferencePage(engine, QStringLiteral("Pa\u00edses"), parent) {
  const int area = engine.areaOf("Paises");
  if (!tableOpen(area, store::kCountriesFile)) return;
  engine.select(area);
  // The names are shown as the table stores them: the reference data is written in the
  // program's own character set.
  addGrid(new ui::WorkAreaModel(
              engine, area, {column("Código", "CODIGO", 7, kCentred), column("País", "PAIS", 50)},
              this),
          {7, 50});
}

}  // namespace exo::masterdata
