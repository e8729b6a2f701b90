// The language checked against the table of tests/expr/language_cases.txt: one test per topic of
// the file, each failing case reported with its line number in the file.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "expr/Interp.h"

namespace {

struct Case {
  int line = 0;
  std::string expr;
  bool failure = false;  // the expression must fail with `expected` as "SUBSYSTEM/subcode"
  std::string expected;  // display form, or the failure's code
};

const char* kFile = EXOGENA_SOURCE_DIR "/tests/expr/language_cases.txt";

// \xHH stands for one byte (the file itself is ASCII); \\ for a backslash.
std::string unescape(std::string_view s, int line) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
    } else if (s[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (s[i + 1] == 'x' && i + 3 < s.size()) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      ADD_FAILURE() << kFile << ":" << line << ": unknown escape";
      out += s[i];
    }
  }
  return out;
}

// Topic name -> its cases, in file order.
const std::vector<std::pair<std::string, std::vector<Case>>>& topics() {
  static const auto all = [] {
    std::vector<std::pair<std::string, std::vector<Case>>> out;
    std::ifstream in(kFile);
    EXPECT_TRUE(in) << "cannot read " << kFile;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
      if (text.empty() || text[0] == '#') continue;
      if (text.rfind("== ", 0) == 0) {
        out.push_back({text.substr(3), {}});
        continue;
      }
      const std::size_t arrow = text.find(" => ");
      if (arrow == std::string::npos || out.empty()) {
        ADD_FAILURE() << kFile << ":" << line << ": not a case: " << text;
        continue;
      }
      Case c;
      c.line = line;
      c.expr = unescape(text.substr(0, arrow), line);
      std::string rest = text.substr(arrow + 4);
      if (rest.rfind("error ", 0) == 0) {
        c.failure = true;
        c.expected = rest.substr(6);
      } else if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']') {
        c.expected = unescape(rest.substr(1, rest.size() - 2), line);
      } else {
        ADD_FAILURE() << kFile << ":" << line << ": the result must be [..] or error CODE";
        continue;
      }
      out.back().second.push_back(std::move(c));
    }
    return out;
  }();
  return all;
}

void runTopic(const std::string& name) {
  for (const auto& [topic, cases] : topics()) {
    if (topic != name) continue;
    exo::Interp ip;
    for (const Case& c : cases) {
      std::string got;
      try {
        got = exo::displayValue(ip.evalText(c.expr));
        if (c.failure) got = "[" + got + "] without failure";
      } catch (const exo::FailureError& e) {
        got = e.failure().subsystem + "/" + std::to_string(e.failure().subCode);
        if (!c.failure) got = "error " + got + " (" + e.failure().description + ")";
      }
      if (got != c.expected) {
        ADD_FAILURE_AT(kFile, c.line)
            << c.expr << "\n  expected: [" << c.expected << "]\n  got:      [" << got << "]";
      }
    }
    EXPECT_FALSE(cases.empty()) << name;
    return;
  }
  ADD_FAILURE() << "no topic \"" << name << "\" in " << kFile;
}

const std::vector<std::string> kTopics = {
    "Text comparison",
    "Str widths and decimals",
    "Numeric widths of functions",
    "Round and arithmetic",
    "Transform",
    "Text functions",
    "Dates",
    "Empty values",
    "Type errors",
};

TEST(LanguageCases, EveryTopicOfTheFileHasItsTest) {
  std::set<std::string> known(kTopics.begin(), kTopics.end());
  std::size_t count = 0;
  for (const auto& [topic, cases] : topics()) {
    EXPECT_TRUE(known.count(topic)) << "topic without a test: " << topic;
    count += cases.size();
  }
  EXPECT_GE(count, 150u);
}

TEST(LanguageCases, TextComparison) { runTopic("Text comparison"); }
TEST(LanguageCases, StrWidthsAndDecimals) { runTopic("Str widths and decimals"); }
TEST(LanguageCases, NumericWidthsOfFunctions) { runTopic("Numeric widths of functions"); }
TEST(LanguageCases, RoundAndArithmetic) { runTopic("Round and arithmetic"); }
TEST(LanguageCases, Transform) { runTopic("Transform"); }
TEST(LanguageCases, TextFunctions) { runTopic("Text functions"); }
TEST(LanguageCases, Dates) { runTopic("Dates"); }
TEST(LanguageCases, EmptyValues) { runTopic("Empty values"); }
TEST(LanguageCases, TypeErrors) { runTopic("Type errors"); }

}  // namespace
