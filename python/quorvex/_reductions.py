"""Reductions of ball views along axes, done by the core's engine.

Each result element reduces its balls (the reduced axes in row-major order)
exactly as the core reduces a whole contiguous array, so a reduction over
every axis, or along the one axis of a 1-D array, has the bits of the core's
whole-array reduction. Axes and keepdims follow numpy.
"""

from __future__ import annotations

import operator
from typing import Any, SupportsIndex, TypeVar, Union

import numpy as np

import _quorvex as core
from quorvex import _ops, _shape, _ufuncs

V = TypeVar("V", bound=core._BallView)
Axis = Union[SupportsIndex, tuple[SupportsIndex, ...], None]


def axes_of(axis: Axis, ndim: int) -> tuple[int, ...]:
    """`axis` (None for all) as a tuple of non-negative axes, with numpy's errors."""
    if axis is None:
        return tuple(range(ndim))
    axes = []
    for item in axis if isinstance(axis, tuple) else (axis,):
        a = operator.index(item)
        if not -ndim <= a < ndim:
            raise np.exceptions.AxisError(a, ndim)
        axes.append(a % ndim)
    if len(set(axes)) != len(axes):
        raise ValueError("duplicate value in 'axis'")
    return tuple(axes)


def _kept(x: V, result: V, axes: tuple[int, ...]) -> V:
    """The result with the reduced axes back as axes of length 1."""
    return _shape.moved(result, lambda r: np.expand_dims(r, axes))


def reduce(name: str, x: V, axis: Axis = None, keepdims: bool = False, ddof: float = 0) -> V:
    axes = axes_of(axis, x.ndim)
    result = _ops.reduce(name, x, axes, ddof)
    return _kept(x, result, axes) if keepdims else result


def accumulate(name: str, x: V, axis: SupportsIndex | None = None) -> V:
    """Running sums or products along `axis`; over the flattened array when it is None."""
    if axis is None:
        flat = _shape.moved(x, np.ravel)
        return _ops.accumulate(name, flat, 0)
    (a,) = axes_of(operator.index(axis), x.ndim)
    return _ops.accumulate(name, x, a)


def dot(x: V, other: Any) -> V:
    """numpy.dot for operands of up to 2 dimensions."""
    y = _ops.as_view(other, type(x), x.rigorous)
    if y is None:
        raise TypeError("BallArray.dot() needs a BallArray, an IntervalArray or real numbers, "
                        f"not {type(other).__name__}")
    if x.ndim == 0 or y.ndim == 0:
        result: V = _ops.binary("multiply", x, y)
        return result
    if x.ndim > 2 or y.ndim > 2:
        raise ValueError("BallArray.dot() takes operands of at most 2 dimensions; "
                         "use @ for stacks of matrices")
    if x.shape[-1] != y.shape[0]:
        raise ValueError(f"shapes {x.shape} and {y.shape} not aligned: {x.shape[-1]} "
                         f"(dim {x.ndim - 1}) != {y.shape[0]} (dim 0)")
    if x.ndim == 1 and y.ndim == 1:
        # The core's inner product: its fused multiply-add order decides the bits.
        return _ops.dot(x, y)
    product: V = _ufuncs.matmul(x, y)
    return product
