// The main window of the desktop program: the information bar, the selector bar with its three
// page groups, the page area and the buttons "Acerca de...", "Manual" and "&Terminar".
//
// Pages are built once, on first request, by the builder registered for (group, page); they are
// then kept, hidden and shown again, never destroyed, so what the user typed in a page survives
// switching. Only "&Terminar" closes the window: Escape and the window's close button do nothing.
#pragma once

#include <QDesktopServices>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <map>
#include <vector>

class QLabel;
class QPushButton;

namespace exo::ui {

class SideBar;

// A selector group as the main window shows it: caption, and its entries in order (a heading,
// or a button caption that opens the next page of the group).
struct SelectorGroup {
  QString caption;
  struct Entry {
    bool heading;
    QString text;
  };
  std::vector<Entry> entries;
};
const std::vector<SelectorGroup>& selectorGroups();

// Builds a page inside `parent` (the page area).
using PageBuilder = std::function<QWidget*(QWidget* parent)>;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);

  void setPageBuilder(int group, int n, PageBuilder builder);
  // A check made each time page n of the group is asked for; when it says no, the page on
  // screen stays (the page may use it to refresh itself first).
  void setPageGuard(int group, int n, std::function<bool(QWidget* page)> guard);
  // Hides every page, then shows page n of the group, building it the first time.
  QWidget* showPage(int group, int n);
  QWidget* page(int group, int n) const;  // null until built
  int buildCount() const { return m_builds; }
  const QWidget* currentPage() const { return m_current; }

  SideBar* sideBar() const { return m_sideBar; }
  QLabel* infoBar() const { return m_infoBar; }
  QPushButton* terminateButton() const { return m_terminate; }
  void setInfo(const QString& text);
  // Enables or disables the whole selector bar (long operations).
  void setSelectorsEnabled(bool enabled);
  // While an action of a page runs: the selector bar hidden (its place kept) and "&Terminar"
  // disabled. Calls nest; the last endAction() restores both.
  void beginAction();
  void endAction();
  bool actionRunning() const { return m_actions > 0; }

  // Where the manual lives (a file opened with the desktop's program for it).
  void setManualPath(const QString& path) { m_manualPath = path; }
  // How a file is handed to the desktop (false: nothing could open it).
  void setUrlOpener(std::function<bool(const QUrl&)> open) { m_openUrl = std::move(open); }
  void showAbout();
  // The manual with the desktop's browser, or in the program's own help window when the desktop
  // has none; a missing manual is reported.
  void openManual();
  QWidget* helpWindow() const { return m_help; }
  // Ends the program: the only way the window closes.
  void terminate();
  bool exitRequested() const { return m_exit; }

 signals:
  void terminating();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* placeholder(QWidget* parent, int group, int n) const;

  SideBar* m_sideBar = nullptr;
  QLabel* m_infoBar = nullptr;
  QWidget* m_pageArea = nullptr;
  QPushButton* m_terminate = nullptr;
  std::map<std::pair<int, int>, PageBuilder> m_builders;
  std::map<std::pair<int, int>, QWidget*> m_pages;
  std::map<std::pair<int, int>, std::function<bool(QWidget*)>> m_guards;
  QWidget* m_current = nullptr;
  QString m_manualPath = QStringLiteral("help/DorAzo.html");
  std::function<bool(const QUrl&)> m_openUrl = [](const QUrl& url) {
    return QDesktopServices::openUrl(url);
  };
  QPointer<QWidget> m_help;
  int m_builds = 0;
  int m_actions = 0;
  bool m_exit = false;
};

// The main window's title, as the program shows it.
QString mainWindowTitle();

}  // namespace exo::ui
