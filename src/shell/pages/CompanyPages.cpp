// The company-year choice on screen.
#include "shell/pages/CompanyPages.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "expr/Text.h"
#include "shell/AssignmentTable.h"
#include "shell/Session.h"
#include "ui/ArrayModel.h"
#include "ui/BrowseGrid.h"
#include "ui/Text.h"

namespace exo::shell {

using ui::qt;

CompanyChooser::CompanyChooser(Session& session, store::Engine& engine, QWidget* parent)
    : QWidget(parent), m_session(session), m_engine(engine) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_label = new QLabel(qt(companyListLabel(session)), this);
  m_label->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,128); }"));
  layout->addWidget(m_label);
  auto* products = new QHBoxLayout;
  m_orbisal = new QRadioButton(QStringLiteral("Norvasta Orbisal"), this);
  m_contable = new QRadioButton(QStringLiteral("Norvasta Contable"), this);
  products->addWidget(m_orbisal);
  products->addWidget(m_contable);
  products->addStretch(1);
  layout->addLayout(products);
  const bool both = session.hayOrbisal() && session.hayContable();
  m_orbisal->setVisible(both);
  m_contable->setVisible(both);
  // The year beside the name: two company-years of one name differ only in it and the folder.
  m_model = new ui::ArrayModel(
      {QStringLiteral("EMPRESA"), QStringLiteral("A\u00d1O"), QStringLiteral("PATH")}, {}, this);
  m_grid = new ui::BrowseGrid(this);
  m_grid->setModel(m_model);
  m_grid->setColumnWidth(0, 283);
  m_grid->setColumnWidth(1, m_grid->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
  m_grid->setColumnWidth(2, 98);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_grid, 1);
  connect(m_grid, &ui::BrowseGrid::rowActivated, this, &CompanyChooser::chosen);
  connect(m_grid, &QTableView::doubleClicked, this, &CompanyChooser::chosen);
  for (int product : {1, 2}) {
    connect(productButton(product), &QRadioButton::toggled, this, [this, product](bool on) {
      if (!on) return;
      load(product, {});
      m_grid->setFocus();
    });
  }
}

bool CompanyChooser::load(int product, const std::string& last) {
  m_entries = CARGAVRCTL(m_session, m_engine, product);
  if (product == m_excludedProduct && !m_excluded.empty()) {
    std::erase_if(m_entries, [this](const CompanyEntry& e) {
      return upper1252(trimBlanks(e.camino)) == m_excluded;
    });
  }
  std::vector<QStringList> rows;
  for (const CompanyEntry& e : m_entries) rows.push_back({qt(e.empresa), qt(e.anio), qt(e.camino)});
  m_model->setRows(std::move(rows));
  {
    const QSignalBlocker a(m_orbisal), b(m_contable);
    productButton(product)->setChecked(true);
  }
  const auto row = rowOfCompany(m_entries, last);
  const int shown = row ? static_cast<int>(*row) : 0;
  if (!m_entries.empty()) {
    m_grid->setCurrentIndex(m_model->index(shown, 0));
    m_grid->scrollTo(m_model->index(shown, 0));
  }
  return last.empty() || row.has_value();
}

void CompanyChooser::exclude(int product, std::string camino) {
  m_excludedProduct = product;
  m_excluded = upper1252(trimBlanks(camino));
}

const CompanyEntry* CompanyChooser::chosenEntry() const {
  const int row = m_grid->currentRowNumber();
  return row >= 0 && row < static_cast<int>(m_entries.size())
             ? &m_entries[static_cast<std::size_t>(row)]
             : nullptr;
}

CompanyDialog::CompanyDialog(Session& session, store::Engine& engine, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Seleccione empresa"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(460, 360);
  auto* layout = new QVBoxLayout(this);
  m_chooser = new CompanyChooser(session, engine, this);
  layout->addWidget(m_chooser, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* select = new QPushButton(QStringLiteral("&Seleccionar"), this);
  select->setToolTip(QStringLiteral("Selecciona empresa"));
  auto* cancel = new QPushButton(QStringLiteral("&Cancelar"), this);
  cancel->setToolTip(QStringLiteral("Sale sin seleccionar empresa"));
  select->setAutoDefault(false);
  cancel->setAutoDefault(false);
  buttons->addWidget(select);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  auto choose = [this] {
    if (const CompanyEntry* e = m_chooser->chosenEntry()) {
      m_result = *e;
      m_chosen = true;
      accept();
    }
  };
  connect(select, &QPushButton::clicked, this, choose);
  connect(m_chooser, &CompanyChooser::chosen, this, choose);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  m_chooser->load(initialProduct(session, lastProductRoot(session)), lastCompanyFolder(session));
  m_chooser->list()->setFocus();
}

bool SELECEMPRESA(Session& session, store::Engine& engine, QWidget* parent, bool startup,
                  const ShowCompany& showCompany) {
  if (!session.hayOrbisal() && !session.hayContable()) return !startup;
  CompanyDialog dialog(session, engine, parent);
  dialog.exec();
  const CompanyEntry* entry = dialog.result();
  if (!entry) {
    if (startup) {
      session.ui().message(MessageKind::Stop, "Atenci\363n.....",
                           "Debe seleccionar una empresa para continuar.\r\n\r\n"
                           "Vuelva a ingresar y seleccione una empresa.");
      return false;
    }
    return true;
  }
  if (!chooseCompany(session, engine, *entry, showCompany)) return !startup;
  // A table that cannot be compacted is left as it is; a damaged one can be repaired at once.
  std::string problem;
  const Compaction compaction = compactAssignments(session, engine, &problem);
  explainCompaction(session, engine, compaction, problem, true);
  return true;
}

CompanyPage::CompanyPage(Session& session, store::Engine& engine, ShowCompany showCompany,
                         QWidget* parent)
    : QWidget(parent), m_session(session), m_engine(engine), m_showCompany(std::move(showCompany)) {
  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel(QStringLiteral("Seleccionar Empresa"), this);
  heading->setStyleSheet(
      QStringLiteral("QLabel { font-size: 16pt; font-weight: bold; color: rgb(0,0,125); }"));
  layout->addWidget(heading);
  m_chooser = new CompanyChooser(session, engine, this);
  m_chooser->setMaximumWidth(520);
  layout->addWidget(m_chooser, 1);
  auto* select = new QPushButton(QStringLiteral("&Seleccionar"), this);
  select->setToolTip(QStringLiteral("Selecciona empresa"));
  auto* row = new QHBoxLayout;
  row->addWidget(select);
  row->addStretch(1);
  layout->addLayout(row);
  connect(select, &QPushButton::clicked, this, &CompanyPage::choose);
  connect(m_chooser, &CompanyChooser::chosen, this, &CompanyPage::choose);
}

bool CompanyPage::reload() {
  return m_chooser->load(initialProduct(m_session, m_session.pathOrigen()),
                         lastCompanyFolder(m_session));
}

void CompanyPage::choose() {
  if (const CompanyEntry* e = m_chooser->chosenEntry()) {
    const CompanyEntry entry = *e;  // the list is reloaded by what follows
    chooseCompany(m_session, m_engine, entry, m_showCompany);
  }
  m_chooser->list()->setFocus();
}

}  // namespace exo::shell
