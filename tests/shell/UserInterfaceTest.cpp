#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "shell/ScriptedUserInterface.h"
#include "shell/TerminalUserInterface.h"

namespace {

using exo::shell::MessageKind;

const std::vector<std::string> kButtons = {"   &Si   ", "   &No   "};

TEST(TerminalUserInterface, WritesUtf8AndAnswersWithTheDefault) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  exo::shell::TerminalUserInterface ui(out);
  ui.message(MessageKind::Stop, "Atenci\363n.....",
             "\r\n\r\nL\355nea uno,\r\nl\355nea dos.\r\n\r\n");
  EXPECT_EQ(ui.ask("Atenci\363n.....", "\277Seguro?", kButtons, 1), 1);
  ui.meterBegin("Importando", 4, true);
  for (int i = 1; i <= 4; ++i) ui.meterAdvance(i);
  ui.meterEnd();
  EXPECT_FALSE(ui.openWithShell("SALIDA/x.xml"));

  std::rewind(out);
  std::string text(4096, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), out));
  std::fclose(out);
  EXPECT_EQ(text,
            "alto: [Atención.....] Línea uno,\nlínea dos.\n"
            "[Atención.....] ¿Seguro?\n"
            "  (Si / *No) -> No\n"
            "Importando\n  20%\n  50%\n  70%\n  100%\n"
            "abrir: SALIDA/x.xml\n");
}

std::string contents(std::FILE* f) {
  std::rewind(f);
  std::string text(4096, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), f));
  std::fclose(f);
  return text;
}

TEST(TerminalUserInterface, AnswersYesOrNoByCaptionOrRefusesToAnswer) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  exo::shell::TerminalUserInterface ui(out);
  const std::vector<std::string> proceed = {"&Continuar", "Ca&ncelar"};
  const std::vector<std::string> other = {"&Uno", "&Dos", "&Tres"};
  ui.setAnswer(exo::shell::TerminalAnswer::Yes);
  EXPECT_EQ(ui.ask("t", "x", kButtons, 1), 0);  // "Si" whatever the default
  EXPECT_EQ(ui.ask("t", "x", {"   &No   ", "   &S\355   "}, 0), 1);
  EXPECT_EQ(ui.ask("t", "x", proceed, 1), 0);
  EXPECT_EQ(ui.ask("t", "x", other, 2), 0);  // no affirmative caption: the first button
  ui.setAnswer(exo::shell::TerminalAnswer::No);
  EXPECT_EQ(ui.ask("t", "x", kButtons, 0), 1);
  EXPECT_EQ(ui.ask("t", "x", proceed, 0), 1);
  EXPECT_EQ(ui.ask("t", "x", other, 0), 2);  // no negative caption: the last button
  ui.setAnswer(exo::shell::TerminalAnswer::Refuse);
  try {
    ui.ask("Atenci\363n.....", "\277Reemplaza\r\nel archivo?", kButtons, 0);
    ADD_FAILURE() << "a question without an answer must end the run";
  } catch (const exo::shell::UnansweredQuestion& q) {
    EXPECT_EQ(std::string(q.what()), "\xC2\xBFReemplaza el archivo? (*Si / No)");
  }
  const std::string text = contents(out);
  EXPECT_NE(text.find("  (Si / *No) -> Si\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  (Continuar / *Cancelar) -> Continuar\n"), std::string::npos) << text;
}

TEST(TerminalUserInterface, StatusLinesGoToTheirStreamWhenTheyChange) {
  std::FILE* messages = std::tmpfile();
  std::FILE* status = std::tmpfile();
  ASSERT_TRUE(messages != nullptr && status != nullptr);
  {
    exo::shell::TerminalUserInterface ui(messages);
    ui.setStatusStream(status);
    ui.setMeterStyle(false, true);
    ui.status(0, "Procesando.....");
    ui.meterBegin("", 100, true);
    for (int i = 1; i <= 100; ++i) ui.meterAdvance(i);
    ui.meterEnd();
    ui.status(0, "Procesando.....");  // unchanged: not printed again
    ui.status(1, "Organizando archivos.   ");
    ui.status(0, "");
    ui.status(0, "Procesando.....");  // cleared in between: printed again
    ui.message(MessageKind::Stop, "Atenci\363n.....",
               "Debe Importar Movimientos Contables primero");
  }
  EXPECT_EQ(contents(status), "Procesando.....\nOrganizando archivos.\nProcesando.....\n");
  EXPECT_EQ(contents(messages),
            "alto: [Atenci\xC3\xB3n.....] Debe Importar Movimientos Contables primero\n");
}

TEST(ScriptedUserInterface, AnswersFromItsQueueThenWithTheDefault) {
  exo::shell::ScriptedUserInterface ui;
  ui.answer("   &No   ");
  ui.answer("&Otro");
  ui.answerIndex(0);
  EXPECT_EQ(ui.ask("t", "x", kButtons, 0), 1);
  EXPECT_EQ(ui.ask("t", "x", kButtons, 0), -1);  // no such button: closed without a choice
  EXPECT_EQ(ui.ask("t", "x", kButtons, 1), 0);
  EXPECT_EQ(ui.ask("t", "x", kButtons, 1), 1);
  EXPECT_EQ(ui.pendingAnswers(), 0u);
  ASSERT_EQ(ui.callsOf("ask").size(), 4u);
  EXPECT_EQ(ui.callsOf("ask")[1].number, -1);
}

}  // namespace
