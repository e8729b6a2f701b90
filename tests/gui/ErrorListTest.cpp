// The error list of the third-party check over a demo company's faulty third parties: the count,
// the grid, and the current row's values with its errors one per line.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "GuiTestSupport.h"
#include "demo/Demo.h"
#include "expr/Text.h"
#include "import/ThirdPartyCheck.h"
#include "import/pages/ErrorListDialog.h"
#include "shell/Company.h"
#include "shell/Runtime.h"
#include "shell/ScriptedUserInterface.h"
#include "ui/BrowseGrid.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;

TEST(ErrorList, ShowsTheFaultyThirdPartiesWithTheirErrors) {
  guitest::app();
  const fs::path root =
      fs::temp_directory_path() / ("exo-gui-errors-" + std::to_string(::getpid()));
  fs::remove_all(root);
  demo::DemoOptions o;
  o.folder = root.string();
  o.lines = 300;
  o.sourceFolder = EXOGENA_SOURCE_DIR;
  const auto inst = demo::installDemo(o);
  shell::ScriptedUserInterface ui;
  {
    shell::Runtime runtime;
    ASSERT_TRUE(runtime.openSession(ui, {inst.programFolder, inst.driveFolder}));
    shell::Session& s = runtime.session();
    for (const auto& e : shell::CARGAVRCTL(s, runtime.engine(), 1)) {
      if (trimBlanks(e.camino) == "ANDINA10\\") {
        ASSERT_TRUE(shell::chooseCompany(s, runtime.engine(), e, {}));
      }
    }
    const import::ValidationResult r = import::VALIDAFICHTERC(s, runtime.engine());
    ASSERT_TRUE(r.done);
    ASSERT_GT(r.errors, 1);

    const int selected = runtime.engine().selected();
    int rows = -1;
    QString total, code, document, errors, lastCode;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<import::ErrorListDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      rows = dialog->grid()->model()->rowCount();
      total = dialog->total()->text();
      code = dialog->code();
      document = dialog->document();
      errors = dialog->errors();
      guitest::picture(*dialog, "errores-terceros");
      dialog->grid()->setCurrentIndex(dialog->grid()->model()->index(rows - 1, 0));
      lastCode = dialog->code();
      dialog->findChild<QPushButton*>()->click();  // "&Salir", the only button
    });
    import::MUESTRABASEERROR(s, runtime.engine(), nullptr);
    EXPECT_EQ(rows, r.errors);
    EXPECT_EQ(total, QString::number(r.errors));
    EXPECT_FALSE(code.isEmpty());
    EXPECT_FALSE(document.isEmpty());
    EXPECT_NE(code, lastCode);  // the values follow the current row
    // The errors one per line, as SETTXTERR gives them.
    EXPECT_TRUE(errors.startsWith(QStringLiteral("Error "))) << errors.toStdString();
    EXPECT_FALSE(errors.contains(QLatin1Char('\r')));
    // The table is closed again and the selected area kept.
    EXPECT_EQ(runtime.engine().selected(), selected);
    EXPECT_EQ(runtime.engine().areaOf("Errores"), 0);
    runtime.engine().closeAll(runtime.interp());
  }
  fs::remove_all(root);
}

}  // namespace
