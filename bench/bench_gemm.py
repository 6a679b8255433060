"""Matrix product speed beside numpy's float64 `@` (OpenBLAS), measured in the same run.

Run from the repository with the module on PYTHONPATH, numpy's OpenBLAS left to its own
kernel choice:

    env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE PYTHONPATH=build/<dir>/python \
        python3 bench/bench_gemm.py [--sizes 256,512,1024,2048] [--rounds 9]

Each thread count runs in a fresh interpreter, since the worker pool's size is fixed when
it starts (RAYON_NUM_THREADS); OpenBLAS gets the same thread count. The machine's speed
drifts within seconds, so every round times numpy and each of our products back to back
(in a rotating order) and the figures are medians over the rounds of the ratios within a
round:
- GFLOP/s of one exact x exact product (one GEMM) and of numpy `@`, and their ratio (with
  the lowest and highest round beside it);
- matmul time for exact x exact, inexact x exact and inexact x inexact as a multiple of
  one numpy matmul (they do 1, 2 and 3 GEMMs);
- the speed-up of our product from one thread to all threads.
"""
import argparse
import ctypes
import glob
import json
import os
import subprocess
import sys
import time


def openblas():
    """numpy's bundled OpenBLAS, for its kernel name and thread control, if found."""
    import numpy
    root = os.path.dirname(numpy.__file__)
    for path in glob.glob(os.path.join(root, "..", "numpy.libs", "*openblas*")):
        lib = ctypes.CDLL(path)
        for suffix in ("64_", ""):
            if hasattr(lib, f"scipy_openblas_get_corename{suffix}"):
                return lib, suffix
    return None, None


def openblas_description():
    try:
        import threadpoolctl
        info = [i for i in threadpoolctl.threadpool_info() if i.get("internal_api") == "openblas"]
        if info:
            return f"{info[0].get('version')} kernel {info[0].get('architecture')}"
    except ImportError:
        pass
    lib, suffix = openblas()
    if lib is None:
        return "unknown (no OpenBLAS found beside numpy)"
    corename = getattr(lib, f"scipy_openblas_get_corename{suffix}")
    config = getattr(lib, f"scipy_openblas_get_config{suffix}")
    corename.restype = config.restype = ctypes.c_char_p
    return f"kernel {corename().decode()} ({config().decode().strip()})"


CLOCKS = {"wall": time.perf_counter, "cpu": time.process_time}


def sample(fn, calls, clock):
    """Seconds per call over `calls` back-to-back calls."""
    start = clock()
    for _ in range(calls):
        fn()
    return (clock() - start) / calls


def median(xs):
    xs = sorted(xs)
    mid = len(xs) // 2
    return xs[mid] if len(xs) % 2 else 0.5 * (xs[mid - 1] + xs[mid])


def worker(sizes, rounds, clock):
    import numpy as np
    import _quorvex as q
    rng = np.random.default_rng(0)
    threads = q.num_threads()
    rows = []
    for n in sizes:
        am, bm = rng.uniform(-1, 1, (n, n)), rng.uniform(-1, 1, (n, n))
        a_exact = q.array(am.ravel().tolist()).reshape([n, n])
        b_exact = q.array(bm.ravel().tolist()).reshape([n, n])
        a_inexact = q.array(am.ravel().tolist(), 1e-9).reshape([n, n])
        b_inexact = q.array(bm.ravel().tolist(), 1e-9).reshape([n, n])
        cases = {
            "numpy": lambda: am @ bm,
            "exact_exact": lambda: a_exact.matmul(b_exact),
            "inexact_exact": lambda: a_inexact.matmul(b_exact),
            "inexact_inexact": lambda: a_inexact.matmul(b_inexact),
        }
        # Warm up, and size each sample to some 20 ms so that short products are
        # not timed one call at a time.
        calls = {}
        for name, fn in cases.items():
            fn()
            calls[name] = max(1, round(0.02 / max(sample(fn, 1, clock), 1e-6)))
        names = list(cases)
        per_round = []
        for r in range(rounds if n <= 1024 else max(3, rounds // 2)):
            order = names[r % len(names):] + names[:r % len(names)]
            times = {}
            for name in order:
                times[name] = sample(cases[name], calls[name], clock)
                if name == "numpy" and threads > 1:
                    # OpenBLAS's idle threads spin for some 0.1 s after a call
                    # and would take the cores from whatever is timed next.
                    time.sleep(0.3)
            per_round.append(times)
        row = {"n": n}
        for name in names:
            row[name] = median([t[name] for t in per_round])
            if name != "numpy":
                ratios = [t[name] / t["numpy"] for t in per_round]
                row[name + "_ratio"] = median(ratios)
                row[name + "_range"] = [min(ratios), max(ratios)]
        rows.append(row)
    print(json.dumps({"threads": threads, "rows": rows}))


def run_worker(threads, args):
    env = dict(os.environ)
    env["RAYON_NUM_THREADS"] = str(threads)
    env["OPENBLAS_NUM_THREADS"] = str(threads)
    cmd = [sys.executable, __file__, "--worker", "--sizes", args.sizes,
           "--rounds", str(args.rounds), "--clock", args.clock]
    proc = subprocess.run(cmd, env=env, capture_output=True, text=True, check=True)
    return json.loads(proc.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="256,512,1024,2048")
    parser.add_argument("--rounds", type=int, default=9,
                        help="paired rounds per size (half as many, at least 3, above 1024)")
    parser.add_argument("--threads", default=None,
                        help="thread counts to compare (default: 1 and all processors)")
    parser.add_argument("--clock", choices=sorted(CLOCKS), default="wall",
                        help="wall time (default), or process CPU time, which is steadier on "
                             "a busy machine but adds up all threads: use it with --threads 1")
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    if args.worker:
        worker(sizes, args.rounds, CLOCKS[args.clock])
        return

    for var in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE"):
        if var in os.environ:
            print(f"note: {var}={os.environ[var]} is set; numpy runs a slower kernel "
                  "(unset it in this command)")
    print(f"numpy OpenBLAS: {openblas_description()}; clock: {args.clock}")
    counts = ([int(t) for t in args.threads.split(",")] if args.threads
              else sorted({1, len(os.sched_getaffinity(0))}))
    results = {t: run_worker(t, args) for t in counts}

    print(f"\n{'threads':>7} {'n':>5} | {'ours GF/s':>9} {'numpy GF/s':>10} {'ratio':>6} "
          f"{'(range)':>11} | {'ex*ex':>6} {'in*ex':>6} {'in*in':>6}  "
          f"(matmul time / one numpy matmul)")
    for t in counts:
        for row in results[t]["rows"]:
            n = row["n"]
            flops = 2.0 * n ** 3
            ours, theirs = flops / row["exact_exact"] / 1e9, flops / row["numpy"] / 1e9
            lo, hi = row["exact_exact_range"]
            print(f"{results[t]['threads']:>7} {n:>5} | {ours:9.2f} {theirs:10.2f} "
                  f"{1 / row['exact_exact_ratio']:6.2f} ({1 / hi:4.2f}-{1 / lo:4.2f}) | "
                  f"{row['exact_exact_ratio']:6.2f} {row['inexact_exact_ratio']:6.2f} "
                  f"{row['inexact_inexact_ratio']:6.2f}")
    if len(counts) > 1:
        lo, hi = counts[0], counts[-1]
        print(f"\nspeed-up {lo} -> {hi} threads (exact x exact; numpy alongside):")
        for r1, r2 in zip(results[lo]["rows"], results[hi]["rows"]):
            print(f"  n={r1['n']:>5}: ours {r1['exact_exact'] / r2['exact_exact']:.2f}x, "
                  f"numpy {r1['numpy'] / r2['numpy']:.2f}x")


if __name__ == "__main__":
    main()
