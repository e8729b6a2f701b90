// The main window of the desktop program.
#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/HelpWindow.h"
#include "ui/SideBar.h"

namespace exo::ui {

QString mainWindowTitle() {
  return QString::fromUtf8("Norvasta - Información Exógena en Medios Magnéticos - 2011");
}

const std::vector<SelectorGroup>& selectorGroups() {
  static const std::vector<SelectorGroup> groups = [] {
    auto h = [](const char* t) { return SelectorGroup::Entry{true, QString::fromUtf8(t)}; };
    auto b = [](const char* t) { return SelectorGroup::Entry{false, QString::fromUtf8(t)}; };
    std::vector<SelectorGroup> g;
    g.push_back({QString::fromUtf8("General"),
                 {h("Seleccione Tabla:"), b("Formatos"), b("Conceptos"), b("Tipo Documentos"),
                  b("Departamentos"), b("Municipios"), b("Países"), h("Seleccione Acción:"),
                  b("Seleccionar Empresa"), b("Importar Cuentas P.U.C."),
                  b("Importar Movimientos Contables"), b("Parametrización...")}});
    SelectorGroup formats{QString::fromUtf8("Asignación Contable"), {h("Seleccione Formato:")}};
    const int annexes[] = {2, 3, 4, 5, 7, 8, 6, 10, 9, 1, 11, 12};
    for (int i = 0; i < 12; ++i) {
      formats.entries.push_back({false, QStringLiteral("Formato %1   (Anexo %2)")
                                            .arg(1001 + i)
                                            .arg(annexes[i], 2, 10, QLatin1Char('0'))});
    }
    g.push_back(formats);
    g.push_back({QString::fromUtf8("Medios Magnéticos"),
                 {h("Seleccione Formato:"), b("Generar Medios Magnéticos "), b("Controles")}});
    return g;
  }();
  return groups;
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(mainWindowTitle());
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  resize(1100, 720);

  auto* central = new QWidget(this);
  auto* grid = new QGridLayout(central);
  grid->setContentsMargins(8, 8, 8, 8);

  m_infoBar = new QLabel(central);
  m_infoBar->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  m_infoBar->setMinimumHeight(34);
  m_infoBar->setStyleSheet(QStringLiteral(
      "QLabel { font-size: 14pt; font-weight: bold; color: rgb(0,0,90); padding: 2px 12px;"
      " border: 1px solid rgb(138,170,225); border-radius: 4px;"
      " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 rgb(255,255,125),"
      " stop:0.5 rgb(188,230,255), stop:1 rgb(138,170,225)); }"));
  grid->addWidget(m_infoBar, 0, 0, 1, 2);

  m_sideBar = new SideBar(central);
  const auto& groups = selectorGroups();
  for (std::size_t gi = 0; gi < groups.size(); ++gi) {
    const int group = m_sideBar->addGroup(groups[gi].caption);
    for (const auto& e : groups[gi].entries) {
      if (e.heading) m_sideBar->addHeading(group, e.text);
      else m_sideBar->addButton(group, e.text);
    }
  }
  connect(m_sideBar, &SideBar::pageRequested, this, [this](int g, int n) { showPage(g, n); });

  auto* left = new QVBoxLayout;
  left->addWidget(m_sideBar, 1);
  auto* about = new QPushButton(QString::fromUtf8("Acerca de..."), central);
  auto* manual = new QPushButton(QString::fromUtf8("Manual"), central);
  manual->setToolTip(QString::fromUtf8("Ayuda en línea"));
  m_terminate = new QPushButton(QString::fromUtf8("&Terminar"), central);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(about);
  buttons->addWidget(manual);
  buttons->addWidget(m_terminate);
  left->addLayout(buttons);
  grid->addLayout(left, 1, 0);
  connect(about, &QPushButton::clicked, this, &MainWindow::showAbout);
  connect(manual, &QPushButton::clicked, this, &MainWindow::openManual);
  connect(m_terminate, &QPushButton::clicked, this, &MainWindow::terminate);

  m_pageArea = new QWidget(central);
  m_pageArea->setLayout(new QVBoxLayout);
  m_pageArea->layout()->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(m_pageArea, 1, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);
  setCentralWidget(central);
}

void MainWindow::setPageBuilder(int group, int n, PageBuilder builder) {
  m_builders[{group, n}] = std::move(builder);
}

void MainWindow::setPageGuard(int group, int n, std::function<bool(QWidget*)> guard) {
  m_guards[{group, n}] = std::move(guard);
}

QWidget* MainWindow::page(int group, int n) const {
  const auto it = m_pages.find({group, n});
  return it == m_pages.end() ? nullptr : it->second;
}

QWidget* MainWindow::placeholder(QWidget* parent, int group, int n) const {
  auto* w = new QWidget(parent);
  auto* layout = new QVBoxLayout(w);
  int seen = 0;
  QString caption;
  for (const auto& e : selectorGroups().at(static_cast<std::size_t>(group) - 1).entries) {
    if (!e.heading && ++seen == n) caption = e.text.trimmed();
  }
  auto* heading = new QLabel(caption, w);
  heading->setStyleSheet(
      QStringLiteral("QLabel { font-size: 14pt; font-weight: bold; color: rgb(0,0,90); }"));
  layout->addWidget(heading);
  layout->addStretch(1);
  return w;
}

QWidget* MainWindow::showPage(int group, int n) {
  QWidget*& slot = m_pages[{group, n}];
  if (!slot) {
    const auto builder = m_builders.find({group, n});
    slot = builder != m_builders.end() ? builder->second(m_pageArea)
                                       : placeholder(m_pageArea, group, n);
    slot->hide();
    m_pageArea->layout()->addWidget(slot);
    ++m_builds;
  }
  if (const auto guard = m_guards.find({group, n});
      guard != m_guards.end() && !guard->second(slot)) {
    return m_current;
  }
  for (auto& [key, p] : m_pages) {
    if (p != slot) p->hide();
  }
  slot->show();
  slot->setFocus();
  m_current = slot;
  return slot;
}

void MainWindow::setInfo(const QString& text) { m_infoBar->setText(text); }

void MainWindow::setSelectorsEnabled(bool enabled) { m_sideBar->setEnabled(enabled); }

void MainWindow::beginAction() {
  if (m_actions++ > 0) return;
  // The page keeps its place while the bar is away.
  QSizePolicy policy = m_sideBar->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  m_sideBar->setSizePolicy(policy);
  m_sideBar->hide();
  m_terminate->setEnabled(false);
}

void MainWindow::endAction() {
  if (m_actions == 0 || --m_actions > 0) return;
  m_sideBar->show();
  m_terminate->setEnabled(true);
}

void MainWindow::showAbout() {
  QDialog box(this, Qt::FramelessWindowHint | Qt::Dialog);
  box.setFixedSize(380, 246);
  box.move(geometry().topLeft() + QPoint(180, 295));
  box.setStyleSheet(
      QStringLiteral("QDialog { border: 2px solid rgb(60,100,175); border-radius: 8px;"
                     " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 "
                     "rgb(245,245,255), stop:1 rgb(188,230,255)); }"));
  auto* layout = new QVBoxLayout(&box);
  auto* text =
      new QLabel(QString::fromUtf8(
                     "<h3>Norvasta<br>Información Exógena en Medios Magnéticos</h3>"
                     "<p>Año gravable 2010</p>"
                     "<p>Prepara los formatos 1001 a 1012 de la DIAN a partir de la contabilidad "
                     "de Norvasta Orbisal Plus y Norvasta Contable.</p>"),
                 &box);
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignCenter);
  layout->addWidget(text, 1);
  auto* ok = new QPushButton(QStringLiteral("Ok"), &box);
  ok->setStyleSheet(QStringLiteral("QPushButton:hover { color: red; }"));
  ok->setDefault(true);
  layout->addWidget(ok, 0, Qt::AlignCenter);
  connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
  box.exec();
}

void MainWindow::openManual() {
  const QFileInfo manual(m_manualPath);
  if (!manual.exists()) {
    QMessageBox::information(this, QString::fromUtf8("Atención....."),
                             QString::fromUtf8("No se encuentra el manual del programa.\n\n"
                                               "Debe estar en ") +
                                 QDir::toNativeSeparators(manual.absoluteFilePath()));
    return;
  }
  if (m_openUrl(QUrl::fromLocalFile(manual.absoluteFilePath()))) return;
  // No browser on this desktop: the manual opens in the program's own help window.
  if (m_help == nullptr) {
    auto* help = new HelpWindow(manual.absoluteFilePath(), this);
    help->setModal(false);
    m_help = help;
  }
  m_help->show();
  m_help->raise();
  m_help->activateWindow();
}

void MainWindow::terminate() {
  m_exit = true;
  emit terminating();
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (m_exit) event->accept();
  else event->ignore();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) return;
  QMainWindow::keyPressEvent(event);
}

}  // namespace exo::ui
