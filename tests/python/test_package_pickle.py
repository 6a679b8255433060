"""Pickling and copying IntervalArray after `import quorvex`."""
import copy
import multiprocessing
import pickle
from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from hypothesis.extra import numpy as hnp

import quorvex as qv

DOUBLES = st.floats(allow_nan=True, allow_infinity=True, allow_subnormal=True)
SHAPES = hnp.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=4)


def arrays():
    """Arrays with any midpoints and radii, negative radii included (as the core allows)."""
    @st.composite
    def build(draw):
        shape = draw(SHAPES)
        mid = draw(hnp.arrays(np.float64, shape, elements=DOUBLES))
        rad = draw(hnp.arrays(np.float64, shape, elements=DOUBLES.map(abs)))
        a = qv.from_numpy(mid, rad)
        if draw(st.booleans()):  # a negative uniform radius, through the core
            a = qv.core.array(mid.ravel().tolist(), -draw(DOUBLES.map(abs))).reshape(list(shape))
        return a
    return build()


def data_bytes(a):
    m, r = qv.to_numpy(a)
    return m.tobytes() + r.tobytes()


@settings(max_examples=60, deadline=None)
@given(a=arrays(), protocol=st.integers(2, pickle.HIGHEST_PROTOCOL))
def test_every_protocol_keeps_shape_and_bits(a, protocol):
    b = pickle.loads(pickle.dumps(a, protocol=protocol))
    assert type(b) is qv.IntervalArray and b.shape() == a.shape()
    assert data_bytes(b) == data_bytes(a)
    d = copy.deepcopy(a)
    assert d.shape() == a.shape() and data_bytes(d) == data_bytes(a)


def test_protocol_5_sends_the_storage_out_of_band():
    a = qv.from_numpy(np.arange(100_000.0).reshape(100, 1000), 0.5)
    buffers = []
    payload = pickle.dumps(a, protocol=5, buffer_callback=buffers.append)
    assert len(payload) < 200 and len(buffers) == 1
    assert buffers[0].raw().nbytes == 16 * 100_000
    same_process = pickle.loads(payload, buffers=buffers)
    assert np.shares_memory(qv.to_numpy(same_process)[0], qv.to_numpy(a)[0])
    copied = pickle.loads(payload, buffers=[bytearray(b) for b in buffers])
    assert copied.shape() == [100, 1000] and data_bytes(copied) == data_bytes(a)
    with pytest.raises(ValueError, match="has 8 bytes of data, expected 1600000"):
        pickle.loads(payload, buffers=[b"\0" * 8])


def test_copy_shares_and_deepcopy_does_not():
    a = qv.from_numpy([1.0, 2.0], 0.5)
    assert copy.copy(a) is a
    d = copy.deepcopy(a)
    assert d is not a and not np.shares_memory(qv.to_numpy(d)[0], qv.to_numpy(a)[0])


def sqrt_in_worker(a):
    return a.sqrt()


def test_two_process_pool():
    arrays = [qv.from_numpy(np.linspace(1.0, 2.0, 50_000) * k, 1e-3) for k in range(1, 5)]
    with ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
        results = list(pool.map(sqrt_in_worker, arrays))
    assert [data_bytes(r) for r in results] == [data_bytes(a.sqrt()) for a in arrays]


def test_out_of_band_buffers_are_read_in_their_own_layout():
    a = qv.from_numpy(np.arange(4.0), np.arange(4.0) / 8)
    payload = pickle.dumps(a, protocol=5, buffer_callback=lambda buffer: False)
    storage = qv.core._storage(a)
    # A reversed view of the array's own storage must not be taken for the storage.
    backwards = pickle.loads(payload, buffers=[memoryview(storage)[::-1]])
    assert data_bytes(backwards) == np.frombuffer(storage)[::-1].tobytes()
    strided = np.arange(16.0)[::2]
    assert data_bytes(pickle.loads(payload, buffers=[strided])) == strided.tobytes()


@pytest.mark.parametrize("shape, data, error, message", [
    ("ab", bytes(32), TypeError, "has shape 'ab', expected a list of integers"),
    ([2.0], bytes(32), TypeError, r"has shape \[2.0\], expected a list of integers"),
    ([True, 2], bytes(32), TypeError, r"has shape \[True, 2\], expected a list of integers"),
    ([-1, -2], bytes(32), ValueError, r"has shape \[-1, -2\] with a negative dimension"),
    ([2], 5, TypeError, "data must be a buffer, not int"),
    ([2], "not an array", TypeError, "holds a str"),
    ([3], [1.0, 2.0], ValueError, r"of shape \[3\] holds an array of shape \[2\]"),
], ids=["str-shape", "float-dim", "bool-dim", "negative-dims", "int-data", "str-elements",
        "other-shape-elements"])
def test_hand_written_state_is_refused(shape, data, error, message):
    # A pickle may call the reconstructor with any arguments; the last two stand in an
    # element holder (what copy.copy passes) with a foreign object or array.
    from quorvex._pickle import _Elements, _rebuild
    if isinstance(data, str):
        data = _Elements(data)
    elif isinstance(data, list):
        data = _Elements(qv.core.array(data, 0.5))
    with pytest.raises(error, match=message):
        _rebuild(shape, data)


class Labelled(qv.IntervalArray):
    """A subclass with instance state of its own."""


def test_subclass_instances_pickle_and_copy_as_themselves():
    a = Labelled([1.0, -2.5, 3.0], 0.25)
    a.label = "x"
    copies = [pickle.loads(pickle.dumps(a, protocol=p)) for p in range(pickle.HIGHEST_PROTOCOL + 1)]
    copies += [copy.copy(a), copy.deepcopy(a)]
    for b in copies:
        assert type(b) is Labelled and b is not a and b.label == "x"
        assert b.shape() == a.shape() and data_bytes(b) == data_bytes(a)
    from quorvex._pickle import _rebuild_as  # what a pickle of a subclass instance calls
    with pytest.raises(TypeError, match="needs IntervalArray or a subclass of it, not <class 'str'>"):
        _rebuild_as(str, [1], bytes(16))
