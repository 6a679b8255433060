"""The elementwise engine on views: any layout gives the bits of the rules.

Operands are laid out at random (permuted axes, steps, reversed axes) and
broadcast against each other; results must equal the propagation rules
evaluated by numpy on the same views, the elementary functions must equal
their values on contiguous copies, and each element of an axis reduction must
equal the core's whole-array reduction of its contiguous slice.
"""
import threading
import time

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from hypothesis.extra import numpy as hnp

import quorvex as qv


@st.composite
def laid_out(draw, shape):
    """A BallArray of `shape` that is a view with permuted axes and steps of its storage."""
    perm = draw(st.permutations(range(len(shape))))
    steps = [draw(st.sampled_from([1, 2, -1, -3])) for _ in shape]
    base_shape = tuple(shape[p] * abs(steps[p]) for p in perm)
    values = st.floats(-1e3, 1e3, allow_subnormal=False)
    mid = draw(hnp.arrays(np.float64, base_shape, elements=values))
    rad = draw(hnp.arrays(np.float64, base_shape, elements=st.floats(0, 10)))
    base = qv.BallArray(mid, rad)
    view = base[tuple(slice(None, None, steps[p]) for p in perm)]
    return view.transpose(tuple(np.argsort(perm))) if shape else view


def bits_equal(got, mid, rad):
    """Bit equality of both parts (any NaN matching any NaN), shape included."""
    assert got.shape == np.shape(mid)
    for part, want in ((got.mid, np.asarray(mid)), (got.rad, np.asarray(rad))):
        nan = np.isnan(want)
        assert (np.isnan(part) == nan).all()
        assert (part[~nan].view(np.uint64) == want[~nan].view(np.uint64)).all()


def rules(name, am, ar, bm, br):
    """The propagation rules, each operation rounded, by numpy on the views."""
    with np.errstate(all="ignore"):
        if name == "add":
            return am + bm, ar + br
        if name == "subtract":
            return am - bm, ar + br
        if name == "multiply":
            return am * bm, ((np.abs(bm) * ar) + (np.abs(am) * br)) + (ar * br)
        q = am / bm
        r = (ar + np.abs(q) * br) / (np.abs(bm) - br)
        zero = ~(0 < bm - br) & (bm + br >= 0)
        return np.where(zero, np.nan, q), np.where(zero, np.inf, r)


@settings(max_examples=300, deadline=None)
@given(data=st.data(), shapes=hnp.mutually_broadcastable_shapes(num_shapes=2, max_dims=3,
                                                                 max_side=5),
       name=st.sampled_from(["add", "subtract", "multiply", "divide"]), number=st.booleans())
def test_binary_operations_on_views_follow_the_rules(data, shapes, name, number):
    x = data.draw(laid_out(shapes.input_shapes[0]))
    if number:  # a plain number is a 0-d exact operand
        s = data.draw(st.floats(-1e3, 1e3))
        y, ym, yr = s, np.float64(s), np.float64(0.0)
    else:
        y = data.draw(laid_out(shapes.input_shapes[1]))
        ym, yr = y.mid, y.rad
    ufunc = {"add": np.add, "subtract": np.subtract, "multiply": np.multiply,
             "divide": np.divide}[name]
    bits_equal(ufunc(x, y), *rules(name, x.mid, x.rad, ym, yr))
    bits_equal(ufunc(y, x), *rules(name, ym, yr, x.mid, x.rad))


@settings(max_examples=150, deadline=None)
@given(data=st.data(), shape=hnp.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=5),
       name=st.sampled_from(sorted(set(qv.core._UNARY) - {"copy"})))
def test_functions_on_views_are_their_values_on_copies(data, shape, name):
    x = data.draw(laid_out(shape))
    f = getattr(np, name)
    want = f(x.copy())
    bits_equal(f(x), want.mid, want.rad)


@settings(max_examples=150, deadline=None)
@given(data=st.data(), shapes=hnp.mutually_broadcastable_shapes(num_shapes=2, max_dims=3,
                                                                 max_side=5),
       name=st.sampled_from(sorted(set(qv.core._BINARY) - {"add", "subtract", "multiply",
                                                          "divide"})))
def test_binary_functions_on_views_are_their_values_on_copies(data, shapes, name):
    x, y = (data.draw(laid_out(s)) for s in shapes.input_shapes)
    f = getattr(np, name)
    want = f(x.copy(), y.copy())
    bits_equal(f(x, y), want.mid, want.rad)


CORE_REDUCTIONS = {"sum": "sum", "mean": "mean", "var": "var", "std": "std", "prod": "prod",
                   "min": "min_val", "max": "max_val", "norm": "norm"}


@settings(max_examples=150, deadline=None)
@given(data=st.data(), shape=hnp.array_shapes(min_dims=1, max_dims=3, min_side=1, max_side=5),
       name=st.sampled_from(sorted(CORE_REDUCTIONS)))
def test_axis_reductions_are_whole_reductions_of_each_slice(data, shape, name):
    x = data.draw(laid_out(shape))
    axes = data.draw(st.lists(st.integers(0, x.ndim - 1), min_size=1, unique=True).map(tuple))
    got = getattr(x, name)(axis=axes)
    kept = [d for d in range(x.ndim) if d not in axes]
    order = kept + sorted(axes)
    mids = x.mid.transpose(order).reshape(got.shape + (-1,))
    rads = x.rad.transpose(order).reshape(got.shape + (-1,))
    for index in np.ndindex(*got.shape):
        whole = getattr(qv.from_numpy(mids[index].copy(), rads[index].copy()),
                        CORE_REDUCTIONS[name])()
        bits_equal(got[index], *whole)
    assert getattr(x, name)(axis=axes, keepdims=True).shape == np.sum(x.mid, axes,
                                                                       keepdims=True).shape


def test_reductions_of_a_1d_array_along_its_axis_are_the_whole_array_bits():
    x = qv.full(10**6, 0.1, 1e-9)
    for name in CORE_REDUCTIONS:
        whole = getattr(x, name)()
        bits_equal(getattr(x, name)(axis=0), whole.mid, whole.rad)
    bits_equal(x.sum(axis=0), *x.core.sum())


@pytest.mark.parametrize("name", ["cumsum", "cumprod"])
def test_running_reductions_along_axes(name):
    rng = np.random.default_rng(4)
    x = qv.BallArray(rng.normal(size=(5, 4, 3)), rng.random((5, 4, 3)) * 0.01)[::-1, :, ::2]
    for axis in range(3):
        got = getattr(x, name)(axis=axis)
        for index in np.ndindex(*[n for d, n in enumerate(x.shape) if d != axis]):
            key = index[:axis] + (slice(None),) + index[axis:]
            fiber = x[key].copy()
            want = getattr(fiber, name)()
            bits_equal(got[key], want.mid, want.rad)
    flat = qv.BallArray(x.mid.ravel(), x.rad.ravel())
    along = getattr(flat, name)(axis=0)
    bits_equal(getattr(x, name)(), along.mid, along.rad)
    if name == "cumsum":
        bits_equal(along, *np.array(flat.core.cumsum().tolist()).T)


def test_views_share_their_storage():
    x = qv.BallArray(np.arange(24.0).reshape(2, 3, 4), 0.5)
    for view in (x[1], x[:, ::2], x.T, x[..., ::-1], x[None, 0, :, 1], x.transpose(1, 0, 2),
                 x.reshape(6, 4), x.ravel()):
        assert np.shares_memory(view.mid, x.mid) and view.mid.strides == view.rad.strides
    assert not np.shares_memory(x[[0, 1]].mid, x.mid)  # fancy indexing copies, as numpy
    assert not np.shares_memory(x.T.reshape(-1).mid, x.mid)


def _longest_pause(operation):
    """The longest time another Python thread went without running while `operation`
    ran, and how long the operation took."""
    stamps, stop = [], threading.Event()

    def spin():
        while not stop.is_set():
            stamps.append(time.perf_counter())

    thread = threading.Thread(target=spin)
    thread.start()
    time.sleep(0.01)
    start = time.perf_counter()
    operation()
    end = time.perf_counter()
    stop.set()
    thread.join()
    during = [t for t in stamps if start <= t <= end] + [end]
    return max(np.diff([start] + during)), end - start


def test_bulk_work_releases_the_interpreter_lock():
    x = qv.BallArray(np.linspace(0, 1, 2_000_000), 1e-6)
    m = qv.BallArray(np.ones((600, 600)), 1e-6)
    for operation in (lambda: x.sin(), lambda: x.reshape(2000, 1000).sum(axis=0),
                      lambda: m @ m):
        pause, took = _longest_pause(operation)
        assert pause < 0.5 * took, (pause, took)
