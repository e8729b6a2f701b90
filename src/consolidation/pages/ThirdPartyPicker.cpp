// The third-party picker and its search dialog.
#include "consolidation/pages/ThirdPartyPicker.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "expr/Text.h"
#include "shell/Session.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"
#include "ui/Text.h"
#include "ui/WorkAreaModel.h"

namespace exo::consolidation {

SearchDialog::SearchDialog(const QString& text, SearchField field, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Digite dato a buscar"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  m_edit = new QLineEdit(text.trimmed(), this);
  m_edit->setMaxLength(40);
  connect(m_edit, &QLineEdit::textEdited, this, [this](const QString& t) {
    const int at = m_edit->cursorPosition();
    m_edit->setText(t.toUpper());
    m_edit->setCursorPosition(at);
  });
  layout->addWidget(m_edit);
  auto* box = new QGroupBox(QStringLiteral("Buscar por:"), this);
  auto* choices = new QHBoxLayout(box);
  m_code = new QRadioButton(QStringLiteral("C\u00f3digo"), box);
  m_name = new QRadioButton(QStringLiteral("Nombre"), box);
  m_nit = new QRadioButton(QStringLiteral("N.I.T."), box);
  for (QRadioButton* b : {m_code, m_name, m_nit}) choices->addWidget(b);
  (field == SearchField::Name  ? m_name
   : field == SearchField::Nit ? m_nit
                               : m_code)
      ->setChecked(true);
  layout->addWidget(box);
  auto* buttons = new QHBoxLayout;
  auto* find = new QPushButton(QStringLiteral("&Buscar"), this);
  auto* cancel = new QPushButton(QStringLiteral("Ca&ncelar"), this);
  find->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(find);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(find, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString SearchDialog::text() const { return m_edit->text().toUpper(); }

SearchField SearchDialog::field() const {
  return m_name->isChecked()  ? SearchField::Name
         : m_nit->isChecked() ? SearchField::Nit
                              : SearchField::Code;
}

ThirdPartyPicker::ThirdPartyPicker(shell::Session& session, store::Engine& engine, int direcArea,
                                   bool multiple, QWidget* parent)
    : QDialog(parent),
      m_session(session),
      m_engine(engine),
      m_area(direcArea),
      m_multiple(multiple) {
  setWindowTitle(QStringLiteral("Seleccione Cuenta"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(640, 480);
  auto* layout = new QVBoxLayout(this);
  std::vector<ui::GridColumn> columns;
  const auto left = Qt::AlignLeft | Qt::AlignVCenter;
  if (multiple) {
    columns.push_back({QStringLiteral("Sel"),
                       {},
                       [this] {
                         return m_marked.count(m_engine.text(m_area, "CLAVE"))
                                    ? QStringLiteral("\u2714")
                                    : QString();
                       },
                       {},
                       4,
                       Qt::AlignCenter,
                       {}});
  }
  columns.push_back({QStringLiteral("C\u00f3digo"), "CLAVE", {}, {}, 7, left, {}});
  columns.push_back({QStringLiteral("Nombre"),
                     {},
                     [this] { return ui::qt(m_engine.ledgerText(m_area, "NOMBRE")); },
                     {},
                     40,
                     left,
                     {}});
  columns.push_back({QStringLiteral("NIT"), "DIREC4", {}, {}, 18, left, {}});
  m_engine.goTop(m_engine.interp(), m_area);
  m_model = new ui::WorkAreaModel(engine, direcArea, std::move(columns), this);
  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(m_model);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setColumnWidthsInChars(multiple ? std::vector<int>{4, 7, 40, 18}
                                          : std::vector<int>{7, 40, 18});
  m_grid->setStretchColumn(multiple ? 2 : 1);  // the name
  layout->addWidget(m_grid, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(new QLabel(QStringLiteral("F3 busca siguiente"), this));
  bottom->addStretch(1);
  auto* find = new QPushButton(QStringLiteral("&Buscar"), this);
  auto* save = new QPushButton(QStringLiteral("&Grabar"), this);
  auto* cancel = new QPushButton(QStringLiteral("&Cancelar"), this);
  for (QPushButton* b : {find, save, cancel}) {
    b->setAutoDefault(false);
    bottom->addWidget(b);
  }
  layout->addLayout(bottom);
  connect(find, &QPushButton::clicked, this, [this] {
    SearchDialog d(m_text, m_field, this);
    if (d.exec() != QDialog::Accepted) return;
    search(d.text(), d.field());
  });
  connect(save, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(m_grid, &ui::BrowseGrid::rowActivated, this, [this](int row) {
    if (m_multiple) toggle(row);
    else if (m_model->moveTo(row)) accept();
  });
  connect(m_grid, &ui::BrowseGrid::f3Pressed, this, [this](int) { searchNext(); });
  if (m_model->rowCount() > 0) m_grid->setCurrentIndex(m_model->index(0, 0));
  m_grid->setFocus();
}

std::string ThirdPartyPicker::currentCode() const {
  if (!m_model->moveTo(m_grid->currentRowNumber())) return {};
  return m_engine.text(m_area, "CLAVE");
}

void ThirdPartyPicker::toggle(int row) {
  if (!m_model->moveTo(row)) return;
  const std::string code = m_engine.text(m_area, "CLAVE");
  if (!m_marked.erase(code)) m_marked.insert(code);
  emit m_model->dataChanged(m_model->index(row, 0), m_model->index(row, 0));
}

void ThirdPartyPicker::showCurrent() {
  const int row = m_model->currentRow();
  if (row >= 0)
    m_grid->setCurrentIndex(m_model->index(
        row, m_grid->currentIndex().column() < 0 ? 0 : m_grid->currentIndex().column()));
  m_grid->setFocus();
}

void ThirdPartyPicker::search(const QString& text, SearchField field) {
  m_text = text;
  m_field = field;
  m_model->moveTo(m_grid->currentRowNumber());
  BUSCATERCERO(m_engine, m_area, field, ui::core(text));
  showCurrent();
}

void ThirdPartyPicker::searchNext() {
  if (!m_model->moveTo(m_grid->currentRowNumber())) return;
  BUSCASIG3O(m_session, m_engine, m_area, m_field, ui::core(m_text));
  showCurrent();
}

bool IMPORTATERCERO(shell::Session& session, store::Engine& engine, QWidget* parent, int baseArea,
                    int formatNumber, bool multiple) {
  const int selected = engine.selected();
  const int direc = openPickerDirectory(session, engine);
  if (direc == 0) return false;
  bool written = false;
  {
    ThirdPartyPicker picker(session, engine, direc, multiple, parent);
    if (picker.exec() == QDialog::Accepted) {
      if (multiple) {
        const std::vector<std::string> codes(picker.marked().begin(), picker.marked().end());
        const PartnerImport r =
            importPartners(session, engine, baseArea, formatNumber, direc, codes);
        written = r.added + r.refreshed > 0;
      } else {
        const std::string code = picker.currentCode();
        if (!code.empty() && engine.seekKey(direc, Value::text(code))) {
          fillHolder(engine, baseArea, formatNumber, direc);
          written = true;
        }
      }
    }
  }
  engine.close(engine.interp(), direc);
  engine.select(selected);
  return written;
}

}  // namespace exo::consolidation
