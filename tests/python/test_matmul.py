"""IntervalArray.matmul: values, radius formula per exactness, checks, empty shapes, threads."""
import json
import math
import random

import pytest

from conftest import bits, run_python, same_bits

_quorvex = pytest.importorskip("_quorvex")
np = pytest.importorskip("numpy")


def balls(mids, rads, shape):
    """An array with per-element radii, built exactly from dyadic data.

    (r * 1+/-1) - r leaves the ball (0, |r|); adding the exact midpoints gives (mid, r).
    """
    r = _quorvex.array(list(rads))
    spread = r * _quorvex.array([1.0] * len(rads), 1.0) - r
    return (_quorvex.array(list(mids)) + spread).reshape(shape)


def dyadic(count, seed, exact=False):
    rng = random.Random(seed)
    mids = [float(rng.randint(-4, 4)) for _ in range(count)]
    rads = [0.0 if exact else 0.25 * rng.randint(0, 2) for _ in range(count)]
    return mids, rads


def panic_text(a, b):
    """The message of the PanicException that a.matmul(b) raises (not an Exception subclass)."""
    try:
        a.matmul(b)
    except Exception as exc:  # pragma: no cover - a wrong exception class fails here
        pytest.fail(f"expected PanicException, got {type(exc).__name__}: {exc}")
    except BaseException as exc:  # noqa: B036
        assert type(exc).__name__ == "PanicException"
        return str(exc)
    pytest.fail("no exception raised")


def as_matrix(values, shape):
    return np.array(values, dtype=np.float64).reshape(shape)


def test_exact_identity_keeps_values_and_zero_radii():
    a = _quorvex.array([1.0, 2.0, 3.0, 4.0]).reshape([2, 2])
    eye = _quorvex.array([1.0, 0.0, 0.0, 1.0]).reshape([2, 2])
    c = a.matmul(eye)
    assert c.shape() == [2, 2]
    assert same_bits(c.values(), [1.0, 2.0, 3.0, 4.0])
    assert same_bits(c.radii(), [0.0] * 4)
    assert c.is_exact()


def test_uniform_radius_on_a_times_exact_b():
    rng = random.Random(5)
    m, k, n = 4, 9, 3
    bm = [rng.uniform(-10, 10) for _ in range(k * n)]
    a = _quorvex.full([m, k], 2.0, 0.1)
    c = a.matmul(_quorvex.array(bm).reshape([k, n]))
    for i in range(m):
        for j in range(n):
            terms = [0.1 * abs(bm[l * n + j]) for l in range(k)]
            exact = math.fsum(terms)
            got = c.radii()[i * n + j]
            assert abs(got - exact) <= (k + 1) * 2.0**-53 * exact, (i, j, got, exact)


@pytest.mark.parametrize("a_exact,b_exact", [(True, True), (True, False), (False, True),
                                             (False, False)])
# 300 rows run as row blocks of 64 on the pool (the last one 44 rows).
@pytest.mark.parametrize("m,k,n", [(1, 1, 1), (5, 7, 3), (33, 70, 9), (12, 300, 5), (300, 37, 23)])
def test_radius_formula_matches_pure_python(m, k, n, a_exact, b_exact):
    am, ar = dyadic(m * k, 1, a_exact)
    bm, br = dyadic(k * n, 2, b_exact)
    c = balls(am, ar, [m, k]).matmul(balls(bm, br, [k, n]))
    assert c.shape() == [m, n]
    want_mid, want_rad = [], []
    for i in range(m):
        for j in range(n):
            # Dyadic data: every partial sum is exact, so any summation order agrees.
            want_mid.append(sum(am[i * k + l] * bm[l * n + j] for l in range(k)))
            want_rad.append(sum(abs(am[i * k + l]) * br[l * n + j]
                                + ar[i * k + l] * (abs(bm[l * n + j]) + br[l * n + j])
                                for l in range(k)))
    assert same_bits(c.values(), want_mid)
    assert same_bits(c.radii(), want_rad)
    assert c.is_exact() == (not any(ar) and not any(br))


def test_general_data_against_numpy():
    rng = np.random.default_rng(3)
    m, k, n = 40, 300, 30
    am, bm = rng.uniform(-1, 1, (m, k)), rng.uniform(-1, 1, (k, n))
    a = _quorvex.array(am.ravel().tolist(), 1e-3).reshape([m, k])
    b = _quorvex.array(bm.ravel().tolist(), 2e-3).reshape([k, n])
    c = a.matmul(b)
    # Any summation order is allowed, so compare within the worst-case bound.
    bound = (k + 2) * 2.0**-53
    ref_mid = am @ bm
    mid_error = np.abs(as_matrix(c.values(), (m, n)) - ref_mid)
    assert np.all(mid_error <= 2 * bound * (np.abs(am) @ np.abs(bm)))  # both sides round
    ar, br = as_matrix(a.radii(), (m, k)), as_matrix(b.radii(), (k, n))
    ref_rad = np.abs(am) @ br + ar @ (np.abs(bm) + br)
    assert np.all(np.abs(as_matrix(c.radii(), (m, n)) - ref_rad) <= 3 * bound * ref_rad)


def test_row_times_column_is_a_one_by_one_array():
    a = _quorvex.array([1.0, 2.0, 3.0], 0.5).reshape([1, 3])
    b = _quorvex.array([4.0, 5.0, 6.0]).reshape([3, 1])
    c = a.matmul(other=b)
    assert isinstance(c, _quorvex.IntervalArray)
    assert c.shape() == [1, 1]
    assert same_bits(c.values(), [32.0])
    assert same_bits(c.radii(), [0.5 * 15.0])


@pytest.mark.parametrize("a_shape,b_shape,left,right,what", [
    ([2, 3], [2, 2], 3, 2, "matmul: inner dimensions must match"),
    ([4], [4, 1], 1, 2, "matmul requires 2D arrays"),
    ([2, 2, 2], [2, 2], 3, 2, "matmul requires 2D arrays"),
    ([2, 3], [3], 1, 2, "matmul requires 2D arrays"),
    ([3], [4, 5, 6], 1, 2, "matmul requires 2D arrays"),   # A is checked first
    ([2, 4], [4, 1, 1], 3, 2, "matmul requires 2D arrays"),  # ranks before inner sizes
])
def test_checks_raise_panic_with_assertion_text(a_shape, b_shape, left, right, what):
    assert panic_text(_quorvex.zeros(a_shape), _quorvex.zeros(b_shape)) == (
        f"assertion `left == right` failed: {what}\n  left: {left}\n right: {right}")


@pytest.mark.parametrize("m,n", [(2**32, 2**32), (2**30, 2**30), (2**63, 2)])
def test_capacity_overflow(m, n):
    assert panic_text(_quorvex.zeros([m, 0]), _quorvex.zeros([0, n])) == "capacity overflow"


def test_non_array_argument_and_no_operator():
    a = _quorvex.zeros([2, 2])
    with pytest.raises(TypeError) as info:
        a.matmul([1.0])
    assert str(info.value) == (
        "argument 'other': 'list' object cannot be converted to 'IntervalArray'")
    with pytest.raises(TypeError):
        a @ a  # noqa: B018 - no matrix-multiplication slot


@pytest.mark.parametrize("m", [3, 255, 256, 300])
def test_empty_inner_dimension_gives_zero_balls(m):
    c = _quorvex.full([m, 0], 7.0, 1.0).matmul(_quorvex.zeros([0, 4]))
    assert c.shape() == [m, 4]
    assert all(bits(x) == 0 for x in c.values())
    assert all(bits(x) == 0 for x in c.radii())


@pytest.mark.parametrize("m", [0, 5, 256, 300])
def test_no_result_columns_gives_empty_array(m):
    c = _quorvex.full([m, 3], 1.0, 0.5).matmul(_quorvex.full([3, 0], 1.0, 0.5))
    assert c.shape() == [m, 0]
    assert len(c.values()) == 0


def test_special_values_follow_ieee():
    inf, nan = math.inf, math.nan
    # An infinite radius times a zero midpoint gives NaN; a NaN midpoint spreads to its row.
    a = _quorvex.array([0.0, 1.0, nan, 1.0]).reshape([2, 2])
    b = _quorvex.array([1.0, 1.0, 1.0, 1.0], 1e300).scale(1e10).reshape([2, 2])  # (1e10, inf)
    assert b.radii() == [inf] * 4
    c = a.matmul(b)
    mids, rads = c.values(), c.radii()
    assert mids[:2] == [1e10, 1e10] and all(math.isnan(x) for x in mids[2:])
    assert all(math.isnan(x) for x in rads)


# 2 x 2 and 12 x 12 operands: the exactness scan's element loop and its blocks of 64.
@pytest.mark.parametrize("size", [2, 12])
def test_exactness_follows_comparison_with_zero(size):
    count = size * size
    b_mids = [math.inf] + [1.0] * (count - 1)
    b = _quorvex.array(b_mids).reshape([size, size])
    # -0.0 radii leave A exact: no 0 * inf radius term appears.
    a = _quorvex.array([1.0] * count, -0.0).reshape([size, size])
    assert same_bits(a.matmul(b).radii(), [0.0] * count)
    # A NaN radius makes A inexact: the radii become NaN, not 0.
    a = _quorvex.array([1.0] * count, math.nan).reshape([size, size])
    c = a.matmul(_quorvex.ones([size, size]))
    assert c.values() == [float(size)] * count
    assert all(math.isnan(x) for x in c.radii())


_THREAD_SCRIPT = """
import json, random, struct, _quorvex as q
m = {m}
rng = random.Random(11)
k, n = 70, 33
am = [rng.uniform(-1, 1) for _ in range(m * k)]
bm = [rng.uniform(-1, 1) for _ in range(k * n)]
a = q.full([m, k], 0.0, 0.0) + q.array(am, 1e-3).reshape([m, k])
b = q.array(bm, 2e-3).reshape([k, n])
c = a.matmul(b)
pack = lambda xs: struct.pack('<%dd' % len(xs), *xs).hex()
print(json.dumps([q.num_threads(), pack(c.values()), pack(c.radii())]))
"""


@pytest.mark.parametrize("m", [255, 256, 300])
def test_row_blocks_are_identical_for_any_thread_count(m):
    outputs = []
    for threads in ("1", "3"):
        proc = run_python(_THREAD_SCRIPT.format(m=m), {"RAYON_NUM_THREADS": threads})
        assert proc.returncode == 0, proc.stderr
        count, mids, rads = json.loads(proc.stdout)
        assert count == int(threads)
        outputs.append((mids, rads))
    assert outputs[0] == outputs[1]
    # Every row was written: no row is left at the zero-filled start.
    mids = bytes.fromhex(outputs[0][0])
    row = 33 * 8
    assert all(mids[i * row:(i + 1) * row] != bytes(row) for i in range(m))
