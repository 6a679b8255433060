"""numpy-style constructors of BallArray.

The values are numpy's (``qv.arange(0, 1, 0.1).mid`` equals
``np.arange(0, 1, 0.1)``), with numpy's argument errors; the core's own
constructors, which differ in small ways (no -1, running sums in arange),
stay available as ``quorvex.core.zeros`` and so on.
"""

from __future__ import annotations

import math
import operator
from typing import Any, SupportsIndex

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


def asball(x: BallLike, rigorous: bool = False) -> BallArray:
    """`x` as a BallArray: itself if it is one (under the rigorous model too, if
    `rigorous`), an IntervalArray wrapped without a copy, anything else (numbers,
    numpy array_likes of real numbers, exact numbers) as balls around its values."""
    if isinstance(x, BallArray):
        return x.as_rigorous() if rigorous and not x.rigorous else x
    if isinstance(x, (core.IntervalArray, core._BallView)):
        return BallArray(x, rigorous=rigorous)
    return wrap_checked(x, 0.0, "asball()", rigorous)


def array(mid: BallLike, rad: Any = 0.0, rigorous: bool = False) -> BallArray:
    """The same as ``BallArray(mid, rad, rigorous)``: a new array of balls mid ± rad."""
    return BallArray(mid, rad, rigorous)


def wrap_checked(mid: Any, rad: Any, caller: str, rigorous: bool = False) -> BallArray:
    return _ops.wrap(BallArray, checked_parts(mid, rad, caller, rigorous), rigorous)


def zeros(shape: ShapeLike, rigorous: bool = False) -> BallArray:
    """An array of `shape` (an int or a tuple) whose balls are all exactly 0."""
    dims = _shape(shape, "zeros()")
    return _ops.wrap(BallArray, core.zeros(list(dims)), rigorous)


def ones(shape: ShapeLike, rigorous: bool = False) -> BallArray:
    """An array of `shape` (an int or a tuple) whose balls are all exactly 1."""
    dims = _shape(shape, "ones()")
    return _ops.wrap(BallArray, core.ones(list(dims)), rigorous)


def full(shape: ShapeLike, mid: Any, rad: Any = 0.0, rigorous: bool = False) -> BallArray:
    """An array of `shape` filled with mid ± rad (each a number, or broadcast to `shape`)."""
    dims = _shape(shape, "full()")
    m = np.asarray(mid)
    m = m if m.dtype.kind == "O" or m.dtype.kind in "US" else m.astype(np.float64)
    return wrap_checked(np.broadcast_to(m, dims), rad, "full()", rigorous)


def arange(start: float, stop: float | None = None, step: float = 1.0,
           rigorous: bool = False) -> BallArray:
    """Exact balls at numpy's ``arange(start, stop, step)`` (``arange(n)`` counts from 0)."""
    points = np.arange(start, step=step) if stop is None else np.arange(start, stop, step)
    return _ops.wrap(BallArray, from_ball_parts(points, 0.0, points.shape).core, rigorous)


def linspace(start: float, stop: float, num: SupportsIndex = 50,
             rigorous: bool = False) -> BallArray:
    """Exact balls at numpy's ``linspace(start, stop, num)``, both ends included."""
    points = np.linspace(start, stop, num)
    return _ops.wrap(BallArray, from_ball_parts(points, 0.0, points.shape).core, rigorous)
