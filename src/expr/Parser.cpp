// Parser of the expression language (recursive descent; one function per precedence level).
#include "expr/Parser.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "expr/Dates.h"
#include "expr/Interp.h"
#include "expr/Lexer.h"

namespace exo {
namespace {

constexpr int kMaxNesting = 120;

struct SyntaxError {
  int pos;
  std::string what;
};

// Parameters of a block being parsed and the names it captures from enclosing blocks.
struct BlockScope {
  std::vector<std::string> params;
  std::vector<Capture> captures;
  std::vector<std::string> captureNames;
};

class Parser {
 public:
  Parser(Interp& ip, std::string_view text) : ip_(ip), text_(text), lex_(text) { advance(); }

  NodePtr parseAll() {
    NodePtr e = list();
    if (tok_.kind != Tok::End) fail("No se esperaba " + describe(tok_));
    return e;
  }

 private:
  // --- tokens ----------------------------------------------------------------------------------
  void advance() {
    const bool ended = endsOperand(tok_.kind);
    tok_ = lex_.next(ended);
    if (tok_.kind == Tok::Error) fail(tok_.text);
  }
  static bool endsOperand(Tok k) {
    return k == Tok::Ident || k == Tok::RParen || k == Tok::RBracket || k == Tok::RBrace ||
           k == Tok::Number || k == Tok::String || k == Tok::True || k == Tok::False ||
           k == Tok::Nil || k == Tok::Inc || k == Tok::Dec || k == Tok::Date;
  }
  bool accept(Tok k) {
    if (tok_.kind != k) return false;
    advance();
    return true;
  }
  void expect(Tok k, const char* what) {
    if (!accept(k))
      fail(std::string("Se esperaba ") + what + " y se encontr\363 " + describe(tok_));
  }
  [[noreturn]] void fail(const std::string& what) { throw SyntaxError{tok_.pos, what}; }
  std::string describe(const Token& t) const {
    if (t.kind == Tok::End) return "el fin del texto";
    const std::size_t p = static_cast<std::size_t>(t.pos);
    return "'" + std::string(text_.substr(p, std::min<std::size_t>(12, text_.size() - p))) + "'";
  }

  struct Nest {
    explicit Nest(Parser& p) : p_(p) {
      if (++p_.nesting_ > kMaxNesting) p_.fail("Expresi\363n anidada demasiado profundamente");
    }
    ~Nest() { --p_.nesting_; }
    Parser& p_;
  };

  // list := expr { "," expr }
  NodePtr list() {
    const int pos = tok_.pos;
    std::vector<NodePtr> items;
    items.push_back(expr());
    while (accept(Tok::Comma)) items.push_back(expr());
    if (items.size() == 1) return std::move(items.front());
    return std::make_unique<ListNode>(pos, std::move(items));
  }

  // expr := orExpr [ assignOp expr ]
  NodePtr expr() {
    Nest nest(*this);
    NodePtr left = orExpr();
    Op op = Op::None;
    const int pos = tok_.pos;
    switch (tok_.kind) {
      case Tok::Assign: op = Op::None; break;
      case Tok::PlusAssign: op = Op::Add; break;
      case Tok::MinusAssign: op = Op::Sub; break;
      case Tok::StarAssign: op = Op::Mul; break;
      case Tok::SlashAssign: op = Op::Div; break;
      default: return left;
    }
    if (!left->isLValue()) fail("Destino de asignaci\363n inv\341lido");
    advance();
    return std::make_unique<AssignNode>(pos, op, std::move(left), expr());
  }

  // orExpr := andExpr { ".OR." andExpr }
  NodePtr orExpr() {
    NodePtr left = andExpr();
    while (tok_.kind == Tok::Or) {
      const int pos = tok_.pos;
      advance();
      left = std::make_unique<LogicalNode>(pos, false, std::move(left), andExpr());
    }
    return left;
  }

  // andExpr := notExpr { ".AND." notExpr }
  NodePtr andExpr() {
    NodePtr left = notExpr();
    while (tok_.kind == Tok::And) {
      const int pos = tok_.pos;
      advance();
      left = std::make_unique<LogicalNode>(pos, true, std::move(left), notExpr());
    }
    return left;
  }

  // notExpr := ( "!" | ".NOT." ) notExpr | relation
  NodePtr notExpr() {
    Nest nest(*this);
    if (tok_.kind == Tok::Not) {
      const int pos = tok_.pos;
      advance();
      return std::make_unique<UnaryNode>(pos, Op::Not, notExpr());
    }
    return relation();
  }

  // relation := additive { relop additive }
  NodePtr relation() {
    NodePtr left = additive();
    for (;;) {
      Op op;
      switch (tok_.kind) {
        case Tok::Eq: op = Op::Eq; break;
        case Tok::ExactEq: op = Op::ExactEq; break;
        case Tok::Ne: op = Op::Ne; break;
        case Tok::Lt: op = Op::Lt; break;
        case Tok::Le: op = Op::Le; break;
        case Tok::Gt: op = Op::Gt; break;
        case Tok::Ge: op = Op::Ge; break;
        case Tok::Dollar: op = Op::Contains; break;
        default: return left;
      }
      const int pos = tok_.pos;
      advance();
      left = std::make_unique<BinaryNode>(pos, op, std::move(left), additive());
    }
  }

  // additive := multiplicative { ( "+" | "-" ) multiplicative }
  NodePtr additive() {
    NodePtr left = multiplicative();
    while (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
      const Op op = tok_.kind == Tok::Plus ? Op::Add : Op::Sub;
      const int pos = tok_.pos;
      advance();
      left = std::make_unique<BinaryNode>(pos, op, std::move(left), multiplicative());
    }
    return left;
  }

  // multiplicative := power { ( "*" | "/" | "%" ) power }
  NodePtr multiplicative() {
    NodePtr left = power();
    for (;;) {
      Op op;
      if (tok_.kind == Tok::Star) op = Op::Mul;
      else if (tok_.kind == Tok::Slash) op = Op::Div;
      else if (tok_.kind == Tok::Percent) op = Op::Mod;
      else return left;
      const int pos = tok_.pos;
      advance();
      left = std::make_unique<BinaryNode>(pos, op, std::move(left), power());
    }
  }

  // power := unary { ( "**" | "^" ) unary }
  NodePtr power() {
    NodePtr left = unary();
    while (tok_.kind == Tok::Power) {
      const int pos = tok_.pos;
      advance();
      left = std::make_unique<BinaryNode>(pos, Op::Pow, std::move(left), unary());
    }
    return left;
  }

  // unary := ( "-" | "+" ) unary | ( "++" | "--" ) unary | postfix
  NodePtr unary() {
    Nest nest(*this);
    const int pos = tok_.pos;
    if (accept(Tok::Minus)) return std::make_unique<UnaryNode>(pos, Op::Neg, unary());
    if (accept(Tok::Plus)) return std::make_unique<UnaryNode>(pos, Op::Plus, unary());
    if (tok_.kind == Tok::Inc || tok_.kind == Tok::Dec) {
      const bool inc = tok_.kind == Tok::Inc;
      advance();
      NodePtr target = unary();
      if (!target->isLValue()) fail("Destino de incremento inv\341lido");
      return std::make_unique<IncDecNode>(pos, std::move(target), inc, true);
    }
    return postfix(primary());
  }

  // postfix := primary { "[" list "]" | ":" name [ "(" args ")" ] | "->" field | "++" | "--" }
  NodePtr postfix(NodePtr e) {
    for (;;) {
      const int pos = tok_.pos;
      if (accept(Tok::LBracket)) {
        do {
          e = std::make_unique<IndexNode>(pos, std::move(e), expr());
        } while (accept(Tok::Comma));
        expect(Tok::RBracket, "']'");
      } else if (accept(Tok::Colon)) {
        if (tok_.kind != Tok::Ident) fail("Se esperaba un nombre de mensaje despu\351s de ':'");
        std::string name = tok_.text;
        advance();
        const bool isCall = tok_.kind == Tok::LParen;
        std::vector<NodePtr> args;
        if (isCall) args = arguments();
        e = std::make_unique<SendNode>(pos, std::move(e), std::move(name), std::move(args), isCall);
      } else if (tok_.kind == Tok::Arrow) {
        advance();
        e = aliased(pos, "", std::move(e));
      } else if (tok_.kind == Tok::Inc || tok_.kind == Tok::Dec) {
        if (!e->isLValue()) return e;
        const bool inc = tok_.kind == Tok::Inc;
        advance();
        e = std::make_unique<IncDecNode>(pos, std::move(e), inc, false);
      } else {
        return e;
      }
    }
  }

  // args := "(" [ expr ] { "," [ expr ] } ")"   (empty positions are omitted arguments)
  std::vector<NodePtr> arguments() {
    expect(Tok::LParen, "'('");
    std::vector<NodePtr> args;
    if (accept(Tok::RParen)) return args;
    for (;;) {
      if (tok_.kind == Tok::Comma || tok_.kind == Tok::RParen) args.push_back(nullptr);
      else args.push_back(expr());
      if (args.size() > 250) fail("Demasiados argumentos");
      if (accept(Tok::RParen)) return args;
      expect(Tok::Comma, "',' o ')'");
    }
  }

  // After "->": FIELD name or "(" list ")".
  NodePtr aliased(int pos, std::string alias, NodePtr aliasExpr) {
    if (accept(Tok::LParen)) {
      NodePtr inner = list();
      expect(Tok::RParen, "')'");
      return std::make_unique<AliasExprNode>(pos, std::move(alias), std::move(aliasExpr),
                                             std::move(inner));
    }
    if (tok_.kind == Tok::Amp) {
      fail("No se admiten nombres de campo por macro");
    }
    if (tok_.kind != Tok::Ident) fail("Se esperaba un nombre de campo despu\351s de '->'");
    std::string field = tok_.text;
    advance();
    if (alias == "M" || alias == "MEMVAR")
      return std::make_unique<MemvarNode>(pos, std::move(field));
    if (alias == "FIELD" || alias == "_FIELD") alias.clear();
    return std::make_unique<FieldNode>(pos, std::move(alias), std::move(aliasExpr),
                                       std::move(field));
  }

  NodePtr primary();
  NodePtr identifier();
  NodePtr braces();
  NodePtr block(int pos);
  NodePtr numberLiteral();
  NodePtr dateLiteral();
  NodePtr resolveName(int pos, const std::string& name);

  Interp& ip_;
  std::string_view text_;
  Lexer lex_;
  Token tok_;
  int nesting_ = 0;
  std::vector<BlockScope> scopes_;
};

// primary := literal | identifier | "(" list ")" | braces | "&" ( name | "(" expr ")" )
NodePtr Parser::primary() {
  Nest nest(*this);
  const int pos = tok_.pos;
  switch (tok_.kind) {
    case Tok::Number: return numberLiteral();
    case Tok::String: {
      std::string s = tok_.text;
      advance();
      return std::make_unique<LiteralNode>(pos, Value::text(s));
    }
    case Tok::Date: return dateLiteral();
    case Tok::True: advance(); return std::make_unique<LiteralNode>(pos, Value::logical(true));
    case Tok::False: advance(); return std::make_unique<LiteralNode>(pos, Value::logical(false));
    case Tok::Nil: advance(); return std::make_unique<LiteralNode>(pos, Value());
    case Tok::Ident: return identifier();
    case Tok::LParen: {
      advance();
      NodePtr e = list();
      expect(Tok::RParen, "')'");
      return e;
    }
    case Tok::LBrace: return braces();
    case Tok::Amp: {
      advance();
      if (tok_.kind == Tok::Ident) {
        NodePtr name = resolveName(tok_.pos, tok_.text);
        advance();
        return std::make_unique<MacroNode>(pos, std::move(name));
      }
      expect(Tok::LParen, "un nombre o '(' despu\351s de '&'");
      NodePtr e = expr();
      expect(Tok::RParen, "')'");
      return std::make_unique<MacroNode>(pos, std::move(e));
    }
    default: fail("No se esperaba " + describe(tok_));
  }
}

// identifier := name "(" args ")" | name "->" ... | name
NodePtr Parser::identifier() {
  const int pos = tok_.pos;
  std::string name = tok_.text;
  advance();
  if (tok_.kind == Tok::LParen) {
    std::vector<NodePtr> args = arguments();
    if (name == "IIF" || name == "IF") {
      if (args.size() < 2 || args.size() > 3 || !args[0])
        fail("IIF() necesita una condici\363n y dos valores");
      args.resize(3);
      return std::make_unique<IifNode>(pos, std::move(args[0]), std::move(args[1]),
                                       std::move(args[2]));
    }
    const FunctionDef* def = ip_.functions().find(name);
    return std::make_unique<CallNode>(pos, std::move(name), def, std::move(args));
  }
  if (tok_.kind == Tok::Arrow) {
    advance();
    return aliased(pos, name, nullptr);
  }
  return resolveName(pos, name);
}

// A bare name: a parameter of this block or of an enclosing one (captured), else a field or
// memory variable resolved at run time.
NodePtr Parser::resolveName(int pos, const std::string& name) {
  // Finds the name in scope `level`, adding captures down to it; returns {found, captured, index}.
  struct Found {
    bool found;
    bool captured;
    int index;
  };
  std::function<Found(int)> find = [&](int level) -> Found {
    if (level < 0) return {false, false, 0};
    BlockScope& s = scopes_[static_cast<std::size_t>(level)];
    for (std::size_t i = 0; i < s.params.size(); ++i) {
      if (s.params[i] == name) return {true, false, static_cast<int>(i)};
    }
    for (std::size_t i = 0; i < s.captureNames.size(); ++i) {
      if (s.captureNames[i] == name) return {true, true, static_cast<int>(i)};
    }
    const Found outer = find(level - 1);
    if (!outer.found) return outer;
    s.captures.push_back(Capture{!outer.captured, outer.index});
    s.captureNames.push_back(name);
    return {true, true, static_cast<int>(s.captures.size()) - 1};
  };
  const Found f = find(static_cast<int>(scopes_.size()) - 1);
  if (f.found) return std::make_unique<LocalNode>(pos, f.index, f.captured);
  return std::make_unique<NameNode>(pos, name);
}

// braces := "{" "|" params "|" list "}" | "{" [ expr { "," expr } ] "}"
NodePtr Parser::braces() {
  const int pos = tok_.pos;
  advance();
  if (tok_.kind == Tok::Pipe) return block(pos);
  std::vector<NodePtr> items;
  if (!accept(Tok::RBrace)) {
    for (;;) {
      if (tok_.kind == Tok::Comma || tok_.kind == Tok::RBrace) items.push_back(nullptr);
      else items.push_back(expr());
      if (accept(Tok::RBrace)) break;
      expect(Tok::Comma, "',' o '}'");
    }
  }
  return std::make_unique<ArrayNode>(pos, std::move(items));
}

NodePtr Parser::block(int pos) {
  advance();  // the opening '|'
  BlockScope scope;
  if (!accept(Tok::Pipe)) {
    for (;;) {
      if (tok_.kind != Tok::Ident) fail("Se esperaba un nombre de par\341metro");
      scope.params.push_back(tok_.text);
      advance();
      if (accept(Tok::Pipe)) break;
      expect(Tok::Comma, "',' o '|'");
    }
  }
  scopes_.push_back(std::move(scope));
  auto code = std::make_shared<BlockCode>();
  code->body.push_back(expr());
  while (accept(Tok::Comma)) code->body.push_back(expr());
  const int end = tok_.pos;
  expect(Tok::RBrace, "'}'");
  BlockScope done = std::move(scopes_.back());
  scopes_.pop_back();
  code->params = std::move(done.params);
  code->captures = std::move(done.captures);
  code->source = std::string(
      text_.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(end - pos + 1)));
  return std::make_unique<BlockNode>(pos, std::move(code));
}

NodePtr Parser::numberLiteral() {
  const int pos = tok_.pos;
  const double n = std::strtod(tok_.text.c_str(), nullptr);
  const int dec = tok_.decimals;
  advance();
  return std::make_unique<LiteralNode>(pos, Value::number(n, dec));
}

// {^yyyy-mm-dd} or {^yyyy/mm/dd}
NodePtr Parser::dateLiteral() {
  const int pos = tok_.pos;
  int y = 0, m = 0, d = 0;
  char s1 = 0, s2 = 0;
  std::int32_t jd = 0;
  const std::string text = tok_.text;
  if (text.find_first_not_of(' ') != std::string::npos) {
    if (std::sscanf(text.c_str(), "%d%c%d%c%d", &y, &s1, &m, &s2, &d) != 5 ||
        (jd = julianFromYmd(y, m, d)) == 0) {
      fail("Fecha literal inv\341lida");
    }
  }
  advance();
  return std::make_unique<LiteralNode>(pos, Value::date(jd));
}

}  // namespace

ParseResult parseExpression(Interp& ip, std::string_view text) {
  ParseResult r;
  try {
    Parser p(ip, text);
    r.root = p.parseAll();
  } catch (const SyntaxError& e) {
    r.failure.genCode = GenCode::Syntax;
    r.failure.subsystem = "BASE";
    r.failure.subCode = 1449;
    r.failure.description =
        "Error de sintaxis: " + e.what + " (columna " + std::to_string(e.pos + 1) + ")";
    r.failure.operation = std::string(text.substr(0, 80));
  }
  return r;
}

}  // namespace exo
