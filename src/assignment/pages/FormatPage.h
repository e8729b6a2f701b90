// The pages of the group "Asignación Contable" (TAB2_PAG01 to TAB2_PAG12): the concepts of one
// format, from which the assignment dialog of a concept is opened (ASIGNACODCONT).
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

class QLabel;
class QPushButton;

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}
namespace exo::ui {
class BrowseGrid;
class WorkAreaModel;
}  // namespace exo::ui

namespace exo::assignment {

// "Formato 1001 - Versión 07 - Anexo 02" ... for page 1 to 12.
std::string formatPageHeading(int page);
// Pages 4, 10 and 11 show no "Códigos Contables" button.
bool showsAssignmentButton(int page);

class FormatPage : public QWidget {
  Q_OBJECT
 public:
  // Page `page` (1 to 12) of format 1000 + page, over the concepts open as Conceptos2.
  FormatPage(shell::Session& session, store::Engine& engine, int page, QWidget* parent = nullptr);

  int number() const { return m_page; }
  std::string formatCode() const;
  ui::BrowseGrid* grid() const { return m_grid; }
  ui::WorkAreaModel* model() const { return m_model; }
  QPushButton* assignmentButton() const { return m_button; }
  QLabel* title() const { return m_title; }
  QLabel* detail() const { return m_detail; }
  // ASIGNACODCONT: the assignment dialog of the grid's current concept (nothing without one).
  void ASIGNACODCONT();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void rowChanged();

  shell::Session& m_session;
  store::Engine& m_engine;
  int m_page;
  int m_area;
  ui::BrowseGrid* m_grid = nullptr;
  ui::WorkAreaModel* m_model = nullptr;
  QPushButton* m_button = nullptr;
  QLabel* m_title = nullptr;
  QLabel* m_detail = nullptr;
  std::int64_t m_recno = 0;  // the concept the grid stood on, kept between visits
};

}  // namespace exo::assignment
