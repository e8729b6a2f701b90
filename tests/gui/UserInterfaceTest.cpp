// The Qt implementation of the user-interface port: questions answer with the button chosen,
// the default button is the one asked for, and the wait and progress boxes open and close.
#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "GuiTestSupport.h"

#include "ui/QtUserInterface.h"
#include "ui/SingleInstance.h"

namespace {

using guitest::app;

// Presses a button of the next modal box (by its caption, or the default one when empty) and
// records what the box showed.
struct Presser {
  explicit Presser(QString c = {}) : caption(std::move(c)) {}
  QString caption;
  QString defaultCaption, text, title;
  void arm() {
    QTimer::singleShot(0, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return arm();
      title = box->windowTitle();
      guitest::picture(*box, "mensaje");
      text = box->text();
      if (box->defaultButton()) defaultCaption = box->defaultButton()->text();
      for (QAbstractButton* b : box->buttons()) {
        if (caption.isEmpty() ? b == box->defaultButton() : b->text() == caption) b->click();
      }
    });
  }
};

TEST(QtUserInterface, QuestionsAnswerWithTheButtonChosen) {
  app();
  exo::ui::QtUserInterface ui;
  Presser press{QStringLiteral("Ca&ncelar")};
  press.arm();
  const int chosen = ui.ask("Atenci\363n.....", "\277Desea continuar?\r\nSegunda l\355nea",
                            {"&Continuar", "Ca&ncelar"}, 0);
  EXPECT_EQ(chosen, 1);
  EXPECT_EQ(press.title.toStdString(), "Atenci\xC3\xB3n.....");
  EXPECT_EQ(press.text.toStdString(),
            "\xC2\xBF"
            "Desea continuar?\nSegunda l\xC3\xAD"
            "nea");
  EXPECT_EQ(press.defaultCaption.toStdString(), "&Continuar");

  Presser byDefault;
  byDefault.arm();
  EXPECT_EQ(ui.ask("Atenci\363n.....", "\277Seguro?", {"   &Si   ", "   &No   "}, 1), 1);
  EXPECT_EQ(byDefault.defaultCaption.toStdString(), "   &No   ");

  Presser ok;
  ok.arm();
  ui.message(exo::shell::MessageKind::Stop, "Error.....", "No hay empresa");
  EXPECT_EQ(ok.title.toStdString(), "Error.....");
}

TEST(QtUserInterface, WaitAndProgressBoxesOpenAndClose) {
  app();
  QWidget parent;
  parent.resize(600, 400);
  parent.show();
  exo::ui::QtUserInterface ui(&parent);
  ui.waitOpen("Espere un momento...", std::nullopt);
  ASSERT_NE(ui.waitBox(), nullptr);
  EXPECT_TRUE(ui.waitBox()->isVisible());
  ui.waitClose();
  EXPECT_EQ(ui.waitBox(), nullptr);

  ui.meterBegin("Importando", 200, true);
  ui.meterAdvance(50);
  auto* bar = ui.progressBox()->findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), 250);
  EXPECT_TRUE(bar->isTextVisible());
  ui.status(0, "Cuenta 1.1.05.05");
  ui.meterEnd();
  EXPECT_TRUE(ui.progressBox()->isVisible());  // a status line is still shown
  ui.status(0, "");
  EXPECT_FALSE(ui.progressBox()->isVisible());
}

}  // namespace

namespace {

TEST(SingleInstance, ALaterCopyBringsTheRunningOneToTheFront) {
  guitest::app();
  const QString name = QStringLiteral("prueba-%1").arg(QCoreApplication::applicationPid());
  exo::ui::SingleInstance first(name);
  ASSERT_TRUE(first.isFirst());
  int activations = 0;
  QObject::connect(&first, &exo::ui::SingleInstance::activationRequested, [&] { ++activations; });
  {
    exo::ui::SingleInstance second(name);
    EXPECT_FALSE(second.isFirst());
    EXPECT_TRUE(second.activateRunning());
  }
  for (int i = 0; i < 200 && activations == 0; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(activations, 1);
  exo::ui::SingleInstance other(name + QStringLiteral("-otro"));
  EXPECT_TRUE(other.isFirst());
}

}  // namespace
