"""array(), IntervalArray(), zeros(), ones(), full(), arange() and linspace()."""
import math

import pytest
from conftest import bits, same_bits


def panic_message(excinfo):
    """The message of a PanicException, checking it is not an ordinary Exception."""
    assert type(excinfo.value).__name__ == "PanicException"
    assert not isinstance(excinfo.value, Exception)
    return str(excinfo.value)


def running_sum(start, stop, step):
    """arange's points: the step added again and again, each sum rounded."""
    out, x = [], start
    while (stop > x) if step > 0 else (stop < x):  # NaN steps count down
        out.append(x)
        x += step
    return out


@pytest.mark.parametrize("make", ["array", "IntervalArray"])
@pytest.mark.parametrize("error", [0.0, -0.0, -1.0, math.nan])
def test_array_stores_values_and_error_as_given(qv, make, error):
    values = [1.0, -2.5, 1e308, 3]
    a = getattr(qv, make)(values, error)
    assert a.shape() == [4]
    assert same_bits(a.values(), [float(v) for v in values])
    # Any error comparing equal to zero (either sign) leaves exact +0.0 radii.
    expected = 0.0 if error == 0.0 else error
    assert same_bits(a.radii(), [expected] * 4)
    assert a.is_exact() is (error == 0.0)


@pytest.mark.parametrize("error", [0.0, 0.5, math.nan])
def test_array_of_nothing_is_empty(qv, error):
    a = qv.array([], error)
    assert a.shape() == [0] and len(a) == 0 and a.is_empty()


def test_array_converts_ints_without_widening(qv):
    big = 2**53 + 1  # rounds to 2**53 as a float; no radius is added for it
    a = qv.array([1, 2, big])
    assert a.values() == [1.0, 2.0, float(big)]
    assert a.is_exact()
    assert qv.IntervalArray([1.0, 2.0], error=0.25).radii() == [0.25, 0.25]


@pytest.mark.parametrize("shape", [[], [0], [2, 0], [3], [2, 3], (1, 1, 4), range(2, 4)])
def test_zeros_has_the_shape_and_positive_zeros(qv, shape):
    a = qv.zeros(shape)
    size = math.prod(shape)
    assert a.shape() == list(shape) and a.ndim() == len(list(shape)) and len(a) == size
    assert all(bits(x) == 0 for x in a.values() + a.radii())


def test_ones(qv):
    a = qv.ones([2, 2])
    assert a.shape() == [2, 2]
    assert a.tolist() == [(1.0, 0.0)] * 4 and a.is_exact()


@pytest.mark.parametrize(
    "value,error", [(1e308, 0.0), (-0.0, 0.0), (-0.0, -0.0), (0.1, 0.2), (1.0, 1e-20), (7, 3)])
def test_full_is_the_ball_of_the_rounded_bounds(qv, value, error):
    lo, hi = value - error, value + error
    m, r = (lo + hi) * 0.5, (hi - lo) * 0.5
    a = qv.full([3, 1], value, error)
    assert a.shape() == [3, 1]
    assert same_bits(a.values(), [m] * 3) and same_bits(a.radii(), [r] * 3)


def test_full_documented_values(qv):
    assert qv.full([2], 3.0, 0.5).tolist() == [(3.0, 0.5), (3.0, 0.5)]
    assert qv.full([1], 0.1, 0.0).tolist() == [(0.1, 0.0)]
    assert qv.full([1], 1e308).values() == [math.inf]
    assert qv.full([1], 1.0, -1.0).radii() == [-1.0]


@pytest.mark.parametrize(
    "start,stop,step",
    [(0, 1, -1), (-1, 1, 0.3), (5, 5, 1), (0, 1e-300, 1e-302), (2, -2, -0.1),
     (0, math.inf, 1e308), (1, 0, math.nan)])
def test_arange_is_the_running_sum(qv, start, stop, step):
    a = qv.arange(start, stop, step)
    expected = running_sum(start, stop, step)
    assert a.shape() == [len(expected)]
    assert same_bits(a.values(), expected) and a.is_exact()


def test_arange_documented_values(qv):
    assert qv.arange(0, 1, 0.25).values() == [0.0, 0.25, 0.5, 0.75]
    assert qv.arange(0, 3).values() == [0.0, 1.0, 2.0]
    assert qv.arange(3, 0, -1).values() == [3.0, 2.0, 1.0]
    assert qv.arange(1, 0).shape() == [0]
    tenths = qv.arange(0, 1, 0.1)
    assert len(tenths) == 11 and tenths.values()[-1] == 0.9999999999999999


@pytest.mark.parametrize("step", [0, 0.0, -0.0])
def test_arange_zero_step_panics(qv, step):
    with pytest.raises(BaseException) as excinfo:
        qv.arange(0, 1, step)
    assert panic_message(excinfo) == "arange: step cannot be zero"


@pytest.mark.parametrize(
    "start,stop,step,where",
    [(9007199254740980.0, 9007199254741000.0, 1, "adding the step 1 to 9007199254740992 "),
     (0, math.inf, 1, "the step 1 is too small to reach an infinite stop"),
     (-math.inf, 0, 1, "starts at -inf and a finite step cannot move it")])
def test_arange_that_never_ends_is_a_value_error(qv, start, stop, step, where):
    with pytest.raises(ValueError, match="^arange: the range never ends: ") as excinfo:
        qv.arange(start, stop, step)
    assert where in str(excinfo.value)


def test_arange_too_large_to_store_is_a_memory_error(qv):
    with pytest.raises(MemoryError, match=r"^arange: 1e\+15 points cannot be stored"):
        qv.arange(0, 1e15)


@pytest.mark.parametrize(
    "start,stop,num",
    [(0, 1, 2), (0.1, 0.7, 7), (5, -3, 9), (0, 1, 1000), (-1e308, 1e308, 4)])
def test_linspace_is_a_product_then_a_sum(qv, start, stop, num):
    d = (stop - start) / float(num - 1)
    expected = [i * d + start for i in range(num)]  # Python never fuses these
    a = qv.linspace(start, stop, num)
    assert a.shape() == [num] and a.is_exact()
    assert same_bits(a.values(), expected)


def test_linspace_documented_values(qv):
    assert qv.linspace(0, 1, 5).values() == [0.0, 0.25, 0.5, 0.75, 1.0]
    assert len(qv.linspace(0, 1)) == 50
    assert qv.linspace(2, 5, 1).values() == [2.0]
    empty = qv.linspace(0, 1, 0)
    assert empty.shape() == [0] and empty.values() == []


def test_linspace_beyond_memory_is_a_memory_error(qv):
    with pytest.raises(MemoryError, match="^linspace: "):
        qv.linspace(0, 1, 2**64 - 1)


@pytest.mark.parametrize("shape", [[2**32, 2**32], [2**64 - 1, 2], [0, 2**32, 2**32], [2**60]])
def test_shapes_that_overflow_are_value_errors(qv, shape):
    with pytest.raises(ValueError, match="too large"):
        qv.zeros(shape)


def test_shape_above_the_largest_layout_panics(qv):
    with pytest.raises(BaseException) as excinfo:
        qv.ones([2**59])
    assert panic_message(excinfo) == "invalid layout: LayoutError"


def test_refused_allocation_is_a_memory_error(qv):
    message = "^memory allocation of 4611686018427387904 bytes failed$"
    with pytest.raises(MemoryError, match=message):
        qv.zeros([2**58])
