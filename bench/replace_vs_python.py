#!/usr/bin/env python3
"""Times "$replace" (bench_text_replace) against Python's str.replace on the same texts.

Usage: bench/replace_vs_python.py [path/to/bench_text_replace]

The texts are those of bench/text_replace.cpp: 16,000,000 characters in blocks of 100, each
94 characters of filler and then "{name}" (a hit) or "[name]" (no hit); in the wide variant
each block starts with U+1F600, so that Python stores every character in 4 bytes as the host
does. The ratio is Python's time divided by ours: above 1 means "$replace" is faster. Python's
str.replace answers the text itself when nothing matches, without a copy; "$replace" always
delivers the result into its own value.

The two sides are interleaved: each round runs the benchmark program once (its mean time per
call of every case) and then Python once over every case, alternating which goes first, so that both meet
the same machine load. Times are the minimum and the median over the rounds.
"""
import json
import os
import statistics
import subprocess
import sys
import time

LENGTH = 16_000_000
FILLER = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor "
          "incididunt ut labore")[:94]
ROUNDS = 7


def make_text(hits, wide):
    block = ("\U0001F600" + FILLER[1:] if wide else FILLER) + ("{name}" if hits else "[name]")
    return (block * (LENGTH // 100 + 1))[:LENGTH]


CASES = [("hits_ascii", True, False, "Smith"),
         ("nohit_ascii", False, False, "Smith"),
         ("hits_wide", True, True, "Smith"),
         ("nohit_wide", False, True, "Smith"),
         ("hits_longer_ascii", True, False, "Alexander")]


def timed(fn):
    w0, c0 = time.perf_counter(), time.process_time()
    fn()
    return (time.perf_counter() - w0) * 1e3, (time.process_time() - c0) * 1e3


def python_round(texts):
    """One pass of every case: name -> (wall ms, cpu ms)."""
    return {name: timed(lambda: text.replace("{name}", repl))
            for name, (text, repl, _) in texts.items()}


def bench_round(binary):
    """One run of the benchmark program: name -> (wall ms, cpu ms, replacements)."""
    res = subprocess.run([binary, "--benchmark_filter=BM_Replace|BM_PlainCopy|BM_CopyWarm",
                          "--benchmark_format=json"],
                         check=True, capture_output=True, text=True)
    out = {}
    for b in json.loads(res.stdout)["benchmarks"]:
        if b.get("run_type") == "iteration":
            out[b["run_name"]] = (b["real_time"], b["cpu_time"], b.get("replacements"))
    return out


def summary(samples):
    """(min, median) of each of wall and cpu over the rounds."""
    walls = [s[0] for s in samples]
    cpus = [s[1] for s in samples]
    return min(walls), statistics.median(walls), min(cpus), statistics.median(cpus)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "build", "bench", "bench_text_replace")
    texts = {}
    for name, hits, wide, repl in CASES:
        text = make_text(hits, wide)
        texts[name] = (text, repl, text.count("{name}"))
    ours_rounds, py_rounds = [], []
    for r in range(ROUNDS):
        if r % 2 == 0:
            ours_rounds.append(bench_round(binary))
            py_rounds.append(python_round(texts))
        else:
            py_rounds.append(python_round(texts))
            ours_rounds.append(bench_round(binary))
    ours = {}
    for name in ours_rounds[0]:
        mw, dw, mc, dc = summary([o[name] for o in ours_rounds])
        ours[name] = (mw, mc, ours_rounds[0][name][2], dw, dc)
    py = {}
    for name in texts:
        mw, dw, mc, dc = summary([p[name] for p in py_rounds])
        py[name] = (mw, mc, texts[name][2], dw, dc)
    print("%d interleaved rounds; times in ms, the minimum (wall, and CPU in brackets); the ratio "
          "of medians of wall time after it." % ROUNDS)
    print("method: $replace through the entry procedure (into the same result variable on every call)")
    print("warm:   the replace algorithm into an output buffer already in memory")
    print("rates count the 16,000,000 characters of the source text")
    print("%-18s %-6s %9s %9s %9s %9s %7s %7s %8s" %
          ("case", "", "ours", "(cpu)", "Python", "(cpu)", "ratio", "(cpu)", "med.ratio"))
    for name, (pw, pc, count, pdw, _) in py.items():
        for kind, family in (("method", "BM_Replace/"), ("warm", "BM_ReplaceWarm/")):
            ow, oc, ocount, odw, _ = ours[family + name]
            if ocount is not None and int(ocount) != count:
                sys.exit("%s: %d replacements, Python counts %d" % (name, int(ocount), count))
            print("%-18s %-6s %9.1f %9.1f %9.1f %9.1f %7.2f %7.2f %8.2f" %
                  (name, kind, ow, oc, pw, pc, pw / ow, pc / oc, pdw / odw))
    cw, cc = ours["BM_PlainCopy"][:2]
    ww, wc = ours["BM_CopyWarm"][:2]
    hw, hc = ours["BM_Replace/hits_ascii"][:2]
    rw, rc = ours["BM_ReplaceWarm/hits_ascii"][:2]
    print("plain copy into a fresh handle: %.1f ms (cpu %.1f); $replace with hits is %.2f times "
          "that (cpu %.2f)" % (cw, cc, hw / cw, hc / cc))
    print("plain copy into a warm buffer: %.1f ms (cpu %.1f); warm replace with hits is %.2f "
          "times that (cpu %.2f)" % (ww, wc, rw / ww, rc / wc))

if __name__ == "__main__":
    main()
