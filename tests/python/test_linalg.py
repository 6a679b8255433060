"""Verified linear algebra: the results contain the solution of every point system.

The hull of an interval system's solution set, and the range of the
determinant (a multilinear function), are reached at vertex systems: each
combination of corner values of the matrix and vector balls. Those systems
are solved exactly with Fractions. Run as a script, this prints how wide the
results are against the exact hull (the documentation quotes it).
"""
import itertools
from fractions import Fraction

import numpy as np
import pytest
from numpy.linalg import LinAlgError

import quorvex as qv


def exact_solve(a, b):
    """Gaussian elimination on Fractions: the solution of a x = b (lists of Fractions)."""
    n = len(a)
    m = [row[:] + [rhs] for row, rhs in zip(a, b)]
    for k in range(n):
        p = next(i for i in range(k, n) if m[i][k] != 0)
        m[k], m[p] = m[p], m[k]
        for i in range(n):
            if i != k and m[i][k] != 0:
                f = m[i][k] / m[k][k]
                m[i] = [x - f * y for x, y in zip(m[i], m[k])]
    return [m[i][n] / m[i][i] for i in range(n)]


def exact_det(a):
    n = len(a)
    if n == 1:
        return a[0][0]
    return sum((-1) ** j * a[0][j] * exact_det([row[:j] + row[j + 1:] for row in a[1:]])
               for j in range(n))


def corners(ball):
    """Both exact endpoints of every ball of a 1-D or 2-D BallArray (nested lists)."""
    return np.vectorize(lambda m, r: (Fraction(m) - Fraction(r), Fraction(m) + Fraction(r)),
                        otypes=[object])(ball.mid, ball.rad)


def vertex_systems(a, b, count=None, rng=None):
    """Vertex systems (a, b): all of them, or `count` drawn at random."""
    ca, cb = corners(a), corners(b)
    n = a.shape[0]
    picks = (itertools.product((0, 1), repeat=n * n + n) if count is None else
             (tuple(rng.integers(0, 2, n * n + n)) for _ in range(count)))
    for pick in picks:
        matrix = [[ca[i, j][pick[i * n + j]] for j in range(n)] for i in range(n)]
        yield matrix, [cb[i][pick[n * n + i]] for i in range(n)]


def inside(value, ball_mid, ball_rad, ulps=4):
    """value lies in the ball, up to a few ulp the first-order model does not count."""
    slack = Fraction(ulps * np.spacing(abs(ball_mid) + ball_rad))
    return abs(value - Fraction(ball_mid)) <= Fraction(ball_rad) + slack


def system(rng, n, rel=1e-3):
    a = rng.normal(size=(n, n)) + n * np.eye(n)
    b = rng.normal(size=n)
    return (qv.BallArray(a, np.abs(a) * rel * rng.random((n, n))),
            qv.BallArray(b, np.abs(b) * rel * rng.random(n)))


def width_ratios(n, seed):
    """Result radius over the exact hull's half-width, for solve and det (all vertices)."""
    rng = np.random.default_rng(seed)
    a, b = system(rng, n)
    x, d = qv.linalg.solve(a, b), qv.linalg.det(a)
    solutions = np.array([exact_solve(m, v) for m, v in vertex_systems(a, b)], dtype=object)
    dets = [exact_det(m) for m, _ in vertex_systems(a, b)]
    for column, mid, rad in zip(solutions.T, x.mid, x.rad):
        assert all(inside(v, mid, rad) for v in column)
    assert all(inside(v, d.mid.item(), d.rad.item()) for v in dets)
    hull = np.array([float((max(c) - min(c)) / 2) for c in solutions.T])
    return x.rad / hull, d.rad.item() / float((max(dets) - min(dets)) / 2)


@pytest.mark.parametrize("n", [2, 3])
def test_solve_and_det_contain_every_vertex_solution(n):
    for seed in range(3):
        solve_ratios, det_ratio = width_ratios(n, seed)
        assert (solve_ratios < 2).all() and det_ratio < 2


@pytest.mark.parametrize("n", [4, 8])
def test_random_vertex_systems_lie_inside(n):
    rng = np.random.default_rng(n)
    a, b = system(rng, n, rel=1e-4)
    x, inverse = qv.linalg.solve(a, b), qv.linalg.inv(a)
    for matrix, rhs in vertex_systems(a, b, 300, rng):
        assert all(inside(v, m, r) for v, m, r in zip(exact_solve(matrix, rhs), x.mid, x.rad))
        column = exact_solve(matrix, [Fraction(int(i == 0)) for i in range(n)])
        assert all(inside(v, m, r) for v, m, r in zip(column, inverse.mid[:, 0],
                                                      inverse.rad[:, 0]))


def test_least_squares_contains_the_point_solutions():
    rng = np.random.default_rng(11)
    a = qv.BallArray(rng.normal(size=(7, 3)), 1e-6)
    b = qv.BallArray(rng.normal(size=7), 1e-6)
    x = qv.linalg.lstsq(a, b)
    for _ in range(20):
        # A point system inside the balls, solved exactly by its normal equations.
        pa = [[Fraction(v) for v in row] for row in a.mid + a.rad * rng.uniform(-1, 1, a.shape)]
        pb = [Fraction(v) for v in b.mid + b.rad * rng.uniform(-1, 1, b.shape)]
        normal = [[sum(r[i] * r[j] for r in pa) for j in range(3)] for i in range(3)]
        point = exact_solve(normal, [sum(r[i] * v for r, v in zip(pa, pb)) for i in range(3)])
        assert all(inside(v, m, r) for v, m, r in zip(point, x.mid, x.rad))
    wide = qv.linalg.lstsq(a.T, b[:3])  # least norm
    assert wide.shape == (7,) and np.allclose(wide.mid, np.linalg.lstsq(a.mid.T, b.mid[:3],
                                                                      rcond=None)[0])


@pytest.mark.parametrize("call,message", [
    (lambda: qv.linalg.solve([[1.0, 2.0], [2.0, 4.0]], [1.0, 1.0]), "Singular matrix"),
    (lambda: qv.linalg.solve(qv.BallArray(np.eye(2), 1.0), [1.0, 1.0]),
     "the system is too wide or too ill-conditioned to verify: its enclosure did not contract "
     "within 12 steps"),
    (lambda: qv.linalg.inv(qv.zeros((2, 3))), "Last 2 dimensions of the array must be square"),
    (lambda: qv.linalg.det(qv.zeros(3)),
     "1-dimensional array given. Array must be at least two-dimensional"),
    (lambda: qv.linalg.lstsq(np.zeros((3, 2)), np.ones(3)), "Singular matrix"),
])
def test_failures_raise_linalg_errors(call, message):
    with pytest.raises(LinAlgError) as info:
        call()
    assert str(info.value) == message


def test_shapes_stacks_and_special_values_follow_numpy():
    rng = np.random.default_rng(2)
    stack = qv.BallArray(rng.normal(size=(2, 3, 3)) + 3 * np.eye(3), 1e-9)
    for b in (np.ones(3), np.ones((3, 2)), np.ones((2, 3, 1))):
        got = np.linalg.solve(stack, b)
        assert got.shape == np.linalg.solve(stack.mid, b).shape
        assert np.allclose(got.mid, np.linalg.solve(stack.mid, b))
    assert np.linalg.inv(stack).shape == (2, 3, 3) and np.linalg.det(stack).shape == (2,)
    assert np.allclose(np.linalg.det(stack).mid, np.linalg.det(stack.mid))
    x, residuals, rank, s = np.linalg.lstsq(qv.BallArray(rng.normal(size=(5, 2))), np.ones(5))
    assert x.shape == (2,) and residuals.shape == (1,) and rank == 2 and s.shape == (2,)
    nan = qv.linalg.solve(qv.BallArray([[1.0, np.nan], [0.0, 1.0]]), [1.0, 1.0])
    assert np.isnan(nan.mid).all() and nan.shape == (2,)
    m = qv.BallArray(rng.normal(size=(3, 4)), 0.1)
    for ord in (None, "fro", 1, -1, np.inf, -np.inf):
        assert np.isclose(qv.linalg.norm(m, ord).mid, np.linalg.norm(m.mid, ord), rtol=0.1)
    for ord in (None, 1, np.inf):
        assert np.allclose(np.linalg.norm(m, ord, axis=1).mid,
                           np.linalg.norm(m.mid, ord, axis=1), rtol=0.1)


if __name__ == "__main__":
    for n in (2, 3):
        ratios = [width_ratios(n, seed) for seed in range(10)]
        solve = np.concatenate([r[0] for r in ratios])
        dets = np.array([r[1] for r in ratios])
        print(f"n={n}: solve radius / hull half-width: median {np.median(solve):.4f}, "
              f"max {solve.max():.4f}; det: median {np.median(dets):.4f}, max {dets.max():.4f}")
