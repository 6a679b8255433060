"""The elementwise engine on views, as ratios timed in one run.

    PYTHONPATH=build/<dir>/python python3 bench/bench_engine.py [--rounds N]

Every round times each case once, its baseline right before or after it (the
order alternates between rounds); the figures are medians over the rounds.

- Views and broadcasting at 10^6 elements (X, Y are 1000 x 1000): X + row,
  X / 3.0, X.T + Y, X[::2] * Y[::2], X.sum(axis=0), X.sum(axis=1), against
  numpy evaluating the same formulas on the midpoint and radius views (the
  limit is 1.1).
- Same-shape contiguous x + y, x * y and x.sin() at 10^6 against the
  IntervalArray call on the cores (the limit is 1.05).
- x[::2], x.T and x[3] against numpy's own view creation on an array of the
  same shape (the limit is 2), at 10^3 and 10^7 elements (O(1): no copy).
- Two Python threads each running sin on its own 10^6-element array, against
  the two calls one after the other (the limit is 0.65 on two cores). Run it
  with RAYON_NUM_THREADS=1: with a pool of two threads every call already
  uses both cores, and two at once can only share them.
"""
import argparse
import threading

import numpy as np

import quorvex as qv

from paired import paired_rounds, print_medians, timed


def balls(rng, shape):
    return qv.BallArray(rng.standard_normal(shape), rng.random(shape) * 1e-3)


def ball_of(lo, hi):
    return (lo + hi) * 0.5, (hi - lo) * 0.5


def numpy_sum(mid, rad, axis):
    total, spread = mid.sum(axis), rad.sum(axis)
    return ball_of(total - spread, total + spread)


def numpy_product(am, ar, bm, br):
    return am * bm, ((np.abs(bm) * ar) + (np.abs(am) * br)) + (ar * br)


def numpy_quotient_by(am, ar, s):
    q = am / s
    return q, (ar + np.abs(q) * 0.0) / (abs(s) - 0.0)


def in_two_threads(f, g):
    threads = [threading.Thread(target=f), threading.Thread(target=g)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=21)
    args = parser.parse_args()
    rng = np.random.default_rng(1)
    X, Y = balls(rng, (1000, 1000)), balls(rng, (1000, 1000))
    row = balls(rng, 1000)
    Xm, Xr, Ym, Yr, rm, rr = X.mid, X.rad, Y.mid, Y.rad, row.mid, row.rad
    x, y = balls(rng, 10**6), balls(rng, 10**6)
    cx, cy = x.core, y.core
    u, v = balls(rng, 10**6), balls(rng, 10**6)
    small, big = balls(rng, (10, 100)), balls(rng, (1000, 10**4))
    small_np, big_np = small.mid.copy(), big.mid.copy()
    views = 20_000

    cases = {
        "X + row": (lambda: timed(lambda: X + row, 3),
                    lambda: timed(lambda: (Xm + rm, Xr + rr), 3)),
        "X / 3.0": (lambda: timed(lambda: X / 3.0, 3),
                    lambda: timed(lambda: numpy_quotient_by(Xm, Xr, 3.0), 3)),
        "X.T + Y": (lambda: timed(lambda: X.T + Y, 3),
                    lambda: timed(lambda: (Xm.T + Ym, Xr.T + Yr), 3)),
        "X[::2] * Y[::2]": (lambda: timed(lambda: X[::2] * Y[::2], 3),
                            lambda: timed(lambda: numpy_product(Xm[::2], Xr[::2], Ym[::2],
                                                                Yr[::2]), 3)),
        "X.sum(axis=0)": (lambda: timed(lambda: X.sum(axis=0), 3),
                          lambda: timed(lambda: numpy_sum(Xm, Xr, 0), 3)),
        "X.sum(axis=1)": (lambda: timed(lambda: X.sum(axis=1), 3),
                          lambda: timed(lambda: numpy_sum(Xm, Xr, 1), 3)),
        "x + y (core)": (lambda: timed(lambda: x + y, 3), lambda: timed(lambda: cx + cy, 3)),
        "x * y (core)": (lambda: timed(lambda: x * y, 3), lambda: timed(lambda: cx * cy, 3)),
        "x.sin() (core)": (lambda: timed(x.sin), lambda: timed(cx.sin)),
        "x[::2], 10^3 (numpy)": (lambda: timed(lambda: small[::2], views, False),
                                 lambda: timed(lambda: small_np[::2], views, False)),
        "x.T, 10^3 (numpy)": (lambda: timed(lambda: small.T, views, False),
                              lambda: timed(lambda: small_np.T, views, False)),
        "x[3], 10^3 (numpy)": (lambda: timed(lambda: small[3], views, False),
                               lambda: timed(lambda: small_np[3], views, False)),
        "x[::2], 10^7 (numpy)": (lambda: timed(lambda: big[::2], views, False),
                                 lambda: timed(lambda: big_np[::2], views, False)),
        "x.T, 10^7 (numpy)": (lambda: timed(lambda: big.T, views, False),
                              lambda: timed(lambda: big_np.T, views, False)),
        "x[3], 10^7 (numpy)": (lambda: timed(lambda: big[3], views, False),
                               lambda: timed(lambda: big_np[3], views, False)),
        "2 threads sin (one after other)": (
            lambda: timed(lambda: in_two_threads(u.sin, v.sin)),
            lambda: timed(lambda: (u.sin(), v.sin()))),
    }
    print_medians(paired_rounds(cases, args.rounds),
                  f"{args.rounds} paired rounds, medians; {qv.core.num_threads()} pool threads",
                  "quorvex", "baseline", width=34)


if __name__ == "__main__":
    main()
