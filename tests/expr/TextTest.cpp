// The one text module: trimming, padding, and the two letter-case rules (data texts in
// Windows-1252, names in ASCII) as the language and the memory variables apply them.
#include <gtest/gtest.h>

#include <string>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "support/MemoryTables.h"

namespace {

using exo::Interp;
using exo::Value;

TEST(Text, TrimAndPadToAWidth) {
  EXPECT_EQ(exo::trimRight("  a b  "), "  a b");
  EXPECT_EQ(exo::trimLeft("  a b  "), "a b  ");
  EXPECT_EQ(exo::trimBlanks("  a b  "), "a b");
  EXPECT_EQ(exo::trimBlanks("\ta\t"), "\ta\t");  // blanks are spaces only
  EXPECT_EQ(exo::trimWhite("\r\n\t a \t\r\n"), "a");
  EXPECT_TRUE(exo::isWhiteText(" \t\r\n"));
  EXPECT_FALSE(exo::isWhiteText(" x "));
  EXPECT_EQ(exo::padRight("ab", 5), "ab   ");
  EXPECT_EQ(exo::padLeft("7", 3, '0'), "007");
  EXPECT_EQ(exo::padCentre("x", 4, '-'), "-x--");
  EXPECT_EQ(exo::padRight("abcdef", 3), "abc");
  EXPECT_EQ(exo::padLeft("abcdef", 3), "abc");
  EXPECT_EQ(exo::padLeft("", 0), "");
}

// Field values padded far beyond the text (a character field of 254) are trimmed eight blanks
// at a time: every length of padding and of text around a multiple of eight.
TEST(Text, TrimRightOfLongPaddingKeepsEveryOtherCharacter) {
  for (std::size_t text = 0; text <= 17; ++text) {
    for (std::size_t pad = 0; pad <= 25; ++pad) {
      std::string value(text, 'x');
      if (text > 2) value[text / 2] = ' ';  // a blank inside stays
      const std::string padded = value + std::string(pad, ' ');
      EXPECT_EQ(exo::trimRight(padded), value) << text << " + " << pad;
      EXPECT_EQ(exo::trimRight(std::string(pad, ' ')), "");
    }
  }
  EXPECT_EQ(exo::trimRight(std::string("a\0       ", 9)), std::string("a\0", 2));
  EXPECT_EQ(exo::trimRight("\t        "), "\t");
}

TEST(Text, DataTextsUpperCaseEveryLetterNamesOnlyAsciiLetters) {
  EXPECT_EQ(exo::upper1252("\xF1"
                           "and\xFA"),
            "\xD1"
            "AND\xDA");  // ñandú -> ÑANDÚ
  EXPECT_EQ(exo::lower1252("\xC1RBOL \x8A"), "\xE1rbol \x9A");
  EXPECT_EQ(exo::upper1252("\xFF\xF7\xDF"), "\x9F\xF7\xDF");  // ÿ -> Ÿ; ÷ and ß unchanged
  EXPECT_EQ(exo::upperName("cAnio_1"), "CANIO_1");
  EXPECT_EQ(exo::upperName("a\xF1o"), "A\xF1O");  // año -> AñO: the ñ stays
  EXPECT_TRUE(exo::isNameChar('_') && exo::isNameChar('9') && exo::isNameChar('z'));
  EXPECT_FALSE(exo::isNameChar('\xD1') || exo::isNameChar('-'));
  Interp ip;
  EXPECT_EQ(exo::displayValue(ip.evalText("Upper(\"\xF1"
                                          "and\xFA\")")),
            "\xD1"
            "AND\xDA");
}

TEST(Text, MemoryVariablesAndFieldsFollowTheNameRule) {
  Interp ip;
  ip.memvars().declarePublic("cAnio", Value::text("2011"));
  ip.memvars().declarePublic("a\xF1o", Value::number(1));  // año
  EXPECT_EQ(exo::displayValue(ip.evalText("CANIO + canio")), "20112011");
  EXPECT_NE(ip.memvars().find("A\xF1O"), nullptr);
  EXPECT_NE(ip.memvars().find("a\xF1o"), nullptr);
  EXPECT_EQ(ip.memvars().find("A\xD1O"), nullptr);  // AÑO is another name

  exo::MemoryTables tables;
  ip.setWorkAreas(&tables);
  const int area = tables.open("movtos", {{"valor", 'N', 5, 0}, {"A\xD1O", 'N', 4, 0}});
  tables.addRecord(area, {Value::number(7), Value::number(2011)});
  EXPECT_EQ(exo::displayValue(ip.evalText("Movtos->VALOR + FieldPos(\"Valor\")")), "         8");
  EXPECT_EQ(exo::displayValue(ip.evalText("FieldPos(\"a\xD1o\")")), "         2");
  EXPECT_EQ(exo::displayValue(ip.evalText("FieldPos(\"a\xF1o\")")), "         0");
}

}  // namespace
