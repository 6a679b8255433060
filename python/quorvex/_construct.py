"""numpy-style constructors of BallArray.

The values are numpy's (``qv.arange(0, 1, 0.1).mid`` equals
``np.arange(0, 1, 0.1)``), with numpy's argument errors; the core's own
constructors, which differ in small ways (no -1, running sums in arange),
stay available as ``quorvex.core.zeros`` and so on.
"""

from __future__ import annotations

import math
import operator
from typing import SupportsIndex

import numpy as np
import numpy.typing as npt

import _quorvex as core
from quorvex import _ops
from quorvex._ballarray import BallArray, BallLike, from_ball_parts
from quorvex._numpy_bridge import check_size, checked_parts

ShapeLike = SupportsIndex | tuple[SupportsIndex, ...] | list[SupportsIndex]


def _shape(shape: ShapeLike, caller: str) -> tuple[int, ...]:
    dims = (shape,) if not isinstance(shape, (tuple, list)) else shape
    result = tuple(operator.index(n) for n in dims)
    if any(n < 0 for n in result):
        raise ValueError("negative dimensions are not allowed")
    check_size(math.prod(result), caller)
    return result


def asball(x: BallLike) -> BallArray:
    """`x` as a BallArray: itself if it is one, an IntervalArray wrapped without a
    copy, anything else (numbers, numpy array_likes of real numbers) as exact balls."""
    if isinstance(x, BallArray):
        return x
    if isinstance(x, (core.IntervalArray, core._BallView)):
        return BallArray(x)
    return wrap_checked(x, 0.0, "asball()")


def array(mid: BallLike, rad: npt.ArrayLike = 0.0) -> BallArray:
    """The same as ``BallArray(mid, rad)``: a new array of balls mid ± rad."""
    return BallArray(mid, rad)


def wrap_checked(mid: npt.ArrayLike, rad: npt.ArrayLike, caller: str) -> BallArray:
    return _ops.wrap(BallArray, checked_parts(mid, rad, caller))


def zeros(shape: ShapeLike) -> BallArray:
    """An array of `shape` (an int or a tuple) whose balls are all exactly 0."""
    dims = _shape(shape, "zeros()")
    return _ops.wrap(BallArray, core.zeros(list(dims)))


def ones(shape: ShapeLike) -> BallArray:
    """An array of `shape` (an int or a tuple) whose balls are all exactly 1."""
    dims = _shape(shape, "ones()")
    return _ops.wrap(BallArray, core.ones(list(dims)))


def full(shape: ShapeLike, mid: npt.ArrayLike, rad: npt.ArrayLike = 0.0) -> BallArray:
    """An array of `shape` filled with mid ± rad (each a number, or broadcast to `shape`)."""
    dims = _shape(shape, "full()")
    return wrap_checked(np.broadcast_to(np.asarray(mid, dtype=np.float64), dims), rad, "full()")


def arange(start: float, stop: float | None = None, step: float = 1.0) -> BallArray:
    """Exact balls at numpy's ``arange(start, stop, step)`` (``arange(n)`` counts from 0)."""
    points = np.arange(start, step=step) if stop is None else np.arange(start, stop, step)
    return from_ball_parts(points, 0.0, points.shape)


def linspace(start: float, stop: float, num: SupportsIndex = 50) -> BallArray:
    """Exact balls at numpy's ``linspace(start, stop, num)``, both ends included."""
    points = np.linspace(start, stop, num)
    return from_ball_parts(points, 0.0, points.shape)
