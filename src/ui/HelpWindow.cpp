// The program's own manual window.
#include "ui/HelpWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace exo::ui {

HelpWindow::HelpWindow(const QString& file, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Ayuda Norvasta Información Exógena"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  m_browser = new QTextBrowser(this);
  // Links to other pages of the manual open here; links to the web are left to the desktop.
  m_browser->setOpenExternalLinks(true);
  const QFileInfo info(file);
  m_browser->setSearchPaths({info.absolutePath()});
  m_browser->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
  layout->addWidget(m_browser, 1);
  auto* buttons = new QHBoxLayout;
  m_home = new QPushButton(QString::fromUtf8("&Inicio"), this);
  m_back = new QPushButton(QString::fromUtf8("&Atrás"), this);
  m_close = new QPushButton(QString::fromUtf8("&Cerrar"), this);
  for (QPushButton* b : {m_home, m_back}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  buttons->addWidget(m_close);
  layout->addLayout(buttons);
  m_back->setEnabled(false);
  connect(m_home, &QPushButton::clicked, m_browser, &QTextBrowser::home);
  connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
  connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
  connect(m_close, &QPushButton::clicked, this, &QDialog::close);
  resize(900, 640);
}

}  // namespace exo::ui
