"""Reduction timings as ratios to baselines measured in the same run.

1. The C++ benchmark (build with -DQUORVEX_BUILD_BENCH=ON) against two floors:
   a loop that only reads the same bytes (memory bound) and a loop with one
   dependent addition per element (latency bound).
2. The module's methods against numpy doing the same work on the midpoint and
   radius arrays.

Usage: python3 bench/bench_reduction.py [path/to/bench_reduction | --no-cpp]
(with the module importable, e.g. PYTHONPATH=build/<dir>/python). For numpy's
own speed, run with OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE unset. The
reductions are single-threaded, so numpy's BLAS is held to one thread too
(its idle threads would otherwise spin against the timed thread on a small
machine).
"""
import json
import os
import subprocess
import sys
import timeit

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

SIZES = [1000, 100000, 10000000]
OPS = ["sum", "mean", "dot", "norm", "var", "std", "cumsum", "prod", "min_val", "max_val"]
# Bytes each reduction reads: both runs of one array, or of two for dot.
MEMORY_FLOOR = {op: "floor_memory_2col" for op in OPS}
MEMORY_FLOOR["dot"] = "floor_memory_4col"


def cpp_ratios(binary):
    out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_min_time=0.3"],
                         capture_output=True, text=True, check=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        name, n = b["name"].split("/")
        times[(name[3:], int(n))] = b["cpu_time"] / 1e9 if b["time_unit"] == "ns" else None
    print("C++: seconds per call and ratio to the floors (cpu time)")
    print(f"{'op':>8} {'n':>9} {'time':>10} {'/memory':>8} {'/latency':>9} {'ns/elem':>8}")
    for op in OPS:
        for n in SIZES:
            t = times[(op, n)]
            mem = times[(MEMORY_FLOOR[op], n)]
            lat = times[("floor_latency", n)]
            print(f"{op:>8} {n:>9} {t:10.3e} {t / mem:8.2f} {t / lat:9.2f} {t / n * 1e9:8.2f}")


def best(fn, n):
    number = max(1, int(2e6 // n))
    return min(timeit.repeat(fn, number=number, repeat=5)) / number


def numpy_ratios():
    import numpy as np
    import _quorvex as q

    print("\nmodule vs numpy doing the same work on the midpoint/radius arrays")
    print(f"{'op':>8} {'n':>9} {'module':>10} {'numpy':>10} {'ratio':>7}")
    rng = np.random.default_rng(1)
    for n in SIZES:
        m, r = rng.uniform(0.5, 1.5, n), rng.uniform(0, 1e-6, n)
        m2, r2 = rng.uniform(0.5, 1.5, n), rng.uniform(0, 1e-6, n)
        a = q.array(m.tolist()) + q.array(r.tolist()) * q.array([0.0] * n, 1.0)
        b = q.array(m2.tolist()) + q.array(r2.tolist()) * q.array([0.0] * n, 1.0)

        def np_var():
            mu = np.mean(m)
            d = m - mu
            f = r + np.sum(r) / n
            return np.dot(d, d), np.sum(f * f + 2 * np.abs(d) * f)

        reference = {
            "sum": lambda: (np.sum(m), np.sum(r)),
            "mean": lambda: (np.sum(m) / n, np.sum(r) / n),
            "dot": lambda: (np.dot(m, m2), np.sum(r * r2 + (r * np.abs(m2) + r2 * np.abs(m)))),
            "norm": lambda: (np.dot(m, m), np.sum(r * r + 2 * np.abs(m) * r)),
            "var": np_var,
            "std": np_var,
            "cumsum": lambda: (np.cumsum(m), np.cumsum(r)),
            "prod": lambda: (np.prod(m - r), np.prod(m + r)),
            "min_val": lambda: (np.min(m - r), np.min(m + r)),
            "max_val": lambda: (np.max(m - r), np.max(m + r)),
        }
        for op in OPS:
            mine = (lambda: a.dot(b)) if op == "dot" else getattr(a, op)
            t_mine, t_np = best(mine, n), best(reference[op], n)
            print(f"{op:>8} {n:>9} {t_mine:10.3e} {t_np:10.3e} {t_mine / t_np:7.2f}")


if __name__ == "__main__":
    binary = sys.argv[1] if len(sys.argv) > 1 else "build/bench/bench_reduction"
    if binary == "--no-cpp":
        pass
    elif os.path.exists(binary):
        cpp_ratios(binary)
    else:
        print(f"{binary} not built; skipping the C++ floors")
    numpy_ratios()
