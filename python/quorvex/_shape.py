"""Data movement on ball views: numpy's, on the midpoint and radius parts.

``parts`` gives the midpoints and radii of a view as read-only numpy views of
its storage, with the same strides. ``moved`` applies a numpy function of
data movement (reshape, transpose, broadcast_to, flip, diagonal...) to them:
where numpy answers with a view, the result is a view of the same storage,
made in O(1); where numpy copies, both parts are copied once into a new
storage. So every such function has numpy's semantics, errors and view rules.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any, TypeVar, cast

import numpy as np
import numpy.typing as npt

import _quorvex as core
from quorvex import _ops
from quorvex._numpy_bridge import Float64Array, from_parts, written

V = TypeVar("V", bound=core._BallView)


def _cached(x: core._BallView) -> tuple[Float64Array, Float64Array]:
    kept = _ops.cache(x)
    parts: tuple[Float64Array, Float64Array] | None = kept.get("parts")
    if parts is None:
        # The storage exports its buffer itself; no memoryview in between.
        whole = np.frombuffer(x._buffer(), np.float64)  # type: ignore[call-overload]
        shape = x.shape
        strides = tuple(8 * s for s in x._strides)
        offset = 8 * x._offset
        parts = kept["parts"] = (
            np.ndarray(shape, np.float64, whole, offset, strides),
            np.ndarray(shape, np.float64, whole, offset + 4 * whole.size, strides))
    return parts


def parts(x: core._BallView) -> tuple[Float64Array, Float64Array]:
    """The midpoints and the radii of x: read-only numpy views of its storage."""
    return _cached(x)


def _start(mid: Float64Array, x: core._BallView) -> int:
    """The address of the first element of x's storage, from a part of x."""
    pointer: int = mid.__array_interface__["data"][0]
    return pointer - 8 * x._offset


def _viewed(x: V, mid: Float64Array, start: int, moved_mid: npt.NDArray[Any]) -> V | None:
    """The view of x's storage whose midpoints are `moved_mid` (numpy's data movement
    of x's midpoints `mid`), or None when numpy copied."""
    if not (moved_mid.size and np.may_share_memory(moved_mid, mid)):
        return None
    pointer: int = moved_mid.__array_interface__["data"][0]
    return x._view((pointer - start) // 8, moved_mid.shape,
                   tuple(s // 8 for s in moved_mid.strides))


def moved(x: V, move: Callable[[Float64Array], npt.NDArray[Any]]) -> V:
    """`move` (a numpy function of data movement) applied to x's balls: a view of
    x's storage where numpy returns a view, a copy where numpy copies."""
    mid, rad = _cached(x)
    start = _start(mid, x)
    moved_mid = move(mid)
    view = _viewed(x, mid, start, moved_mid)
    if view is not None:
        return view
    moved_rad = move(rad)
    return _ops.wrap(type(x), from_parts(moved_mid, moved_rad, moved_mid.shape), x.rigorous)


def moved_each(x: V, move: Callable[[Float64Array], Sequence[npt.NDArray[Any]]]) -> list[V]:
    """As `moved`, for numpy functions that return a list of arrays (split...)."""
    mid, rad = _cached(x)
    start = _start(mid, x)
    moved_mids = move(mid)
    views = [_viewed(x, mid, start, m) for m in moved_mids]
    if all(v is not None for v in views):
        return cast(list[V], views)
    moved_rads = move(rad)
    return [v if v is not None else
            _ops.wrap(type(x), from_parts(m, r, m.shape), x.rigorous)
            for v, m, r in zip(views, moved_mids, moved_rads)]


def selected(condition: npt.ArrayLike, x: V, y: V) -> V:
    """numpy.where(condition, x, y) on the balls: each one x's or y's, bit for bit,
    broadcast as numpy does, in one new storage."""
    cond = np.asarray(condition)
    if cond.dtype != np.bool_:
        cond = cond.astype(np.bool_)
    (xm, xr), (ym, yr) = parts(x), parts(y)
    shape = np.broadcast_shapes(cond.shape, xm.shape, ym.shape)
    rigorous = x.rigorous or y.rigorous
    # A masked copy branches on every element, which costs little while the
    # condition runs in long stretches but mispredicts half the time on a
    # condition without order (x.mid > 0 on noisy data). There three passes
    # without branches win: y ^ ((x ^ y) & mask) on the bits.
    flat = cond.ravel()
    if np.count_nonzero(flat[1:] != flat[:-1]) <= flat.size // 5:
        def copy_x(mid: Float64Array, rad: Float64Array) -> None:
            np.copyto(mid, xm, where=cond)
            np.copyto(rad, xr, where=cond)
        return _ops.wrap(type(x), written(shape, copy_x, (ym, yr)), rigorous)

    def blend(mid: Float64Array, rad: Float64Array) -> None:
        mask = np.negative(cond, dtype=np.uint64)  # all ones where the condition holds
        for out, a, b in ((mid, xm, ym), (rad, xr, yr)):
            bits, a_bits, b_bits = out.view(np.uint64), a.view(np.uint64), b.view(np.uint64)
            np.bitwise_xor(a_bits, b_bits, out=bits)
            np.bitwise_and(bits, mask, out=bits)
            np.bitwise_xor(bits, b_bits, out=bits)
    return _ops.wrap(type(x), written(shape, blend), rigorous)


def copied(x: V, pick: Callable[[Float64Array], npt.NDArray[Any]]) -> V:
    """A new array holding `pick` of x's parts (for numpy functions that always copy)."""
    mid, rad = parts(x)
    picked_mid = np.asarray(pick(mid))
    return _ops.wrap(type(x), from_parts(picked_mid, pick(rad), picked_mid.shape), x.rigorous)
