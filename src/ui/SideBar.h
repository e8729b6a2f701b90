// The selector bar at the left of the main window: collapsible groups, each with headings and
// numbered selector buttons. The selected button of a group is highlighted and every group
// remembers its last selected page, which it shows again when the group is reopened.
#pragma once

#include <QToolBox>
#include <vector>

class QPushButton;
class QVBoxLayout;

namespace exo::ui {

class SideBar : public QToolBox {
  Q_OBJECT
 public:
  explicit SideBar(QWidget* parent = nullptr);

  // Adds a group and returns its number (1-based).
  int addGroup(const QString& caption);
  void addHeading(int group, const QString& text);
  // Adds the next selector button of a group (numbered from 1) and returns it.
  QPushButton* addButton(int group, const QString& caption);
  QPushButton* button(int group, int n) const;
  int buttonCount(int group) const;
  int lastPage(int group) const;
  int currentGroup() const { return currentIndex() + 1; }

  // Highlights button n of the group, remembers it and asks for its page.
  void select(int group, int n);
  // Opens a group (its last page is asked for).
  void openGroup(int group);

 signals:
  void pageRequested(int group, int n);

 private:
  struct Group {
    QVBoxLayout* layout = nullptr;
    std::vector<QPushButton*> buttons;
    int last = 1;
  };
  void highlight(Group& g, int n);
  std::vector<Group> m_groups;
};

}  // namespace exo::ui
