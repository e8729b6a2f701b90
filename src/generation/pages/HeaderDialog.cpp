// The header dialog of the XML file.
#include "generation/pages/HeaderDialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Text.h"

namespace exo::generation {

namespace {

struct FieldSpec {
  const char16_t* caption;
  std::string Header::*value;
  const char* mask;  // digits required where the mask has 0
  bool editable;
};

const FieldSpec kFields[] = {
    {u"A\u00f1o de env\u00edo:", &Header::ano, "0000", true},
    {u"C\u00f3digo del formato:", &Header::format, "0000", false},
    {u"Versi\u00f3n del formato:", &Header::versi, "9", false},
    {u"N\u00famero de env\u00edo:", &Header::numEnv, "999", true},
    {u"Fecha de env\u00edo:", &Header::fecEnv, "0000-00-00T00:00:00", true},
    {u"Fecha inicial:", &Header::fecIni, "0000-00-00", true},
    {u"Fecha final:", &Header::fecFin, "0000-00-00", true},
};

QString caption(const FieldSpec& f) { return QString::fromUtf16(f.caption); }

// Positions of "Fecha inicial:" and "Fecha final:" in kFields.
constexpr std::size_t kFirstDate = 5;
constexpr std::size_t kLastDate = 6;

}  // namespace

HeaderDialog::HeaderDialog(const Header& header, QWidget* parent)
    : QDialog(parent), m_header(header) {
  setWindowTitle(QStringLiteral("Datos del encabezado - Formato ") + ui::qt(header.format));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight);

  m_concept = new QComboBox(this);
  m_concept->addItem(ui::qt(kInsertion));
  m_concept->addItem(ui::qt(kReplacement));
  m_concept->setCurrentIndex(header.codCpt.rfind('2', 0) == 0 ? 1 : 0);

  for (const FieldSpec& f : kFields) {
    auto* edit = new QLineEdit(this);
    edit->setInputMask(QString::fromLatin1(f.mask));
    edit->setText(ui::qt(header.*f.value));
    edit->setEnabled(f.editable);
    const int chars = static_cast<int>(std::char_traits<char>::length(f.mask)) + 2;
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('9'))) +
                        16);
    m_fields.emplace_back(caption(f), edit);
    connect(edit, &QLineEdit::editingFinished, this, &HeaderDialog::refreshFileName);
    connect(edit, &QLineEdit::textEdited, this, &HeaderDialog::refreshFileName);
  }
  // Top to bottom: year, concept, format, version, sending number, the three dates.
  form->addRow(m_fields[0].first, m_fields[0].second);
  form->addRow(QStringLiteral("Concepto:"), m_concept);
  for (std::size_t i = 1; i < m_fields.size(); ++i)
    form->addRow(m_fields[i].first, m_fields[i].second);
  layout->addLayout(form);
  // The period is one calendar year: a year typed in one of its dates moves the other date to it.
  QLineEdit* first = m_fields[kFirstDate].second;
  QLineEdit* last = m_fields[kLastDate].second;
  connect(first, &QLineEdit::textEdited, this, [this, first, last] { followPeriod(first, last); });
  connect(last, &QLineEdit::textEdited, this, [this, first, last] { followPeriod(last, first); });
  connect(m_concept, &QComboBox::currentIndexChanged, this, &HeaderDialog::refreshFileName);

  layout->addSpacing(8);
  layout->addWidget(new QLabel(QStringLiteral("Archivo XML destino :"), this));
  m_file = new QLabel(this);
  m_file->setStyleSheet(QStringLiteral("QLabel { color: rgb(0,0,125); font-weight: bold; }"));
  m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(m_file);
  m_error = new QLabel(this);
  m_error->setStyleSheet(QStringLiteral("QLabel { color: rgb(170,0,0); }"));
  m_error->setWordWrap(true);
  m_error->hide();
  layout->addWidget(m_error);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  m_continue = new QPushButton(QStringLiteral("&Continuar"), this);
  m_cancel = new QPushButton(QStringLiteral("Ca&ncelar"), this);
  m_continue->setDefault(true);
  m_cancel->setAutoDefault(false);
  buttons->addWidget(m_continue);
  buttons->addWidget(m_cancel);
  layout->addLayout(buttons);
  connect(m_continue, &QPushButton::clicked, this, &HeaderDialog::tryAccept);
  connect(m_cancel, &QPushButton::clicked, this, [this] {
    m_closing = true;
    done(QDialog::Rejected);
  });
  refreshFileName();
}

Header HeaderDialog::header() const {
  Header h = m_header;
  for (std::size_t i = 0; i < m_fields.size(); ++i)
    h.*kFields[i].value = ui::core(m_fields[i].second->text());
  h.codCpt = ui::core(m_concept->currentText());
  return h;
}

QLineEdit* HeaderDialog::field(const QString& caption) const {
  for (const auto& [c, edit] : m_fields)
    if (c == caption) return edit;
  return nullptr;
}

void HeaderDialog::followPeriod(QLineEdit* edited, QLineEdit* other) {
  std::string typed = ui::core(edited->text());
  std::string moved = ui::core(other->text());
  keepPeriodInOneYear(typed, moved);
  if (ui::qt(moved) != other->text()) other->setText(ui::qt(moved));
}

void HeaderDialog::refreshFileName() { m_file->setText(ui::qt(xmlFileName(header()))); }

// The masks keep letters out; what they cannot see (a field left half typed, a date that does
// not exist) is told here, so that no header that the tax authority refuses is written.
void HeaderDialog::tryAccept() {
  QString problem;
  const Header h = header();
  if (!field(caption(kFields[0]))->hasAcceptableInput()) {
    problem = QStringLiteral("El a\u00f1o de env\u00edo debe tener cuatro d\u00edgitos.");
  } else if (ui::qt(h.numEnv).trimmed().isEmpty()) {
    problem = QStringLiteral("Digite el n\u00famero de env\u00edo.");
  } else if (!QDateTime::fromString(ui::qt(h.fecEnv), QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                  .isValid()) {
    problem = QStringLiteral("La fecha de env\u00edo no es v\u00e1lida (AAAA-MM-DDTHH:MM:SS).");
  } else if (!QDate::fromString(ui::qt(h.fecIni), QStringLiteral("yyyy-MM-dd")).isValid()) {
    problem = QStringLiteral("La fecha inicial no es v\u00e1lida (AAAA-MM-DD).");
  } else if (!QDate::fromString(ui::qt(h.fecFin), QStringLiteral("yyyy-MM-dd")).isValid()) {
    problem = QStringLiteral("La fecha final no es v\u00e1lida (AAAA-MM-DD).");
  } else if (ui::qt(h.fecIni) > ui::qt(h.fecFin)) {
    problem = QStringLiteral("La fecha inicial es posterior a la fecha final.");
  }
  if (!problem.isEmpty()) {
    m_error->setText(problem);
    m_error->show();
    return;
  }
  m_closing = true;
  done(QDialog::Accepted);
}

void HeaderDialog::reject() {
  if (m_closing) QDialog::reject();
}

void HeaderDialog::closeEvent(QCloseEvent* event) {
  if (m_closing) {
    QDialog::closeEvent(event);
    return;
  }
  event->ignore();
}

HeaderEditor headerDialogEditor(QWidget* parent) {
  return [parent](Header& header) {
    HeaderDialog dialog(header, parent);
    if (QWidget* main = parent != nullptr ? parent->window() : nullptr)
      dialog.move(main->pos() + QPoint(247, 68));
    if (dialog.exec() != QDialog::Accepted) return false;
    header = dialog.header();
    return true;
  };
}

}  // namespace exo::generation
