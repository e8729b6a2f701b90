// The company choice on screen, over a demo installation: the dialog offers the last company and
// both products, switching product reloads the list, and the page does not open while the
// current company is missing from the chosen product's list.
#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>

#include "GuiTestSupport.h"
#include "app/Pages.h"
#include "demo/Demo.h"
#include "expr/Codepage.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "shell/pages/CompanyPages.h"
#include "store/Dbf.h"
#include "store/Engine.h"
#include "ui/BrowseGrid.h"
#include "ui/MainWindow.h"
#include "ui/SideBar.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;

using guitest::picture;

class CompanyScreens : public ::testing::Test {
 protected:
  void SetUp() override {
    guitest::app();
    root = fs::temp_directory_path() / ("exo-gui-company-" + std::to_string(::getpid()));
    fs::remove_all(root);
    demo::DemoOptions o;
    o.folder = root.string();
    o.lines = 400;
    o.companies = 2;
    o.bothProducts = true;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    const auto demo = demo::installDemo(o);
    folders.program = demo.programFolder;
    folders.drive = demo.driveFolder;
    ASSERT_TRUE(shell::VARIABLPUBLIC(ip, ui, folders));
  }
  void TearDown() override {
    engine.closeAll(ip);
    fs::remove_all(root);
  }

  fs::path root;
  shell::Folders folders;
  Interp ip;
  store::Engine engine{ip};
  shell::ScriptedUserInterface ui;
};

TEST_F(CompanyScreens, DialogOffersTheLastCompanyAndBothProducts) {
  shell::Session session(ip, ui, folders);
  shell::CompanyDialog dialog(session, engine);
  dialog.resize(480, 360);
  dialog.show();
  picture(dialog, "empresa-dialogo");
  auto* chooser = dialog.chooser();
  EXPECT_EQ(chooser->label()->text().toStdString(), "Seleccione programa");
  EXPECT_FALSE(chooser->productButton(1)->isHidden());
  EXPECT_TRUE(chooser->productButton(1)->isChecked());
  ASSERT_NE(chooser->chosenEntry(), nullptr);
  EXPECT_EQ(chooser->chosenEntry()->camino.substr(0, 9), "ANDINA10\\");
  const auto orbisal = chooser->entries().size();
  chooser->productButton(2)->setChecked(true);  // the other product's list
  EXPECT_EQ(session.pathOrigen(), "\\NRVCONTB\\");
  EXPECT_NE(chooser->entries().size(), orbisal);
  emit chooser->chosen();
  ASSERT_NE(dialog.result(), nullptr);
  EXPECT_EQ(dialog.result()->camino.substr(0, 8), "COSTA10\\");
}

TEST_F(CompanyScreens, PageStaysClosedWhileTheCompanyIsNotInTheProductsList) {
  shell::Session session(ip, ui, folders);
  ui::MainWindow window;
  app::registerPages(window, session, engine);
  window.show();
  window.sideBar()->select(1, 7);
  auto* page = static_cast<shell::CompanyPage*>(window.page(1, 7));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(window.currentPage(), page);
  picture(window, "empresa-pagina");
  // The other product chosen, no company: the page is not opened again.
  page->chooser()->productButton(2)->setChecked(true);
  window.sideBar()->select(1, 1);
  window.sideBar()->select(1, 7);
  EXPECT_NE(window.currentPage(), page);
  // Choosing a company of that product makes it the current one; the page opens again.
  page->chooser()->productButton(2)->setChecked(true);
  page->findChild<QPushButton*>()->click();
  EXPECT_EQ(session.celPath().substr(0, 9), "NRVCONTB\\");
  EXPECT_FALSE(window.infoBar()->text().isEmpty());
  window.sideBar()->select(1, 7);
  EXPECT_EQ(window.currentPage(), page);
}

TEST_F(CompanyScreens, CancellingAtStartUpEndsTheProgramWithItsMessage) {
  shell::Session session(ip, ui, folders);
  QTimer::singleShot(0, [] {
    if (auto* d = qobject_cast<shell::CompanyDialog*>(QApplication::activeModalWidget()))
      d->reject();
  });
  EXPECT_FALSE(shell::SELECEMPRESA(session, engine, nullptr, true, {}));
  const auto messages = ui.callsOf("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "Debe seleccionar una empresa para continuar.\r\n\r\nVuelva a ingresar y seleccione "
            "una empresa.");
  EXPECT_EQ(messages[0].title, "Atenci\363n.....");

  // Outside start-up, leaving the dialog changes nothing.
  QTimer::singleShot(0, [] {
    if (auto* d = qobject_cast<shell::CompanyDialog*>(QApplication::activeModalWidget()))
      d->reject();
  });
  EXPECT_TRUE(shell::SELECEMPRESA(session, engine, nullptr, false, {}));
  EXPECT_EQ(ui.callsOf("message").size(), 1u);
}

}  // namespace

// The control file keeps names in the OEM character set: the list, the chosen company, the
// session's name and the information bar show them with their accents and Ñ.
TEST_F(CompanyScreens, NamesFromTheControlFileShowTheirAccents) {
  {
    // The second company of the first product renamed in the control file, in code page 850.
    store::Dbf ctl = store::Dbf::open((fs::path(folders.drive) / "NRVVS" / "vrCtl.org").string());
    std::vector<char> rec(ctl.recordLength());
    ctl.read(2, rec.data());
    ctl.setText(rec.data(), *ctl.fieldIndex("EMPRESA"),
                ansiToOem(fromUtf8("COMPAÑÍA ANDINA DE CONSTRUCCIÓN S.A.")));
    ctl.write(2, rec.data());
  }
  shell::Session session(ip, ui, folders);
  shell::CompanyDialog dialog(session, engine);
  auto* chooser = dialog.chooser();
  chooser->productButton(1)->setChecked(true);
  const auto& entries = chooser->entries();
  ASSERT_GE(entries.size(), 2u);
  const auto* model = chooser->list()->model();
  EXPECT_EQ(model->data(model->index(1, 0), Qt::DisplayRole).toString().trimmed(),
            QString::fromUtf8("COMPAÑÍA ANDINA DE CONSTRUCCIÓN S.A."));
  // Beside the name, the year of the company from the control file.
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("AÑO"));
  EXPECT_EQ(model->data(model->index(1, 1), Qt::DisplayRole).toString().toStdString(), "2009");
  std::string bar;
  ASSERT_TRUE(shell::chooseCompany(session, engine, entries[1],
                                   [&bar](const std::string& text) { bar = text; }));
  EXPECT_EQ(toUtf8(trimRight(session.empresa())), "COMPAÑÍA ANDINA DE CONSTRUCCIÓN S.A. - 2009");
  EXPECT_EQ(toUtf8(trimRight(bar)), "COMPAÑÍA ANDINA DE CONSTRUCCIÓN S.A. - 2009");
}
