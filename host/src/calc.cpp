// Calculations in the host's expression language: a parser that turns the text into a tree
// kept with the value (FldData::calc), and an evaluator that works the tree out against the
// calling context (variables, list cells and $cinst, resolved through ECOfindVariable).
//
// Grammar, loosest binding first (all binary operators associate to the left):
//   expr    := unary { binop unary }, binop one of (loosest first)
//              "|"; "&"; "=" "<>" "<" ">" "<=" ">="; "+" "-"; "*" "/"
//   unary   := { "-" } primary
//   primary := number | text | name | function "(" [ expr { "," expr } ] ")" | "(" expr ")"
//            | "$cinst.$cols.$makelist($ref.$name)"
#include <atomic>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "extcomp.h"
#include "internal.h"

namespace {

// Error codes of setCalculation (documented in extfldval.h).
enum : qlong {
  kCalcSyntax = 1,           // a token that cannot stand where it stands
  kCalcBadCharacter = 2,     // a character that starts no token
  kCalcUnterminated = 3,     // a text literal without its closing quote
  kCalcMissingParen = 4,     // an opening parenthesis without its closing one
  kCalcUnknownName = 5,      // no variable, list cell or $cinst column of that name
  kCalcUnknownFunction = 6,  // a function that the language does not have
  kCalcArgumentCount = 7,    // a function called with the wrong number of arguments
  kCalcNotation = 8,         // $ notation other than $cinst, $cinst.column and the name list
  kCalcEmpty = 9,            // nothing to calculate
  kCalcTooComplex = 10,      // nested or chained beyond the evaluator's limit
  kCalcNoMemory = 11,        // memory for the parsed calculation could not be had
};

// The parser descends once per parenthesis or function call inside another, so kMaxNesting,
// which counts those and unary minus signs, bounds its stack (the deepest calculation allowed
// fits a 256 KiB stack, also in the sanitizer build). The evaluator works without recursion;
// kMaxDepth bounds the height of the tree, which operator chains grow without nesting.
const int kMaxNesting = 200;  // parentheses, function calls and unary minus signs inside each other
const int kMaxDepth = 1000;   // operators on one path of the expression tree

enum class Fn { Con, Len, Upp, Low, Mid, Pos, Abs, Int, Min, Max, Not };

struct FnInfo {
  const char* name;
  Fn fn;
  int minArgs, maxArgs;  // maxArgs -1: no limit
};

const FnInfo kFunctions[] = {
    {"con", Fn::Con, 1, -1}, {"len", Fn::Len, 1, 1}, {"upp", Fn::Upp, 1, 1},
    {"low", Fn::Low, 1, 1},  {"mid", Fn::Mid, 2, 3}, {"pos", Fn::Pos, 2, 2},
    {"abs", Fn::Abs, 1, 1},  {"int", Fn::Int, 1, 1}, {"min", Fn::Min, 1, -1},
    {"max", Fn::Max, 1, -1}, {"not", Fn::Not, 1, 1},
};

enum class Op { Add, Sub, Mul, Div, Eq, Ne, Lt, Gt, Le, Ge, And, Or };

enum class Kind { Number, Text, Name, ColumnNames, Negate, Binary, Call };

struct Node {
  explicit Node(Kind k) : kind(k) {}
  Kind kind;
  double number = 0;
  std::u32string text;  // text literal, or the name
  Op op = Op::Add;
  Fn fn = Fn::Con;
  std::vector<int> kids;
  int depth = 0;  // operators and calls on the longest path down to a leaf
};

}  // namespace

struct CalcProgram {
  std::vector<Node> nodes;
  int root = -1;
  mutable std::atomic<long> references{1};
};

void calcRetain(const CalcProgram* p) { p->references.fetch_add(1, std::memory_order_relaxed); }

void calcRelease(const CalcProgram* p) {
  if (p->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete p;
}

namespace {

// ---------------------------------------------------------------------------------------------
// Tokens

enum class Tok { End, Number, Text, Name, LParen, RParen, Comma, Op };

struct Token {
  Tok kind = Tok::End;
  qlong first = 0, last = 0;  // character positions from 1
  std::u32string text;
  double number = 0;
  Op op = Op::Add;
};

struct ParseError {
  qlong code, first, last;
};

bool isNameStart(qchar c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || c == U'_' || c == U'$' || c > 127;
}
bool isNameChar(qchar c) { return isNameStart(c) || (c >= U'0' && c <= U'9'); }
bool isDigit(qchar c) { return c >= U'0' && c <= U'9'; }
bool isBlank(qchar c) { return c == U' ' || c == U'\t' || c == U'\r' || c == U'\n'; }

bool equalsIgnoringCase(const std::u32string& a, const char* b) {
  size_t i = 0;
  for (; b[i]; ++i)
    if (i >= a.size() || lowC(a[i]) != static_cast<qchar>(b[i])) return false;
  return i == a.size();
}

class Lexer {
 public:
  Lexer(const qchar* s, qlong len) : mS(s), mLen(len) {}

  Token next() {
    while (mPos < mLen && isBlank(mS[mPos])) ++mPos;
    Token t;
    t.first = mPos + 1;
    if (mPos >= mLen) {
      t.last = mPos;
      return t;
    }
    const qchar c = mS[mPos];
    if (isDigit(c) || (c == U'.' && mPos + 1 < mLen && isDigit(mS[mPos + 1]))) return number(t);
    if (c == U'\'' || c == U'"') return text(t, c);
    if (isNameStart(c)) return name(t);
    ++mPos;
    t.last = mPos;
    switch (c) {
      case U'(':
        t.kind = Tok::LParen;
        return t;
      case U')':
        t.kind = Tok::RParen;
        return t;
      case U',':
        t.kind = Tok::Comma;
        return t;
      case U'+':
        return op(t, Op::Add);
      case U'-':
        return op(t, Op::Sub);
      case U'*':
        return op(t, Op::Mul);
      case U'/':
        return op(t, Op::Div);
      case U'=':
        return op(t, Op::Eq);
      case U'&':
        return op(t, Op::And);
      case U'|':
        return op(t, Op::Or);
      case U'<':
        if (mPos < mLen && (mS[mPos] == U'>' || mS[mPos] == U'=')) {
          t.last = ++mPos;
          return op(t, mS[mPos - 1] == U'>' ? Op::Ne : Op::Le);
        }
        return op(t, Op::Lt);
      case U'>':
        if (mPos < mLen && mS[mPos] == U'=') {
          t.last = ++mPos;
          return op(t, Op::Ge);
        }
        return op(t, Op::Gt);
      default:
        throw ParseError{kCalcBadCharacter, t.first, t.last};
    }
  }

 private:
  static Token op(Token& t, Op o) {
    t.kind = Tok::Op;
    t.op = o;
    return t;
  }

  Token number(Token& t) {
    std::string digits;
    while (mPos < mLen && isDigit(mS[mPos])) digits += static_cast<char>(mS[mPos++]);
    if (mPos < mLen && mS[mPos] == U'.') {
      digits += '.';
      ++mPos;
      while (mPos < mLen && isDigit(mS[mPos])) digits += static_cast<char>(mS[mPos++]);
    }
    t.kind = Tok::Number;
    t.last = mPos;
    t.number = std::strtod(digits.c_str(), nullptr);
    return t;
  }

  Token text(Token& t, qchar quote) {
    const qlong start = ++mPos;
    while (mPos < mLen && mS[mPos] != quote) ++mPos;
    if (mPos >= mLen) throw ParseError{kCalcUnterminated, t.first, mLen};
    t.kind = Tok::Text;
    t.text.assign(mS + start, mS + mPos);
    t.last = ++mPos;
    return t;
  }

  // A name: segments of letters, digits, "_" and "$" joined by full stops (list.col,
  // $cinst.C3, $cinst.$cols.$makelist).
  Token name(Token& t) {
    const qlong start = mPos;
    for (;;) {
      while (mPos < mLen && isNameChar(mS[mPos])) ++mPos;
      if (mPos + 1 < mLen && mS[mPos] == U'.' && isNameStart(mS[mPos + 1]))
        ++mPos;
      else
        break;
    }
    t.kind = Tok::Name;
    t.text.assign(mS + start, mS + mPos);
    t.last = mPos;
    return t;
  }

  const qchar* mS;
  qlong mLen;
  qlong mPos = 0;
};

// ---------------------------------------------------------------------------------------------
// Parser

class Parser {
 public:
  Parser(const qchar* s, qlong len, EXTCompInfo* eci, CalcProgram& out)
      : mLex(s, len), mEci(eci), mOut(out) {
    advance();
  }

  void parse() {
    if (mTok.kind == Tok::End) throw ParseError{kCalcEmpty, 0, 0};
    mOut.root = parseExpr();
    if (mTok.kind != Tok::End) fail(kCalcSyntax);
  }

 private:
  void advance() {
    mPrev = mTok;
    mTok = mLex.next();
  }

  // A fault at the current token; at the end of the text, the token before it.
  [[noreturn]] void fail(qlong code) {
    const Token& at = mTok.kind == Tok::End && mPrev.last > 0 ? mPrev : mTok;
    throw ParseError{code, at.first, at.last};
  }

  // Adds a node; at is the token that made it (for the fault of a tree grown too high).
  int add(Node n, const Token& at) { return add(std::move(n), at.first, at.last); }
  int add(Node n, qlong first, qlong last) {
    for (int k : n.kids)
      if (mOut.nodes[static_cast<size_t>(k)].depth + 1 > n.depth)
        n.depth = mOut.nodes[static_cast<size_t>(k)].depth + 1;
    if (n.depth > kMaxDepth) throw ParseError{kCalcTooComplex, first, last};
    mOut.nodes.push_back(std::move(n));
    return static_cast<int>(mOut.nodes.size() - 1);
  }

  // Binding strength of a binary operator, 0 for a token that is none.
  static int bindingOf(const Token& t) {
    if (t.kind != Tok::Op) return 0;
    switch (t.op) {
      case Op::Or:
        return 1;
      case Op::And:
        return 2;
      case Op::Eq:
      case Op::Ne:
      case Op::Lt:
      case Op::Gt:
      case Op::Le:
      case Op::Ge:
        return 3;
      case Op::Add:
      case Op::Sub:
        return 4;
      case Op::Mul:
      case Op::Div:
        return 5;
    }
    return 0;
  }

  struct PendingOp {
    Op op;
    int binding;
    qlong first, last;
  };

  // Joins the two topmost operands with the topmost operator.
  void reduce(std::vector<int>& operands, std::vector<PendingOp>& ops) {
    const PendingOp o = ops.back();
    ops.pop_back();
    const int right = operands.back();
    operands.pop_back();
    Node n(Kind::Binary);
    n.op = o.op;
    n.kids = {operands.back(), right};
    operands.back() = add(std::move(n), o.first, o.last);
  }

  // A whole expression with its binary operators, read in a loop with operator precedence
  // (all operators associate to the left), so that only parentheses and calls make the parser
  // descend. Nodes come out in postfix order, as the evaluator needs them.
  int parseExpr() {
    std::vector<int> operands{parseUnary()};
    std::vector<PendingOp> ops;
    for (int binding; (binding = bindingOf(mTok)) != 0;) {
      while (!ops.empty() && ops.back().binding >= binding) reduce(operands, ops);
      ops.push_back(PendingOp{mTok.op, binding, mTok.first, mTok.last});
      advance();
      operands.push_back(parseUnary());
    }
    while (!ops.empty()) reduce(operands, ops);
    return operands.back();
  }

  // Entering a parenthesis, a call or a unary minus: count the nesting against its limit.
  void nest(qlong first, qlong last) {
    if (++mNesting > kMaxNesting) throw ParseError{kCalcTooComplex, first, last};
  }

  // The functions below that the parser descends through (unary, primary, parenthesis, call)
  // keep only positions and indexes in their frames; whatever needs tokens, texts or nodes is
  // done in functions of its own that are not inlined, so each level of nesting costs little
  // stack.

  // A run of unary minus signs is read in a loop, each sign counted as one level of nesting;
  // the operand is then wrapped in one negation per sign.
  int parseUnary() {
    std::vector<std::pair<qlong, qlong>> signs;
    while (mTok.kind == Tok::Op && mTok.op == Op::Sub) {
      nest(mTok.first, mTok.last);
      signs.emplace_back(mTok.first, mTok.last);
      advance();
    }
    int operand = parsePrimary();
    for (size_t i = signs.size(); i-- > 0;) {
      operand = negate(operand, signs[i].first, signs[i].second);
      --mNesting;
    }
    return operand;
  }

  [[gnu::noinline]] int negate(int operand, qlong first, qlong last) {
    Node n(Kind::Negate);
    n.kids = {operand};
    return add(std::move(n), first, last);
  }

  int parsePrimary() {
    if (mTok.kind == Tok::LParen) return parseParenthesis();
    if (mTok.kind != Tok::Name) return parseLiteral();
    advance();  // the name is now mPrev
    return mTok.kind == Tok::LParen ? parseCall() : parseName(mPrev);
  }

  [[gnu::noinline]] int parseLiteral() {
    const Token t = mTok;
    if (t.kind != Tok::Number && t.kind != Tok::Text) fail(kCalcSyntax);
    advance();
    Node n(t.kind == Tok::Number ? Kind::Number : Kind::Text);
    n.number = t.number;
    n.text = t.text;
    return add(std::move(n), t);
  }

  int parseParenthesis() {
    const qlong first = mTok.first, last = mTok.last;
    nest(first, last);
    advance();
    const int inner = parseExpr();
    if (mTok.kind != Tok::RParen) {
      if (mTok.kind == Tok::End) throw ParseError{kCalcMissingParen, first, mTok.last};
      fail(kCalcSyntax);
    }
    advance();
    --mNesting;
    return inner;
  }

  [[gnu::noinline]] int parseName(const Token& t) {
    // $ notation: only $cinst and $cinst.column.
    const size_t dot = t.text.find(U'.');
    const std::u32string head = t.text.substr(0, dot);
    const std::u32string tail = dot == std::u32string::npos ? U"" : t.text.substr(dot + 1);
    const bool dollar = t.text.find(U'$') != std::u32string::npos;
    if (dollar && (!equalsIgnoringCase(head, "$cinst") || tail.find(U'$') != std::u32string::npos ||
                   tail.find(U'.') != std::u32string::npos))
      throw ParseError{kCalcNotation, t.first, t.last};
    if (mEci) {
      EXTfldval probe;
      if (!ECOfindVariable(mEci, t.text.data(), static_cast<qlong>(t.text.size()), probe))
        throw ParseError{kCalcUnknownName, t.first, t.last};
    }
    Node n(Kind::Name);
    n.text = t.text;
    return add(std::move(n), t);
  }

  // What a name before "(" calls: 0 with info set for a function, -1 for the column name list
  // of $cinst, else the error code.
  [[gnu::noinline]] static qlong callee(const Token& name, const FnInfo*& info) {
    info = nullptr;
    if (equalsIgnoringCase(name.text, "$cinst.$cols.$makelist")) return -1;
    if (name.text.find(U'$') != std::u32string::npos) return kCalcNotation;
    for (const FnInfo& f : kFunctions)
      if (equalsIgnoringCase(name.text, f.name)) info = &f;
    return info ? 0 : kCalcUnknownFunction;
  }

  // $cinst.$cols.$makelist($ref.$name), read up to its opening parenthesis.
  [[gnu::noinline]] int parseColumnNames(qlong first, qlong last) {
    if (mTok.kind != Tok::Name || !equalsIgnoringCase(mTok.text, "$ref.$name"))
      throw ParseError{kCalcNotation, first, mTok.kind == Tok::End ? mPrev.last : mTok.last};
    advance();
    if (mTok.kind != Tok::RParen) fail(kCalcSyntax);
    advance();
    return add(Node(Kind::ColumnNames), first, last);
  }

  [[gnu::noinline]] int call(Fn fn, std::vector<int>& kids, qlong first, qlong last) {
    Node n(Kind::Call);
    n.fn = fn;
    n.kids = std::move(kids);
    return add(std::move(n), first, last);
  }

  // A call, read from its name (mPrev) on.
  int parseCall() {
    const qlong first = mPrev.first, last = mPrev.last;
    const FnInfo* info;
    const qlong what = callee(mPrev, info);
    advance();  // the opening parenthesis
    if (what == -1) return parseColumnNames(first, last);
    if (what != 0) throw ParseError{what, first, last};
    nest(first, last);
    std::vector<int> kids;
    if (mTok.kind != Tok::RParen) {
      for (;;) {
        kids.push_back(parseExpr());
        if (mTok.kind != Tok::Comma) break;
        advance();
      }
    }
    if (mTok.kind != Tok::RParen) {
      if (mTok.kind == Tok::End) throw ParseError{kCalcMissingParen, first, mTok.last};
      fail(kCalcSyntax);
    }
    const qlong closing = mTok.last;
    advance();
    --mNesting;
    const int count = static_cast<int>(kids.size());
    if (count < info->minArgs || (info->maxArgs >= 0 && count > info->maxArgs))
      throw ParseError{kCalcArgumentCount, first, closing};
    return call(info->fn, kids, first, last);
  }

  Lexer mLex;
  EXTCompInfo* mEci;
  CalcProgram& mOut;
  Token mTok, mPrev;
  int mNesting = 0;
};

// ---------------------------------------------------------------------------------------------
// Evaluator

struct EvalError {};

bool isNumberKind(ffttype t) {
  return t == fftInteger || t == fftInt64 || t == fftNumber || t == fftBoolean;
}

// An operand's value, or the failure that working it out met.
struct Slot {
  bool ok = false;
  EXTfldval value;
};

class Evaluator {
 public:
  Evaluator(const CalcProgram& p, EXTCompInfo* eci) : mP(p), mEci(eci) {}

  // Works the tree out without recursion, however deep it is. The parser adds every node after
  // its operands, so the node list is the tree in postfix order: each node takes its operands'
  // values from the top of a stack and leaves its own value there. A failure travels as a
  // value, so that & and | still ignore a failed right operand that they do not need (which a
  // left-to-right evaluation would never have looked at); every other node fails with it.
  EXTfldval run() {
    std::vector<Slot> stack;
    for (const Node& n : mP.nodes) {
      const size_t count = n.kids.size();
      if (stack.size() < count) throw EvalError();
      const size_t first = stack.size() - count;
      Slot out;
      try {
        out.value = compute(n, stack.data() + first, count);
        out.ok = true;
      } catch (const EvalError&) {
        out.ok = false;
      }
      stack.resize(first);
      stack.push_back(std::move(out));
    }
    if (stack.size() != 1 || !stack.front().ok) throw EvalError();
    return stack.front().value;
  }

 private:
  EXTfldval compute(const Node& n, const Slot* args, size_t count) {
    if (n.kind == Kind::Binary && (n.op == Op::And || n.op == Op::Or)) {
      if (!args[0].ok) throw EvalError();
      const bool left = truthOf(args[0].value);
      if (n.op == Op::And && !left) return boolValue(false);
      if (n.op == Op::Or && left) return boolValue(true);
      if (!args[1].ok) throw EvalError();
      return boolValue(truthOf(args[1].value));
    }
    for (size_t i = 0; i < count; ++i)
      if (!args[i].ok) throw EvalError();
    EXTfldval v;
    switch (n.kind) {
      case Kind::Number:
        v.setNum(n.number);
        return v;
      case Kind::Text:
        v.setChar(n.text.data(), charCount(n.text.size()));
        return v;
      case Kind::Name: {
        EXTfldval ref;
        if (!ECOfindVariable(mEci, n.text.data(), static_cast<qlong>(n.text.size()), ref))
          throw EvalError();
        return EXTfldval(ref);
      }
      case Kind::ColumnNames:
        return columnNames();
      case Kind::Negate: {
        const EXTfldval& x = args[0].value;
        if (x.isNull()) return nullNumber();
        return numberValue(-numberOf(x));
      }
      case Kind::Binary:
        return binary(n, args[0].value, args[1].value);
      case Kind::Call:
        return call(n, args, count);
    }
    throw EvalError();
  }

 private:
  static EXTfldval nullNumber() {
    EXTfldval v;
    v.setNull(fftNumber);
    return v;
  }

  static EXTfldval numberValue(double x) {
    if (!std::isfinite(x)) throw EvalError();
    EXTfldval v;
    v.setNum(x);
    return v;
  }

  static EXTfldval boolValue(bool b) {
    EXTfldval v;
    v.setBool(b ? qboolTrue : qboolFalse);
    return v;
  }

  // A value as a number: number kinds and booleans as they are, texts that read as numbers.
  static double numberOf(const EXTfldval& x) {
    const ffttype t = x.getType();
    if (isNumberKind(t)) return x.getNum();
    if (t == fftCharacter) {
      EXTfldval copy(x);
      if (copy.conv(fftNumber)) return copy.getNum();
    }
    throw EvalError();
  }

  // A value as text: texts, number kinds, booleans and dates (null reads as empty).
  static std::u32string textOf(const EXTfldval& x) {
    const ffttype t = x.getType();
    if (t != fftCharacter && t != fftDate && !isNumberKind(t)) throw EvalError();
    return ::textOf(*x.data());
  }

  static bool truthOf(const EXTfldval& x) {
    if (x.isNull()) return false;
    const ffttype t = x.getType();
    if (isNumberKind(t)) return x.getNum() != 0;
    if (t == fftCharacter) {
      EXTfldval copy(x);
      if (copy.conv(fftBoolean)) return copy.getBool() == qboolTrue;
    }
    throw EvalError();
  }

  // Numbers compare numerically (a text that reads as a number joins them); everything else
  // in the host's order (texts by code point, case-sensitive).
  static int compare(const EXTfldval& a, const EXTfldval& b) {
    const ffttype ta = a.getType(), tb = b.getType();
    if (!a.isNull() && !b.isNull() && (isNumberKind(ta) || isNumberKind(tb)) &&
        (isNumberKind(ta) || ta == fftCharacter) && (isNumberKind(tb) || tb == fftCharacter)) {
      EXTfldval x(a), y(b);
      if (x.conv(fftNumber) && y.conv(fftNumber)) {
        const double p = x.getNum(), q = y.getNum();
        return p < q ? -1 : p > q ? 1 : 0;
      }
      const std::u32string s = textOf(a), u = textOf(b);
      return s < u ? -1 : s > u ? 1 : 0;
    }
    const qlong c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }

  // Comparisons and arithmetic (& and | are worked out in compute).
  static EXTfldval binary(const Node& n, const EXTfldval& a, const EXTfldval& b) {
    switch (n.op) {
      case Op::Eq:
        return boolValue(compare(a, b) == 0);
      case Op::Ne:
        return boolValue(compare(a, b) != 0);
      case Op::Lt:
        return boolValue(compare(a, b) < 0);
      case Op::Gt:
        return boolValue(compare(a, b) > 0);
      case Op::Le:
        return boolValue(compare(a, b) <= 0);
      case Op::Ge:
        return boolValue(compare(a, b) >= 0);
      default:
        break;
    }
    // Arithmetic: a null operand gives a null result, after both are checked as numbers.
    const double x = a.isNull() ? 0 : numberOf(a);
    const double y = b.isNull() ? 0 : numberOf(b);
    if (a.isNull() || b.isNull()) return nullNumber();
    switch (n.op) {
      case Op::Add:
        return numberValue(x + y);
      case Op::Sub:
        return numberValue(x - y);
      case Op::Mul:
        return numberValue(x * y);
      default:
        if (y == 0) throw EvalError();
        return numberValue(x / y);
    }
  }

  static EXTfldval textValue(const std::u32string& s) {
    EXTfldval v;
    v.setChar(s.data(), charCount(s.size()));
    return v;
  }

  static EXTfldval call(const Node& n, const Slot* slots, size_t nargs) {
    const auto arg = [slots](size_t i) -> const EXTfldval& { return slots[i].value; };
    EXTfldval v;
    switch (n.fn) {
      case Fn::Con: {
        std::u32string s;
        for (size_t i = 0; i < nargs; ++i) s += textOf(arg(i));
        return textValue(s);
      }
      case Fn::Len:
        v.setLong(static_cast<qlong>(textOf(arg(0)).size()));
        return v;
      case Fn::Upp:
      case Fn::Low: {
        std::u32string s = textOf(arg(0));
        for (qchar& c : s) c = n.fn == Fn::Upp ? uppC(c) : lowC(c);
        return textValue(s);
      }
      case Fn::Mid: {
        const std::u32string s = textOf(arg(0));
        double start = std::trunc(numberOf(arg(1)));
        double count = nargs > 2 ? std::trunc(numberOf(arg(2))) : 1e18;
        if (start < 1) start = 1;
        if (count < 0) count = 0;
        if (start > static_cast<double>(s.size())) return textValue(U"");
        const size_t from = static_cast<size_t>(start) - 1;
        const size_t take = count >= static_cast<double>(s.size() - from)
                                ? s.size() - from
                                : static_cast<size_t>(count);
        return textValue(s.substr(from, take));
      }
      case Fn::Pos: {
        const std::u32string sub = textOf(arg(0)), s = textOf(arg(1));
        const size_t at = sub.empty() ? std::u32string::npos : s.find(sub);
        v.setLong(at == std::u32string::npos ? 0 : static_cast<qlong>(at) + 1);
        return v;
      }
      case Fn::Abs:
        if (arg(0).isNull()) return nullNumber();
        return numberValue(std::fabs(numberOf(arg(0))));
      case Fn::Int: {
        if (arg(0).isNull()) return nullNumber();
        const double x = std::trunc(numberOf(arg(0)));
        if (x >= -2147483648.0 && x <= 2147483647.0) {
          v.setLong(static_cast<qlong>(x));
          return v;
        }
        return numberValue(x);
      }
      case Fn::Min:
      case Fn::Max: {
        size_t best = 0;
        for (size_t i = 1; i < nargs; ++i) {
          const int c = compare(arg(i), arg(best));
          if (n.fn == Fn::Min ? c < 0 : c > 0) best = i;
        }
        return arg(best);
      }
      case Fn::Not:
        return boolValue(!truthOf(arg(0)));
    }
    throw EvalError();
  }

  // One row per column of $cinst, in column order; the row's one column holds the name.
  EXTfldval columnNames() {
    EXTfldval cinst;
    const qchar name[] = U"$cinst";
    EXTqlist source;
    if (!ECOfindVariable(mEci, name, 6, cinst) || !cinst.getList(&source, qfalse))
      throw EvalError();
    EXTqlist names;
    str15 colTitle;
    colTitle.set(U"name", 4);
    if (names.addCol(fftCharacter, 0, 255, &colTitle) != 1) throw EvalError();
    str255 colName;
    for (qshort c = 1; c <= source.colCnt(); ++c) {
      const qlong row = names.insertRow();
      if (row < 1) throw EvalError();
      source.getColName(c, colName);
      EXTfldval cell;
      names.getColValRef(row, 1, cell, qtrue);
      cell.setChar(colName);
    }
    EXTfldval v;
    v.setList(&names, qtrue);
    return v;
  }

  const CalcProgram& mP;
  EXTCompInfo* mEci;
};

}  // namespace

qlong EXTfldval::setCalculation(EXTCompInfo* eci, qshort, const qchar* text, qlong len,
                                qlong* errStart, qlong* errEnd) {
  mData->calc.reset();
  if (errStart) *errStart = 0;
  if (errEnd) *errEnd = 0;
  if (len < 0 || (!text && len > 0)) len = 0;
  try {
    std::unique_ptr<CalcProgram> program(new CalcProgram());
    Parser(text, len, eci, *program).parse();
    mData->calc = CalcRef(program.release());
    return 0;
  } catch (const ParseError& e) {
    qlong first = e.first, last = e.last;
    if (e.code == kCalcEmpty && len > 0) first = 1, last = len;
    if (errStart) *errStart = first;
    if (errEnd) *errEnd = last;
    return e.code;
  } catch (const std::bad_alloc&) {
    if (errStart) *errStart = len > 0 ? 1 : 0;
    if (errEnd) *errEnd = len;
    return kCalcNoMemory;
  }
}

qbool EXTfldval::evalCalculation(EXTfldval& result, EXTCompInfo* eci, EXTqlist*, qbool) {
  const CalcRef program = mData->calc;  // result may be this value
  if (!program || program.get()->root < 0) return qfalse;
  try {
    const EXTfldval value = Evaluator(*program.get(), eci).run();
    result = value;
    return qtrue;
  } catch (const EvalError&) {
    return qfalse;
  } catch (const std::bad_alloc&) {
    return qfalse;
  }
}
