// User-interface port over Qt widgets.
#include "ui/QtUserInterface.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/Text.h"

namespace exo::ui {

QString messageText(std::string_view text) {
  QString s = qt(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

QtUserInterface::~QtUserInterface() {
  delete m_progress.data();
  delete m_wait.data();
}

void QtUserInterface::message(shell::MessageKind kind, std::string_view title,
                              std::string_view text) {
  QMessageBox box(m_parent);
  switch (kind) {
    case shell::MessageKind::Info: box.setIcon(QMessageBox::Information); break;
    case shell::MessageKind::Alert: box.setIcon(QMessageBox::Warning); break;
    case shell::MessageKind::Stop: box.setIcon(QMessageBox::Critical); break;
    case shell::MessageKind::Error: box.setIcon(QMessageBox::Critical); break;
  }
  box.setWindowTitle(qt(title));
  box.setText(messageText(text));
  QPushButton* ok = box.addButton(QStringLiteral("&Aceptar"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
}

int QtUserInterface::ask(std::string_view title, std::string_view text,
                         const std::vector<std::string>& buttons, int defaultButton) {
  QMessageBox box(m_parent);
  box.setIcon(QMessageBox::Question);
  box.setWindowTitle(qt(title));
  box.setText(messageText(text));
  std::vector<QPushButton*> added;
  for (const std::string& caption : buttons) {
    added.push_back(box.addButton(qt(caption), QMessageBox::ActionRole));
  }
  if (defaultButton >= 0 && defaultButton < static_cast<int>(added.size())) {
    box.setDefaultButton(added[static_cast<std::size_t>(defaultButton)]);
  }
  box.exec();
  for (std::size_t i = 0; i < added.size(); ++i) {
    if (box.clickedButton() == added[i]) return static_cast<int>(i);
  }
  return -1;
}

void QtUserInterface::ensureProgress() {
  if (m_progress) return;
  auto* box = new QDialog(m_parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  box->setWindowTitle(QString::fromUtf8("Procesando..."));
  box->setMinimumWidth(420);
  auto* layout = new QVBoxLayout(box);
  m_caption = new QLabel(box);
  m_caption->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: rgb(0,0,90); }"));
  layout->addWidget(m_caption);
  m_statusLines.clear();
  for (int i = 0; i < 3; ++i) {
    auto* line = new QLabel(box);
    line->hide();
    layout->addWidget(line);
    m_statusLines.push_back(line);
  }
  m_bar = new QProgressBar(box);
  m_bar->hide();
  layout->addWidget(m_bar);
  m_progress = box;
}

void QtUserInterface::meterBegin(std::string_view caption, std::int64_t total, bool showPercent) {
  ensureProgress();
  m_total = total;
  m_caption->setText(qt(caption));
  m_bar->setRange(0, total > 0 ? 1000 : 0);  // no total: a busy bar
  m_bar->setValue(0);
  m_bar->setTextVisible(showPercent && total > 0);
  m_bar->show();
  m_progress->show();
  pumpEvents();
}

void QtUserInterface::meterAdvance(std::int64_t done) {
  if (!m_progress || !m_bar) return;
  if (m_total > 0) {
    const auto permille = static_cast<int>(std::min<std::int64_t>(1000, done * 1000 / m_total));
    if (permille != m_bar->value()) m_bar->setValue(permille);
  }
  pumpEvents();
}

void QtUserInterface::meterEnd() {
  if (!m_progress) return;
  m_bar->hide();
  bool anyStatus = false;
  for (QLabel* l : m_statusLines) anyStatus = anyStatus || !l->text().isEmpty();
  if (!anyStatus) m_progress->hide();
}

void QtUserInterface::status(int line, std::string_view text) {
  if (line < 0 || line > 2) return;
  ensureProgress();
  QLabel* l = m_statusLines[static_cast<std::size_t>(line)];
  l->setText(qt(text));
  l->setVisible(!text.empty());
  bool anyVisible = m_bar->isVisible();
  for (QLabel* s : m_statusLines) anyVisible = anyVisible || s->isVisible();
  m_progress->setVisible(anyVisible);
  pumpEvents();
}

void QtUserInterface::waitOpen(std::string_view text, std::optional<shell::ScreenPos> where) {
  waitClose();
  auto* box = new QDialog(m_parent, Qt::Dialog | Qt::FramelessWindowHint);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setStyleSheet(QStringLiteral(
      "QDialog { border: 2px solid rgb(138,170,225); border-radius: 6px;"
      " background: rgb(255,255,200); } QLabel { color: rgb(0,0,90); font-weight: bold; }"));
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(24, 16, 24, 16);
  layout->addWidget(new QLabel(messageText(text), box));
  box->adjustSize();
  if (where && m_parent) {
    // Dialog units are about twice as fine as pixels across and eight times finer down.
    box->move(m_parent->mapToGlobal(QPoint(where->left * 2, where->top * 2)));
  } else if (m_parent) {
    box->move(m_parent->geometry().center() - box->rect().center());
  }
  box->show();
  m_wait = box;
  pumpEvents();
}

void QtUserInterface::waitClose() {
  if (m_wait) m_wait->close();
  m_wait = nullptr;
}

void QtUserInterface::pumpEvents() { QCoreApplication::processEvents(); }

bool QtUserInterface::openWithShell(const std::string& path) {
  const QString p = qt(path);
  const QUrl url = p.contains(QStringLiteral("://"))
                       ? QUrl(p)
                       : QUrl::fromLocalFile(QFileInfo(p).absoluteFilePath());
  return QDesktopServices::openUrl(url);
}

}  // namespace exo::ui
