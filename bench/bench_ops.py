"""End-to-end operator timings: `_quorvex` against the numpy formulas a user
would write on float64 midpoint/radius arrays, and against the memory-bound C++
loop (four runs read, two written into a fresh buffer) from bench_arith.

    PYTHONPATH=build/arith/python python3 bench/bench_ops.py [--cpp build/arith/bench_arith]

Every figure is a ratio measured in this run: ours and numpy's are timed in
paired rounds (back to back, alternating which goes first) and the ratio is the
median over rounds of the ratios within a round; the machine's speed drifts by
tens of percent within seconds, more than a best-of hides.
"""
import argparse
import json
import subprocess
import sys
import tempfile

import numpy as np

import _quorvex as q
from paired import paired_rounds, timed


def paired(ours, theirs, n, rounds=21):
    """Median seconds per call of each, and the median of theirs / ours in a round."""
    number = max(1, 200_000 // max(n, 1)) if n <= 100_000 else 1
    ours(), theirs()  # warm up
    result = paired_rounds({"": (lambda: timed(ours, number, collect=False),
                                 lambda: timed(theirs, number, collect=False))}, rounds)
    t_ours, t_theirs, ratio = result[""]
    return t_ours, t_theirs, 1 / ratio


def best(fn, n):
    return paired(fn, fn, n, rounds=7)[0]


def operands(n, seed):
    rng = np.random.default_rng(seed)
    m = rng.uniform(0.5, 2.0, n)
    r = rng.uniform(0.0, 1e-10, n)
    # (m - r, 0) + (r, r): an inexact array whose stored radii are r.
    a = q.array((m - r).tolist()) + q.array([1.0] * n, 1.0) * q.array(r.tolist())
    return a, np.array(a.values()), np.array(a.radii())


def cpp_baseline(binary):
    """Seconds per call of the C++ baseline loop (best repetition), keyed by n."""
    if not binary:
        return {}
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([binary, "--benchmark_filter=BM_baseline_loop",
                        "--benchmark_repetitions=3", f"--benchmark_out={out.name}",
                        "--benchmark_out_format=json"], capture_output=True, check=True)
        report = json.load(open(out.name))
    times = {}
    for b in report["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        n = int(b["run_name"].split("/")[1])
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        times[n] = min(times.get(n, float("inf")), b["real_time"] * scale)
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpp", help="path of the bench_arith binary, for the C loop baseline")
    parser.add_argument("--sizes", default="8,1000,100000,10000000")
    args = parser.parse_args()
    baseline = cpp_baseline(args.cpp)
    print(f"threads: {q.num_threads()}")
    print(f"{'n':>9} {'op':>6} {'quorvex s':>11} {'numpy s':>11} {'numpy/qv':>9} {'qv/C loop':>10}")
    for n in (int(s) for s in args.sizes.split(",")):
        a, am, ar = operands(n, 1)
        b, bm, br = operands(n, 2)
        cases = {
            "a+b": (lambda: a + b, lambda: (am + bm, ar + br)),
            "a*b": (lambda: a * b,
                    lambda: (am * bm, np.abs(bm) * ar + np.abs(am) * br + ar * br)),
            "a/b": (lambda: a / b,
                    lambda: (am / bm, (ar * br + (np.abs(bm) * ar + np.abs(am) * br))
                             / np.abs(bm * bm - br * br))),
            "a*2.0": (lambda: a * 2.0, lambda: (am * 2.0, ar * 2.0)),
            "-a": (lambda: -a, lambda: (-am, ar.copy())),
        }
        for name, (ours, theirs) in cases.items():
            t_q, t_np, ratio = paired(ours, theirs, n)
            c_loop = f"{t_q / baseline[n]:10.2f}" if n in baseline else f"{'-':>10}"
            print(f"{n:>9} {name:>6} {t_q:11.3e} {t_np:11.3e} {ratio:9.2f} {c_loop}")
        if n == 8:
            x, y = np.ones(8), np.ones(8)
            t_ab, t_xy, ratio = paired(lambda: a + b, lambda: x + y, 8)
            print(f"{8:>9} {'x+y':>6} numpy x + y on 8 floats: {t_xy:.3e} s; "
                  f"a+b / (x+y) = {1 / ratio:.2f}")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
