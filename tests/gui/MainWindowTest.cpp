// The main window's page mechanics and the toolkit's grids, on the offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include "GuiTestSupport.h"

#include <filesystem>

#include "expr/Interp.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"
#include "ui/HelpWindow.h"
#include "ui/MainWindow.h"
#include "ui/SideBar.h"
#include "ui/WorkAreaModel.h"

namespace {

using exo::ui::MainWindow;

using guitest::app;

class Gui : public ::testing::Test {
 protected:
  void SetUp() override { app(); }
};

TEST_F(Gui, MainWindowCarriesTheTitleAndTheThreeGroups) {
  MainWindow window;
  EXPECT_EQ(window.windowTitle().toStdString(),
            "Norvasta - Informaci\xC3\xB3n Ex\xC3\xB3gena en Medios Magn\xC3\xA9ticos - 2011");
  exo::ui::SideBar* bar = window.sideBar();
  ASSERT_EQ(bar->count(), 3);
  EXPECT_EQ(bar->itemText(1).toStdString(), "Asignaci\xC3\xB3n Contable");
  EXPECT_EQ(bar->buttonCount(1), 10);
  EXPECT_EQ(bar->buttonCount(2), 12);
  EXPECT_EQ(bar->buttonCount(3), 2);
  EXPECT_EQ(bar->button(2, 7)->text().toStdString(), "Formato 1007   (Anexo 06)");
  EXPECT_EQ(bar->button(1, 6)->text().toStdString(), "Pa\xC3\xADses");
}

TEST_F(Gui, PagesAreBuiltOnceAndKeepWhatWasTyped) {
  MainWindow window;
  int built = 0;
  window.setPageBuilder(1, 2, [&](QWidget* parent) {
    ++built;
    auto* page = new QWidget(parent);
    new QLineEdit(page);
    return page;
  });
  window.show();
  window.sideBar()->select(1, 2);
  QWidget* page = window.page(1, 2);
  ASSERT_NE(page, nullptr);
  page->findChild<QLineEdit*>()->setText("escrito");
  window.sideBar()->select(1, 4);  // a page not built yet shows its heading
  EXPECT_FALSE(page->isVisible());
  EXPECT_EQ(window.page(1, 4)->findChild<QLabel*>()->text().toStdString(), "Departamentos");
  window.sideBar()->select(1, 2);
  EXPECT_EQ(window.page(1, 2), page);
  EXPECT_TRUE(page->isVisible());
  EXPECT_EQ(built, 1);
  EXPECT_EQ(page->findChild<QLineEdit*>()->text().toStdString(), "escrito");

  // A group opened again shows its last page.
  window.sideBar()->select(2, 5);
  window.sideBar()->openGroup(1);
  EXPECT_EQ(window.currentPage(), page);
  window.sideBar()->openGroup(2);
  EXPECT_EQ(window.currentPage(), window.page(2, 5));
}

TEST_F(Gui, OnlyTerminateClosesTheWindow) {
  MainWindow window;
  window.show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&window, &escape);
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  window.terminateButton()->click();
  EXPECT_TRUE(window.exitRequested());
  EXPECT_FALSE(window.isVisible());
}

TEST_F(Gui, GridRowsAreTheKeysOfTheControllingOrder) {
  const auto dir = std::filesystem::temp_directory_path() / "exo-gui-grid";
  std::filesystem::create_directories(dir);
  exo::Interp ip;
  exo::store::Engine engine(ip);
  const std::string table = (dir / "cuentas.dbf").string();
  engine.createTable(table, {{"CODIGO", 'C', 6, 0}, {"SALDO", 'N', 10, 2}});
  const int area = engine.open(table, "CTA", false, false);
  for (int i = 0; i < 3000; ++i) {
    engine.appendBlank(area);
    engine.put(area, "CODIGO", exo::Value::text(std::to_string(100000 + (i * 7919) % 3000)));
    engine.put(area, "SALDO", exo::Value::number(i));
  }
  engine.buildIndex(area, "", "CODIGO", "CODIGO", "!Deleted()");
  engine.goTo(ip, area, 10);
  engine.deleteRecord(ip, area);

  exo::ui::WorkAreaModel model(
      engine, area,
      {{"C\xC3\xB3"
        "digo",
        "CODIGO",
        {},
        "",
        8,
        Qt::AlignLeft,
        ""},
       {"Saldo", "SALDO", {}, "@Z 999,999.99", 12, Qt::AlignRight, "SALDO"}});
  EXPECT_EQ(model.rowCount(), 2999);
  exo::ui::BrowseGrid grid;
  grid.setModel(&model);
  grid.setFrozenColumns(1);
  grid.resize(400, 300);
  grid.show();
  // The frozen column is drawn by a view of its own that shows only that column and follows
  // the grid's rows.
  QTableView* frozen = nullptr;
  for (QTableView* v : grid.findChildren<QTableView*>()) {
    if (v != &grid) frozen = v;
  }
  ASSERT_NE(frozen, nullptr);
  EXPECT_TRUE(frozen->isVisible());
  EXPECT_FALSE(frozen->isColumnHidden(0));
  EXPECT_TRUE(frozen->isColumnHidden(1));
  grid.scrollTo(model.index(2000, 0));
  EXPECT_EQ(frozen->verticalScrollBar()->value(), grid.verticalScrollBar()->value());
  // Rows far apart and near each other, in key order, without the deleted record.
  EXPECT_EQ(model.data(model.index(2998, 0), Qt::DisplayRole).toString().toStdString(), "102999");
  EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString().toStdString(), "100000");
  // The deleted record held 102271; rows below it keep their codes.
  EXPECT_EQ(model.data(model.index(1500, 0), Qt::DisplayRole).toString().toStdString(), "101500");
  EXPECT_EQ(model.data(model.index(2400, 0), Qt::DisplayRole).toString().toStdString(), "102401");
  EXPECT_EQ(model.data(model.index(1501, 0), Qt::DisplayRole).toString().toStdString(), "101501");
  // 7919 * 1039 = 1 (mod 3000): code 101500 was appended with SALDO 1500.
  EXPECT_EQ(model.data(model.index(1500, 1), Qt::DisplayRole).toString().trimmed().toStdString(),
            "1,500.00");
  // An edited cell is written to the table.
  ASSERT_TRUE(model.setData(model.index(0, 1), QStringLiteral("123.45"), Qt::EditRole));
  engine.setOrder(area, "CODIGO");
  ASSERT_TRUE(engine.seekKey(area, exo::Value::text("100000")));
  EXPECT_DOUBLE_EQ(engine.number(area, "SALDO"), 123.45);
  engine.closeAll(ip);
  std::filesystem::remove_all(dir);
}

// "Manual" with no browser on the desktop: the manual opens in the program's own help window,
// pictures and all; a manual that is not there is reported.
TEST_F(Gui, ManualOpensInTheProgramsOwnWindowWithoutABrowser) {
  MainWindow window;
  window.resize(1024, 768);
  window.show();
  std::vector<QUrl> asked;
  window.setUrlOpener([&asked](const QUrl& url) {
    asked.push_back(url);
    return false;
  });
  window.setManualPath(QStringLiteral(EXOGENA_SOURCE_DIR "/help/DorAzo.html"));
  window.openManual();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_TRUE(asked[0].toLocalFile().endsWith(QStringLiteral("help/DorAzo.html")));
  auto* help = qobject_cast<exo::ui::HelpWindow*>(window.helpWindow());
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  const QString text = help->browser()->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("Orden de los pasos"))) << text.left(200).toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Generar todos los formatos")));
  // The pictures load from the manual's folder.
  const QVariant picture = help->browser()->document()->resource(
      QTextDocument::ImageResource, QUrl(QStringLiteral("generar-todos.png")));
  EXPECT_TRUE(picture.isValid());
  guitest::picture(*help, "manual");
  // Asked again, the same window comes to the front.
  window.openManual();
  EXPECT_EQ(window.helpWindow(), help);
  help->closeButton()->click();

  // A manual that is not there: said, with where it should be.
  window.setManualPath(QStringLiteral("/nonexistent/help/DorAzo.html"));
  QString said;
  QTimer::singleShot(0, [&said] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    said = box->text();
    box->accept();
  });
  window.openManual();
  EXPECT_TRUE(said.startsWith(QStringLiteral("No se encuentra el manual del programa.")))
      << said.toStdString();
  EXPECT_TRUE(said.contains(QStringLiteral("/nonexistent/help/DorAzo.html")));
  EXPECT_EQ(asked.size(), 2u);
}

}  // namespace
