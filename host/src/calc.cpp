// Calculations in the host's expression language: a parser that turns the text into a tree
// kept with the value (FldData::calc), and an evaluator that works the tree out against the
// calling context (variables, list cells and $cinst, resolved through ECOfindVariable).
//
// Grammar, loosest binding first (all binary operators associate to the left):
//   or      := and { "|" and }
//   and     := compare { "&" compare }
//   compare := sum { ("=" | "<>" | "<" | ">" | "<=" | ">=") sum }
//   sum     := product { ("+" | "-") product }
//   product := unary { ("*" | "/") unary }
//   unary   := "-" unary | primary
//   primary := number | text | name | function "(" [ or { "," or } ] ")" | "(" or ")"
//            | "$cinst.$cols.$makelist($ref.$name)"
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

const int kMaxNesting = 200;  // parentheses and unary minus signs inside each other
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
};

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
    mOut.root = parseOr();
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
  int add(Node n, const Token& at) {
    for (int k : n.kids)
      if (mOut.nodes[static_cast<size_t>(k)].depth + 1 > n.depth)
        n.depth = mOut.nodes[static_cast<size_t>(k)].depth + 1;
    if (n.depth > kMaxDepth) throw ParseError{kCalcTooComplex, at.first, at.last};
    mOut.nodes.push_back(std::move(n));
    return static_cast<int>(mOut.nodes.size() - 1);
  }

  int binary(const Token& opToken, int left, int right) {
    Node n(Kind::Binary);
    n.op = opToken.op;
    n.kids = {left, right};
    return add(std::move(n), opToken);
  }

  bool atOp(std::initializer_list<Op> ops) const {
    if (mTok.kind != Tok::Op) return false;
    for (Op o : ops)
      if (mTok.op == o) return true;
    return false;
  }

  int parseOr() {
    int left = parseAnd();
    while (atOp({Op::Or})) {
      const Token op = mTok;
      advance();
      left = binary(op, left, parseAnd());
    }
    return left;
  }

  int parseAnd() {
    int left = parseCompare();
    while (atOp({Op::And})) {
      const Token op = mTok;
      advance();
      left = binary(op, left, parseCompare());
    }
    return left;
  }

  int parseCompare() {
    int left = parseSum();
    while (atOp({Op::Eq, Op::Ne, Op::Lt, Op::Gt, Op::Le, Op::Ge})) {
      const Token op = mTok;
      advance();
      left = binary(op, left, parseSum());
    }
    return left;
  }

  int parseSum() {
    int left = parseProduct();
    while (atOp({Op::Add, Op::Sub})) {
      const Token op = mTok;
      advance();
      left = binary(op, left, parseProduct());
    }
    return left;
  }

  int parseProduct() {
    int left = parseUnary();
    while (atOp({Op::Mul, Op::Div})) {
      const Token op = mTok;
      advance();
      left = binary(op, left, parseUnary());
    }
    return left;
  }

  // Entering a parenthesis or a unary minus: count the nesting against its limit.
  void nest(const Token& t) {
    if (++mNesting > kMaxNesting) throw ParseError{kCalcTooComplex, t.first, t.last};
  }

  int parseUnary() {
    if (!atOp({Op::Sub})) return parsePrimary();
    const Token t = mTok;
    nest(t);
    advance();
    Node n(Kind::Negate);
    n.kids = {parseUnary()};
    --mNesting;
    return add(std::move(n), t);
  }

  int parsePrimary() {
    Token t = mTok;
    switch (t.kind) {
      case Tok::Number: {
        advance();
        Node n(Kind::Number);
        n.number = t.number;
        return add(std::move(n), t);
      }
      case Tok::Text: {
        advance();
        Node n(Kind::Text);
        n.text = t.text;
        return add(std::move(n), t);
      }
      case Tok::LParen: {
        nest(t);
        advance();
        const int inner = parseOr();
        if (mTok.kind != Tok::RParen) {
          if (mTok.kind == Tok::End) throw ParseError{kCalcMissingParen, t.first, mTok.last};
          fail(kCalcSyntax);
        }
        advance();
        --mNesting;
        return inner;
      }
      case Tok::Name:
        advance();
        return mTok.kind == Tok::LParen ? parseCall(t) : parseName(t);
      default:
        fail(kCalcSyntax);
    }
  }

  int parseName(const Token& t) {
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

  int parseCall(const Token& name) {
    advance();  // the opening parenthesis
    if (equalsIgnoringCase(name.text, "$cinst.$cols.$makelist")) {
      if (mTok.kind != Tok::Name || !equalsIgnoringCase(mTok.text, "$ref.$name"))
        throw ParseError{kCalcNotation, name.first, mTok.kind == Tok::End ? mPrev.last : mTok.last};
      advance();
      if (mTok.kind != Tok::RParen) fail(kCalcSyntax);
      advance();
      return add(Node(Kind::ColumnNames), name);
    }
    if (name.text.find(U'$') != std::u32string::npos)
      throw ParseError{kCalcNotation, name.first, name.last};
    const FnInfo* info = nullptr;
    for (const FnInfo& f : kFunctions)
      if (equalsIgnoringCase(name.text, f.name)) info = &f;
    if (!info) throw ParseError{kCalcUnknownFunction, name.first, name.last};
    Node n(Kind::Call);
    n.fn = info->fn;
    if (mTok.kind != Tok::RParen) {
      for (;;) {
        n.kids.push_back(parseOr());
        if (mTok.kind != Tok::Comma) break;
        advance();
      }
    }
    if (mTok.kind != Tok::RParen) {
      if (mTok.kind == Tok::End) throw ParseError{kCalcMissingParen, name.first, mTok.last};
      fail(kCalcSyntax);
    }
    const qlong last = mTok.last;
    advance();
    const int count = static_cast<int>(n.kids.size());
    if (count < info->minArgs || (info->maxArgs >= 0 && count > info->maxArgs))
      throw ParseError{kCalcArgumentCount, name.first, last};
    return add(std::move(n), name);
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

class Evaluator {
 public:
  Evaluator(const CalcProgram& p, EXTCompInfo* eci) : mP(p), mEci(eci) {}

  EXTfldval eval(int index) {
    const Node& n = mP.nodes[static_cast<size_t>(index)];
    EXTfldval v;
    switch (n.kind) {
      case Kind::Number:
        v.setNum(n.number);
        return v;
      case Kind::Text:
        v.setChar(n.text.data(), static_cast<qlong>(n.text.size()));
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
        const EXTfldval x = eval(n.kids[0]);
        if (x.isNull()) return nullNumber();
        return numberValue(-numberOf(x));
      }
      case Kind::Binary:
        return binary(n);
      case Kind::Call:
        return call(n);
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

  EXTfldval binary(const Node& n) {
    if (n.op == Op::And || n.op == Op::Or) {
      const bool left = truthOf(eval(n.kids[0]));
      if (n.op == Op::And && !left) return boolValue(false);
      if (n.op == Op::Or && left) return boolValue(true);
      return boolValue(truthOf(eval(n.kids[1])));
    }
    const EXTfldval a = eval(n.kids[0]);
    const EXTfldval b = eval(n.kids[1]);
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
    v.setChar(s.data(), static_cast<qlong>(s.size()));
    return v;
  }

  EXTfldval call(const Node& n) {
    std::vector<EXTfldval> args;
    args.reserve(n.kids.size());
    for (int k : n.kids) args.push_back(eval(k));
    EXTfldval v;
    switch (n.fn) {
      case Fn::Con: {
        std::u32string s;
        for (const EXTfldval& a : args) s += textOf(a);
        return textValue(s);
      }
      case Fn::Len:
        v.setLong(static_cast<qlong>(textOf(args[0]).size()));
        return v;
      case Fn::Upp:
      case Fn::Low: {
        std::u32string s = textOf(args[0]);
        for (qchar& c : s) c = n.fn == Fn::Upp ? uppC(c) : lowC(c);
        return textValue(s);
      }
      case Fn::Mid: {
        const std::u32string s = textOf(args[0]);
        double start = std::trunc(numberOf(args[1]));
        double count = args.size() > 2 ? std::trunc(numberOf(args[2])) : 1e18;
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
        const std::u32string sub = textOf(args[0]), s = textOf(args[1]);
        const size_t at = sub.empty() ? std::u32string::npos : s.find(sub);
        v.setLong(at == std::u32string::npos ? 0 : static_cast<qlong>(at) + 1);
        return v;
      }
      case Fn::Abs:
        if (args[0].isNull()) return nullNumber();
        return numberValue(std::fabs(numberOf(args[0])));
      case Fn::Int: {
        if (args[0].isNull()) return nullNumber();
        const double x = std::trunc(numberOf(args[0]));
        if (x >= -2147483648.0 && x <= 2147483647.0) {
          v.setLong(static_cast<qlong>(x));
          return v;
        }
        return numberValue(x);
      }
      case Fn::Min:
      case Fn::Max: {
        size_t best = 0;
        for (size_t i = 1; i < args.size(); ++i) {
          const int c = compare(args[i], args[best]);
          if (n.fn == Fn::Min ? c < 0 : c > 0) best = i;
        }
        return args[best];
      }
      case Fn::Not:
        return boolValue(!truthOf(args[0]));
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
    auto program = std::make_shared<CalcProgram>();
    Parser(text, len, eci, *program).parse();
    mData->calc = std::move(program);
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
  const std::shared_ptr<const CalcProgram> program = mData->calc;  // result may be this value
  if (!program || program->root < 0) return qfalse;
  try {
    const EXTfldval value = Evaluator(*program, eci).eval(program->root);
    result = value;
    return qtrue;
  } catch (const EvalError&) {
    return qfalse;
  } catch (const std::bad_alloc&) {
    return qfalse;
  }
}
