#!/usr/bin/env python3
"""Times "$replace" (bench_text_replace) against Python's str.replace on the same texts.

Usage: bench/replace_vs_python.py [path/to/bench_text_replace]

The texts are those of bench/text_replace.cpp: 16,000,000 characters in blocks of 100, each
94 characters of filler and then "{name}" (a hit) or "[name]" (no hit); in the wide variant
each block starts with U+1F600, so that Python stores every character in 4 bytes as the host
does. The ratio is Python's time divided by ours: above 1 means "$replace" is faster.
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
    res = subprocess.run([binary, "--benchmark_filter=BM_Replace|BM_PlainCopy",
                          "--benchmark_repetitions=%d" % ROUNDS, "--benchmark_format=json",
                          "--benchmark_report_aggregates_only=false"],
                         check=True, capture_output=True, text=True)
    out = {}
    for b in json.loads(res.stdout)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        name = b["run_name"].split("/", 1)[-1] if "/" in b["run_name"] else b["run_name"]
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
    print("%-18s %12s %12s %12s %12s %8s %8s" %
          ("case", "$replace ms", "(cpu ms)", "Python ms", "(cpu ms)", "ratio", "cpu"))
    for name, (pw, pc, count) in py.items():
        ow, oc, ocount = ours[name]
        if ocount is not None and int(ocount) != count:
            sys.exit("%s: $replace made %s replacements, Python counts %d" % (name, ocount, count))
        print("%-18s %12.1f %12.1f %12.1f %12.1f %8.2f %8.2f" %
              (name, ow, oc, pw, pc, pw / ow, pc / oc))
    if "BM_PlainCopy" in ours:
        cw, cc, _ = ours["BM_PlainCopy"]
        print("plain copy of the text: %.1f ms (cpu %.1f ms); $replace with hits: %.2f times "
              "that (cpu %.2f)" % (cw, cc, ours["hits_ascii"][0] / cw, ours["hits_ascii"][1] / cc))


if __name__ == "__main__":
    main()
