// Scanner of the expression language.
#include "expr/Lexer.h"

#include <cctype>

#include "expr/Memvars.h"
#include "expr/Text.h"

namespace exo {
namespace {
bool isIdentStart(char c) { return isAsciiLetter(c) || c == '_'; }
bool isIdentChar(char c) { return isNameChar(c); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
Token make(Tok k, int pos, std::string text = {}) { return Token{k, pos, std::move(text), 0}; }
}  // namespace

Token Lexer::next(bool operandEnded) {
  while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
    ++i_;
  const int start = static_cast<int>(i_);
  if (i_ >= s_.size()) return make(Tok::End, start);
  const char c = s_[i_];
  if (isDigit(c) || (c == '.' && i_ + 1 < s_.size() && isDigit(s_[i_ + 1]))) return number(start);
  if (isIdentStart(c)) {
    while (i_ < s_.size() && isIdentChar(s_[i_])) ++i_;
    std::string word =
        upperName(s_.substr(static_cast<std::size_t>(start), i_ - static_cast<std::size_t>(start)));
    if (word == "NIL") return make(Tok::Nil, start);
    return make(Tok::Ident, start, std::move(word));
  }
  if (c == '"' || c == '\'') return quoted(start, c);
  if (c == '[' && !operandEnded) return quoted(start, ']');
  if (c == '.') return dotWord(start);
  if (c == '{' && i_ + 1 < s_.size() && s_[i_ + 1] == '^') return dateLiteral(start);
  return symbol(start, operandEnded);
}

Token Lexer::number(int start) {
  int decimals = 0;
  while (i_ < s_.size() && isDigit(s_[i_])) ++i_;
  if (i_ + 1 < s_.size() && s_[i_] == '.' && isDigit(s_[i_ + 1])) {
    ++i_;
    while (i_ < s_.size() && isDigit(s_[i_])) {
      ++i_;
      ++decimals;
    }
  } else if (i_ < s_.size() && s_[i_] == '.' &&
             (i_ + 1 >= s_.size() || !isAsciiLetter(s_[i_ + 1]))) {
    ++i_;  // "12." is twelve
  }
  Token t = make(Tok::Number, start,
                 std::string(s_.substr(static_cast<std::size_t>(start),
                                       i_ - static_cast<std::size_t>(start))));
  t.decimals = decimals;
  return t;
}

Token Lexer::quoted(int start, char close) {
  ++i_;
  const std::size_t from = i_;
  while (i_ < s_.size() && s_[i_] != close) ++i_;
  if (i_ >= s_.size()) return make(Tok::Error, start, "Texto sin cerrar");
  std::string text(s_.substr(from, i_ - from));
  ++i_;
  return make(Tok::String, start, std::move(text));
}

Token Lexer::dotWord(int start) {
  std::size_t j = i_ + 1;
  while (j < s_.size() && isAsciiLetter(s_[j])) ++j;
  if (j < s_.size() && s_[j] == '.' && j > i_ + 1) {
    const std::string word = upperName(s_.substr(i_ + 1, j - i_ - 1));
    Tok kind = Tok::Error;
    if (word == "T" || word == "Y") kind = Tok::True;
    if (word == "F" || word == "N") kind = Tok::False;
    if (word == "AND") kind = Tok::And;
    if (word == "OR") kind = Tok::Or;
    if (word == "NOT") kind = Tok::Not;
    if (kind != Tok::Error) {
      i_ = j + 1;
      return make(kind, start);
    }
  }
  ++i_;
  return make(Tok::Error, start, "'.' inesperado");
}

Token Lexer::dateLiteral(int start) {
  const std::size_t close = s_.find('}', i_);
  if (close == std::string_view::npos) return make(Tok::Error, start, "Fecha sin cerrar");
  std::string text(s_.substr(i_ + 2, close - i_ - 2));
  i_ = close + 1;
  return make(Tok::Date, start, std::move(text));
}

Token Lexer::symbol(int start, bool) {
  auto two = [&](char a, char b) { return s_[i_] == a && i_ + 1 < s_.size() && s_[i_ + 1] == b; };
  struct Pair {
    char a, b;
    Tok kind;
  };
  static const Pair kPairs[] = {
      {':', '=', Tok::Assign},     {'+', '=', Tok::PlusAssign},  {'-', '=', Tok::MinusAssign},
      {'*', '=', Tok::StarAssign}, {'/', '=', Tok::SlashAssign}, {'+', '+', Tok::Inc},
      {'-', '-', Tok::Dec},        {'*', '*', Tok::Power},       {'=', '=', Tok::ExactEq},
      {'!', '=', Tok::Ne},         {'<', '>', Tok::Ne},          {'<', '=', Tok::Le},
      {'>', '=', Tok::Ge},         {'-', '>', Tok::Arrow},
  };
  for (const Pair& p : kPairs) {
    if (two(p.a, p.b)) {
      i_ += 2;
      return make(p.kind, start);
    }
  }
  static const std::string_view kSingles = "(){}[],:|&@^+-*/%=#<>$!";
  static const Tok kSingleKinds[] = {
      Tok::LParen, Tok::RParen, Tok::LBrace, Tok::RBrace, Tok::LBracket, Tok::RBracket,
      Tok::Comma,  Tok::Colon,  Tok::Pipe,   Tok::Amp,    Tok::At,       Tok::Power,
      Tok::Plus,   Tok::Minus,  Tok::Star,   Tok::Slash,  Tok::Percent,  Tok::Eq,
      Tok::Ne,     Tok::Lt,     Tok::Gt,     Tok::Dollar, Tok::Not,
  };
  const std::size_t k = kSingles.find(s_[i_]);
  ++i_;
  if (k == std::string_view::npos)
    return make(Tok::Error, start, std::string("Car\341cter inesperado '") + s_[i_ - 1] + "'");
  return make(kSingleKinds[k], start);
}

}  // namespace exo
