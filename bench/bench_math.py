"""Elementwise functions on 1e6 inexact elements, as ratios to numpy computing
the same function on both endpoint arrays in the same process.

Runs itself once per pool size (RAYON_NUM_THREADS=1 and 2) and prints, per
function, ours/numpy for each pool size and the two-thread speed-up derived
from those in-run ratios. The ratio to a plain C loop of two library calls per
element comes from the C++ benchmark (bench_math).

    PYTHONPATH=build/<dir>/python python3 bench/bench_math.py
"""
import json
import os
import subprocess
import sys
import time

N = 1_000_000
FUNCTIONS = {
    # name: (numpy function, midpoint range)
    "sqrt": ("sqrt", 1.0, 1000.0),
    "exp": ("exp", -50.0, 50.0),
    "ln": ("log", 1.0, 1000.0),
    "log2": ("log2", 1.0, 1000.0),
    "log10": ("log10", 1.0, 1000.0),
    "abs": ("abs", -100.0, 100.0),
    "sin": ("sin", -100.0, 100.0),
    "cos": ("cos", -100.0, 100.0),
    "tan": ("tan", -100.0, 100.0),
}


def paired_ratio(ours, theirs, rounds=21):
    """Median over rounds of ours/theirs, the two timed back to back in
    alternating order: the machine's speed drifts within seconds, and a ratio
    of two adjacent timings is far steadier than a ratio of two best-ofs."""
    ratios = []
    for r in range(rounds):
        pair = [ours, theirs] if r % 2 == 0 else [theirs, ours]
        times = {}
        for fn in pair:
            t0 = time.perf_counter()
            fn()
            times[fn] = time.perf_counter() - t0
        ratios.append(times[ours] / times[theirs])
    ratios.sort()
    return ratios[len(ratios) // 2]


def measure():
    import numpy as np
    import _quorvex as qv

    rng = np.random.default_rng(1)
    out = {"threads": qv.num_threads()}
    for name, (np_name, lo, hi) in FUNCTIONS.items():
        mids = rng.uniform(lo, hi, N)
        a = qv.array(mids.tolist(), 1e-3)
        lo_end, hi_end = mids - 1e-3, mids + 1e-3
        np_fn = getattr(np, np_name)
        out[name] = paired_ratio(getattr(a, name), lambda: (np_fn(lo_end), np_fn(hi_end)))
    exact = qv.array(rng.uniform(0.0, 1e6, N).tolist(), 0.0)
    mids = np.asarray(exact.values())
    out["sqrt_exact"] = paired_ratio(exact.sqrt, lambda: np.sqrt(mids))
    return out


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--child":
        print(json.dumps(measure()))
        return
    runs = {}
    for threads in ("1", "2"):
        env = dict(os.environ, RAYON_NUM_THREADS=threads)
        proc = subprocess.run([sys.executable, __file__, "--child"], env=env, check=True,
                              capture_output=True, text=True)
        runs[threads] = json.loads(proc.stdout)
    print(f"{N} inexact elements; ours / numpy on both endpoint arrays (median of paired rounds)")
    print(f"{'function':<11}{'1 thread':>10}{'2 threads':>11}{'speed-up':>10}")
    for name in list(FUNCTIONS) + ["sqrt_exact"]:
        r1 = runs["1"][name]
        r2 = runs["2"][name]
        print(f"{name:<11}{r1:>10.3f}{r2:>11.3f}{r1 / r2:>10.2f}")


if __name__ == "__main__":
    main()
