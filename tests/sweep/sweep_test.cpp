// The allocation-failure sweep: every method of the main object, of the scope object and every
// static method is called with representative arguments while one allocation point at a time
// fails (N = 1, 2, ... until the call completes without reaching N): host handles
// (HANglobalAlloc/HANglobalReAlloc), C++ operator new, and list rows or columns refused. After
// each call:
//   - nothing escaped the entry procedure;
//   - either the outcome equals the unfailed call's, or the call failed (return value 0 with
//     only the expected "$error" codes; a static method: a negative return value, or none for
//     $makeParamRow) and every parameter and every variable of the call's context is exactly as
//     before the call;
//   - in the sanitizer build, LeakSanitizer finds nothing leaked by the case.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "testhost.h"
#include "zqbase.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZQ_SWEEP_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZQ_SWEEP_LSAN 1
#endif
#endif
#ifdef ZQ_SWEEP_LSAN
#include <sanitizer/lsan_interface.h>
#endif

// ---------------------------------------------------------------------------------------------
// A counting operator new: while armed, the Nth allocation throws std::bad_alloc (the nothrow
// forms answer null). Only the component's call is armed, never the test's own work.

namespace {
bool gArmed = false;
long gFailAt = 0;  // 0: count only
long gCount = 0;

bool failNow() {
  if (!gArmed) return false;
  ++gCount;
  return gCount == gFailAt;
}

void* allocate(std::size_t n) {
  if (failNow()) throw std::bad_alloc();
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

void* allocateNoThrow(std::size_t n) noexcept {
  if (failNow()) return nullptr;
  return std::malloc(n ? n : 1);
}
}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocateNoThrow(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocateNoThrow(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using namespace zqtest;

namespace {

// ---------------------------------------------------------------------------------------------
// The entry procedure as the sweep's host sees it: armed around method calls only, and an
// exception that leaves it is caught here and counted (it would end a real host).

int gEscaped = 0;
bool gArmAll = false;  // arm every message, counting on across them

qlong armedProc(HWND hwnd, qlong message, WPARAM wParam, LPARAM lParam, EXTCompInfo* eci) {
  if (!gArmAll) gCount = 0;
  gArmed = gArmAll || message == msgMethodCall;
  qlong answer = 0;
  try {
    answer = ZQWndProc(hwnd, message, wParam, lParam, eci);
  } catch (...) {
    ++gEscaped;
  }
  gArmed = false;
  return answer;
}

// ---------------------------------------------------------------------------------------------
// Deep comparison of host values: type, subtype, null state and content; lists and rows with
// their columns, every cell, the current line and the selection.

bool same(const EXTfldval& a, const EXTfldval& b, std::string& why, const std::string& where);

// With appended, b may have more lines than a after a's lines.
bool sameList(const EXTfldval& a, const EXTfldval& b, std::string& why, const std::string& where,
              bool appended = false) {
  EXTqlist x, y;
  a.getList(&x, qfalse);
  b.getList(&y, qfalse);
  if (x.colCnt() != y.colCnt() || x.getCurRow() != y.getCurRow() ||
      (appended ? x.rowCnt() > y.rowCnt() : x.rowCnt() != y.rowCnt())) {
    why = where + ": list shape or current line differs";
    return false;
  }
  for (qshort c = 1; c <= x.colCnt(); ++c) {
    str255 nx, ny;
    x.getColName(c, nx);
    y.getColName(c, ny);
    qshort sx = 0, sy = 0;
    qlong mx = 0, my = 0;
    if (x.getColType(c, &sx, &mx) != y.getColType(c, &sy, &my) || sx != sy || mx != my ||
        nx.length() != ny.length() ||
        std::char_traits<qchar>::compare(nx.cString(), ny.cString(), nx.length()) != 0) {
      why = where + ": column " + std::to_string(c) + " differs";
      return false;
    }
  }
  for (qlong r = 1; r <= x.rowCnt(); ++r) {
    if (x.isRowSelected(r, qfalse) != y.isRowSelected(r, qfalse)) {
      why = where + ": selection of line " + std::to_string(r) + " differs";
      return false;
    }
    for (qshort c = 1; c <= x.colCnt(); ++c) {
      EXTfldval cx, cy;
      x.getColValRef(r, c, cx, qfalse);
      y.getColValRef(r, c, cy, qfalse);
      if (!same(cx, cy, why, where + "[" + std::to_string(r) + "," + std::to_string(c) + "]"))
        return false;
    }
  }
  return true;
}

bool same(const EXTfldval& a, const EXTfldval& b, std::string& why, const std::string& where) {
  qshort sa = 0, sb = 0;
  const ffttype ta = a.getType(&sa), tb = b.getType(&sb);
  if (ta != tb || sa != sb || a.isNull() != b.isNull()) {
    why = where + ": type or null state differs";
    return false;
  }
  bool equal = true;
  switch (ta) {
    case fftList:
    case fftRow:
      return sameList(a, b, why, where);
    case fftCharacter:
      equal = text32(a) == text32(b);
      break;
    case fftBinary:
    case fftPicture:
    case fftObject:
      equal = bytes(a) == bytes(b);
      break;
    default:
      equal = a.compare(b) == 0;
      break;
  }
  if (!equal) why = where + ": \"" + text(a) + "\" is now \"" + text(b) + "\"";
  return equal;
}

// ---------------------------------------------------------------------------------------------
// The cases

typedef std::function<std::vector<EXTfldval>()> Params;
typedef std::vector<std::pair<std::string, std::function<EXTfldval()>>> Vars;

struct Case {
  std::string label;
  qlong object;  // kObjMain, kObjScope, or 0 for a static method
  qlong method;
  Params params;
  Vars vars = {};                          // variables of the calling context, set fresh
  std::function<EXTfldval()> cinst = {};   // $cinst, set fresh when given
  std::set<qlong> codes = {};              // "$error" codes a failure may report besides -103
  std::set<size_t> writtenOnFailure = {};  // parameters (from 1) a failure may empty first
  // Writes that the method's own rules make before a failure can end it, so a failed call
  // may have made them: rows appended to the list parameter rowsMayStay (from 1), $cinst
  // normalised, variables of the context assigned pair by pair.
  size_t rowsMayStay = 0;
  std::set<size_t> rewrittenFirst = {};  // parameters the method rewrites before it can fail
  bool cinstWritten = false;
  bool varsWritten = false;
  bool volatileReturn = false;  // the return value differs from call to call (a process id)
  bool silentFailure = false;   // may fail with 22 and no report
};

EXTfldval nullOf(ffttype t) {
  EXTfldval v;
  v.setNull(t);
  return v;
}

EXTfldval int64(qint64 n) {
  EXTfldval v;
  v.setLong64(n);
  return v;
}

EXTfldval cinstRow() {
  EXTqlist l(qtrue);
  const char* names[] = {"id", "name", "price", "flag", "dt"};
  const ffttype types[] = {fftInteger, fftCharacter, fftNumber, fftBoolean, fftDate};
  for (int i = 0; i < 5; ++i) {
    str255 n;
    const std::u32string u = hostrt::toU32(names[i]);
    n.set(u.data(), static_cast<qlong>(u.size()));
    l.addCol(types[i], 0, 10000000, &n);
  }
  const qlong line = l.insertRow();
  EXTfldval cell;
  l.getColValRef(line, 1, cell, qtrue);
  cell.setNull(fftInteger);
  l.getColValRef(line, 2, cell, qtrue);
  cell = chr("Widget");
  l.getColValRef(line, 3, cell, qtrue);
  cell.setNull(fftNumber);
  l.getColValRef(line, 4, cell, qtrue);
  cell.setNull(fftBoolean);
  l.getColValRef(line, 5, cell, qtrue);
  cell.setEmpty(fftDate);
  EXTfldval v;
  v.setList(&l, qtrue);
  return v;
}

EXTfldval patternRow() { return list({{"Word"}, {"Digits"}}, {{"[a-z]+", "[0-9]+"}}, true); }

EXTfldval ranges() {
  return list({{"s", fftInteger}, {"e", fftInteger}, {"r"}}, {{"1", "3", "XY"}, {"0", "0", "<"}});
}

std::vector<Case> cases() {
  const qlong M = kObjMain;
  std::vector<Case> c = {
      {"orstring", M, 2101,
       [] {
         return std::vector<EXTfldval>{chr("A B C"), chr("X   Z")};
       }},
      {"orstring/int target", M, 2101,
       [] {
         return std::vector<EXTfldval>{chr("A B C"), integer(12345)};
       }},
      {"stringtolist", M, 2102,
       [] {
         return std::vector<EXTfldval>{chr("a,1,b,2,c,3"), integer(2),
                                       list({{"n"}, {"v", fftInteger}}, {{"x", "9"}}), chr(","),
                                       chr("n,v")};
       }},
      {"listtostring",
       M,
       2103,
       [] {
         return std::vector<EXTfldval>{chr("old"), integer(2),
                                       list({{"n"}, {"v", fftInteger}}, {{"x", "1"}, {"y", "2"}}),
                                       chr(";"), chr("n,v")};
       },
       {},
       nullptr,
       {},
       {1}},
      {"listtostring/int target",
       M,
       2103,
       [] {
         return std::vector<EXTfldval>{integer(7), integer(1), list({{"n"}}, {{"x"}, {"y"}}),
                                       chr(";"), chr("n")};
       },
       {},
       nullptr,
       {},
       {1}},
      {"binarysearch",
       M,
       2104,
       [] {
         return std::vector<EXTfldval>{chr("lst"), chr("Val"), chr("m"), integer(0), boolean(true)};
       },
       {{"lst",
         [] {
           return list({{"Val"}}, {{"z"}, {"a"}, {"m"}, {"q"}});
         }}}},
      {"binarysearch/number",
       M,
       2104,
       [] {
         return std::vector<EXTfldval>{chr("lst.col"), chr("Val"), integer(3)};
       },
       {{"lst",
         [] {
           EXTfldval inner = list({{"Val", fftInteger}}, {{"1"}, {"3"}, {"5"}});
           EXTqlist outer(qfalse);
           str255 n;
           n.set(U"col", 3);
           outer.addCol(fftList, 0, 0, &n);
           const qlong line = outer.insertRow();
           outer.putColVal(line, 1, inner);
           outer.setCurRow(line);
           EXTfldval v;
           v.setList(&outer, qtrue);
           return v;
         }}}},
      {"replacesinglechar", M, 2105,
       [] {
         return std::vector<EXTfldval>{chr("hello"), integer(2), chr("A")};
       }},
      {"replacesinglechar/int", M, 2105,
       [] {
         return std::vector<EXTfldval>{integer(12345), integer(2), chr("9")};
       }},
      {"replace", M, 2106,
       [] {
         return std::vector<EXTfldval>{
             chr("one two one two"), chr("one"), chr("three"), chr("old"), integer(0), integer(5)};
       }},
      {"replace/int target", M, 2106,
       [] {
         return std::vector<EXTfldval>{chr("aaa"), chr("a"), chr("bb"), integer(4)};
       }},
      {"replace/int64 limit", M, 2106,
       [] {
         return std::vector<EXTfldval>{chr(""),    chr("a"),   chr("b"),
                                       chr("old"), integer(0), int64(3)};
       }},
      {"replace/same buffer", M, 2106,
       [] {
         return std::vector<EXTfldval>{chr("x-x-x"), chr("-"), chr(""), chr("0123456789")};
       }},
      {"removechars", M, 2107,
       [] {
         return std::vector<EXTfldval>{chr("a1b2c3"), chr("123"), boolean(false), chr("r")};
       }},
      {"removechars/int target", M, 2107,
       [] {
         return std::vector<EXTfldval>{chr("a1b2c3"), chr("abc"), integer(1), integer(5)};
       }},
      {"setsecurity", M, 2108,
       [] {
         return std::vector<EXTfldval>{chr("YyNY"), chr("YyYN"), chr("old")};
       }},
      {"setsecurity/int target", M, 2108,
       [] {
         return std::vector<EXTfldval>{chr("Y"), chr("Y"), integer(3)};
       }},
      {"encode64", M, 2109, [] { return std::vector<EXTfldval>{chr("x")}; }, {}, nullptr, {-999}},
      {"decode64", M, 2110, [] { return std::vector<EXTfldval>{chr("x")}; }, {}, nullptr, {-999}},
      {"caps", M, 2111,
       [] {
         return std::vector<EXTfldval>{chr("the lord of the hilll"), chr("of;the;"), boolean(false),
                                       boolean(true)};
       }},
      {"caps/int", M, 2111,
       [] {
         return std::vector<EXTfldval>{integer(42), chr("of")};
       }},
      {"appendstring", M, 2112,
       [] {
         return std::vector<EXTfldval>{chr("tail"), chr("head"), chr(", ")};
       }},
      {"appendstring/int target", M, 2112,
       [] {
         return std::vector<EXTfldval>{chr("tail"), integer(12), chr("-")};
       }},
      {"appendstring/null target", M, 2112,
       [] {
         return std::vector<EXTfldval>{chr("x"), nullOf(fftCharacter), chr("-")};
       }},
      {"appendstring/number text", M, 2112,
       [] {
         return std::vector<EXTfldval>{number(1.5), chr("")};
       }},
      {"encrypt aes", M, 2113,
       [] {
         return std::vector<EXTfldval>{integer(2), chr("secret text"), chr("old"), chr("key")};
       }},
      {"encrypt des", M, 2113,
       [] {
         return std::vector<EXTfldval>{integer(0), chr("12345678"), chr("old"), chr("key")};
       }},
      {"encrypt arc4 binary", M, 2113,
       [] {
         return std::vector<EXTfldval>{integer(5), binary("abc"), binary("zz"), chr("k")};
       }},
      {"encrypt/int target", M, 2113,
       [] {
         return std::vector<EXTfldval>{integer(4), chr("text"), integer(1), chr("k")};
       }},
      {"decrypt aes", M, 2114,
       [] {
         return std::vector<EXTfldval>{integer(2), chr("00112233445566778899aabbccddeeff"),
                                       chr("old"), chr("key")};
       }},
      {"decrypt des",
       M,
       2114,
       [] {
         return std::vector<EXTfldval>{integer(0), chr("12-34+56 78"), chr("old"), chr("key")};
       },
       {},
       nullptr,
       {-108}},
      {"getsignature", M, 2115,
       [] {
         return std::vector<EXTfldval>{integer(2), chr("abc"), chr("old")};
       }},
      {"getsignature binary", M, 2115,
       [] {
         return std::vector<EXTfldval>{integer(0), binary("abc"), binary("")};
       }},
      {"trim", M, 2116,
       [] {
         return std::vector<EXTfldval>{chr("  xx  "), chr(" "), boolean(true), boolean(false)};
       }},
      {"trim/int", M, 2116,
       [] {
         return std::vector<EXTfldval>{integer(1001), chr("1")};
       }},
      {"setsqlzeronullvalues",
       M,
       2117,
       [] { return std::vector<EXTfldval>{integer(5)}; },
       {},
       cinstRow},
      {"getuniquewords", M, 2118,
       [] {
         return std::vector<EXTfldval>{chr("The cat and the Dog's cat."), chr(";and;"),
                                       list({{"w"}}, {{"old"}}), chr("w")};
       }},
      {"evalcalc",
       M,
       2119,
       [] { return std::vector<EXTfldval>{chr("con(upp(v), 'x', 1+2)")}; },
       {{"v", [] { return chr("abc"); }}}},
      {"evalcalc/error",
       M,
       2119,
       [] { return std::vector<EXTfldval>{chr("1 + ")}; },
       {},
       nullptr,
       {-105}},
      {"evalcalc/list",
       M,
       2119,
       [] { return std::vector<EXTfldval>{chr("$cinst.$cols.$makelist($ref.$name)")}; },
       {},
       cinstRow},
      {"prepareinsert",
       M,
       2120,
       [] {
         return std::vector<EXTfldval>{chr("old"), boolean(false), integer(5), chr("id`dt"),
                                       chr("")};
       },
       {},
       cinstRow,
       {},
       {1}},
      {"prepareinsert/int flag",
       M,
       2120,
       [] {
         return std::vector<EXTfldval>{chr("old"), integer(0), integer(2), chr(""), chr("")};
       },
       {},
       cinstRow,
       {},
       {1}},
      {"prepareupdate",
       M,
       2121,
       [] {
         return std::vector<EXTfldval>{chr("old"), boolean(false), chr("oldrow"), chr(""), chr("")};
       },
       {{"oldrow",
         [] {
           return list({{"id", fftInteger}, {"name"}, {"price", fftNumber}}, {{"1", "Gadget", "2"}},
                       true);
         }}},
       cinstRow,
       {},
       {1}},
      {"barcode39", M, 2122,
       [] {
         return std::vector<EXTfldval>{binary(""), chr("*AB1*")};
       }},
      {"assignRow", M, 2123,
       [] {
         return std::vector<EXTfldval>{list({{"a"}, {"b"}, {"c"}}, {{"1", "2", "3"}}, true),
                                       list({{"c"}, {"a"}, {"b"}}, {{"x", "y", "z"}}, true)};
       }},
      {"assignRow/by name", M, 2123,
       [] {
         return std::vector<EXTfldval>{list({{"a"}, {"b"}, {"c"}}, {{"1", "2", "3"}}, true),
                                       list({{"C"}, {"A"}, {"x"}}, {{"x", "y", "z"}}, true),
                                       boolean(true)};
       }},
      {"barcodeUSPS", M, 2124,
       [] {
         return std::vector<EXTfldval>{chr("01"), chr("234"), chr("567094"), chr("987654321"),
                                       chr("01234567891")};
       }},
      {"encodeEntities", M, 2125,
       [] { return std::vector<EXTfldval>{chr("a < b & \u00e9 \"q\"")}; }},
      {"decodeEntities", M, 2126,
       [] { return std::vector<EXTfldval>{chr("a &lt; b &amp; &eacute; &#65;&#x42;")}; }},
      {"findPatterns", M, 2127,
       [] {
         return std::vector<EXTfldval>{patternRow(), chr("abc 123 de 4")};
       }},
      {"replacePatterns", M, 2128,
       [] {
         return std::vector<EXTfldval>{ranges(), chr("hello")};
       }},
      {"addref", kObjScope, 7001, [] { return std::vector<EXTfldval>{objref(77)}; }},
      {"makeParamRow", 0, 2000,
       [] {
         return std::vector<EXTfldval>{list({{"a"}, {"b"}}, {{"1", "2"}}, true), chr("b"),
                                       integer(5), chr("c"), chr("x")};
       }},
      {"loadParamVars",
       0,
       2001,
       [] {
         return std::vector<EXTfldval>{list({{"a"}, {"b"}}, {{"1", "2"}}, true), chr("a"),
                                       chr("va"), chr("b"), chr("lst.c")};
       },
       {{"va", [] { return integer(0); }}, {"lst", [] { return list({{"c"}}, {{"old"}}); }}}},
      {"trace", 0, 2002, [] { return std::vector<EXTfldval>{chr("sweep")}; }},
      {"is64Bit", 0, 2003, [] { return std::vector<EXTfldval>{}; }},
      {"loadCRB",
       0,
       2004,
       [] {
         return std::vector<EXTfldval>{list({{"va"}, {"vb"}}, {{"1", "2"}}, true)};
       },
       {{"va", [] { return chr("old"); }}, {"vb", [] { return integer(1); }}}},
      {"getProcessID", 0, 2005, [] { return std::vector<EXTfldval>{}; }},
      {"launchProcess", 0, 2006,
       [] {
         return std::vector<EXTfldval>{chr("/bin/true"), list({{"a"}}, {{"x"}})};
       }},
  };
  // Texts past the first 1024 characters, so that results grow and handles are reallocated.
  const std::string big(3000, 'a');
  std::vector<std::vector<std::string>> manyRows;
  for (int i = 0; i < 120; ++i)
    manyRows.push_back({"a row with a longer name " + std::to_string(i), std::to_string(i)});
  c.push_back({"replace/growing", M, 2106, [big] {
                 return std::vector<EXTfldval>{chr(big), chr("a"), chr("bcd"), chr("old")};
               }});
  c.push_back({"appendstring/growing", M, 2112, [big] {
                 return std::vector<EXTfldval>{chr(big), chr(big), chr(",")};
               }});
  c.push_back({"listtostring/growing",
               M,
               2103,
               [manyRows] {
                 return std::vector<EXTfldval>{chr("old"), integer(2),
                                               list({{"n"}, {"v", fftInteger}}, manyRows), chr(";"),
                                               chr("n,v")};
               },
               {},
               nullptr,
               {},
               {1}});
  c.push_back({"encodeEntities/growing", M, 2125,
               [big] { return std::vector<EXTfldval>{chr(big + "<&>\u00e9")}; }});
  c.push_back({"stringtolist/many rows", M, 2102, [] {
                 std::string text;
                 for (int i = 0; i < 60; ++i) text += "w" + std::to_string(i) + ",";
                 return std::vector<EXTfldval>{chr(text), integer(1), list({{"n"}}, {}), chr(","),
                                               chr("n")};
               }});
  c.push_back({"caps/long", M, 2111, [big] {
                 return std::vector<EXTfldval>{chr("mcdonald of the " + big), chr("of;the;")};
               }});

  auto at = [&c](const std::string& label) -> Case& {
    for (Case& x : c)
      if (x.label == label) return x;
    throw std::logic_error("no case " + label);
  };
  at("stringtolist").rowsMayStay = 3;
  at("stringtolist/many rows").rowsMayStay = 3;
  at("getuniquewords").rowsMayStay = 3;
  for (const char* label :
       {"setsqlzeronullvalues", "prepareinsert", "prepareinsert/int flag", "prepareupdate"})
    at(label).cinstWritten = true;
  at("loadParamVars").varsWritten = true;
  at("loadCRB").varsWritten = true;
  at("launchProcess").volatileReturn = true;
  for (const char* label : {"listtostring", "listtostring/int target", "listtostring/growing"})
    at(label).silentFailure = true;
  at("barcode39").codes = {kErrFailed};  // the drawing's own failures (font, JPEG) are -2
  // A calculation that fails for want of memory inside the host is -105 "Unknown calculation
  // error", the method's own failure.
  for (const char* label : {"evalcalc", "evalcalc/list"}) at(label).codes = {kErrCalc};
  // $replacePatterns sorts its range list before it builds the result.
  at("replacePatterns").rewrittenFirst = {1};
  at("prepareinsert").codes = {kErrFailed};
  at("prepareinsert/int flag").codes = {kErrFailed};
  return c;
}

// ---------------------------------------------------------------------------------------------
// Running a case

// A non-fatal failure that also clears the flag ok.
#define SWEEP_FAIL(ok) \
  if ((ok = false), true) ADD_FAILURE()

struct Snapshot {
  std::vector<EXTfldval> params, vars;
  EXTfldval cinst;
};

struct Result {
  hostrt::CallOutcome out;
  Snapshot after;
};

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override {
    // $trace writes into the current directory: a directory of this test's own.
    char dir[] = "/tmp/zqsweepXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    traceDir = dir;
    char* old = getcwd(nullptr, 0);
    oldDir = old ? old : ".";
    std::free(old);
    ASSERT_EQ(chdir(dir), 0);
    host.handshake();
    mainInst = hostrt::newInstance("sweep-main");
    scopeInst = hostrt::newInstance("sweep-scope");
    host.construct(kObjMain, mainInst);
    host.construct(kObjScope, scopeInst);
  }
  void TearDown() override {
    hostrt::resetFailures();
    host.destruct(kObjScope, scopeInst);
    host.destruct(kObjMain, mainInst);
    hostrt::clearRecordedCalls();
    std::remove("zq_trace.txt");
    if (chdir(oldDir.c_str()) != 0) ADD_FAILURE() << "chdir back";
    rmdir(traceDir.c_str());
  }
  std::string traceDir, oldDir;

  // Sets the case's context afresh and makes its parameters; before receives deep copies.
  std::vector<EXTfldval> prepare(const Case& c, Snapshot& before) {
    for (const auto& v : c.vars) host.context().setVar(v.first, v.second());
    if (c.cinst) {
      host.context().cinst = c.cinst();
      host.context().hasCinst = true;
    }
    std::vector<EXTfldval> params = c.params();
    before = snapshot(c, params);
    return params;
  }

  Snapshot snapshot(const Case& c, const std::vector<EXTfldval>& params) {
    Snapshot s;
    for (const EXTfldval& p : params) s.params.push_back(p);  // deep copies
    for (const auto& v : c.vars) s.vars.push_back(*host.context().findVar(v.first));
    s.cinst = host.context().cinst;
    return s;
  }

  Result run(const Case& c) {
    Snapshot before;
    std::vector<EXTfldval> params = prepare(c, before);
    Result r;
    const objinst inst = c.object == kObjMain ? mainInst : c.object == kObjScope ? scopeInst : 0;
    r.out = host.call(c.object, inst, c.method, params);
    r.after = snapshot(c, params);
    // The scope keeps what $addref added; start every call from an empty store.
    if (c.object == kObjScope) {
      host.destruct(kObjScope, scopeInst);
      host.construct(kObjScope, scopeInst);
    }
    hostrt::clearRecordedCalls();
    return r;
  }

  static std::string describe(const hostrt::CallOutcome& o) {
    std::ostringstream s;
    s << "return " << (o.hasReturn ? text(o.ret) : std::string("(none)")) << ", errors [";
    for (const auto& e : o.errors) s << e.code << " " << e.detail << "; ";
    s << "]";
    return s.str();
  }

  // True when two runs gave the same outcome and left the same parameters and context.
  static bool sameRun(const Result& a, const Result& b, std::string& why,
                      bool volatileReturn = false) {
    if (volatileReturn && a.out.hasReturn && b.out.hasReturn)
      return a.out.ret.getType() == b.out.ret.getType() && b.out.ret.getLong() > 0 &&
             sameState(a.after, b.after, nullptr, why);
    if (a.out.hasReturn != b.out.hasReturn ||
        (a.out.hasReturn && !same(a.out.ret, b.out.ret, why, "return value"))) {
      if (why.empty()) why = "return value differs";
      return false;
    }
    if (a.out.errors.size() != b.out.errors.size()) {
      why = "error reports differ";
      return false;
    }
    for (size_t i = 0; i < a.out.errors.size(); ++i)
      if (a.out.errors[i].code != b.out.errors[i].code ||
          a.out.errors[i].detail != b.out.errors[i].detail) {
        why = "error reports differ";
        return false;
      }
    return sameState(a.after, b.after, nullptr, why);
  }

  // With c, the writes that c's method makes before a failure are allowed.
  static bool sameState(const Snapshot& a, const Snapshot& b, const Case* c, std::string& why) {
    static const std::set<size_t> kNone;
    const std::set<size_t>& emptied = c ? c->writtenOnFailure : kNone;
    if (a.params.size() != b.params.size()) {
      why = "parameter count differs";
      return false;
    }
    for (size_t i = 0; i < a.params.size(); ++i) {
      if (emptied.count(i + 1) && b.params[i].getType() == fftCharacter &&
          b.params[i].getCharLen() == 0)
        continue;  // emptied first by the method's own rule
      if (c && c->rewrittenFirst.count(i + 1)) continue;
      const std::string where = "parameter " + std::to_string(i + 1);
      if (c && c->rowsMayStay == i + 1) {
        if (!sameList(a.params[i], b.params[i], why, where, true)) return false;
      } else if (!same(a.params[i], b.params[i], why, where)) {
        return false;
      }
    }
    if (!c || !c->varsWritten)
      for (size_t i = 0; i < a.vars.size(); ++i)
        if (!same(a.vars[i], b.vars[i], why, "variable " + std::to_string(i + 1))) return false;
    return (c && c->cinstWritten) || same(a.cinst, b.cinst, why, "$cinst");
  }

  // Checks a run in which a failure was injected against the unfailed run.
  bool check(const Case& c, const Result& base, const Result& r, const Snapshot& before,
             const std::string& mode) {
    bool ok = true;
    const std::string what = c.label + " [" + mode + "]";
    std::string why;
    if (sameRun(base, r, why, c.volatileReturn)) return true;  // the failure was absorbed
    // Otherwise the call must have failed, cleanly.
    bool failed = false;
    if (c.object == 0) {
      failed = c.method == 2000 ? !r.out.hasReturn
                                : r.out.hasReturn && r.out.ret.getType() == fftInteger &&
                                      r.out.ret.getLong() < 0;
      if (failed && r.out.hasReturn && r.out.ret.getLong() != kErrMemory &&
          !c.codes.count(r.out.ret.getLong()))
        SWEEP_FAIL(ok) << what << ": unexpected status " << r.out.ret.getLong();
      if (!r.out.errors.empty()) SWEEP_FAIL(ok) << what << ": a static method reported an error";
    } else {
      // Return value 0; or, for a method whose failure value is the empty text ($evalcalc),
      // that with a report.
      failed =
          r.out.hasReturn && ((r.out.ret.getType() == fftInteger && r.out.ret.getLong() == 0) ||
                              (r.out.ret.getType() == fftCharacter && r.out.ret.getCharLen() == 0 &&
                               !r.out.errors.empty()));
      // A failure is reported (-103 or one of the method's own failure codes), unless the
      // method's rules let it fail silently (22: a result that could not be had).
      bool reported = false;
      for (const auto& e : r.out.errors)
        reported = reported || e.code == kErrMemory || c.codes.count(e.code) > 0;
      if (failed && !reported && !c.silentFailure)
        SWEEP_FAIL(ok) << what << ": failed without a report: " << describe(r.out);
      for (const auto& e : r.out.errors) {
        bool known = e.code == kErrMemory || c.codes.count(e.code) > 0;
        for (const auto& b : base.out.errors) known = known || b.code == e.code;
        if (!known) SWEEP_FAIL(ok) << what << ": unexpected report " << e.code << " " << e.detail;
      }
    }
    if (!failed) {
      SWEEP_FAIL(ok) << what << ": neither the unfailed result nor a failure: " << describe(r.out)
                     << " (unfailed: " << describe(base.out) << "; " << why << ")";
      return false;
    }
    std::string changed;
    if (!sameState(before, r.after, &c, changed))
      SWEEP_FAIL(ok) << what << ": failed (" << describe(r.out) << ") but changed " << changed;
    return ok;
  }

  // Fails allocation point N = 1, 2, ... of one kind until a call completes without reaching N.
  // arm(N) sets the failure up; reached() tells whether the call got to it.
  int sweep(const Case& c, const Result& base, const std::string& kind,
            const std::function<void(long)>& arm, const std::function<bool()>& reached) {
    const long kLimit = 20000;
    for (long n = 1; n <= kLimit; ++n) {
      Snapshot before;
      std::vector<EXTfldval> params = prepare(c, before);
      const objinst inst = c.object == kObjMain ? mainInst : c.object == kObjScope ? scopeInst : 0;
      arm(n);
      Result r;
      r.out = host.call(c.object, inst, c.method, params);
      const bool hit = reached();
      hostrt::resetFailures();
      gFailAt = 0;
      r.after = snapshot(c, params);
      if (c.object == kObjScope) {
        host.destruct(kObjScope, scopeInst);
        host.construct(kObjScope, scopeInst);
      }
      hostrt::clearRecordedCalls();
      if (!hit) {
        std::string why;
        EXPECT_TRUE(sameRun(base, r, why, c.volatileReturn))
            << c.label << " [" << kind << " " << n << ", not reached]: " << why;
        return static_cast<int>(n - 1);
      }
      // One report per case and kind is enough to find the fault.
      if (!check(c, base, r, before, kind + " " + std::to_string(n))) return static_cast<int>(n);
    }
    ADD_FAILURE() << c.label << ": more than " << kLimit << " " << kind << " allocations";
    return static_cast<int>(kLimit);
  }

  hostrt::Host host{armedProc};
  objinst mainInst = 0, scopeInst = 0;
};

// Handle allocations left before the armed failure: probing shows whether the call used up
// the countdown (the probe that fails is the one the call did not reach).
bool handleFailureReached(long n) {
  std::vector<qHandleInfo*> probes;
  bool failed = false;
  for (long i = 0; i < n && !failed; ++i) {
    qHandleInfo* h = HANglobalAlloc(4, qfalse);
    if (h)
      probes.push_back(h);
    else
      failed = true;
  }
  for (qHandleInfo* h : probes) HANglobalFree(h);
  return !failed;
}

TEST_F(Sweep, EveryMethodAtEveryAllocationPoint) {
  std::ostringstream summary;
#ifdef ZQ_SWEEP_LSAN
  // The font configuration, loaded once per process by the first drawing, links its parts by
  // encoded offsets that LeakSanitizer cannot follow: load it where its blocks are not counted.
  {
    __lsan_disable();
    std::vector<EXTfldval> params{binary(""), chr("*A*")};
    host.call(kObjMain, mainInst, 2122, params);
    hostrt::clearRecordedCalls();
    __lsan_enable();
  }
#endif
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.label);
    gEscaped = 0;
    const Result base = run(c);
    ASSERT_EQ(gEscaped, 0) << c.label << ": an exception left the entry procedure unfailed";

    long armedN = 0;
    const int handles = sweep(
        c, base, "handle",
        [&](long n) {
          armedN = n;
          hostrt::setAllocFailure(n, 0);
        },
        [&] { return handleFailureReached(armedN); });
    const int news = sweep(
        c, base, "new", [](long n) { gFailAt = n; }, [] { return gCount >= gFailAt; });

    // Lists refusing rows, columns or both.
    for (int mode = 1; mode <= 3; ++mode) {
      Snapshot before;
      std::vector<EXTfldval> params = prepare(c, before);
      const objinst inst = c.object == kObjMain ? mainInst : c.object == kObjScope ? scopeInst : 0;
      hostrt::setListRefusal(mode & 1, mode & 2);
      Result r;
      r.out = host.call(c.object, inst, c.method, params);
      hostrt::resetFailures();
      r.after = snapshot(c, params);
      if (c.object == kObjScope) {
        host.destruct(kObjScope, scopeInst);
        host.construct(kObjScope, scopeInst);
      }
      hostrt::clearRecordedCalls();
      Case refusing = c;
      refusing.codes.insert(kErrFailed);  // a refused column or line may also be -2
      check(refusing, base, r, before,
            mode == 1   ? "rows refused"
            : mode == 2 ? "cols refused"
                        : "both refused");
    }
    EXPECT_EQ(gEscaped, 0) << c.label << ": exceptions left the entry procedure";
#ifdef ZQ_SWEEP_LSAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << c.label << ": memory leaked";
#endif
    summary << c.label << ": " << handles << " handle, " << news << " new\n";
  }
  std::cout << summary.str();
}

// Construction, copying and destruction (of a scope holding a reference) with operator new
// failing at each point in turn: nothing escapes, and every object is either in the instance
// store or freed (LeakSanitizer), so destroying both instances leaves nothing behind.
TEST_F(Sweep, LifecycleMessagesUnderMemoryFailure) {
  const objinst a = hostrt::newInstance("life-a"), b = hostrt::newInstance("life-b");
  const objinst referenced = hostrt::newInstance("life-ref");
  for (const qlong object : {kObjMain, kObjScope}) {
    for (long n = 1;; ++n) {
      gEscaped = 0;
      gFailAt = n;
      gCount = 0;
      gArmAll = true;
      host.construct(object, a);
      gArmAll = false;
      if (object == kObjScope && host.store().objects.count(a)) {
        std::vector<EXTfldval> params{objref(referenced)};
        host.call(kObjScope, a, 7001, params);
      }
      gArmAll = true;
      host.copy(object, a, b);
      host.destruct(object, a);
      host.destruct(object, b);
      gArmAll = false;
      const bool reached = gCount >= gFailAt;
      gFailAt = 0;
      hostrt::clearRecordedCalls();
      EXPECT_EQ(gEscaped, 0) << object << " allocation " << n;
      EXPECT_EQ(host.store().objects.count(a), 0u) << object << " allocation " << n;
      EXPECT_EQ(host.store().objects.count(b), 0u) << object << " allocation " << n;
      if (!reached || HasFailure()) break;
    }
#ifdef ZQ_SWEEP_LSAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "object " << object;
#endif
  }
}

// Destroying a scope calls "$cleanupRef" of each reference it holds. When memory fails while
// one of those calls is made, that one call fails and the others are still made.
TEST_F(Sweep, EveryReferenceIsCleanedUpWhenMemoryFails) {
  const objinst scope = hostrt::newInstance("cleanup-scope");
  const objinst refs[] = {hostrt::newInstance("cleanup-1"), hostrt::newInstance("cleanup-2"),
                          hostrt::newInstance("cleanup-3")};
  for (long n = 1;; ++n) {
    host.construct(kObjScope, scope);
    for (const objinst ref : refs) {
      std::vector<EXTfldval> params{objref(ref)};
      host.call(kObjScope, scope, 7001, params);
    }
    hostrt::clearRecordedCalls();
    gEscaped = 0;
    gFailAt = n;
    gCount = 0;
    gArmAll = true;
    host.destruct(kObjScope, scope);
    gArmAll = false;
    const bool reached = gCount >= gFailAt;
    gFailAt = 0;
    size_t cleaned = 0;
    for (const auto& call : hostrt::recordedCalls()) cleaned += call.method == "$cleanupRef";
    hostrt::clearRecordedCalls();
    EXPECT_EQ(gEscaped, 0) << "allocation " << n;
    EXPECT_GE(cleaned, reached ? 2u : 3u) << "allocation " << n;
    if (!reached || HasFailure()) break;
  }
}

// A call with more parameters than 16 bits count: the count is held at 32767, so the method
// sees every parameter it reads instead of a count cut to its low 16 bits.
TEST_F(Sweep, ParameterCountBeyondSixteenBits) {
  const qlong kMany = 65538;  // cut to 16 bits: 2
  {
    std::vector<EXTfldval> params(static_cast<size_t>(kMany));
    params[0] = chr("A B");
    params[1] = chr("X Y");
    const auto r = host.call(kObjMain, mainInst, 2101, params);  // $orstring takes exactly 2
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, kErrParams);
    EXPECT_EQ(r.errors[0].detail, "Parameter count must be 2");
    EXPECT_EQ(text(params[1]), "X Y");
  }
  {
    std::vector<EXTfldval> params(static_cast<size_t>(kMany));
    params[0] = chr("  x  ");
    params[1] = chr(" ");
    params[2] = chr("maybe");  // not a boolean: read only when the count is right
    const auto r = host.call(kObjMain, mainInst, 2116, params);  // $trim
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].detail, "Parameter 3 must be of type boolean");
    EXPECT_EQ(text(params[0]), "  x  ");
  }
  {
    // $makeParamRow sees 32767 parameters: the value of the name at 32767 is beyond what it
    // can address, so no row is made (cut to 2 it made a row of one pair).
    std::vector<EXTfldval> params(static_cast<size_t>(kMany));
    for (size_t i = 0; i < params.size(); i += 2) params[i] = chr("c" + std::to_string(i % 7));
    EXPECT_FALSE(host.call(0, 0, 2000, params).hasReturn);
    // Pairs up to the largest even count are all read.
    params.resize(32766);
    params[32764] = chr("last");
    const auto r = host.call(0, 0, 2000, params);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(cell(r.ret, 1, 8), "");
    EXTqlist row;
    r.ret.getList(&row, qfalse);
    EXPECT_EQ(row.colCnt(), 8);
  }
}

}  // namespace

namespace {

// EXTfldval::setList makes its copy of the list first; when the value cannot then take it,
// the copy is freed and the value and the list are as they were.
TEST(SweepHost, SetListKeepsValueAndListWhenMemoryFails) {
  for (const bool ownIt : {false, true}) {
    for (long n = 1;; ++n) {
      EXTfldval value = chr("before");
      EXTqlist source(qfalse);
      str255 name;
      name.set(U"a", 1);
      source.addCol(fftCharacter, 0, 100, &name);
      source.insertRow();
      gCount = 0;
      gFailAt = n;
      gArmed = true;
      bool threw = false;
      try {
        value.setList(&source, ownIt);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      gArmed = false;
      const bool reached = gCount >= gFailAt;
      gFailAt = 0;
      if (threw) {
        EXPECT_EQ(text(value), "before") << n;
        EXPECT_EQ(source.rowCnt(), 1) << n;
        EXPECT_EQ(source.colCnt(), 1) << n;
      } else {
        EXPECT_EQ(value.getType(), fftList) << n;
      }
      if (!reached) break;
    }
#ifdef ZQ_SWEEP_LSAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "setList, ownIt " << ownIt;
#endif
  }
}

}  // namespace
