"""The elementwise functions square ... rint and arctan2 ... power at 10^6 balls on
one thread, as ratios timed in one run.

    PYTHONPATH=build/<dir>/python python3 bench/bench_functions.py [--rounds N]

Every round times each case once, its baseline right before or after it (the
order alternates between rounds); the figures are medians over the rounds, a
ratio the median of the rounds' ratios (so not always the quotient of the two
median times beside it; the C loop is paired in rounds of its own).

- Each function against numpy's same function applied to the two endpoint
  arrays (np.arctan(lo), np.arctan(hi)); the limit is 2.2 for the monotone
  ones. hypot, logaddexp and arctan2 take the endpoint arrays pairwise.
- maximum, minimum, fmax and fmin against numpy's same function on the
  midpoints and on the radii (the limit is 1.3).
- x ** 1.5 against numpy's lo ** 1.5 and hi ** 1.5 (the limit is 2.5).
- Where an element costs library calls, the same result also against a plain C
  loop making those calls on the endpoint arrays (built here with the system C
  compiler; the column is left out without one): numpy uses SIMD versions of
  many of these functions, while the values here must be the C library's
  scalar ones, so a ratio to the C loop near 1 means the call itself is the
  limit.

The pool is held at one thread (RAYON_NUM_THREADS=1, set here unless given).
"""
import argparse
import ctypes
import os
import subprocess
import tempfile

os.environ.setdefault("RAYON_NUM_THREADS", "1")

import numpy as np  # noqa: E402

import quorvex as qv  # noqa: E402

from paired import paired_rounds, timed  # noqa: E402

N = 1_000_000
RAD = 1e-3

# name: (midpoint range, C library function of the plain loop or None)
UNARY = {
    "cbrt": ((-100, 100), "cbrt"), "exp2": ((-50, 50), "exp2"), "expm1": ((-5, 5), "expm1"),
    "log1p": ((-0.5, 100), "log1p"), "sinh": ((-5, 5), "sinh"), "tanh": ((-5, 5), "tanh"),
    "arcsin": ((-0.9, 0.9), "asin"), "arccos": ((-0.9, 0.9), "acos"),
    "arctan": ((-10, 10), "atan"), "arcsinh": ((-100, 100), "asinh"),
    "arccosh": ((1.5, 100), "acosh"), "arctanh": ((-0.9, 0.9), "atanh"),
    "cosh": ((-5, 5), "cosh"), "deg2rad": ((-360, 360), None), "rad2deg": ((-7, 7), None),
    "sign": ((-1, 1), None), "floor": ((-100, 100), None), "ceil": ((-100, 100), None),
    "trunc": ((-100, 100), None), "rint": ((-100, 100), None), "square": ((-10, 10), None),
    "reciprocal": ((-10, 10), None),
}
BINARY = {"hypot": ((-10, 10), "hypot"), "arctan2": ((-10, 10), "atan2"),
          "logaddexp": ((-10, 10), None)}
EXTREMA = ["maximum", "minimum", "fmax", "fmin"]
LIMITS = {"maximum": 1.3, "minimum": 1.3, "fmax": 1.3, "fmin": 1.3, "x ** 1.5": 2.5}
MONOTONE = {"cbrt", "exp2", "expm1", "log1p", "sinh", "tanh", "arcsin", "arccos", "arctan",
            "arcsinh", "arccosh", "arctanh", "deg2rad", "rad2deg", "sign", "floor", "ceil",
            "trunc", "rint", "hypot", "logaddexp"}

LOOPS = r"""
#include <math.h>
#include <stddef.h>
#define ONE(f) void one_##f(const double* lo, const double* hi, double* a, double* b, size_t n) \
  { for (size_t i = 0; i < n; ++i) { a[i] = f(lo[i]); b[i] = f(hi[i]); } }
#define TWO(f) void two_##f(const double* lo, const double* hi, double* a, double* b, size_t n) \
  { for (size_t i = 0; i < n; ++i) { a[i] = f(lo[i], lo[i + n]); b[i] = f(hi[i], hi[i + n]); } }
ONE(cbrt) ONE(exp2) ONE(expm1) ONE(log1p) ONE(sinh) ONE(tanh) ONE(cosh) ONE(asin) ONE(acos)
ONE(atan) ONE(asinh) ONE(acosh) ONE(atanh) TWO(hypot) TWO(atan2)
void pow_15(const double* lo, const double* hi, double* a, double* b, size_t n)
  { for (size_t i = 0; i < n; ++i) { a[i] = pow(lo[i], 1.5); b[i] = pow(hi[i], 1.5); } }
"""


def c_loops():
    """The plain C loops as a ctypes library, or None without a C compiler."""
    folder = tempfile.mkdtemp(prefix="quorvex-bench-")
    source, library = os.path.join(folder, "loops.c"), os.path.join(folder, "loops.so")
    with open(source, "w") as f:
        f.write(LOOPS)
    try:
        subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", library, source, "-lm"],
                       check=True, capture_output=True)
    except (OSError, subprocess.CalledProcessError):
        return None
    return ctypes.CDLL(library)


def c_loop(loops, symbol, lo, hi):
    """One call of the C loop `symbol` over the endpoint arrays (two operands
    stacked: the first n of each array for x, the next n for y)."""
    fn = getattr(loops, symbol)
    n = lo.size // (2 if symbol.startswith("two_") else 1)
    pointer = ctypes.POINTER(ctypes.c_double)

    def run():
        a, b = np.empty(n), np.empty(n)
        fn(lo.ctypes.data_as(pointer), hi.ctypes.data_as(pointer), a.ctypes.data_as(pointer),
           b.ctypes.data_as(pointer), ctypes.c_size_t(n))
        return a
    return run


def case(ours, base):
    """A paired case from two calls: each timed once per round."""
    return lambda: timed(ours), lambda: timed(base)


def cases(loops, rng):
    """name -> (ours, numpy's) and name -> (ours, the C loop's)."""
    vs_numpy, vs_c = {}, {}

    def ball(lo, hi):
        return qv.BallArray(rng.uniform(lo, hi, N), RAD)

    for name, ((a, b), symbol) in UNARY.items():
        x, f = ball(a, b), getattr(np, name)
        lo, hi = x.lo, x.hi
        vs_numpy[name] = case(lambda f=f, x=x: f(x), lambda f=f, lo=lo, hi=hi: (f(lo), f(hi)))
        if loops is not None and symbol is not None:
            vs_c[name] = case(lambda f=f, x=x: f(x), c_loop(loops, "one_" + symbol, lo, hi))
    for name, ((a, b), symbol) in BINARY.items():
        x, y, f = ball(a, b), ball(a, b), getattr(np, name)
        xlo, xhi, ylo, yhi = x.lo, x.hi, y.lo, y.hi
        vs_numpy[name] = case(lambda f=f, x=x, y=y: f(x, y),
                              lambda f=f, p=(xlo, xhi, ylo, yhi): (f(p[0], p[2]), f(p[1], p[3])))
        if loops is not None and symbol is not None:
            vs_c[name] = case(lambda f=f, x=x, y=y: f(x, y),
                              c_loop(loops, "two_" + symbol, np.concatenate([xlo, ylo]),
                                     np.concatenate([xhi, yhi])))
    x = qv.BallArray(rng.normal(size=N), rng.random(N))
    y = qv.BallArray(rng.normal(size=N), rng.random(N))
    xm, xr, ym, yr = x.mid, x.rad, y.mid, y.rad
    for name in EXTREMA:
        f = getattr(np, name)
        vs_numpy[name] = case(lambda f=f: f(x, y), lambda f=f: (f(xm, ym), f(xr, yr)))
    base = ball(0.5, 100)
    lo, hi = base.lo, base.hi
    vs_numpy["x ** 1.5"] = case(lambda: base ** 1.5, lambda: (lo ** 1.5, hi ** 1.5))
    if loops is not None:
        vs_c["x ** 1.5"] = case(lambda: base ** 1.5, c_loop(loops, "pow_15", lo, hi))
    return vs_numpy, vs_c


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=11)
    args = parser.parse_args()
    vs_numpy, vs_c = cases(c_loops(), np.random.default_rng(1))
    numpy_medians = paired_rounds(vs_numpy, args.rounds)
    c_medians = paired_rounds(vs_c, args.rounds) if vs_c else {}
    print(f"{N} balls, {qv.core.num_threads()} thread(s), target {qv.core._target()}; "
          f"medians of {args.rounds} paired rounds")
    print(f"{'function':<11}{'ours ms':>9}{'numpy ms':>10}{'/numpy':>8}{'limit':>7}"
          f"{'C loop ms':>11}{'/C loop':>9}")
    for name, (o, b, ratio) in numpy_medians.items():
        limit = LIMITS.get(name, 2.2 if name in MONOTONE else None)
        line = f"{name:<11}{o * 1e3:9.2f}{b * 1e3:10.2f}{ratio:8.2f}"
        line += f"{limit:7.1f}" if limit else f"{'':7}"
        if name in c_medians:
            _, c, c_ratio = c_medians[name]
            line += f"{c * 1e3:11.2f}{c_ratio:9.2f}"
        print(line)


if __name__ == "__main__":
    main()
