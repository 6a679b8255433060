"""BallArray against the core call it wraps and against numpy, as ratios timed in one run.

    PYTHONPATH=build/<dir>/python python3 bench/bench_ballarray.py [--rounds N]

Every round times each case once, its baseline right before or after it (the
order alternates between rounds), so both see the same machine state; the
figures are medians over the rounds: of the per-round ratios, and of the times.

- x + y, x * y, x.sin(), np.sin(x) on 10^6 elements and x @ y on 512 x 512
  (same-shape operands with radii), against the IntervalArray call on the
  cores (the limit is 1.05).
- x + y on 8 elements, time per call over a batch, against numpy's a + b on
  8 floats (the limit is 4).
- x[::2] of 10^7 elements, against numpy slicing and copying both views (the
  limit is 1.5).
"""
import argparse

import numpy as np

import quorvex as qv

from paired import paired_rounds, print_medians, timed


def balls(rng, shape):
    return qv.BallArray(rng.standard_normal(shape), rng.random(shape) * 1e-3)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=21)
    args = parser.parse_args()
    rng = np.random.default_rng(1)
    x, y = balls(rng, 10**6), balls(rng, 10**6)
    cx, cy = x.core, y.core
    m, n = balls(rng, (512, 512)), balls(rng, (512, 512))
    cm, cn = m.core, n.core
    s, t = balls(rng, 8), balls(rng, 8)
    a, b = s.mid.copy(), t.mid.copy()
    big = balls(rng, 10**7)
    big_mid, big_rad = big.mid, big.rad
    batch = 20_000

    cases = {
        "x + y, 10^6 (core)": (lambda: timed(lambda: x + y, 5), lambda: timed(lambda: cx + cy, 5)),
        "x * y, 10^6 (core)": (lambda: timed(lambda: x * y, 5), lambda: timed(lambda: cx * cy, 5)),
        "x.sin(), 10^6 (core)": (lambda: timed(x.sin), lambda: timed(cx.sin)),
        "np.sin(x), 10^6 (core)": (lambda: timed(lambda: np.sin(x)), lambda: timed(cx.sin)),
        "x @ y, 512x512 (core)": (lambda: timed(lambda: m @ n), lambda: timed(lambda: cm.matmul(cn))),
        "x + y, 8 (numpy a + b)": (lambda: timed(lambda: s + t, batch),
                                   lambda: timed(lambda: a + b, batch)),
        "x[::2], 10^7 (numpy both views)": (
            lambda: timed(lambda: big[::2]),
            lambda: timed(lambda: (big_mid[::2].copy(), big_rad[::2].copy()))),
    }
    print_medians(paired_rounds(cases, args.rounds), f"{args.rounds} paired rounds, medians; {qv.core.num_threads()} pool threads", "BallArray",
                  "baseline", width=36)


if __name__ == "__main__":
    main()
