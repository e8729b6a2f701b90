// The pages of the three groups, by group and number.
#include "app/Pages.h"

#include "assignment/pages/FormatPage.h"
#include "consolidation/Coverage.h"
#include "generation/Audit.h"
#include "generation/pages/ControlsPage.h"
#include "generation/pages/GenerationPage.h"
#include "import/pages/ChartImportPage.h"
#include "import/pages/MovementImportPage.h"
#include "masterdata/pages/ParametersPage.h"
#include "masterdata/pages/ReferencePages.h"
#include "reports/Runner.h"
#include "shell/Session.h"
#include "shell/pages/CompanyPages.h"
#include "ui/MainWindow.h"
#include "ui/Text.h"

namespace exo::app {

void registerPages(ui::MainWindow& window, shell::Session& session, store::Engine& engine) {
  // Group 1, "General": the reference tables, then the actions.
  window.setPageBuilder(
      1, 1, [&engine](QWidget* parent) { return new masterdata::FormatsPage(engine, parent); });
  window.setPageBuilder(
      1, 2, [&engine](QWidget* parent) { return new masterdata::ConceptsPage(engine, parent); });
  window.setPageBuilder(1, 3,
                        [](QWidget* parent) { return new masterdata::DocumentTypesPage(parent); });
  window.setPageBuilder(
      1, 4, [&engine](QWidget* parent) { return new masterdata::DepartmentsPage(engine, parent); });
  window.setPageBuilder(1, 5, [&engine](QWidget* parent) {
    return new masterdata::MunicipalitiesPage(engine, parent);
  });
  window.setPageBuilder(
      1, 6, [&engine](QWidget* parent) { return new masterdata::CountriesPage(engine, parent); });
  const auto showCompany = [&window](const std::string& text) { window.setInfo(ui::qt(text)); };
  window.setPageBuilder(1, 7, [&session, &engine, showCompany](QWidget* parent) {
    return new shell::CompanyPage(session, engine, showCompany, parent);
  });
  // The list is read again at every press; the page does not open when the current company is
  // not in the chosen product's list.
  window.setPageGuard(
      1, 7, [](QWidget* page) { return static_cast<shell::CompanyPage*>(page)->reload(); });
  window.setPageBuilder(1, 8, [&session, &engine](QWidget* parent) {
    return new import::ChartImportPage(session, engine, parent);
  });
  window.setPageBuilder(1, 9, [&session, &engine](QWidget* parent) {
    return new import::MovementImportPage(session, engine, parent);
  });
  window.setPageBuilder(1, 10, [&session, &engine](QWidget* parent) {
    return new masterdata::ParametersPage(session, engine, parent);
  });

  // Group 2, "Asignación Contable": one page per format.
  for (int n = 1; n <= 12; ++n) {
    window.setPageBuilder(2, n, [&session, &engine, n](QWidget* parent) {
      return new assignment::FormatPage(session, engine, n, parent);
    });
  }

  // Group 3, "Medios Magnéticos": the generation of the formats, then the analysis workbooks of
  // the balances of 1008 and 1009 and the coverage workbook, whose outcome goes to the page's
  // status line.
  window.setPageBuilder(3, 1, [&session, &engine](QWidget* parent) {
    return new generation::GenerationPage(session, engine, parent);
  });
  window.setPageBuilder(3, 2, [&session, &engine](QWidget* parent) {
    const auto analyse = [&engine](shell::Session& s, int choice) {
      reports::Runner* runner = reports::Runner::of(s.interp());
      if (runner == nullptr) {
        s.ui().message(shell::MessageKind::Error, "Error.....",
                       "No est\xE1 disponible el ejecutor de informes del programa.");
        return;
      }
      const generation::AuditResult r = generation::AUDITORIA(s, engine, *runner, choice);
      if (!r.done) return;
      s.ui().status(0, "Proceso terminado.....  Terceros: " + std::to_string(r.thirdParties) +
                           "  Saldos por concepto: " + std::to_string(r.conceptRows) +
                           "  Libro: " + r.workbook.filename().string());
    };
    const auto coverage = [&engine](shell::Session& s) {
      const consolidation::CoverageResult r = consolidation::coverageReport(s, engine);
      if (!r.done) return;
      s.ui().status(
          0, "Proceso terminado.....  Cuentas sin concepto: " + std::to_string(r.uncovered.size()) +
                 "  Libro: " + r.workbook.filename().string());
    };
    return new generation::ControlsPage(session, analyse, coverage, parent);
  });
}

}  // namespace exo::app
