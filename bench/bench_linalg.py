"""Verified linear algebra against numpy and python-flint, as ratios timed in one run.

    PYTHONPATH=build/<dir>/python python3 bench/bench_linalg.py [--rounds N]

Every round times each case once, its baseline right before or after it (the
order alternates between rounds); the figures are medians over the rounds.

- solve with n = 500 and one right-hand side against numpy.linalg.solve on the
  midpoints (the limit is 15), inv with n = 500 against numpy.linalg.inv (8).
- Well-conditioned n = 50 systems with relative radii 1e-8 against
  python-flint's arb_mat.solve at 53 bits (at least 20 times faster), and the
  distribution of our radii over python-flint's (at most 3).
"""
import argparse

import numpy as np

import quorvex as qv

from paired import paired_rounds, print_medians, timed


def system(rng, n, rel):
    a = rng.normal(size=(n, n)) + np.sqrt(n) * np.eye(n)
    b = rng.normal(size=n)
    return qv.BallArray(a, np.abs(a) * rel), qv.BallArray(b, np.abs(b) * rel)


def to_arb(x):
    import flint
    mid, rad = np.atleast_2d(x.mid), np.atleast_2d(x.rad)
    return flint.arb_mat([[flint.arb(m, r) for m, r in zip(row_m, row_r)]
                          for row_m, row_r in zip(mid, rad)])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=11)
    args = parser.parse_args()
    rng = np.random.default_rng(1)
    a, b = system(rng, 500, 1e-8)
    am, bm = a.mid.copy(), b.mid.copy()
    cases = {
        "solve, n = 500 (numpy)": (lambda: timed(lambda: qv.linalg.solve(a, b)),
                                   lambda: timed(lambda: np.linalg.solve(am, bm))),
        "inv, n = 500 (numpy)": (lambda: timed(lambda: qv.linalg.inv(a)),
                                 lambda: timed(lambda: np.linalg.inv(am))),
    }
    try:
        import flint
    except ImportError:
        flint = None
    if flint is not None:
        flint.ctx.prec = 53
        small_a, small_b = system(rng, 50, 1e-8)
        fa, fb = to_arb(small_a), to_arb(small_b[:, None])
        cases["solve, n = 50 (python-flint)"] = (
            # Many calls without a collection first, as for every small case
            # (see paired.timed): the time of a solve, not of page faults.
            lambda: timed(lambda: qv.linalg.solve(small_a, small_b), 50, collect=False),
            lambda: timed(lambda: fa.solve(fb), collect=False))
    print_medians(paired_rounds(cases, args.rounds),
                  f"{args.rounds} paired rounds, medians; {qv.core.num_threads()} pool threads",
                  "quorvex", "baseline", width=30)
    if flint is not None:
        ratios = []
        for _ in range(20):
            sa, sb = system(rng, 50, 1e-8)
            ours = qv.linalg.solve(sa, sb).rad
            theirs = to_arb(sa).solve(to_arb(sb[:, None]))
            rad = np.array([float(theirs[i, 0].rad()) for i in range(50)])
            ratios.append(ours / rad)
        r = np.concatenate(ratios)
        print("radius over python-flint's, 20 systems of n = 50: "
              f"min {r.min():.3f}, median {np.median(r):.3f}, 90th {np.quantile(r, 0.9):.3f}, "
              f"max {r.max():.3f}")


if __name__ == "__main__":
    main()
