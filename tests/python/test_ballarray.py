"""quorvex.BallArray against numpy (data movement) and against the core (numbers)."""
import copy
import operator
import pickle

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from hypothesis.extra import numpy as hnp

import quorvex as qv

FINITE = st.floats(-1e6, 1e6, allow_subnormal=False)
RADII = st.floats(0, 10)


@st.composite
def balls(draw, shape=None):
    shape = draw(hnp.array_shapes(min_dims=0, max_dims=3, max_side=4)) if shape is None else shape
    mid = draw(hnp.arrays(np.float64, shape, elements=FINITE))
    return qv.BallArray(mid, draw(hnp.arrays(np.float64, shape, elements=RADII)))


def same(x, mid, rad):
    """x holds exactly these midpoints and radii (bit for bit, shape included)."""
    mid, rad = np.asarray(mid, np.float64), np.asarray(rad, np.float64)
    assert isinstance(x, qv.BallArray) and x.shape == mid.shape
    assert x.mid.tobytes() == mid.tobytes() and x.rad.tobytes() == rad.tobytes()


def same_core(x, core_array):
    same(x, *qv.to_numpy(core_array))


@settings(max_examples=200, deadline=None)
@given(data=st.data(), x=balls())
def test_indexing_is_numpy_on_both_views(data, x):
    keys = [hnp.basic_indices(x.shape, allow_newaxis=True)]
    if x.ndim:
        keys += [hnp.arrays(np.bool_, x.shape),
                 hnp.integer_array_indices(x.shape, result_shape=hnp.array_shapes(max_dims=2))]
    key = data.draw(st.one_of(keys))
    same(x[key], x.mid[key], x.rad[key])
    if x.ndim:
        assert [r.shape for r in x] == [x.shape[1:]] * len(x)
        same(list(x)[-1], x.mid[-1], x.rad[-1])


def test_same_shape_operations_are_the_core_bits():
    rng = np.random.default_rng(5)
    x = qv.BallArray(rng.normal(size=(3, 4)), rng.random((3, 4)) * 0.1)
    y = qv.BallArray(rng.normal(size=(3, 4)) + 3, rng.random((3, 4)) * 0.1)
    a, b = x.core, y.core
    for got, expected in [
            (x + y, a + b), (x - y, a - b), (x / y, a / b), (-x, -a),
            (abs(x), abs(a)), (np.sin(x), a.sin()), (np.log(y), b.ln()), (x.exp(), a.exp()),
            (np.sqrt(y), b.sqrt()), (np.log2(y), b.log2()), (np.log10(y), b.log10()),
            (np.cos(x), a.cos()), (np.tan(x), a.tan()), (np.negative(x), -a),
            (np.subtract(x, y), a - b), (np.true_divide(x, y), a / b),
            (x @ y.T, a.matmul(qv.from_numpy(y.mid.T, y.rad.T))),
            (x ** 0, qv.core.ones([3, 4]))]:
        same_core(got, expected)
    # The product rounds every operation, on every target (the core's may fuse).
    m = x.mid * y.mid
    r = ((np.abs(y.mid) * x.rad) + (np.abs(x.mid) * y.rad)) + (x.rad * y.rad)
    same(x * y, m, r)
    # Results of the core and reshapes are not copied.
    assert qv.BallArray(a).core is a and (x + y).shape == (3, 4)
    assert np.shares_memory(x.reshape(-1).mid, x.mid) and x.reshape(2, -1).shape == (2, 6)


def test_whole_array_reductions_are_the_core_bits():
    rng = np.random.default_rng(7)
    x = qv.BallArray(rng.normal(size=(50, 41)), rng.random((50, 41)) * 1e-3)
    y = qv.BallArray(rng.normal(size=2050), 1e-3)
    a = x.core
    for name, method in [("sum", "sum"), ("mean", "mean"), ("var", "var"), ("std", "std"),
                         ("prod", "prod"), ("min", "min_val"), ("max", "max_val"),
                         ("norm", "norm")]:
        got, expected = getattr(x, name)(), getattr(a, method)()
        same(got, *expected)
    same(y.dot(y), *y.core.dot(y.core))
    same_core(x.cumsum(), a.cumsum().reshape([2050]))
    total = x.sum() / x.size  # 0-d results keep computing
    assert total.shape == () and abs(total.item()[0] - x.mean().item()[0]) < 1e-15
    assert x.sum(keepdims=True).shape == (1, 1)


def test_matmul_promotes_like_numpy():
    rng = np.random.default_rng(3)
    m = qv.BallArray(rng.normal(size=(3, 4)), 0.01)
    v = qv.BallArray(rng.normal(size=4), 0.02)
    stack = qv.BallArray(rng.normal(size=(2, 4, 3)), 0.03)
    assert (m @ v).shape == (3,) and (v @ m.T).shape == (3,) and (v @ v).shape == ()
    same_core(m @ v, m.core.matmul(v.core.reshape([4, 1])).reshape([3]))
    same(v.dot(v), *v.core.dot(v.core))
    product = m @ stack
    assert product.shape == (2, 3, 3)
    same_core(product[1], m.core.matmul(stack[1].core))
    same_core(np.ones(3) @ m, qv.core.ones([1, 3]).matmul(m.core).reshape([4]))


def test_comparisons():
    x = qv.BallArray([1.0, 2.0, np.nan], [0.5, 0.0, 0.0])
    assert (x == qv.BallArray([1.0, 2.0, np.nan], 0.5)).tolist() == [True, False, False]
    assert (x == 2.0).tolist() == [False, True, False]
    assert (np.array([1.0, 2.0, 3.0]) != x).tolist() == [True, False, True]
    assert (x == "a") is False and x.__eq__(x.reshape(3, 1)).shape == (3, 3)
    for compare in (operator.lt, operator.le, operator.gt, operator.ge):
        with pytest.raises(TypeError, match="balls are not totally ordered"):
            compare(x, x)


FLAT = qv.BallArray(np.arange(6.0), 0.5)
GRID = FLAT.reshape(2, 3)


@pytest.mark.parametrize("call,kind,message", [
    (lambda: GRID + FLAT[:4], ValueError,
     "operands could not be broadcast together with shapes (2,3) (4,) "),
    (lambda: np.ones((5, 1)) * GRID, ValueError,
     "operands could not be broadcast together with shapes (5,1) (2,3) "),
    (lambda: GRID == FLAT, ValueError,
     "operands could not be broadcast together with shapes (2,3) (6,) "),
    (lambda: GRID @ GRID, ValueError, "matmul: Input operand 1 has a mismatch in its core "
     "dimension 0, with gufunc signature (n?,k),(k,m?)->(n?,m?) (size 2 is different from 3)"),
    (lambda: GRID @ 2.0, ValueError, "matmul: Input operand 1 does not have enough dimensions "
     "(has 0, gufunc core with signature (n?,k),(k,m?)->(n?,m?) requires 1)"),
    (lambda: FLAT.dot(FLAT[:2]), ValueError, "shapes (6,) and (2,) not aligned: 6 (dim 0) != 2 (dim 0)"),
    (lambda: GRID.reshape(4, 2), ValueError, "cannot reshape array of size 6 into shape (4,2)"),
    (lambda: GRID.transpose(0, 0), ValueError, "repeated axis in transpose"),
    (lambda: FLAT[:0].min(), ValueError,
     "zero-size array to reduction operation minimum which has no identity"),
    (lambda: GRID[:0].max(axis=0), ValueError,
     "zero-size array to reduction operation maximum which has no identity"),
    (lambda: GRID.sum(axis=2), np.exceptions.AxisError,
     "axis 2 is out of bounds for array of dimension 2"),
    (lambda: GRID.mean(axis=(1, -1)), ValueError, "duplicate value in 'axis'"),
    (lambda: GRID[2], IndexError, "index 2 is out of bounds for axis 0 with size 2"),
    (lambda: GRID[GRID], IndexError, "a BallArray cannot be used as an index: index with .mid, "
     "an integer array or a boolean mask"),
    (lambda: GRID.item(), ValueError, "can only convert an array of size 1 to a Python scalar"),
    (lambda: len(GRID[0, 0]), TypeError, "len() of unsized object"),
    (lambda: iter(GRID[0, 0]), TypeError, "iteration over a 0-d array"),
    (lambda: GRID.__setitem__(0, 1.0), TypeError, "BallArray is immutable: its elements "
     "cannot be assigned; build a new array instead"),
    (lambda: GRID ** "x", TypeError,
     "unsupported operand type(s) for ** or pow(): 'BallArray' and 'str'"),
    (lambda: GRID + np.ones(3, complex), TypeError,
     "BallArray arithmetic needs real numbers, not dtype complex128"),
    (lambda: GRID + "x", TypeError, "unsupported operand type(s) for +: 'BallArray' and 'str'"),
    (lambda: np.asarray(GRID), TypeError, "a BallArray has no plain numpy form (its radii "
     "would be lost): use .mid and .rad"),
    (lambda: bool(GRID), ValueError, "the truth value of a BallArray is ambiguous: test .mid, "
     ".rad, .lo or .hi instead"),
    (lambda: qv.BallArray([1.0], -1.0), ValueError,
     "BallArray() needs non-negative radii, but rad is -1.0 at index (0,)"),
    (lambda: qv.BallArray(GRID.core, 0.5), TypeError,
     "BallArray() takes no rad with an IntervalArray or a BallArray: they have their own radii"),
    (lambda: qv.full((2,), 1.0, [1.0, -2.0]), ValueError,
     "full() needs non-negative radii, but rad is -2.0 at index (1,)"),
    (lambda: qv.full(2, qv.BallArray(1.0), 0.5), ValueError,
     "full() takes the radii of a BallArray fill value from it: rad must be 0"),
    (lambda: qv.zeros((2, -1)), ValueError, "negative dimensions are not allowed"),
    (lambda: qv.ones(2.5), TypeError, "'float' object cannot be interpreted as an integer"),
    (lambda: qv.zeros((1 << 40, 1 << 40)), MemoryError,
     "zeros() cannot allocate an array of 1208925819614629174706176 elements"),
    (lambda: qv.arange(0, 1, 0), ZeroDivisionError, "division by zero"),
])
def test_mistakes_raise_ordinary_exceptions(call, kind, message):
    with pytest.raises(kind) as info:
        call()
    assert str(info.value) == message


def test_other_ufuncs_and_options_are_left_to_numpy():
    for call in (lambda: np.spacing(FLAT), lambda: np.fmod(FLAT, 2),
                 lambda: np.add(FLAT, FLAT, out=np.empty(6)), lambda: np.add.reduce(FLAT)):
        with pytest.raises(TypeError, match="NotImplemented from __array_ufunc__"):
            call()


def test_numpy_functions_run_the_methods():
    x = qv.BallArray(np.arange(6.0).reshape(2, 3), 0.25)
    for got, expected in [(np.sum(x), x.sum()), (np.mean(x, axis=0), x.mean(axis=0)),
                          (np.min(x, 1, keepdims=True), x.min(1, True)), (np.max(x), x.max()),
                          (np.prod(x), x.prod()), (np.var(x), x.var()), (np.std(x), x.std()),
                          (np.cumsum(x, axis=1), x.cumsum(1)), (np.linalg.norm(x), x.norm()),
                          (np.dot(x, x.T), x @ x.T), (np.transpose(x), x.T),
                          (np.reshape(x, -1), x.reshape(-1)), (np.stack([x, x])[1], x),
                          (np.concatenate([x, x], 1)[:, 3:], x)]:
        same(got, expected.mid, expected.rad)
    assert (np.shape(x), np.ndim(x), np.size(x), np.size(x, 1)) == ((2, 3), 2, 6, 3)
    same(np.var(x, ddof=1), x.var(ddof=1).mid, x.var(ddof=1).rad)
    with pytest.raises(TypeError, match="no implementation found for 'numpy.convolve'"):
        np.convolve(x[0], x[1])


@settings(max_examples=200, deadline=None)
@given(sa=hnp.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=3),
       sb=hnp.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=3),
       op=st.sampled_from(["+", "*", "/", "@", "dot", "==", "min", "max", "sum1", "reshape"]))
def test_no_core_panic_reaches_the_user(sa, sb, op):
    x, y = qv.zeros(sa), qv.ones(sb)
    calls = {"+": lambda: x + y, "*": lambda: y * x, "/": lambda: x / y, "@": lambda: x @ y,
             "dot": lambda: x.dot(y), "==": lambda: x == y, "min": lambda: x.min(),
             "max": lambda: x.max(axis=0), "sum1": lambda: x.sum(axis=1),
             "reshape": lambda: x.reshape(sb)}
    try:
        calls[op]()
    except Exception:
        pass  # ordinary exceptions are the point; a PanicException is a BaseException


def test_text():
    x = qv.BallArray([[1.0, 2.5], [-3.0, 1e-7]], [[0.5, 0.0], [0.25, 1e-9]])
    # Midpoints right-aligned, then whole cells, as numpy aligns its columns.
    assert repr(x) == ("BallArray([[      1±0.5,       2.5±0],\n"
                       "           [    -3±0.25, 1e-07±1e-09]])")
    assert str(x) == "[[      1±0.5       2.5±0]\n [    -3±0.25 1e-07±1e-09]]"
    assert format(x[0], ".3f") == "[1.000±0.500 2.500±0.000]"
    assert repr(x[0, 0]) == "BallArray(1±0.5)" and f"{x[0, 0]:.2e}" == "1.00e+00±5.00e-01"
    assert repr(qv.zeros((0, 3))) == "BallArray([], shape=(0, 3))" and str(qv.zeros(0)) == "[]"
    big = qv.arange(3000.0).reshape(1000, 3)
    assert repr(big).splitlines()[2:5] == ["           [   6±0,    7±0,    8±0],",
                                           "           ...,",
                                           "           [2991±0, 2992±0, 2993±0],"]
    assert repr(qv.zeros(10**7)) == "BallArray([0±0, 0±0, 0±0, ..., 0±0, 0±0, 0±0])"
    assert max(len(line) for line in repr(qv.linspace(0, 1, 40)).splitlines()) <= 75


@pytest.mark.parametrize("shape", [(2000,), (40, 50), (4, 10, 50), (2000, 1)])
def test_text_without_edge_items_is_laid_out_as_numpy(shape):
    m = np.arange(2000).reshape(shape)
    x = qv.BallArray(m, 0)
    with np.printoptions(edgeitems=0):
        assert str(x).replace("±0", "") == str(m)
        assert repr(x).replace("±0", "") == (
            "BallArray(" + np.array2string(m, separator=", ", prefix="BallArray(") + ")")


def test_constructors_match_numpy():
    same(qv.zeros((2, 3)), np.zeros((2, 3)), np.zeros((2, 3)))
    same(qv.ones(4), np.ones(4), np.zeros(4))
    same(qv.full(3, 1e308, 2.0), np.full(3, 1e308), np.full(3, 2.0))
    filled = qv.full((2, 2), qv.BallArray([1.0, 2.0], [0.5, 0.25], rigorous=True))
    same(filled, [[1, 2], [1, 2]], [[0.5, 0.25], [0.5, 0.25]])
    assert filled.rigorous
    same(qv.arange(5), np.arange(5.0), np.zeros(5))
    same(qv.arange(0.1, 1.0, 0.1), np.arange(0.1, 1.0, 0.1), np.zeros(9))
    same(qv.linspace(0, 1, 7), np.linspace(0, 1, 7), np.zeros(7))
    x = qv.array([[1, 2]], 0.5)
    assert qv.asball(x) is x and qv.asball(x.core).core is x.core
    same(qv.asball(3), 3.0, 0.0)
    same(x.T, [[1], [2]], [[0.5], [0.5]])
    assert x.lo.tolist() == [[0.5, 1.5]] and x.hi.tolist() == [[1.5, 2.5]]
    assert (x.ndim, x.size, len(x), x[0, 1].item()) == (2, 2, 1, (2.0, 0.5))
    assert not x.mid.flags.writeable and not np.shares_memory(x.copy().mid, x.mid)
    same(qv.stack([x, x.core, [[3, 4]]], axis=1), np.stack([x.mid, x.mid, [[3, 4]]], 1),
         np.stack([x.rad, x.rad, np.zeros((1, 2))], 1))
    same(qv.concatenate([x, x[:, :1]], axis=-1), [[1, 2, 1]], [[0.5, 0.5, 0.5]])


def test_pickling_and_copying():
    x = qv.BallArray(np.arange(10_000.0).reshape(100, 100), 0.5)
    buffers = []
    payload = pickle.dumps(x, protocol=5, buffer_callback=buffers.append)
    assert len(buffers) == 1 and len(payload) < 300
    y = pickle.loads(payload, buffers=[bytes(b.raw()) for b in buffers])
    same(y, x.mid, x.rad)
    same(pickle.loads(pickle.dumps(x[3], protocol=2)), x.mid[3], x.rad[3])
    assert copy.copy(x) is x
    d = copy.deepcopy(x)
    same(d, x.mid, x.rad)
    assert not np.shares_memory(d.mid, x.mid)


def test_quotient_elements_depend_on_their_own_operands():
    a = qv.BallArray([1.0, 2.0, 3.0], 0.1)
    b = qv.BallArray([2.0, -4.0, 0.0], [0.5, 0.5, 1.0])  # the last divisor contains zero
    q = a / b
    head = a[:2] / b[:2]
    same(q[:2], head.mid, head.rad)
    same(q, [0.5, -0.5, np.nan], [(0.1 + 0.5 * 0.5) / 1.5, (0.1 + 0.5 * 0.5) / 3.5, np.inf])
