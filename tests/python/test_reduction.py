"""sum, mean, cumsum, var, std, norm, dot, prod, min_val and max_val: the
documented edge cases, and long arrays bit for bit against an oracle that adds
in the order of this processor's kernels."""
import math
import random
import struct

import pytest

import reduction_oracle as oracle
from conftest import bits, run_python, same_bits

INF = math.inf
NAN = math.nan


def make(qv, mids, rads=None):
    """An array with per-element radii (finite, >= 0), built from exact pieces:
    x * (0 +- 1) has midpoint 0 and radius |x|, and adding it to the exact
    midpoints changes nothing else."""
    mids = [float(m) for m in mids]
    if rads is None or not any(rads):
        return qv.array(mids)
    n = len(mids)
    spread = qv.array([float(r) for r in rads]) * qv.array([0.0] * n, 1.0)
    out = qv.array(mids) + spread
    assert same_bits(out.values(), mids) and out.radii() == [float(r) for r in rads]
    return out


def ball_matches(got, want):
    """Bit-exact, except that any NaN matches any NaN."""
    assert isinstance(got, tuple) and len(got) == 2
    for g, w in zip(got, want):
        assert isinstance(g, float)
        assert (math.isnan(g) and math.isnan(w)) or bits(g) == bits(w), (got, want)
    return True


# (method, midpoints, radii, expected (midpoint, radius))
KNOWN = [
    ("sum", [], [], (0.0, 0.0)),
    ("mean", [], [], (NAN, NAN)),
    ("var", [], [], (NAN, NAN)),
    ("std", [], [], (0.0, 0.0)),
    ("norm", [], [], (0.0, 0.0)),
    ("prod", [], [], (1.0, 0.0)),
    ("sum", [1, 2, 3, 4, 5, 6], None, (21.0, 0.0)),
    ("mean", [1, 2], [0.5, 0.25], (1.5, 0.375)),
    ("var", [1, 2, 3, 4], None, (1.25, 0.0)),
    ("std", [1, 2, 3, 4], None, (1.118033988749895, 0.0)),
    ("var", [0], [1], (0.0, 4.0)),
    ("std", [0], [1], (1.0, 1.0)),
    ("norm", [3, 4], None, (5.0, 0.0)),
    ("norm", [3], [1], ((math.sqrt(2) + 4) * 0.5, (4 - math.sqrt(2)) * 0.5)),
    ("prod", [3], [0.5], (3.0, 0.5)),
    ("prod", [2, 3, 4], None, (24.0, 0.0)),
    ("prod", [-1, 2], [1, 0], (-2.0, 2.0)),
    ("prod", [0.1, 3], None, (0.30000000000000004, 2.7755575615628914e-17)),
    ("min_val", [3, 1], [1, 5], (0.0, 4.0)),
    ("max_val", [3, 1], [1, 5], (4.0, 2.0)),
    ("min_val", [NAN, 2], [0, 1], (2.0, 1.0)),
    ("max_val", [2, NAN], [1, 0], (2.0, 1.0)),
    ("min_val", [NAN, NAN], None, (INF, NAN)),
    ("max_val", [NAN], None, (-INF, NAN)),
]


@pytest.mark.parametrize("method,mids,rads,want", KNOWN,
                         ids=[f"{k[0]}-{i}" for i, k in enumerate(KNOWN)])
def test_known_results(qv, method, mids, rads, want):
    assert ball_matches(getattr(make(qv, mids, rads), method)(), want)


def test_infinite_radius_makes_sum_unbounded(qv):
    assert ball_matches(qv.array([1.0, 2.0], INF).sum(), (NAN, INF))


def test_prod_overflow_rounds_lower_end_down(qv):
    # Downward the lower end stays at the largest finite double, so the radius
    # is infinite; a nearest-mode product would give inf - inf = nan.
    assert ball_matches(qv.array([1e300, 1e300]).prod(), (INF, INF))


def test_dot_pairs_elements_in_storage_order(qv):
    a = qv.array([1.0, 2.0, 3.0, 4.0, 5.0, 6.0]).reshape([2, 3])
    b = qv.array([1.0, 1.0, 1.0, 1.0, 1.0, 2.0]).reshape([3, 2])
    assert ball_matches(a.dot(b), (27.0, 0.0))
    assert ball_matches(a.dot(other=b), (27.0, 0.0))
    assert ball_matches(qv.array([1.0, 2.0, 3.0]).dot(qv.array([4.0, 5.0, 6.0])), (32.0, 0.0))
    assert ball_matches(make(qv, [1], [0.5]).dot(make(qv, [2], [0.25])), (2.0, 1.375))
    assert ball_matches(qv.array([]).dot(qv.array([])), (0.0, 0.0))


def test_shape_is_ignored_except_by_cumsum(qv):
    rng = random.Random(5)
    mids = [rng.uniform(-1e6, 1e6) for _ in range(6)]
    flat, grid = qv.array(mids, 0.125), qv.array(mids, 0.125).reshape([2, 3])
    for method in ("sum", "mean", "var", "std", "norm", "prod", "min_val", "max_val"):
        assert same_bits(getattr(flat, method)(), getattr(grid, method)()), method
    c = grid.cumsum()
    assert c.shape() == [2, 3]
    want_m, want_r = oracle.cumsum(mids, [0.125] * 6)
    assert same_bits(c.values(), want_m) and same_bits(c.radii(), want_r)
    assert grid.values() == mids  # the input is untouched


def test_cumsum_running_balls(qv):
    c = make(qv, [1, 2], [0.5, 0.25]).cumsum()
    assert c.values() == [1.0, 3.0] and c.radii() == [0.5, 0.75]
    empty = qv.array([]).cumsum()
    assert empty.shape() == [0] and len(empty) == 0
    # The running sums start at +0.0, and +0.0 + -0.0 is +0.0.
    assert bits(qv.array([-0.0, -0.0]).cumsum().values()[0]) == bits(0.0)


@pytest.mark.parametrize("method,text", [("min_val", "min of empty array"),
                                         ("max_val", "max of empty array")])
def test_extrema_of_empty_array_panic(qv, method, text):
    with pytest.raises(BaseException) as info:
        getattr(qv.array([]), method)()
    assert type(info.value).__name__ == "PanicException"
    assert not isinstance(info.value, Exception)
    assert str(info.value) == text


def test_dot_length_mismatch_panics(qv):
    with pytest.raises(BaseException) as info:
        qv.array([1.0, 2.0, 3.0]).dot(qv.array([1.0, 2.0]))
    assert type(info.value).__name__ == "PanicException"
    assert str(info.value) == ("assertion `left == right` failed: dot: length mismatch\n"
                               "  left: 3\n right: 2")


def test_dot_rejects_non_arrays(qv):
    with pytest.raises(TypeError) as info:
        qv.array([1.0]).dot([1.0])
    assert str(info.value) == ("argument 'other': 'list' object cannot be converted to "
                               "'IntervalArray'")


# --- long arrays, bit for bit ----------------------------------------------------

LENGTHS = [1, 2, 3, 4, 5, 7, 8, 9, 11, 12, 15, 16, 17, 20, 31, 40, 1000, 1003, 1005, 1007]


def spread(rng, n, width=30):
    return [rng.uniform(1, 2) * 2.0 ** rng.randint(-width, width) * rng.choice((-1, 1))
            for _ in range(n)]


def data(n, seed):
    rng = random.Random(seed)
    mids = spread(rng, n)
    rads = [rng.uniform(0, 1e-3) if rng.random() < 0.7 else 0.0 for _ in range(n)]
    return mids, rads


@pytest.mark.parametrize("n", LENGTHS)
@pytest.mark.parametrize("method", ["sum", "mean", "var", "std", "norm"])
def test_single_array_reductions_match_oracle(qv, method, n):
    mids, rads = data(n, n * 31 + len(method))
    got = getattr(make(qv, mids, rads), method)()
    if method == "sum":
        want = oracle.ball(*oracle.sum_endpoints(mids, rads))
    elif method == "var":
        want = oracle.ball(*oracle.variance_endpoints(mids, rads))
    else:
        want = getattr(oracle, method)(mids, rads)
    assert ball_matches(got, want)


@pytest.mark.parametrize("n", LENGTHS)
def test_dot_matches_oracle(qv, n):
    rng = random.Random(n)
    am, bm = spread(rng, n, 8), spread(rng, n, 8)
    ar, br = [rng.uniform(0, 1e-3) for _ in range(n)], [rng.uniform(0, 1e-3) for _ in range(n)]
    got = make(qv, am, ar).dot(make(qv, bm, br))
    assert ball_matches(got, oracle.dot(am, ar, bm, br))


@pytest.mark.parametrize("n", [1, 9, 1005])
def test_cumsum_matches_oracle(qv, n):
    mids, rads = data(n, n)
    c = make(qv, mids, rads).cumsum()
    want_m, want_r = oracle.cumsum(mids, rads)
    assert same_bits(c.values(), want_m) and same_bits(c.radii(), want_r)


def test_oracle_orders_are_distinguishable():
    # Guards the tests above: with such data a kernel using the wrong order
    # could not match the oracle by accident.
    mids, _ = data(1005, 1)
    assert len({bits(f(mids)) for f in (oracle.sum8, oracle.sum4, oracle.sum_in_order)}) == 3
    rng = random.Random(2)
    a, b = spread(rng, 1005, 8), spread(rng, 1005, 8)
    unfused = 0.0
    for x, y in zip(a, b):
        unfused = unfused + x * y
    assert bits(unfused) != bits(oracle.dot_in_order(a, b))
    assert bits(oracle.dot2x4(a, b)) != bits(oracle.dot_in_order(a, b))


# --- prod: directed rounding -----------------------------------------------------

@pytest.mark.parametrize("n", [2, 3, 6, 25, 80])
def test_prod_rounds_outward_exactly(qv, n):
    rng = random.Random(n)
    mids = [rng.uniform(0.5, 2) * rng.choice((-1, 1, 1)) for _ in range(n)]
    rads = [rng.choice((0.0, rng.uniform(0, 0.1))) for _ in range(n)]
    assert ball_matches(make(qv, mids, rads).prod(), oracle.prod(mids, rads))


def test_prod_of_inexact_values_gets_a_radius(qv):
    # 0.1 * 0.2 * 0.3 is no double: the outward-rounded ends must differ.
    mid, rad = qv.array([0.1, 0.2, 0.3]).prod()
    assert rad > 0
    assert ball_matches((mid, rad), oracle.prod([0.1, 0.2, 0.3], [0.0] * 3))


def test_rounding_is_nearest_after_prod(qv):
    qv.array([0.1, 0.2, 0.3, 0.7], 1e-3).prod()
    one, three, a, b = 1.0, 3.0, 0.1, 0.2
    assert struct.pack("<d", one / three) == bytes.fromhex("555555555555d53f")
    assert a + b == 0.30000000000000004
    assert -one / three == -0.3333333333333333


def test_rounding_is_nearest_after_prod_in_fresh_interpreter():
    # Also through the module's own arithmetic afterwards.
    code = (
        "import _quorvex as q\n"
        "q.array([0.1, 3.0, 7.0]).prod()\n"
        "x, y = 1.0, 3.0\n"
        "print((x / y).hex(), (q.array([1.0]) / q.array([3.0])).values()[0].hex())\n"
    )
    out = run_python(code)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == [(1 / 3).hex(), (1 / 3).hex()]


def test_prod_passes_over_nan_products(qv):
    # [0, 2] x [inf, inf]: two of the products are 0 * inf = nan and are skipped.
    assert ball_matches(make(qv, [1, INF], [1, 0]).prod(), (INF, NAN))
    # [0, 0] x [inf, inf]: all four are nan.
    assert ball_matches(qv.array([0.0, INF]).prod(), (NAN, NAN))
