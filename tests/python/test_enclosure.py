"""Do BallArray results contain the exact range of their operation?

The first-order model does not count rounding, so a result may miss the exact
range by a few ulp of its magnitude, never by more. The exact range is
computed with Fractions from the operands' exact endpoints. Run as a script,
this prints the worst miss of each operation in ulp (the documentation quotes it).
"""
import math
import operator
from fractions import Fraction

import numpy as np
import pytest

import quorvex as qv

N = 300
ALLOWED_ULPS = 4


def _balls(rng, n, exponents, clear_of_zero=False):
    """n balls with midpoints of magnitude 10**e, e drawn from `exponents`, and radii
    that are tiny, comparable, or (adversarially) close to or far above |mid|; below
    |mid| when `clear_of_zero`."""
    mid = rng.choice([-1.0, 1.0], n) * rng.uniform(1, 10, n) * 10.0 ** rng.uniform(*exponents, n)
    kind = rng.integers(0, 3 if clear_of_zero else 4, n)
    rel = np.select([kind == 0, kind == 1, kind == 2],
                    [10.0 ** rng.uniform(-16, -3, n), rng.uniform(0, 0.9, n),
                     1 - 2.0 ** -rng.integers(1, 52, n)],
                    10.0 ** rng.uniform(0, 6, n))  # kind 3: radius far above |mid|
    return qv.BallArray(mid, np.abs(mid) * rel)


def _ends(x):
    """Exact endpoints of every ball of a 1-D BallArray, as Fractions."""
    return [(Fraction(m) - Fraction(r), Fraction(m) + Fraction(r))
            for m, r in zip(x.mid.tolist(), x.rad.tolist())]


def _power_range(lo, hi, n):
    values = [lo ** n, hi ** n] if n > 0 else [1 / lo ** -n, 1 / hi ** -n]
    if n > 0 and n % 2 == 0 and lo < 0 < hi:
        values.append(Fraction(0))
    return min(values), max(values)


def _corners(f):
    def exact(a, b):
        values = [f(p, q) for p in a for q in b]
        return min(values), max(values)
    return exact


# name: (operation, exact range from the endpoints, exponents of the operands, second
# operand: "ball", "divisor" (a ball clear of zero) or "number"; the powers ignore
# theirs and take bases clear of zero where the exponent is negative)
CASES = {
    "sum": (operator.add, lambda a, b: (a[0] + b[0], a[1] + b[1]), (-300, 300), "ball"),
    "difference": (operator.sub, lambda a, b: (a[0] - b[1], a[1] - b[0]), (-300, 300), "ball"),
    "product": (operator.mul, _corners(operator.mul), (-150, 150), "ball"),
    "quotient": (operator.truediv, _corners(operator.truediv), (-150, 150), "divisor"),
    "scaling": (operator.mul, _corners(operator.mul), (-150, 150), "number"),
    "power 2": (lambda x, _: x ** 2, lambda a, _: _power_range(*a, 2), (-150, 150), "number"),
    "power 3": (lambda x, _: x ** 3, lambda a, _: _power_range(*a, 3), (-80, 80), "number"),
    "power -1": (lambda x, _: x ** -1, lambda a, _: _power_range(*a, -1), (-150, 150), "number"),
    "power -2": (lambda x, _: x ** -2, lambda a, _: _power_range(*a, -2), (-100, 100), "number"),
}


def worst_miss(name, seed=0):
    """The largest miss of the exact range, in ulp of the result's magnitude."""
    op, exact, exponents, second = CASES[name]
    rng = np.random.default_rng(seed)
    a = _balls(rng, N, exponents, clear_of_zero=name.startswith("power -"))
    if second == "number":
        s = float(rng.choice([-1.0, 1.0]) * rng.uniform(1, 10) * 10.0 ** rng.uniform(-100, 100))
        result, b_ends = op(a, s), [(Fraction(s), Fraction(s))] * N
    else:
        b = _balls(rng, N, exponents, clear_of_zero=second == "divisor")
        result, b_ends = op(a, b), _ends(b)
    worst = 0.0
    unbounded = np.isinf(result.rad)  # the whole line: nothing to miss
    for a_ends, b_pair, r_ends in zip(_ends(a[~unbounded]), np.array(b_ends)[~unbounded],
                                      _ends(result[~unbounded])):
        lo, hi = exact(a_ends, b_pair)
        miss = max(Fraction(0), r_ends[0] - lo, hi - r_ends[1])
        scale = math.ulp(float(max(abs(lo), abs(hi))))
        worst = max(worst, float(miss / Fraction(scale)))
    return worst


@pytest.mark.parametrize("name", CASES)
def test_results_contain_the_exact_range_up_to_a_few_ulp(name):
    for seed in range(3):
        assert worst_miss(name, seed) <= ALLOWED_ULPS, (name, seed)


if __name__ == "__main__":
    for name in CASES:
        print(f"{name:12s} {max(worst_miss(name, seed) for seed in range(3)):.3g} ulp")
