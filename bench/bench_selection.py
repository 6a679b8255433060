"""np.where and np.clip of BallArrays against numpy's same work on the parts, as
ratios timed in one run.

    RAYON_NUM_THREADS=1 PYTHONPATH=build/<dir>/python python3 bench/bench_selection.py [--rounds N]

At 10^6 elements (the limit is 1.3):

- np.where(c, x, y) against np.where on the midpoints and on the radii, for
  a condition without order (x.mid > y.mid on noise, which branchy selection
  mispredicts half the time), one in a single run (the first third), and one
  true at 2 % of the elements.
- np.clip(x, a, b) against np.clip on the lower and the upper endpoints
  followed by the ball formulas (lo + hi) * 0.5 and (hi - lo) * 0.5, clipping
  about 60 % of the balls, none, or one side only.

Every round times each case once, its baseline right before or after it (the
order alternates between rounds); the figures are medians over the rounds.
"""
import argparse

import numpy as np

import quorvex as qv

from paired import paired_rounds, print_medians, timed


def balls(rng, n):
    return qv.BallArray(rng.standard_normal(n), rng.random(n) * 1e-3)


def numpy_clip(mid, rad, a_min, a_max):
    lo = np.clip(mid - rad, a_min, a_max)
    hi = np.clip(mid + rad, a_min, a_max)
    return (lo + hi) * 0.5, (hi - lo) * 0.5


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=21)
    args = parser.parse_args()
    rng = np.random.default_rng(1)
    n = 10**6
    x, y = balls(rng, n), balls(rng, n)
    xm, xr, ym, yr = x.mid, x.rad, y.mid, y.rad
    conditions = {"unordered": xm > ym, "one run": np.arange(n) < n // 3,
                  "2 % true": rng.random(n) < 0.02}
    bounds = {"-0.5, 0.5": (-0.5, 0.5), "-9, 9": (-9.0, 9.0), "0, None": (0.0, None)}

    cases = {}
    for name, c in conditions.items():
        cases[f"where, {name}"] = (
            lambda c=c: timed(lambda: np.where(c, x, y), 3),
            lambda c=c: timed(lambda: (np.where(c, xm, ym), np.where(c, xr, yr)), 3))
    for name, (a, b) in bounds.items():
        cases[f"clip {name}"] = (lambda a=a, b=b: timed(lambda: np.clip(x, a, b), 3),
                                 lambda a=a, b=b: timed(lambda: numpy_clip(xm, xr, a, b), 3))
    print_medians(paired_rounds(cases, args.rounds),
                  f"10^6 elements, {args.rounds} paired rounds", "BallArray", "numpy")


if __name__ == "__main__":
    main()
