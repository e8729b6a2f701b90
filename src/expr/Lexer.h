// Scanner of the expression language: turns a text into tokens.
#pragma once

#include <string>
#include <string_view>

namespace exo {

enum class Tok {
  End,
  Error,
  Number,
  String,
  Ident,
  Date,
  True,
  False,
  Nil,
  LParen,
  RParen,
  LBrace,
  RBrace,
  LBracket,
  RBracket,
  Comma,
  Colon,
  Pipe,
  Arrow,
  Amp,
  At,
  Caret,
  Plus,
  Minus,
  Star,
  Slash,
  Percent,
  Power,
  Eq,
  ExactEq,
  Ne,
  Lt,
  Le,
  Gt,
  Ge,
  Dollar,
  Assign,
  PlusAssign,
  MinusAssign,
  StarAssign,
  SlashAssign,
  Inc,
  Dec,
  And,
  Or,
  Not,
};

struct Token {
  Tok kind = Tok::End;
  int pos = 0;       // byte offset in the text
  std::string text;  // identifier (upper case), string contents, number text, error text
  int decimals = 0;  // digits after the point of a number
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : s_(text) {}
  // The next token. `operandEnded` tells whether the previous token ended an operand, which
  // decides whether '[' opens a subscript or a text in square brackets.
  Token next(bool operandEnded);

 private:
  Token number(int start);
  Token quoted(int start, char close);
  Token dotWord(int start);
  Token dateLiteral(int start);
  Token symbol(int start, bool operandEnded);
  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace exo
