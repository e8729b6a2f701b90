// Selector bar of page groups.
#include "ui/SideBar.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace exo::ui {

namespace {
const char* const kButtonStyle =
    "QPushButton { text-align: left; border: none; padding: 4px 8px; color: rgb(25,75,5);"
    " background: transparent; }"
    "QPushButton:hover { background: rgba(138,170,225,70); }";
const char* const kSelectedStyle =
    "QPushButton { text-align: left; border: none; padding: 4px 8px; color: white;"
    " font-weight: bold; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
    " stop:0 rgb(110,150,215), stop:1 rgb(60,100,175)); border-radius: 3px; }";
}  // namespace

SideBar::SideBar(QWidget* parent) : QToolBox(parent) {
  setMinimumWidth(220);
  setStyleSheet(QStringLiteral(
      "QToolBox::tab { border: 1px solid rgb(138,170,225); border-radius: 4px; padding-left: 8px;"
      " color: rgb(0,0,90); font-weight: bold; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
      " stop:0 rgb(235,244,255), stop:1 rgb(188,210,240)); }"
      "QToolBox::tab:selected { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
      " stop:0 rgb(255,255,200), stop:1 rgb(188,230,255)); }"));
  connect(this, &QToolBox::currentChanged, this, [this](int index) {
    if (index >= 0 && index < static_cast<int>(m_groups.size())) openGroup(index + 1);
  });
}

int SideBar::addGroup(const QString& caption) {
  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(2);
  layout->addStretch(1);
  m_groups.push_back({layout, {}, 1});
  // Adding the first group makes it current and would ask for a page before it has buttons.
  const QSignalBlocker block(this);
  addItem(panel, caption);
  return static_cast<int>(m_groups.size());
}

void SideBar::addHeading(int group, const QString& text) {
  Group& g = m_groups.at(static_cast<std::size_t>(group) - 1);
  auto* label = new QLabel(text);
  label->setStyleSheet(QStringLiteral(
      "QLabel { font-family: Arial; font-size: 12pt; font-weight: bold; color: rgb(0,0,90);"
      " padding-top: 6px; }"));
  g.layout->insertWidget(g.layout->count() - 1, label);
}

QPushButton* SideBar::addButton(int group, const QString& caption) {
  Group& g = m_groups.at(static_cast<std::size_t>(group) - 1);
  auto* b = new QPushButton(caption);
  b->setStyleSheet(QString::fromLatin1(kButtonStyle));
  b->setCursor(Qt::PointingHandCursor);
  b->setFocusPolicy(Qt::TabFocus);
  const int n = static_cast<int>(g.buttons.size()) + 1;
  connect(b, &QPushButton::clicked, this, [this, group, n] { select(group, n); });
  g.layout->insertWidget(g.layout->count() - 1, b);
  g.buttons.push_back(b);
  return b;
}

QPushButton* SideBar::button(int group, int n) const {
  const Group& g = m_groups.at(static_cast<std::size_t>(group) - 1);
  return g.buttons.at(static_cast<std::size_t>(n) - 1);
}

int SideBar::buttonCount(int group) const {
  return static_cast<int>(m_groups.at(static_cast<std::size_t>(group) - 1).buttons.size());
}

int SideBar::lastPage(int group) const {
  return m_groups.at(static_cast<std::size_t>(group) - 1).last;
}

void SideBar::highlight(Group& g, int n) {
  for (std::size_t i = 0; i < g.buttons.size(); ++i) {
    g.buttons[i]->setStyleSheet(
        QString::fromLatin1(static_cast<int>(i) + 1 == n ? kSelectedStyle : kButtonStyle));
  }
}

void SideBar::select(int group, int n) {
  Group& g = m_groups.at(static_cast<std::size_t>(group) - 1);
  if (n < 1 || n > static_cast<int>(g.buttons.size())) return;
  highlight(g, n);
  emit pageRequested(group, n);
  g.last = n;
}

void SideBar::openGroup(int group) {
  if (currentIndex() != group - 1) {
    setCurrentIndex(group - 1);  // comes back here through currentChanged
    return;
  }
  select(group, lastPage(group));
}

}  // namespace exo::ui
