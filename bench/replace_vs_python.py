#!/usr/bin/env python3
"""Times "$replace" (bench_text_replace) against Python's str.replace on the same texts.

Usage: bench/replace_vs_python.py [path/to/bench_text_replace]

The texts are those of bench/text_replace.cpp: 16,000,000 characters in blocks of 100, each
94 characters of filler and then "{name}" (a hit) or "[name]" (no hit); in the wide variant
each block starts with U+1F600, so that Python stores every character in 4 bytes as the host
does. The ratio is Python's time divided by ours: above 1 means "$replace" is faster. Python's
str.replace answers the text itself when nothing matches, without a copy; "$replace" always
delivers the result into its own value.
"""
import json
import os
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


def best(fn):
    wall, cpu = [], []
    for _ in range(ROUNDS):
        w0, c0 = time.perf_counter(), time.process_time()
        fn()
        wall.append(time.perf_counter() - w0)
        cpu.append(time.process_time() - c0)
    return min(wall) * 1e3, min(cpu) * 1e3


def python_times():
    out = {}
    for name, hits, wide, repl in [("hits_ascii", True, False, "Smith"),
                                   ("nohit_ascii", False, False, "Smith"),
                                   ("hits_wide", True, True, "Smith"),
                                   ("nohit_wide", False, True, "Smith"),
                                   ("hits_longer_ascii", True, False, "Alexander")]:
        text = make_text(hits, wide)
        count = text.count("{name}")
        out[name] = best(lambda: text.replace("{name}", repl)) + (count,)
    return out


def bench_times(binary):
    res = subprocess.run([binary, "--benchmark_filter=BM_Replace|BM_PlainCopy|BM_CopyWarm",
                          "--benchmark_repetitions=%d" % ROUNDS, "--benchmark_format=json",
                          "--benchmark_report_aggregates_only=false"],
                         check=True, capture_output=True, text=True)
    out = {}
    for b in json.loads(res.stdout)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        name = b["run_name"]
        wall, cpu = b["real_time"], b["cpu_time"]  # milliseconds
        prev = out.get(name)
        count = b.get("replacements")
        out[name] = (min(wall, prev[0]) if prev else wall, min(cpu, prev[1]) if prev else cpu,
                     count)
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "build", "bench", "bench_text_replace")
    ours = bench_times(binary)
    py = python_times()
    print("Best of %d runs; times in ms (wall, and CPU in brackets)." % ROUNDS)
    print("method: $replace through the entry procedure (into the same result variable on every call)")
    print("warm:   the replace algorithm into an output buffer already in memory")
    print("%-18s %-6s %9s %9s %9s %9s %7s %7s" %
          ("case", "", "ours", "(cpu)", "Python", "(cpu)", "ratio", "(cpu)"))
    for name, (pw, pc, count) in py.items():
        for kind, family in (("method", "BM_Replace/"), ("warm", "BM_ReplaceWarm/")):
            ow, oc, ocount = ours[family + name]
            if ocount is not None and int(ocount) != count:
                sys.exit("%s: %d replacements, Python counts %d" % (name, int(ocount), count))
            print("%-18s %-6s %9.1f %9.1f %9.1f %9.1f %7.2f %7.2f" %
                  (name, kind, ow, oc, pw, pc, pw / ow, pc / oc))
    cw, cc, _ = ours["BM_PlainCopy"]
    ww, wc, _ = ours["BM_CopyWarm"]
    hw, hc, _ = ours["BM_Replace/hits_ascii"]
    rw, rc, _ = ours["BM_ReplaceWarm/hits_ascii"]
    print("plain copy into a fresh handle: %.1f ms (cpu %.1f); $replace with hits is %.2f times "
          "that (cpu %.2f)" % (cw, cc, hw / cw, hc / cc))
    print("plain copy into a warm buffer: %.1f ms (cpu %.1f); warm replace with hits is %.2f "
          "times that (cpu %.2f)" % (ww, wc, rw / ww, rc / wc))

if __name__ == "__main__":
    main()
