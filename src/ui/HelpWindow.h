// The manual shown by the program itself: a window with a text browser over the manual's HTML
// pages and their pictures, for when the desktop has no browser to open them with.
#pragma once

#include <QDialog>

class QPushButton;
class QTextBrowser;

namespace exo::ui {

class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  // `file` is the manual's first page; the pictures and the pages it links to are found beside it.
  explicit HelpWindow(const QString& file, QWidget* parent = nullptr);

  QTextBrowser* browser() const { return m_browser; }
  QPushButton* closeButton() const { return m_close; }

 private:
  QTextBrowser* m_browser;
  QPushButton* m_home;
  QPushButton* m_back;
  QPushButton* m_close;
};

}  // namespace exo::ui
