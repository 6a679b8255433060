"""Interval operations against scalar endpoint logic, on balls that touch, nest,
coincide, hold NaN or reach infinity."""
import math

import numpy as np
import pytest

import quorvex as qv

NAN, INF = math.nan, math.inf


def random_balls(rng, n):
    """Quarter-integer balls (exact endpoints: touching and nesting are common), some
    random doubles (rounded endpoints), and NaN, infinite and zero radii."""
    mid = rng.integers(-8, 8, n) / 4
    rad = rng.integers(0, 6, n) / 4
    rough = rng.random(n) < 0.2
    mid[rough], rad[rough] = rng.standard_normal(rough.sum()), rng.random(rough.sum())
    special = rng.integers(0, 12, n)
    mid[special == 0] = NAN
    rad[special == 1] = NAN
    rad[special == 2] = INF
    mid[special == 3], rad[special == 3] = NAN, INF  # the core's unbounded ball
    mid[special == 4], rad[special == 4] = INF, 0.0
    mid[special == 5], rad[special == 5] = -INF, INF  # endpoints -inf and NaN
    return qv.BallArray(mid, rad)


def ends(m, r):
    lo, hi = m - r, m + r
    return (NAN, NAN) if math.isnan(lo) or math.isnan(hi) else (lo, hi)


def ball(lo, hi):
    """The core's ball of an endpoint pair; NaN ± NaN for no pair, 0 radius at infinity."""
    if math.isnan(lo) or math.isnan(hi) or lo > hi:
        return NAN, NAN
    if lo == hi:
        return lo, 0.0
    return (lo + hi) * 0.5, (hi - lo) * 0.5


# Set relations on [a_lo, a_hi] and [b_lo, b_hi]; a NaN ball answers False to all.
RELATIONS = {
    "contains": lambda a, b: a[0] <= b[0] and b[1] <= a[1],
    "subset": lambda a, b: b[0] <= a[0] and a[1] <= b[1],
    "overlaps": lambda a, b: max(a[0], b[0]) <= min(a[1], b[1]),
    "isdisjoint": lambda a, b: max(a[0], b[0]) > min(a[1], b[1]),
    "certainly_lt": lambda a, b: a[1] < b[0], "certainly_le": lambda a, b: a[1] <= b[0],
    "certainly_gt": lambda a, b: a[0] > b[1], "certainly_ge": lambda a, b: a[0] >= b[1],
    "possibly_lt": lambda a, b: a[0] < b[1], "possibly_le": lambda a, b: a[0] <= b[1],
    "possibly_gt": lambda a, b: a[1] > b[0], "possibly_ge": lambda a, b: a[1] >= b[0],
}
SETS = {
    "intersection": lambda a, b: ball(max(a[0], b[0]), min(a[1], b[1])),
    "hull": lambda a, b: ball(min(a[0], b[0]), max(a[1], b[1])),
}


def same(got, want):
    """Bit equality of a BallArray with (mid, rad) pairs, any NaN matching any NaN."""
    for part, expected in zip((got.mid, got.rad), np.array(want, dtype=np.float64).T):
        expected = expected.reshape(part.shape)
        assert (np.isnan(part) == np.isnan(expected)).all()
        finite = ~np.isnan(part)
        assert part[finite].tobytes() == expected[finite].tobytes()


@pytest.mark.parametrize("seed", range(4))
def test_predicates_and_set_operations_follow_the_endpoints(seed):
    rng = np.random.default_rng(seed)
    x, y = random_balls(rng, 400), random_balls(rng, 400)
    ex = [ends(m, r) for m, r in zip(x.mid.tolist(), x.rad.tolist())]
    ey = [ends(m, r) for m, r in zip(y.mid.tolist(), y.rad.tolist())]
    valid = [not (math.isnan(a[0]) or math.isnan(b[0])) for a, b in zip(ex, ey)]
    for name, relation in RELATIONS.items():
        want = [ok and relation(a, b) for ok, a, b in zip(valid, ex, ey)]
        assert getattr(qv, name)(x, y).tolist() == want, name
        assert getattr(x, name)(y).tolist() == want, name
    for name, operation in SETS.items():
        same(getattr(qv, name)(x, y), [operation(a, b) if ok else (NAN, NAN)
                                       for ok, a, b in zip(valid, ex, ey)])
    left, right = qv.bisect(x)
    same(left, [ball(a[0], m) for a, m in zip(ex, x.mid.tolist())])
    same(right, [ball(m, a[1]) for a, m in zip(ex, x.mid.tolist())])
    same(x.clip(-1.25, 0.5), [ball(min(max(a[0], -1.25), 0.5), min(max(a[1], -1.25), 0.5))
                              for a in ex])
    np.testing.assert_array_equal(qv.width(x), [2 * r for r in x.rad.tolist()])
    np.testing.assert_array_equal(qv.mag(x), [max(abs(a[0]), abs(a[1])) for a in ex])
    np.testing.assert_array_equal(
        qv.mig(x), [NAN if math.isnan(a[0]) else 0.0 if a[0] <= 0 <= a[1] else min(abs(a[0]), abs(a[1]))
                    for a in ex])


@pytest.mark.parametrize("name", [*RELATIONS, *SETS, "clip"])
def test_numbers_are_exact_balls_and_operands_broadcast(name):
    x = random_balls(np.random.default_rng(7), 8).reshape(4, 2, 1)
    numbers = np.array([-1.0, 0.25, 1.5, np.nan, np.inf])
    ball_of_numbers = np.broadcast_to(qv.BallArray(numbers), (4, 2, 5))
    if name == "clip":
        got, want = np.clip(x, numbers, 2), np.clip(np.broadcast_to(x, (4, 2, 5)), ball_of_numbers, 2)
    else:
        # An IntervalArray is a ball operand too, but only a BallArray gives results a class.
        got = getattr(qv, name)(x if name in SETS else x.core.reshape([4, 2, 1]), list(numbers))
        want = getattr(qv, name)(np.broadcast_to(x, (4, 2, 5)), ball_of_numbers)
    if name in SETS or name == "clip":
        same(got, np.stack([want.mid.ravel(), want.rad.ravel()], 1))
    else:
        assert got.tolist() == want.tolist()


def test_membership_and_mistakes():
    x = random_balls(np.random.default_rng(3), 50)
    for y in (0.25, x[7], qv.BallArray(0.5, 0.25), np.nan, 100.0):
        assert (y in x) == bool(qv.contains(x, y).any())
    with pytest.raises(TypeError, match=r"^quorvex\.hull\(\) needs a BallArray operand$"):
        qv.hull(1.0, 2.0)
    with pytest.raises(TypeError, match=r"^quorvex\.contains\(\) takes balls or real numbers, not str$"):
        qv.contains(x, "1")
