#include <QApplication>
#include <gtest/gtest.h>

#include "ui/MainWindow.h"

TEST(MainWindow, CarriesTheProgramTitle) {
  int argc = 1;
  char name[] = "tests_gui";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  exo::ui::MainWindow window;
  EXPECT_EQ(window.windowTitle().toStdString(),
            "Norvasta - Informaci\xC3\xB3n Ex\xC3\xB3gena en Medios Magn\xC3\xA9ticos - 2011");
}
