#!/usr/bin/env python3
"""Writes the starting seeds of the fuzz corpora (fuzz/corpus/<harness>/seed-*).

fuzz_methods: one input per method of either object and per static method, in the operation
format of fuzz/fuzz_methods.cpp, plus variants with failing allocations and refused list rows.
fuzz_calc: calculations of fuzz/fuzz_calc.cpp's format.
fuzz_zqhost: tests/valgrind/every_method.jsonl in pieces of a few lines.
The merged corpora that the fuzzers grow from these are what is committed."""
import hashlib
import json
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Operation codes of fuzz_methods.cpp.
CALL, STATIC, VARIABLE, CINST, CONSTRUCT, DESTRUCT, COPY, FAILURES, HANDSHAKE = range(9)
VARIABLES = ["lst", "Row", "a", "b", "oldRow", "iVar", "LST", "x"]
COLTYPES = ["char", "int", "num", "bool", "bin", "date", "list", "row", "int64", "objref"]


def text(s, utf8=True):
    b = s.encode() if utf8 else s.encode("latin-1")
    kind = 0x10 if utf8 else 0x00
    if len(b) < 255:
        return bytes([kind, len(b)]) + b
    return bytes([kind, 255]) + struct.pack("<H", len(b)) + b


def i32(n):
    return bytes([3]) + struct.pack("<i", n)


def i64(n):
    return bytes([5]) + struct.pack("<q", n)


def num(x):
    return bytes([6]) + struct.pack("<d", x)


def boolean(v):
    return bytes([7, 2 if v else 1])


def binary(b):
    return bytes([8, len(b)]) + b


def date(y, m, d):
    return bytes([9]) + struct.pack("<H", y) + bytes([m, d])


def objref(which):
    return bytes([12, which])


def columns(cols):
    out = bytes([len(cols)])
    for name, kind in cols:
        out += bytes([0x80 | COLTYPES.index(kind)]) + bytes([len(name)]) + name.encode()
    return out


def lst(cols, rows, line=1):
    out = bytes([10]) + columns(cols) + bytes([len(rows)])
    for r in rows:
        out += b"".join(r)
    return out + bytes([max(line - 1, 0)])


def row(cols, values):
    return bytes([11]) + columns(cols) + b"".join(values) + bytes([0])


def call(method_id, *params, slot=0):
    m = method_id - 6999 if method_id >= 6999 else method_id - 2099
    return bytes([CALL, slot, m, len(params)]) + b"".join(params)


def static(method_id, *params):
    return bytes([STATIC, method_id - 1999, len(params)]) + b"".join(params)


def variable(name, value):
    return bytes([VARIABLE, VARIABLES.index(name)]) + value


def cinst(row_value):
    return bytes([CINST]) + row_value[1:] + bytes([1])


def failures(nth=0, above_shift=None, rows=False, cols=False):
    flags = (1 if nth else 0) | (2 if above_shift is not None else 0) | (4 if rows else 0) | (
        8 if cols else 0)
    out = bytes([FAILURES, flags])
    if nth:
        out += bytes([nth - 1])
    if above_shift is not None:
        out += bytes([above_shift])
    return out


LONG = "The quick brown fox jumps over the lazy dog. " * 8


def methods_seeds():
    t = lambda s: text(s)
    name_list = lst([("name", "char")], [[t("z")], [t("a")], [t("m")]])
    two_cols = lst([("x", "char"), ("y", "int")], [[t("a"), i32(1)], [t("b"), i32(2)]])
    abc_row = row([("a", "char"), ("b", "int"), ("c", "num")], [t("x"), i32(1), num(2.5)])
    seeds = {
        "error": call(2100, i32(-102), t("Invalid parameters"), t("d"), t("$m")),
        "orstring": call(2101, t("A B C"), t("AXB C")),
        "stringtolist": call(2102, t("a,b,c,d"), i32(2), lst([("x", "char"), ("y", "char")], []),
                             t(","), t("x,y")),
        "listtostring": call(2103, t(""), i32(2), two_cols, t(";"), t("x,y"), boolean(False)),
        "binarysearch": variable("lst", name_list) + call(2104, t("lst"), t("name"), t("m"),
                                                          i32(0), boolean(True)),
        "replacesinglechar": call(2105, t("hello"), i32(1), t("J")),
        "replace": call(2106, t(LONG), t("fox"), t("cat"), t(""), i32(0), i64(3)),
        "removechars": call(2107, t("a1b2c3"), t("123"), boolean(False), t("")),
        "setsecurity": call(2108, t("YNyY"), t("YYyN"), t("")),
        "encode64": call(2109, t("aGVsbG8=")),
        "caps": call(2111, t("the house of the rising sun"), t("of;the;"), boolean(False),
                     boolean(True)),
        "appendstring": call(2112, t("more"), t("text"), t(", ")),
        "encrypt": call(2113, i32(2), t("secret"), t(""), t("key")),
        "encrypt-des": call(2113, i32(0), t("secret"), t(""), t("key")),
        "decrypt": call(2114, i32(4), t("00112233445566778899aabbccddeeff"), t(""), t("key")),
        "getsignature": call(2115, i32(2), t(LONG), binary(b"")),
        "trim": call(2116, t("  xx  "), t(" "), boolean(True), boolean(False)),
        "setsqlzeronullvalues": cinst(row([("C1", "int"), ("C2", "date")], [bytes([14, 1]),
                                                                           date(0, 0, 0)]))
        + call(2117, i32(2)),
        "getuniquewords": call(2118, t("The cat and the hat"), t(";and;"),
                               lst([("w", "char")], []), t("w")),
        "evalcalc": variable("a", t("abc")) + call(2119, t("con(upp(a),' ',len(a)) & 1<2"),
                                                   boolean(False)),
        "prepareinsert": cinst(abc_row) + call(2120, t(""), boolean(False), i32(3), t("b"), t("")),
        "prepareupdate": cinst(abc_row) + variable(
            "oldRow", row([("a", "char"), ("b", "int"), ("c", "num")], [t("y"), i32(1), num(2.5)]))
        + call(2121, t(""), boolean(False), t("oldRow"), t(""), t("")),
        "barcode39": call(2122, binary(b""), t("*ZQ*"), i32(72), i32(1), i32(3), i32(1), i32(20),
                          i32(90), boolean(True), t("Arial"), i32(8), i32(50)),
        "assignrow": call(2123, row([("a", "char"), ("b", "int")], [t(""), i32(0)]),
                          row([("b", "int"), ("a", "char")], [i32(7), t("q")]), boolean(True)),
        "barcodeusps": call(2124, t("00"), t("270"), t("103502"), t("017218940"), t("201561255"),
                            t("")),
        "encodeentities": call(2125, t("<a href='x'>\u00e9 & \u3008</a>")),
        "decodeentities": call(2126, t("&lt;p&gt;&eacute;&amp;&#39;&unknown;")),
        "findpatterns": call(2127, row([("num", "char"), ("word", "char")],
                                       [t("([0-9]+)"), t("(b\\w+)")]), t("abc 123 bat 45 Bob")),
        "replacepatterns": call(2128, lst([("s", "int"), ("e", "int"), ("r", "char")],
                                          [[i32(0), i32(3), t("ABC")], [i32(4), i32(7), t("")]]),
                                t("abc 123 bat")),
        "scope-addref": call(7001, objref(0), slot=1) + call(7001, objref(1), slot=1)
        + bytes([COPY, 1 | (2 << 2)]) + call(7001, objref(2), slot=2) + bytes([DESTRUCT, 1]),
        "scope-error": call(7000, i32(-2), t("m"), t("d"), t("$x"), slot=1),
        "lifecycle": bytes([CONSTRUCT, 2, 0, CONSTRUCT, 3, 1, COPY, 0 | (2 << 2), DESTRUCT, 0,
                            HANDSHAKE]),
        "makeparamrow": static(2000, row([("a", "int")], [i32(1)]), t("b"), t("two"), t("a"),
                               i64(1 << 40)),
        "loadparamvars": variable("a", t("")) + static(
            2001, lst([("c1", "char"), ("c2", "int")], [[t("x"), i32(1)]]), t("c1"), t("a"),
            t("c2"), t("b")),
        "trace": static(2002, t("trace line")),
        "is64bit": static(2003) + static(2005),
        "loadcrb": variable("a", t("")) + static(2004, row([("a", "char"), ("b", "date")],
                                                           [t("loaded"), date(2026, 12, 8)])),
        "launch": static(2006, t("/bin/true"), lst([("arg", "char")], [[t("one")]])),
        "values": call(2112, objref(1), t("x")) + call(2112, date(2026, 1, 31), t("x"))
        + call(2112, bytes([13 | 0x10, 2]) + b"\x89P", t("x")) + call(2112, i64(-5), t("")),
    }
    seeds.update(variant_seeds())
    out = dict(seeds)
    # Every method once more with failures: the first host allocation, one above 64 bytes,
    # and lists refusing rows and columns.
    for name in list(seeds):
        out[name + "-fail1"] = failures(nth=1) + seeds[name]
        out[name + "-refuse"] = failures(rows=True, cols=True) + seeds[name]
        out[name + "-big"] = failures(above_shift=2) + seeds[name]
    return out


def variant_seeds():
    """More argument sets for the methods whose inner paths need well-formed input."""
    t = lambda s: text(s)
    out = {}
    for k, (txt, exc, addr, coll) in enumerate([
            ("mary-jane o'neil mcdonald macbeth van der berg", "", False, False),
            ("de la cruz  john's   book", "of;the;", False, True),
            ("123 ne main st apt 4 po box 9 hc 1 rr 2 sr 3 stn b box#5 nw", "", True, True),
            ("MACHETT MACKAY BELL DU PONT VON TRAPP", "and;", False, False),
            ("école À la plage", "la;", True, False)]):
        out["caps%d" % k] = call(2111, t(txt), t(exc), boolean(addr), boolean(coll))
    for alg in range(6):
        out["encrypt%d" % alg] = call(2113, i32(alg), t("plain text 123"), t(""), t("k" * (alg + 3)))
        out["decrypt%d" % alg] = call(2114, i32(alg), t("0123456789abcdef" * (alg + 1)), t(""),
                                      t("key"))
        out["decryptbin%d" % alg] = call(2114, i32(alg), binary(bytes(range(32))), binary(b""),
                                         t("key"))
    out["decrypt-des-text"] = call(2114, i32(0), t("12 -34 56 +7 -128 0 99 100"), t(""), t("k"))
    for alg in range(3):
        out["signature%d" % alg] = call(2115, i32(alg), binary(b"abc"), t(""))
    for k, fields in enumerate([("00", "270", "103502", "017218940", "201561255"),
                                ("12", "999", "987654321", "123456", "12345"),
                                ("94", "000", "899999", "999999999", ""),
                                ("40", "001", "900000000", "000001", "12345678901"),
                                ("05", "27", "12345", "1", "123")]):
        out["usps%d" % k] = call(2124, *[t(f) for f in fields], t(""))
    out["usps-numbers"] = call(2124, i32(10), i32(270), i32(103502), i32(17218940), i32(0))
    for angle in (0, 180, 270):
        out["barcode%d" % angle] = call(2122, binary(b""), t("*A-Z. $/+%*"), i32(96), i32(2),
                                        i32(5), i32(2), i32(30), i32(angle), boolean(angle != 180),
                                        t("DejaVu Sans"), i32(12), i32(100))
    out["barcode-defaults"] = call(2122, binary(b""), t("*abc123*"))
    out["barcode-nofont"] = call(2122, binary(b""), t("*1*"), i32(72), i32(1), i32(2), i32(1),
                                 i32(10), i32(0), boolean(True), t("No Such Font 12"), i32(6))
    sel = lst([("x", "char"), ("y", "int"), ("z", "num")],
              [[t("a"), i32(1), num(0.5)], [t("b"), i32(2), num(-1e300)]], line=2)
    out["listtostring-selected"] = call(2103, t("old"), i32(3), sel, t(""), t("z,x,y"), i32(1))
    out["stringtolist-tabs"] = call(2102, t("a\tb\tc\n1\t2\t3"), i32(3),
                                    lst([("A", "char"), ("b", "int")], []), t(""), t("a,B,c"))
    out["replace-limits"] = call(2106, t("aaaa" * 70), t("a"), t("bb"), t(""), i32(3), i32(5))
    out["replace-int64"] = call(2106, t("abcabc"), t("bc"), t(""), t(""), i64(-1), i64(1 << 33))
    out["removechars-keep"] = call(2107, t("a1b2c3é"), t("abcé"), boolean(True), t(""))
    out["trim-all"] = call(2116, t("xxhixx"), t("x")) + call(2116, t("   a "), t(" "),
                                                            boolean(False), boolean(True))
    out["appendstring-num"] = call(2112, num(1.25), t("t"), t("|")) + call(2112, i32(7), t(""))
    out["orstring-merge"] = call(2101, t("A C E"), t("AbCdE")) + call(2101, t(""), t("x"))
    out["uniquewords-long"] = call(2118, t("Word word WORD, other; and: the the " * 10), t(";"),
                                   lst([("w", "char")], []), t("w"))
    out["binarysearch-int"] = variable("lst", lst([("n", "int")], [[i32(1)], [i32(5)], [i32(9)]])) \
        + call(2104, t("lst"), t("n"), i32(5), i32(0), boolean(False))
    out["binarysearch-len"] = variable("LST", lst([("s", "char")], [[t("abc")], [t("abd")]])) \
        + call(2104, t("LST"), t("s"), t("abX"), i32(2), boolean(True))
    out["assignrow-list"] = call(2123, lst([("a", "char"), ("b", "int")], [[t(""), i32(0)]]),
                                 lst([("a", "char"), ("c", "int")], [[t("z"), i32(3)]]))
    rowc = row([("pa", "char"), ("pb", "int"), ("pc", "list"), ("pd", "bool")],
               [t("x"), bytes([14, 1]), lst([("q", "char")], []), bytes([14, 3])])
    out["prepareinsert-prefix"] = cinst(rowc) + call(2120, t(""), i32(0), i32(9), t("`pb``x`"),
                                                     t("p"), boolean(True))
    out["prepareupdate-list"] = cinst(rowc) + variable(
        "lst", lst([("pa", "char"), ("pb", "int")], [[t("y"), i32(2)]])) + call(
            2121, t(""), boolean(False), t("lst"), t("pa"), t("p"))
    out["patterns-list"] = call(2127, lst([("a", "char"), ("b", "char")],
                                          [[t("(\d+)-(\d+)"), t("^\s*(\w)")]]),
                                t("  12-34 x 5-6 été"))
    out["patterns-bad"] = call(2127, row([("p", "char")], [t("a{2,1}")]), t("aa")) + call(
        2127, row([("p", "int")], [i32(1)]), t("1"))
    out["replacepatterns-unsorted"] = call(2128, lst([("s", "int"), ("e", "int"), ("r", "int")],
                                                     [[i32(5), i32(2), i32(1)],
                                                      [i32(-3), i32(1), i32(2)]]), t("abcdefg"))
    out["entities-all"] = call(2125, t("&amp; &AMP; &#39; &apos; \" •α")) + call(
        2126, t("&nbsp;&bull;&alpha;&#39;&amp&verylongentityname;&"))
    out["makeparamrow-pairs"] = static(2000, t("a"), i32(1), t("A"), t("x"), t("b"),
                                       lst([("c", "char")], [[t("v")]]))
    out["loadparamvars-listcol"] = variable("lst", lst([("c", "char")], [[t("")]])) + static(
        2001, row([("a", "char")], [t("v")]), t("a"), t("lst.c"), t("zz"), t("x"))
    out["loadcrb-self"] = variable("lst", lst([("lst", "int")], [[i32(4)]])) + static(
        2004, lst([("lst", "int")], [[i32(4)]]))
    out["launch-missing"] = static(2006, t("/nonexistent")) + static(2006) + static(2007)
    out["security-long"] = call(2108, t("Yy" * 140), t("yY" * 140), t(""))
    out["evalcalc-long"] = call(2119, t("1+" * 150 + "1"), boolean(True))
    return out


def calc_seeds():
    var = lambda idx, value: bytes([idx]) + value
    out = {
        "plain": b"\x00" + b"1+2*3-(4/2)",
        "text": b"\x00" + b"con('a',\"b\",upp('c'),low('D'))",
        "functions": b"\x00" + b"mid('hello',2,3)=pos('l','hello') | abs(-1)<int(2.7) & not(0)",
        "minmax": b"\x00" + b"min(1,2,3)+max(4,5)-len('abc')",
        "vars": b"\x02" + var(2, text("abc")) + var(5, i32(12)) + b"len(a)*n",
        "list": b"\x01" + var(2, lst([("c", "char")], [[text("x")], [text("y")]])) + b"lst.c",
        "cinst": b"\x04" + row([("name", "char"), ("n", "int")], [text("Bob"), i32(3)])[1:]
        + b"$cinst.name & $cinst.C2 > 1",
        "makelist": b"\x04" + row([("a", "char")], [text("x")])[1:]
        + b"$cinst.$cols.$makelist($ref.$name)",
        "errors": b"\x00" + b"1/0",
        "unclosed": b"\x00" + b"abs((1+'x",
        "deep": b"\x00" + b"(" * 60 + b"1" + b")" * 60,
        "chain": b"\x00" + b"1" + b"+1" * 300,
        "fail": b"\x10\x03" + b"con('abc','def')",
    }
    return out


def zqhost_seeds():
    lines = open(os.path.join(ROOT, "tests/valgrind/every_method.jsonl")).read().splitlines()
    out = {}
    for k in range(0, len(lines), 3):
        out["requests%03d" % k] = ("\n".join(lines[k:k + 3]) + "\n").encode()
    out["bad"] = b'{"call": "$trim", "params": [{"char": "x"}, {"nope": 1}]}\n[1,[2,[3]]]\n{"call"\n'
    return out


def write(harness, seeds):
    d = os.path.join(ROOT, "fuzz/corpus", harness)
    os.makedirs(d, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(d, "seed-" + name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write("fuzz_methods", methods_seeds())
    write("fuzz_calc", calc_seeds())
    write("fuzz_zqhost", zqhost_seeds())
