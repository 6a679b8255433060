"""The rigorous model against the first-order one and against python-flint.

    PYTHONPATH=build/<dir>/python python3 bench/bench_rigorous.py [--rounds N]

Every round times each case once, its baseline right before or after it (the
order alternates between rounds); the figures are medians over the rounds.

- + - * / and the array-number forms at 10^6 elements (limit 1.25 of the
  first-order model), elementary functions (1.15), sum and dot (1.3), matmul
  of inexact 1024 x 1024 matrices (1.4).
- python-flint's arb at 53 bits on the same data: elementwise at 10^6
  elements (quorvex at least 20 times faster) and arb_mat matmul at n = 256
  (at least 10 times), with the ratio of our radii to python-flint's.
"""
import argparse

import numpy as np

import quorvex as qv

from paired import paired_rounds, print_medians, timed


def balls(rng, shape, rigorous):
    return qv.BallArray(rng.uniform(0.5, 2.0, shape), rng.random(shape) * 1e-6, rigorous=rigorous)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--no-flint", action="store_true")
    args = parser.parse_args()
    rng = np.random.default_rng(1)
    x, y = balls(rng, 10**6, False), balls(rng, 10**6, False)
    rx, ry = x.as_rigorous(), y.as_rigorous()
    m, n = balls(rng, (1024, 1024), False), balls(rng, (1024, 1024), False)
    rm, rn = m.as_rigorous(), n.as_rigorous()

    def pair(f, count=3):
        return (lambda: timed(lambda: f(rx, ry), count), lambda: timed(lambda: f(x, y), count))

    cases = {
        "x + y": pair(lambda a, b: a + b), "x - y": pair(lambda a, b: a - b),
        "x * y": pair(lambda a, b: a * b), "x / y": pair(lambda a, b: a / b),
        "x + 2.5": pair(lambda a, b: a + 2.5), "x * 2.5": pair(lambda a, b: a * 2.5),
        "x / 2.5": pair(lambda a, b: a / 2.5),
        "exp": pair(lambda a, b: a.exp(), 1), "log": pair(lambda a, b: a.log(), 1),
        "sin": pair(lambda a, b: a.sin(), 1), "sqrt": pair(lambda a, b: a.sqrt(), 1),
        "tan": pair(lambda a, b: np.tan(a), 1), "arctan": pair(lambda a, b: np.arctan(a), 1),
        "cbrt": pair(lambda a, b: np.cbrt(a), 1), "log1p": pair(lambda a, b: np.log1p(a), 1),
        "square": pair(lambda a, b: np.square(a), 1), "x ** 1.5": pair(lambda a, b: a ** 1.5, 1),
        "x ** 3": pair(lambda a, b: a ** 3, 1), "abs": pair(lambda a, b: abs(a), 1),
        "hypot": pair(lambda a, b: np.hypot(a, b), 1),
        "arctan2": pair(lambda a, b: np.arctan2(a, b), 1),
        "maximum": pair(lambda a, b: np.maximum(a, b), 1),
        "logaddexp": pair(lambda a, b: np.logaddexp(a, b), 1),
        "sum": pair(lambda a, b: a.sum()), "dot": pair(lambda a, b: a.dot(b)),
        "matmul 1024": (lambda: timed(lambda: rm @ rn), lambda: timed(lambda: m @ n)),
    }
    print_medians(paired_rounds(cases, args.rounds),
                  f"{args.rounds} paired rounds, medians; {qv.core.num_threads()} pool threads",
                  "rigorous", "first order", width=16)
    if args.no_flint:
        return
    import flint
    flint.ctx.prec = 53
    count = 10**6
    fx = [flint.arb(float(a), float(r)) for a, r in zip(rx.mid, rx.rad)]
    fy = [flint.arb(float(a), float(r)) for a, r in zip(ry.mid, ry.rad)]
    small_m, small_n = balls(rng, (256, 256), True), balls(rng, (256, 256), True)
    fm = flint.arb_mat([[flint.arb(float(a), float(r)) for a, r in zip(ma, ra)]
                        for ma, ra in zip(small_m.mid, small_m.rad)])
    fn = flint.arb_mat([[flint.arb(float(a), float(r)) for a, r in zip(ma, ra)]
                        for ma, ra in zip(small_n.mid, small_n.rad)])
    flint_cases = {
        "x * y + x": (lambda: timed(lambda: rx * ry + rx),
                      lambda: timed(lambda: [a * b + a for a, b in zip(fx, fy)])),
        "exp(x)": (lambda: timed(lambda: rx.exp()), lambda: timed(lambda: [a.exp() for a in fx])),
        # A 1 MB result: many calls without a collection first (see paired.timed).
        "matmul 256": (lambda: timed(lambda: small_m @ small_n, 10, collect=False),
                       lambda: timed(lambda: fm * fn, collect=False)),
    }
    print_medians(paired_rounds(flint_cases, max(3, args.rounds // 3)),
                  f"against python-flint at 53 bits ({count} elements)", "quorvex", "flint",
                  width=16)
    ours = (rx * ry + rx).rad
    theirs = np.array([float((a * b + a).rad()) for a, b in zip(fx[:10000], fy[:10000])])
    ratio = ours[:10000] / theirs
    print(f"radius over python-flint's, x * y + x: median {np.median(ratio):.3f}, "
          f"max {ratio.max():.3f}")
    ours = rx.exp().rad[:10000]
    theirs = np.array([float(a.exp().rad()) for a in fx[:10000]])
    print(f"radius over python-flint's, exp(x): median {np.median(ours / theirs):.3f}, "
          f"max {(ours / theirs).max():.3f}")
    product = (small_m @ small_n).rad
    flint_product = fm * fn
    theirs = np.array([[float(flint_product[i, j].rad()) for j in range(256)] for i in range(256)])
    print(f"radius over python-flint's, matmul 256: median {np.median(product / theirs):.3f}, "
          f"max {(product / theirs).max():.3f}")


if __name__ == "__main__":
    main()
