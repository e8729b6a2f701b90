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
