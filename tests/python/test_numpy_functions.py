"""numpy functions of BallArrays: data movement against numpy on both parts,
arithmetic against numpy on exact balls and by enclosure, refusals, operands
numpy turns into arrays, and files."""
import io
import operator
import warnings

import numpy as np
import pandas as pd
import pytest

import quorvex as qv

RNG = np.random.default_rng(11)
# A strided, reversed view of a larger storage, with NaN payloads, -0.0 and an infinite radius.
BASE = qv.BallArray(RNG.standard_normal((6, 10)), RNG.random((6, 10)))
X = BASE[::2, ::-2]
NAN_BITS = np.array([0x7FF8_0000_0000_1234], np.uint64).view(np.float64)[0]
ODD = qv.BallArray([[-0.0, NAN_BITS, 1e-310], [np.inf, 2.0, -3.0]], [[0.5, 0.0, np.inf], [0.0, NAN_BITS, 1e300]])


def bits(x, mid, rad):
    assert isinstance(x, qv.BallArray) and x.shape == np.shape(mid)
    assert x.mid.tobytes() == np.asarray(mid).tobytes() and x.rad.tobytes() == np.asarray(rad).tobytes()


MOVES = {
    "ravel": np.ravel, "ravel F": lambda a: np.ravel(a, "F"), "squeeze": lambda a: np.squeeze(a[:, None]),
    "expand_dims": lambda a: np.expand_dims(a, (0, 2)), "broadcast_to": lambda a: np.broadcast_to(a, (2, *a.shape)),
    "moveaxis": lambda a: np.moveaxis(a, 0, -1), "swapaxes": lambda a: np.swapaxes(a, 0, 1),
    "atleast_3d": np.atleast_3d, "atleast_2d pair": lambda a: np.atleast_2d(a[0], a),
    "vstack": lambda a: np.vstack([a, a[:1]]), "hstack": lambda a: np.hstack([a, a[:, :1]]),
    "dstack": lambda a: np.dstack([a, a]), "column_stack": lambda a: np.column_stack([a[0], a[1]]),
    "split": lambda a: np.split(a, [1, 4], axis=1), "array_split": lambda a: np.array_split(a, 2),
    "tile": lambda a: np.tile(a, (2, 1, 2)), "repeat": lambda a: np.repeat(a, np.arange(len(a)) % 3, axis=0),
    "flip": lambda a: np.flip(a, 1), "roll": lambda a: np.roll(a, 7), "rot90": np.rot90,
    "diag of 2-D": lambda a: np.diag(a, 1), "diag of 1-D": lambda a: np.diag(a[1], -1),
    "diagonal": lambda a: np.diagonal(a, -1), "copy": np.copy, "transpose": np.transpose,
    "methods": lambda a: a.swapaxes(1, 0)[None].squeeze().repeat(2, 1).diagonal(1),
}


@pytest.mark.parametrize("move", MOVES.values(), ids=MOVES.keys())
@pytest.mark.parametrize("x", [X, ODD], ids=["view", "odd values"])
def test_data_movement_is_numpy_on_both_parts(move, x):
    got, mids, rads = move(x), move(x.mid), move(x.rad)
    for g, m, r in zip(*(v if isinstance(v, (list, tuple)) else [v] for v in (got, mids, rads))):
        bits(g, m, r)
        assert np.shares_memory(g.mid, x.mid) == np.shares_memory(m, x.mid)


@pytest.mark.parametrize("x,condition", [(X, X.mid > 0), (X, np.arange(15).reshape(3, 5) < 4),
                                         (X, [True, False, 1, 0, 2]), (ODD, [[True], [False]]),
                                         (ODD, [[1, 0, 1], [0, 1, 0]])],
                         ids=["unordered", "one run", "int row", "column", "alternating"])
def test_where_selects_bits(x, condition):
    other = qv.BallArray(RNG.standard_normal(x.shape[-1]), 0.25)
    got = np.where(condition, x, other)
    bits(got, np.where(condition, x.mid, other.mid), np.where(condition, x.rad, other.rad))
    bits(np.where(condition, 2, x), np.where(condition, 2.0, x.mid), np.where(condition, 0.0, x.rad))


# Integer balls of radius 0 stay exact through sums, differences and products, so the
# engine must give numpy's numbers bit for bit; NaN balls exercise the nan-functions.
INTS = qv.BallArray(RNG.integers(-9, 9, (4, 6)).astype(float), 0.0)[:, ::-1]
WITH_NAN = qv.BallArray(np.where(RNG.random((4, 6)) < 0.3, np.nan, RNG.integers(-9, 9, (4, 6))), 0.0)
ENGINE = {
    "trace": lambda a: np.trace(a, 1), "trace method": lambda a: a.trace(-1, 1, 0),
    "clip": lambda a: np.clip(a, -3, [4, 5, 6, 7, 8, -9]), "clip method": lambda a: a.clip(None, 2),
    "diff": lambda a: np.diff(a, 2, axis=0),
    "diff prepend append": lambda a: np.diff(a, prepend=1.0, append=a[:, :2]),
    "outer": lambda a: np.outer(a[0], a[1:3]), "inner": lambda a: np.inner(a, a[:2]),
    "inner 1-D": lambda a: np.inner(a[0], a[1]), "vdot": lambda a: np.vdot(a, a),
    "cross": lambda a: np.cross(a[:, :3], a[:, 3:]),
    "cross axes": lambda a: np.cross(a[:3], a[1:], axisa=0, axisb=0, axisc=0),
    "average": lambda a: np.average(a, axis=1, weights=[1, 2, 3, 4, 5, 6]),
    "average 2 axes": lambda a: np.average(a, (0, 1), np.arange(24.0).reshape(4, 6), keepdims=True),
    "average unweighted": lambda a: np.average(a, 0),
    "zeros_like": np.zeros_like, "ones_like": lambda a: np.ones_like(a, shape=(1, 2)),
    "full_like": lambda a: np.full_like(a, 2.5, shape=3), "nansum": lambda a: np.nansum(a, axis=0), "nanmean": lambda a: np.nanmean(a, axis=1),
    "nanmin": lambda a: np.nanmin(a, axis=0, keepdims=True), "nanmax": np.nanmax,
}


@pytest.mark.parametrize("function", ENGINE.values(), ids=ENGINE.keys())
def test_arithmetic_functions_are_numpy_on_exact_balls_and_enclose(function):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # all-NaN slices, as numpy warns
        for x in (INTS, WITH_NAN):
            got, want = function(x), function(x.mid)
            np.testing.assert_array_equal(got.mid, want, strict=True)
            assert ((got.rad == 0) | np.isnan(want)).all()
    # Points drawn inside the balls map into the result, up to its rounding.
    x = qv.BallArray(RNG.standard_normal((4, 6)), RNG.random((4, 6)))
    got = function(x)
    for _ in range(20):
        value = function(x.mid + x.rad * RNG.uniform(-1, 1, x.shape))
        assert (np.abs(value - got.mid) <= got.rad * (1 + 1e-12) + 1e-12).all()


def test_options_and_warnings():
    bits(np.var(X, ddof=1), *X.var(ddof=1).item())
    bits(np.std(X, axis=0, ddof=1), X.std(0, 1).mid, X.std(0, 1).rad)
    bits(np.var(X, correction=1), *X.var(ddof=1).item())
    bits(np.average(X, axis=0, weights=[1, 2, 3], returned=True)[1], [6.0] * 5, [0.0] * 5)
    bits(np.average(X, returned=True)[1], 15.0, 0.0)
    bits(np.empty_like(X, shape=2), [0.0, 0.0], [0.0, 0.0])
    bits(np.full_like(X, qv.BallArray([1.0, 2.0], 0.5), shape=(3, 2)), [[1.0, 2.0]] * 3, [[0.5] * 2] * 3)
    with pytest.warns(RuntimeWarning, match="All-NaN slice encountered"):
        bits(np.nanmin(qv.BallArray([np.nan, 1.0], [0.0, np.nan])), np.nan, np.nan)
    with pytest.warns(RuntimeWarning, match="Mean of empty slice"):
        bits(np.nanmean(WITH_NAN * np.nan, axis=0), [np.nan] * 6, [np.nan] * 6)


F = qv.BallArray(np.arange(6.0), 0.5)
GRID = F.reshape(2, 3)


@pytest.mark.parametrize("call,kind,message", [
    (lambda: np.sort(F), TypeError, "numpy.sort() of a BallArray has no meaning: balls are not "
     "totally ordered; sort by .mid, .lo or .hi (np.argsort(x.mid)) and index"),
    (lambda: np.median(F), TypeError, "numpy.median() of a BallArray has no meaning: balls are not "
     "totally ordered; np.median(x.lo) and np.median(x.hi) bound the medians of the values the "
     "balls hold"),
    (lambda: np.isclose(F, 1), TypeError, "numpy.isclose() of a BallArray has no meaning: closeness "
     "of balls is not one number; use qv.overlaps(x, y) (they may be equal), qv.contains or "
     "np.isclose(x.mid, y.mid)"),
    (lambda: np.where(F, F, 0), TypeError, "numpy.where() takes a bool condition, not a BallArray: "
     "test .mid, .lo or .hi (np.where(x.mid > 0, x, -x)) or use qv.certainly_gt(x, 0)"),
    (lambda: np.where(F.mid > 1, F), ValueError, "either both or neither of x and y should be given"),
    (lambda: np.clip(F, 1), TypeError, "clip() missing 1 required positional argument: 'a_max'"),
    (lambda: np.clip(F, 1, 2, max=3), ValueError, "Passing `min` or `max` keyword argument when "
     "`a_min` and `a_max` are provided is forbidden."),
    (lambda: np.diff(F, -1), ValueError, "order must be non-negative but got -1"),
    (lambda: np.inner(GRID, F[:2]), ValueError, "shapes (2,3) and (2,) not aligned: 3 (dim 1) != 2 (dim 0)"),
    (lambda: np.cross(F[:4], F[:3]), ValueError,
     "incompatible dimensions for cross product\n(dimension must be 2 or 3)"),
    (lambda: np.cross(F[:3], F[:3], axisc=2), np.exceptions.AxisError,
     "axisc: axis 2 is out of bounds for array of dimension 1"),
    (lambda: np.average(GRID, weights=[1, 2, 3]), TypeError,
     "Axis must be specified when shapes of a and weights differ."),
    (lambda: np.average(GRID, 1, weights=[1, 2]), ValueError,
     "Shape of weights must be consistent with shape of a along specified axis."),
    (lambda: np.average(F, weights=[1, -1] * 3), ZeroDivisionError, "Weights sum to zero, can't be normalized"),
    (lambda: np.average(F, weights=F), TypeError, "numpy.average() takes exact weights, not balls: "
     "their uncertainty would count in both sums"),
    (lambda: np.var(F, ddof=1, correction=1), ValueError, "ddof and correction can't be provided simultaneously."),
    (lambda: np.nansum(F, where=F.mid > 0), TypeError, "numpy.nansum() of a BallArray does not take where"),
    (lambda: np.save(io.BytesIO(), F), TypeError, "numpy.save() cannot store a BallArray (its radii "
     "would be lost): use qv.save(file, x), which writes its midpoints and radii to an .npz file that "
     "qv.load(file) reads"),
])
def test_mistakes_and_refusals(call, kind, message):
    with pytest.raises(kind) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("function", [np.argsort, np.argmax, np.argmin, np.nanargmax, np.percentile,
                                      np.quantile, np.nanmedian, np.searchsorted, np.unique,
                                      np.allclose, np.savez, np.savetxt])
def test_every_refused_function_says_what_to_use(function):
    args = {np.percentile: (50,), np.quantile: (0.5,), np.searchsorted: (1.0,), np.allclose: (F,)}
    call = (lambda: function(io.BytesIO(), F)) if function in (np.savez, np.savetxt) else (
        lambda: function(F, *args.get(function, ())))
    with pytest.raises(TypeError, match=rf"^numpy\.{function.__name__}\(\) (of a BallArray has no "
                                        r"meaning: .*(use|bound)|cannot store a BallArray .*qv\.save)"):
        call()


class ArrayLike:
    def __array__(self, dtype=None, copy=None):
        return np.array([1.0, 2.0, 4.0, 8.0, 16.0, 32.0])


SERIES = pd.Series([1.0, 2.0, 4.0, 8.0, 16.0, 32.0], name="T", index=list("abcdef"))


@pytest.mark.parametrize("operand,plain", [
    (SERIES, SERIES.to_numpy()), (pd.Index(SERIES), SERIES.to_numpy()),
    (SERIES.to_frame(), SERIES.to_numpy()[:, None]), (np.float32(2.5), 2.5), (np.int8(3), 3.0),
    (ArrayLike(), ArrayLike().__array__())], ids=["Series", "Index", "DataFrame", "float32", "int8",
                                                   "__array__"])
def test_numpy_convertible_operands_are_exact_balls(operand, plain):
    x = F[:, None] if np.ndim(plain) == 2 else F
    # pandas' Index runs numpy's ufuncs itself and wraps what comes back; only its
    # operators defer to a BallArray.
    ufuncs = () if isinstance(operand, pd.Index) else (np.multiply, np.subtract)
    for op in (operator.add, operator.sub, operator.mul, operator.truediv, *ufuncs):
        for got, want in ((op(x, operand), op(x, plain)), (op(operand, x), op(plain, x))):
            assert isinstance(got, qv.BallArray)
            bits(got, want.mid, want.rad)


@pytest.mark.parametrize("x", [ODD, X, qv.zeros((0, 3)), qv.BallArray(7.0, 0.25)], ids=["odd", "view", "empty", "0-d"])
def test_save_and_load_keep_every_bit(x, tmp_path):
    qv.save(tmp_path / "x", x)
    y = qv.load(tmp_path / "x.npz")
    bits(y, x.mid, x.rad)
    assert y.mid.flags.c_contiguous and not y.rigorous
    rigorous = x._with_rigorous(True)
    buffer = io.BytesIO()
    qv.save(buffer, rigorous)
    buffer.seek(0)
    assert qv.load(buffer).rigorous


@pytest.mark.parametrize("arrays,message", [
    ({"mid": np.zeros(2), "rigorous": np.array(False)},
     "qv.load() needs the arrays mid, rad and rigorous, but the file lacks rad"),
    ({"mid": np.zeros(2), "rad": np.zeros(3), "rigorous": np.array(False)},
     "qv.load() needs mid and rad of one shape, not (2,) and (3,)"),
    ({"mid": np.zeros(2), "rad": np.array([0.0, -1.0]), "rigorous": np.array(False)},
     "qv.load() needs non-negative radii, but rad is -1.0 at index (1,)"),
    ({"mid": np.zeros(2, np.float32), "rad": np.zeros(2), "rigorous": np.array(False)},
     "qv.load() needs float64 mid, not an array of dtype float32 and shape (2,)"),
    ({"mid": np.zeros(2), "rad": np.zeros(2), "rigorous": np.array([False])},
     "qv.load() needs rigorous as a single bool, not an array of dtype bool and shape (1,)"),
    ({"mid": np.array([1.0, None]), "rad": np.zeros(2), "rigorous": np.array(False)},
     "Object arrays cannot be loaded when allow_pickle=False"),
])
def test_malformed_files_are_refused(arrays, message):
    buffer = io.BytesIO()
    np.savez(buffer, **arrays)
    buffer.seek(0)
    with pytest.raises(ValueError) as info:
        qv.load(buffer)
    assert str(info.value) == message
