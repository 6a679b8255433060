"""quorvex.from_numpy and quorvex.to_numpy: exact conversion, views, errors, lifetime."""
import gc
import os

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from hypothesis.extra import numpy as hnp

import _quorvex
import quorvex as qv
from conftest import run_python

SHAPES = hnp.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=5)
# Any double, NaN payloads and subnormals included; radii are never negative.
DOUBLES = st.floats(allow_nan=True, allow_infinity=True, allow_subnormal=True)
RADII = DOUBLES.filter(lambda x: not x < 0)


def same_bits(got, expected):
    expected = np.asarray(expected, dtype=np.float64)
    assert got.shape == expected.shape and got.dtype == np.float64
    assert got.tobytes() == expected.tobytes()


def test_package_surface():
    assert qv.core is _quorvex and qv.IntervalArray is _quorvex.IntervalArray
    assert qv.PanicException is _quorvex._PanicException
    import quorvex.core
    assert quorvex.core is _quorvex


@settings(max_examples=150, deadline=None)
@given(data=st.data(), shape=SHAPES, layout=st.sampled_from(["c", "reversed", "strided", "T"]))
def test_round_trip_keeps_every_bit(data, shape, layout):
    mid = data.draw(hnp.arrays(np.float64, shape, elements=DOUBLES))
    rad = data.draw(hnp.arrays(np.float64, shape, elements=RADII))
    if layout == "reversed":  # negative strides
        mid, rad = mid[(slice(None, None, -1),) * mid.ndim], rad[(slice(None, None, -1),) * rad.ndim]
    elif layout == "strided":  # every second element of a larger array
        mid, rad = (np.repeat(x, 2, axis=-1)[..., ::2] if x.ndim else x for x in (mid, rad))
    elif layout == "T":
        mid, rad = mid.T, rad.T
    a = qv.from_numpy(mid, rad)
    assert a.shape() == list(mid.shape)
    m, r = qv.to_numpy(a)
    same_bits(m, mid)
    same_bits(r, rad)


@pytest.mark.parametrize("dtype", [np.bool_, np.int8, np.int16, np.int32, np.int64, np.uint8,
                                   np.uint16, np.uint32, np.uint64, np.float16, np.float32,
                                   np.longdouble, np.dtype(">f8")])
def test_other_dtypes_convert_as_astype(dtype):
    values = np.arange(12).reshape(3, 4) * 997
    if dtype == np.uint64:
        values = values.astype(np.uint64) + np.uint64(2**63 + 1)  # rounds to float64
    mid = values.astype(dtype)[:, ::-2]  # converted and gathered in one pass
    rad = np.arange(6).reshape(3, 2).astype(dtype)
    m, r = qv.to_numpy(qv.from_numpy(mid, rad))
    same_bits(m, mid.astype(np.float64))
    same_bits(r, rad.astype(np.float64))


def test_scalars_lists_and_broadcast_radii():
    a = qv.from_numpy(2.5)
    assert a.shape() == [] and a.tolist() == [(2.5, 0.0)]
    b = qv.from_numpy([[1, 2, 3], [4, 5, 6]], [0.5, np.inf, np.nan])
    m, r = qv.to_numpy(b)
    assert m.tolist() == [[1, 2, 3], [4, 5, 6]] and r[1, 0] == 0.5 and r[0, 1] == np.inf
    assert np.isnan(r[:, 2]).all()
    assert qv.to_numpy(qv.from_numpy(np.zeros((0, 3)), -1.0))[0].shape == (0, 3)


@pytest.mark.parametrize("mid,rad,cls,message", [
    (np.ones(2, complex), 0.0, TypeError,
     "from_numpy() needs real numbers, but mid has dtype complex128"),
    ([1.0, "x"], 0.0, TypeError, "from_numpy() needs real numbers, but mid has dtype <U32"),
    (np.ones(2), np.array([None, 1]), TypeError,
     "from_numpy() needs real numbers, but rad has dtype object"),
    (np.array(["2020-01-01"], "datetime64[D]"), 0.0, TypeError,
     "from_numpy() needs real numbers, but mid has dtype datetime64[D]"),
    (np.ones((2, 3)), np.ones(2), ValueError,
     "from_numpy() cannot broadcast rad of shape (2,) to the shape (2, 3) of mid"),
    (np.ones(3), np.ones((2, 3)), ValueError,
     "from_numpy() cannot broadcast rad of shape (2, 3) to the shape (3,) of mid"),
    (np.ones((2, 3)), [[0, 1, 2], [3, np.nan, -0.5]], ValueError,
     "from_numpy() needs non-negative radii, but rad is -0.5 at index (1, 2)"),
    (np.ones((2, 2)), np.array([0, -3], np.int8), ValueError,
     "from_numpy() needs non-negative radii, but rad is -3 at index (0, 1)"),
    (1.0, -np.inf, ValueError, "from_numpy() needs non-negative radii, but rad is -inf at index ()"),
])
def test_bad_input_messages(mid, rad, cls, message):
    with pytest.raises(cls) as info:
        qv.from_numpy(mid, rad)
    assert str(info.value) == message


def test_bad_input_is_refused_before_allocating():
    # 16 TB of storage would fail with MemoryError; the checks come first.
    huge = np.broadcast_to(np.float64(1.0), (10**12,))
    with pytest.raises(ValueError, match=r"rad is -1.0 at index \(0,\)"):
        qv.from_numpy(huge, -1.0)
    with pytest.raises(TypeError, match="complex128"):
        qv.from_numpy(huge, np.complex128(1))
    with pytest.raises(MemoryError, match="cannot allocate an array of 576460752303423488"):
        qv.from_numpy(np.broadcast_to(np.float64(1.0), (2**59,)))


def test_views_are_read_only_shared_and_outlive_the_array():
    a = qv.from_numpy(np.arange(6.0).reshape(2, 3), 0.25)
    m, r = qv.to_numpy(a)
    m2, _ = qv.to_numpy(a)
    assert np.shares_memory(m, m2) and not m.flags.writeable and not r.flags.writeable
    with pytest.raises(ValueError, match="assignment destination is read-only"):
        m[0, 0] = 1.0
    with pytest.raises(ValueError):
        r.flags.writeable = True
    del a, m2
    gc.collect()
    assert m.sum() == 15.0 and (r == 0.25).all()
    assert qv.to_numpy(_quorvex.zeros([]))[0].shape == ()
    with pytest.raises(TypeError, match="to_numpy\\(\\) needs an IntervalArray, not list"):
        qv.to_numpy([1.0])


def test_views_neither_crash_nor_leak_over_many_cycles():
    r = run_python(
        "import gc, numpy as np, quorvex as qv\n"
        "def rss():\n"
        "    return int(open('/proc/self/statm').read().split()[1]) * 4096\n"
        "def work(n):\n"
        "    src = np.arange(64.0)\n"
        "    for i in range(n):\n"
        "        m, r = qv.to_numpy(qv.from_numpy(src, src[::-1]))\n"
        "        assert m[63] == 63.0 and r[0] == 63.0\n"
        "        del m\n"
        "        assert r.sum() == 2016.0\n"
        "work(20000); gc.collect(); before = rss()\n"
        "work(100000); gc.collect(); print(rss() - before)\n")
    assert r.returncode == 0, r.stderr
    if not os.environ.get("QUORVEX_SANITIZED"):  # there the growth is the sanitizer's quarantine
        assert int(r.stdout) < 4 << 20
