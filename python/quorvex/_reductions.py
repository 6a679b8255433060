"""BallArray reductions.

Over the whole array every reduction is the core's own, so its result is the
core's bit for bit. Along axes (sum, mean, min, max, cumsum) the same
first-order rules are applied by numpy to the midpoint and radius views:
sums add midpoints and radii separately and end in the ball of [M - R, M + R],
the extrema take the NaN-ignoring extreme lower and upper endpoints. numpy's
order of additions (pairwise along a contiguous axis) is not the core's, so
the last bits of an axis sum can differ from those of the whole-array sum.
"""

from __future__ import annotations

import math
import operator
from typing import TYPE_CHECKING, Any, SupportsIndex

import numpy as np

from quorvex import _arithmetic, _ballarray

if TYPE_CHECKING:
    from quorvex._ballarray import Axis, BallArray
    from quorvex._numpy_bridge import Float64Array


def axes_of(axis: SupportsIndex | tuple[SupportsIndex, ...], ndim: int) -> tuple[int, ...]:
    """`axis` as a tuple of non-negative axes, with numpy's errors."""
    axes = []
    for item in axis if isinstance(axis, tuple) else (axis,):
        a = operator.index(item)
        if not -ndim <= a < ndim:
            raise np.exceptions.AxisError(a, ndim)
        axes.append(a % ndim)
    if len(set(axes)) != len(axes):
        raise ValueError("duplicate value in 'axis'")
    return tuple(axes)


def _pair(pair: tuple[float, float], x: BallArray, keepdims: bool) -> BallArray:
    shape = (1,) * x.ndim if keepdims else ()
    return _ballarray.from_ball_parts(pair[0], pair[1], shape)


def _ball_of(lo: Float64Array, hi: Float64Array) -> BallArray:
    mid = np.asarray((lo + hi) * 0.5)
    return _ballarray.from_ball_parts(mid, (hi - lo) * 0.5, mid.shape)


def whole(x: BallArray, name: str) -> BallArray:
    """The core's reduction `name` of all elements, as a 0-d array."""
    pair: tuple[float, float] = getattr(x._core, name)()
    return _pair(pair, x, False)


def sum(x: BallArray, axis: Axis, keepdims: bool) -> BallArray:
    if axis is None:
        return _pair(x._core.sum(), x, keepdims)
    axes = axes_of(axis, x.ndim)
    mid, rad = x._parts()
    with np.errstate(all="ignore"):
        total, spread = mid.sum(axes, keepdims=keepdims), rad.sum(axes, keepdims=keepdims)
        return _ball_of(total - spread, total + spread)


def mean(x: BallArray, axis: Axis, keepdims: bool) -> BallArray:
    if axis is None:
        return _pair(x._core.mean(), x, keepdims)
    axes = axes_of(axis, x.ndim)
    mid, rad = x._parts()
    count = float(math.prod(x._shape[a] for a in axes))
    with np.errstate(all="ignore"):
        total, spread = mid.sum(axes, keepdims=keepdims), rad.sum(axes, keepdims=keepdims)
        lo, hi = total - spread, total + spread
        # The core's steps: the mean ball of the sum's endpoints, then its endpoints again.
        m, r = ((lo + hi) * 0.5) / count, ((hi - lo) * 0.5) / count
        return _ball_of(m - r, r + m)


def extremum(x: BallArray, axis: Axis, keepdims: bool, which: str) -> BallArray:
    axes = tuple(range(x.ndim)) if axis is None else axes_of(axis, x.ndim)
    if x.size == 0 and (axis is None or any(x._shape[a] == 0 for a in axes)):
        name = "minimum" if which == "min" else "maximum"
        raise ValueError(f"zero-size array to reduction operation {name} which has no identity")
    if axis is None:
        return _pair(x._core.min_val() if which == "min" else x._core.max_val(), x, keepdims)
    # NaN endpoints are passed over (fmin, fmax) and the start value stands when
    # all are NaN, as in the core's running comparison.
    reduce, start = (np.fmin, np.inf) if which == "min" else (np.fmax, -np.inf)
    with np.errstate(all="ignore"):
        low = reduce.reduce(x.lo, axis=axes, initial=start)
        high = reduce.reduce(x.hi, axis=axes, initial=start)
        if keepdims:
            low, high = np.expand_dims(low, axes), np.expand_dims(high, axes)
        mid = np.asarray((high + low) * 0.5)
        rad = (np.maximum(high, low) - np.minimum(high, low)) * 0.5
    return _ballarray.from_ball_parts(mid, rad, mid.shape)


def cumsum(x: BallArray, axis: SupportsIndex | None) -> BallArray:
    if axis is None:
        return _ballarray.wrap(x._core.cumsum().reshape([x.size]), (x.size,))
    (a,) = axes_of(operator.index(axis), x.ndim)
    mid, rad = x._parts()
    with np.errstate(all="ignore"):
        return _ballarray.from_ball_parts(np.cumsum(mid, a), np.cumsum(rad, a), x._shape)


def dot(x: BallArray, other: Any) -> BallArray:
    y = _arithmetic.operand(other)
    if y is None:
        raise TypeError("BallArray.dot() needs a BallArray, an IntervalArray or real numbers, "
                        f"not {type(other).__name__}")
    if isinstance(y, float) or x.ndim == 0 or y.ndim == 0:
        return x * y
    if x.ndim > 2 or y.ndim > 2:
        raise ValueError("BallArray.dot() takes operands of at most 2 dimensions; "
                         "use @ for stacks of matrices")
    if x._shape[-1] != y._shape[0]:
        raise ValueError(f"shapes {x._shape} and {y._shape} not aligned: {x._shape[-1]} "
                         f"(dim {x.ndim - 1}) != {y._shape[0]} (dim 0)")
    if x.ndim == 1 and y.ndim == 1:
        return _pair(x._core.dot(y._core), x, False)
    product = _arithmetic.matmul(x, y, False)
    assert product is not None  # y is a ball array
    return product
