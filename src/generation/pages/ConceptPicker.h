// The concept picker of the generation page (CONSULCONCEP): "Todos..." and then the concepts of
// one format in code order, in a small window with the column "Concepto" (the code) and beside
// it the concept's description; a double click, Enter or "Seleccionar" takes the selected entry.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

namespace exo::store {
class Engine;
}
namespace exo::ui {
class BrowseGrid;
}

namespace exo::generation {

// "Todos..." followed by the codes of the concepts of format 1000 + `formatNumber` in code
// order, read from the concepts table of the session ("Conceptos3").
std::vector<std::string> conceptChoices(store::Engine& engine, int formatNumber);
// The descriptions of those entries, in the same order ("" for "Todos..."), as the user sees them
// (masterdata::conceptDetail).
std::vector<std::string> conceptNames(store::Engine& engine, int formatNumber);

class ConceptPicker : public QDialog {
  Q_OBJECT
 public:
  // `names`, when given, are the descriptions of `choices` in the same order.
  ConceptPicker(std::vector<std::string> choices, const std::string& current,
                QWidget* parent = nullptr, const std::vector<std::string>& names = {});

  ui::BrowseGrid* grid() const { return m_grid; }
  // The entry taken, once the picker closed by taking one.
  const std::string& chosen() const { return m_chosen; }

 private:
  void take(int row);

  std::vector<std::string> m_choices;
  ui::BrowseGrid* m_grid;
  std::string m_chosen;
};

// CONSULCONCEP: shows the picker near the main window; the entry taken, or nothing when it was
// closed otherwise.
std::optional<std::string> CONSULCONCEP(store::Engine& engine, int formatNumber,
                                        const std::string& current, QWidget* parent);

}  // namespace exo::generation
