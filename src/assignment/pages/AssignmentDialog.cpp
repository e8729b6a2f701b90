// The assignment dialog, the account picker and its search box.
#include "assignment/pages/AssignmentDialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "expr/Text.h"
#include "masterdata/ReferenceLists.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"
#include "ui/Text.h"
#include "ui/WorkAreaModel.h"

namespace exo::assignment {

namespace {

QLabel* caption(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,128); }"));
  return label;
}

QLabel* value(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setStyleSheet(QStringLiteral("QLabel { color: rgb(0,0,100); }"));
  return label;
}

QPushButton* actionButton(const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setAutoDefault(false);
  b->setMinimumWidth(96);
  return b;
}

}  // namespace

// --- picker rows ---------------------------------------------------------------------------------

ChartModel::ChartModel(AssignmentSession& session, bool withMarks, QObject* parent)
    : QAbstractTableModel(parent), m_session(session), m_withMarks(withMarks) {}

int ChartModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !m_session.chartShowsRows()) return 0;
  return static_cast<int>(m_session.chart().size());
}

int ChartModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : (m_withMarks ? 3 : 2);
}

QVariant ChartModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const ChartEntry& e = m_session.chart()[static_cast<std::size_t>(index.row())];
  const int column = m_withMarks ? index.column() : index.column() + 1;
  switch (role) {
    case Qt::DisplayRole:
      if (column == 0) return e.selected ? QStringLiteral("\u2714") : QString();
      return ui::qt(trimRight(column == 1 ? e.code : e.name));
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(column == 0 ? Qt::Alignment(Qt::AlignCenter)
                                             : Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::ForegroundRole: return column == 0 ? QVariant(QColor(0, 110, 0)) : QVariant();
    case Qt::BackgroundRole: {
      // Marked accounts shade to a pale blue, the others to a pale brick.
      QLinearGradient shade(0, 0, 0, 18);
      shade.setColorAt(0, Qt::white);
      shade.setColorAt(1, e.marca ? QColor(218, 218, 245) : QColor(225, 168, 148));
      return QBrush(shade);
    }
    default: return {};
  }
}

QVariant ChartModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  const int column = m_withMarks ? section : section + 1;
  static const char* const headings[] = {"Sel", "C\u00f3digo", "Descripci\u00f3n"};
  return QString::fromUtf8(headings[column]);
}

void ChartModel::rowChangedAt(int row) {
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

// --- search box ----------------------------------------------------------------------------------

SearchDialog::SearchDialog(const SearchState& previous, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Digite dato a buscar"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  m_text = new QLineEdit(ui::qt(trimRight(previous.text)), this);
  m_text->setMaxLength(40);
  m_text->setMinimumWidth(m_text->fontMetrics().horizontalAdvance(QLatin1Char('N')) * 32);
  // The text is kept in upper case as it is typed.
  connect(m_text, &QLineEdit::textEdited, this, [this](const QString& t) {
    const int at = m_text->cursorPosition();
    m_text->setText(t.toUpper());
    m_text->setCursorPosition(at);
  });
  layout->addWidget(m_text);
  auto* choice = new QHBoxLayout;
  choice->addWidget(new QLabel(QStringLiteral("Buscar por:"), this));
  m_code = new QRadioButton(QStringLiteral("C\u00f3digo"), this);
  m_description = new QRadioButton(QStringLiteral("Descripci\u00f3n"), this);
  (previous.byDescription ? m_description : m_code)->setChecked(true);
  choice->addWidget(m_code);
  choice->addWidget(m_description);
  choice->addStretch(1);
  layout->addLayout(choice);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* find = new QPushButton(QStringLiteral("&Buscar"), this);
  find->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Ca&ncelar"), this);
  buttons->addWidget(find);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(find, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  m_text->setFocus();
}

QString SearchDialog::text() const { return m_text->text(); }
bool SearchDialog::byDescription() const { return m_description->isChecked(); }

// --- picker --------------------------------------------------------------------------------------

PickerDialog::PickerDialog(AssignmentSession& session, Mode mode, int startRow, QWidget* parent)
    : QDialog(parent), m_session(session) {
  setWindowTitle(QStringLiteral("Seleccione Cuenta"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(620, 480);
  auto* layout = new QVBoxLayout(this);
  m_model = new ChartModel(session, mode == Mode::Add, this);
  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(m_model);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setAlternatingRowColors(false);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (mode == Mode::Add) m_grid->setColumnWidthsInChars({3, 20, 40});
  else m_grid->setColumnWidthsInChars({20, 40});
  m_grid->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_grid, 1);
  auto* buttons = new QHBoxLayout;
  m_search = actionButton(QStringLiteral("&Buscar"), this);
  m_save = actionButton(QStringLiteral("&Grabar"), this);
  m_cancel = actionButton(QStringLiteral("&Cancelar"), this);
  buttons->addWidget(m_search);
  buttons->addStretch(1);
  buttons->addWidget(m_save);
  buttons->addWidget(m_cancel);
  layout->addLayout(buttons);

  connect(m_grid, &ui::BrowseGrid::rowActivated, this, [this](int row) {
    m_session.toggle(row);
    m_model->rowChangedAt(row);
  });
  // F3 is bound only while the picker is open: the key belongs to this grid.
  connect(m_grid, &ui::BrowseGrid::f3Pressed, this, &PickerDialog::searchNext);
  connect(m_search, &QPushButton::clicked, this, &PickerDialog::search);
  connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
  moveTo(startRow);
  m_grid->setFocus();
}

void PickerDialog::moveTo(int row) {
  if (row < 0 || row >= m_model->rowCount()) return;
  m_grid->setCurrentIndex(m_model->index(row, 0));
  m_grid->scrollTo(m_model->index(row, 0), QAbstractItemView::PositionAtCenter);
}

int PickerDialog::currentRow() const { return m_grid->currentRowNumber(); }

void PickerDialog::search() {
  SearchDialog box(m_session.search(), this);
  if (box.exec() == QDialog::Accepted) {
    if (const auto row = m_session.find(ui::core(box.text()), box.byDescription())) moveTo(*row);
  }
  m_grid->setFocus();
}

void PickerDialog::searchNext() {
  if (const auto row = m_session.findNext(currentRow())) moveTo(*row);
  m_grid->setFocus();
}

std::optional<int> PickerWindow::pick(AssignmentSession& session, Mode mode, int startRow) {
  PickerDialog dialog(session, mode, startRow, m_parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.currentRow() < 0 ? 0 : dialog.currentRow();
}

// --- the dialog ----------------------------------------------------------------------------------

AssignmentDialog::AssignmentDialog(AssignmentSession& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
  setWindowTitle(QStringLiteral("C\u00f3digos contables asociados al concepto"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(720, 480);
  auto* layout = new QVBoxLayout(this);
  const ConceptRef& c = session.conceptRef();
  auto* heading = new QGridLayout;
  heading->addWidget(caption(QStringLiteral("Concepto:"), this), 0, 0, Qt::AlignTop);
  heading->addWidget(
      value(ui::qt(c.code + "  " +
                   masterdata::conceptDetail(c.detail, trimBlanks(session.formatDescription()))),
            this),
      0, 1);
  heading->addWidget(caption(QStringLiteral("Formato:"), this), 1, 0, Qt::AlignTop);
  heading->addWidget(
      value(ui::qt(c.format + "  " + std::string(trimBlanks(session.formatDescription()))), this),
      1, 1);
  heading->setColumnStretch(1, 1);
  layout->addLayout(heading);

  store::Engine& engine = session.engine();
  const int area = session.area();
  ui::GridColumn code, detail, nature;
  code.heading = QStringLiteral("C\u00f3digo");
  code.expression = "COD_CONT";
  detail.heading = QStringLiteral("Descripci\u00f3n");
  detail.expression = "DETALLE";
  nature.heading = QStringLiteral("Nat.");
  nature.alignment = Qt::AlignCenter;
  nature.value = [&engine, area] {
    return ui::qt(masterdata::natureDisplay(engine.text(area, "NATURALEZ")));
  };
  m_model = new ui::WorkAreaModel(engine, area, {code, detail, nature}, this);
  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(m_model);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setColumnWidthsInChars({20, 40, 4});
  m_grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  if (m_model->rowCount() > 0) m_grid->setCurrentIndex(m_model->index(0, 0));
  layout->addWidget(m_grid, 1);

  auto* buttons = new QHBoxLayout;
  m_add = actionButton(QStringLiteral("&Incluir"), this);
  m_change = actionButton(QStringLiteral("&Modificar"), this);
  m_delete = actionButton(QStringLiteral("&Eliminar"), this);
  m_close = actionButton(QStringLiteral("&Salir"), this);
  for (QPushButton* b : {m_add, m_change, m_delete}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(m_close);
  layout->addLayout(buttons);
  for (auto [b, mode] : {std::pair{m_add, Mode::Add}, std::pair{m_change, Mode::Change},
                         std::pair{m_delete, Mode::Delete}}) {
    connect(b, &QPushButton::clicked, this, [this, mode = mode] {
      PickerWindow picker(this);
      run(mode, picker);
    });
  }
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
  m_grid->setFocus();
}

QPushButton* AssignmentDialog::button(Mode mode) const {
  return mode == Mode::Add ? m_add : mode == Mode::Change ? m_change : m_delete;
}

void AssignmentDialog::run(Mode mode, AccountPicker& picker) {
  const int row = m_session.INCLCODCON(mode, m_grid->currentRowNumber(), picker);
  m_model->refresh();
  if (row >= 0 && row < m_model->rowCount()) {
    m_grid->setCurrentIndex(m_model->index(row, 0));
    m_grid->scrollTo(m_model->index(row, 0));
  }
  m_grid->setFocus();
}

void AssignmentDialog::keyPressEvent(QKeyEvent* event) { QDialog::keyPressEvent(event); }

}  // namespace exo::assignment
