"""Inspection and element access: shapes, precision measures and element readers."""
import math

import pytest
import _quorvex
from hypothesis import given, settings, strategies as st
from conftest import bits, same_bits

any_float = st.floats(allow_nan=True, allow_infinity=True)


def through_bounds(m, r):
    """An element re-derived from its bounds, as every element reader reports it."""
    lo, hi = m - r, m + r
    return (lo + hi) * 0.5, (hi - lo) * 0.5


def relative_error(mids, rads):
    best = 0.0
    for m, r in zip(mids, rads):
        if r == 0.0:
            continue
        if m == 0.0 or math.isnan(m):
            return math.inf
        q = r / abs(m)
        if q > best:
            best = q
    return best


def test_shape_ndim_len_and_emptiness(qv):
    a = qv.zeros([2, 3])
    assert (a.shape(), a.ndim(), len(a), a.is_empty()) == ([2, 3], 2, 6, False)
    z = qv.zeros([])
    assert (z.shape(), z.ndim(), len(z), z.is_empty()) == ([], 0, 1, False)
    assert z.tolist() == [(0.0, 0.0)]
    e = qv.zeros([0])
    assert (e.shape(), len(e), e.is_empty(), e.tolist()) == ([0], 0, True, [])


def test_readers_of_the_documented_array(qv):
    a = qv.array([1.0, 2.0], 0.5)
    assert a.get(1) == (2.0, 0.5) and a[-1] == (2.0, 0.5) and a[0] == (1.0, 0.5)
    assert a.midpoint(0) == 1.0 and a.radius(1) == 0.5
    assert a.tolist() == [(1.0, 0.5), (2.0, 0.5)]
    assert a.values() == [1.0, 2.0] and a.radii() == [0.5, 0.5]


@pytest.mark.parametrize("i", [2, 3, -3, -4, 2**63 - 1, -2**63])
def test_subscript_out_of_range(qv, i):
    a = qv.array([1.0, 2.0], 0.5)
    with pytest.raises(IndexError, match="^index out of range$"):
        a[i]


@pytest.mark.parametrize("idx,size", [(2, 2), (0, 0), (2**64 - 1, 3)])
def test_get_out_of_range_names_index_and_length(qv, idx, size):
    a = qv.zeros([size])
    with pytest.raises(IndexError) as excinfo:
        a.get(idx)
    assert str(excinfo.value) == f"index {idx} out of range for array of length {size}"
    for reader in (a.midpoint, a.radius):
        with pytest.raises(IndexError, match="^index out of range$"):
            reader(idx)


def test_negative_idx_is_the_interpreters_overflow_error(qv):
    with pytest.raises(OverflowError):
        qv.zeros([3]).get(-1)


def test_readers_rederive_while_exports_keep_stored_values(qv):
    a = qv.array([1e308])
    assert a.get(0) == (math.inf, 0.0) and a[0] == (math.inf, 0.0)
    assert a.midpoint(0) == math.inf
    assert a.values() == [1e308] and a.tolist() == [(1e308, 0.0)]


@settings(deadline=None)
@given(m=any_float, r=any_float)
def test_element_readers_go_through_the_bounds(m, r):
    qv = _quorvex
    a = qv.array([0.5, m], r)
    r = r if r != 0.0 else 0.0  # an error equal to zero is stored as +0.0
    assert same_bits(a.tolist()[1], (m, r))
    expected = through_bounds(m, r)
    assert same_bits(a.get(1), expected)
    assert same_bits(a[-1], expected)
    assert same_bits(a.midpoint(1), ((m + r) + (m - r)) * 0.5)
    assert same_bits(a.radius(1), ((m + r) - (m - r)) * 0.5)


@pytest.mark.parametrize(
    "mids,error,expected",
    [([1.0, 2.0], 0.0, True), ([1.0], -0.0, True), ([1.0], math.nan, False), ([], 0.5, True),
     ([3.0], 5e-324, False), ([2.0], -1.0, False)])
def test_is_exact(qv, mids, error, expected):
    assert qv.array(mids, error).is_exact() is expected


def test_negative_zero_radii_are_exact(qv):
    # (-0.0) + (-0.0) - ((-0.0) - (-0.0)) is -0.0: the only way to store one.
    a = qv.full([3], -0.0, -0.0)
    assert all(bits(r) == bits(-0.0) for r in a.radii())
    assert a.is_exact()
    assert not qv.full([3], 0.0, math.inf).is_exact()


@pytest.mark.parametrize(
    "mids,error,expected",
    [([1.0], -2.0, 0.0), ([1.0, 2.0], 0.5, 0.5), ([], 1.0, 0.0), ([1.0], math.nan, 0.0),
     ([1.0], math.inf, math.inf), ([1.0, 2.0], 0.0, 0.0)])
def test_max_radius(qv, mids, error, expected):
    assert qv.array(mids, error).max_radius() == expected


@pytest.mark.parametrize(
    "mids,error",
    [([0.0, 2.0], 1.0), ([4.0], 1.0), ([1.0, 2.0], 0.0), ([3.0, -6.0], 1.5), ([math.nan], 1.0),
     ([-0.0], 1.0), ([1.0, math.inf], 1.0), ([5.0], math.nan), ([], 1.0), ([3.0], -1.0),
     ([1e-300], 1e300)])
def test_max_relative_error(qv, mids, error):
    a = qv.array(mids, error)
    assert same_bits(a.max_relative_error(), relative_error(a.values(), a.radii()))


def test_max_relative_error_documented_values(qv):
    assert qv.array([0.0, 2.0], 1.0).max_relative_error() == math.inf
    assert qv.array([4.0], 1.0).max_relative_error() == 0.25
    assert qv.array([1.0, 2.0]).max_relative_error() == 0.0


def test_relative_error_stops_at_a_zero_midpoint_with_a_radius(qv):
    # The infinite ratio wins even before a NaN ratio further on.
    a = qv.array([2.0, 0.0, math.nan], 1.0)
    assert a.max_relative_error() == math.inf


def test_copy_shares_and_keeps_the_shape(qv):
    a = qv.arange(0, 6).reshape([2, 3])
    b = a.copy()
    assert b.shape() == [2, 3] and b.values() == a.values()
    c = b + 1.0
    assert a.values() == [0.0, 1.0, 2.0, 3.0, 4.0, 5.0]
    assert c.values() == [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]
