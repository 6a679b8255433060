"""numpy functions of BallArrays: data movement and selection against numpy on
both parts."""
import numpy as np
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


F = qv.BallArray(np.arange(6.0), 0.5)
GRID = F.reshape(2, 3)


@pytest.mark.parametrize("call,kind,message", [
    (lambda: np.where(F, F, 0), TypeError, "numpy.where() takes a bool condition, not a BallArray: "
     "test .mid, .lo or .hi (np.where(x.mid > 0, x, -x)) or use qv.certainly_gt(x, 0)"),
    (lambda: np.where(F.mid > 1, F), ValueError, "either both or neither of x and y should be given"),
    (lambda: np.clip(F, 1), TypeError, "clip() missing 1 required positional argument: 'a_max'"),
    (lambda: np.clip(F, 1, 2, max=3), ValueError, "Passing `min` or `max` keyword argument when "
     "`a_min` and `a_max` are provided is forbidden."),
])
def test_mistakes_and_refusals(call, kind, message):
    with pytest.raises(kind) as info:
        call()
    assert str(info.value) == message
