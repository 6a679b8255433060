"""numpy functions called with BallArrays (the ``__array_function__`` protocol).

The functions that have a BallArray counterpart run it, with numpy's
parameter names; options it has no use for (``dtype``, ``out``, ``where``...)
raise TypeError unless left at their defaults. For every other numpy function
numpy raises its own TypeError ("no implementation found"), rather than
converting the balls to plain numbers.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any

import numpy as np

from quorvex._ballarray import Axis, BallArray, BallLike
from quorvex._construct import asball
from quorvex._joining import concatenate, stack


def _plain(name: str, dtype: Any = None, out: Any = None, ddof: int = 0,
           **options: Any) -> None:
    if dtype is not None or out is not None or ddof != 0 or options:
        given = [k for k, v in (("dtype", dtype), ("out", out)) if v is not None]
        given += ["ddof"] * (ddof != 0) + list(options)
        raise TypeError(f"numpy.{name}() of a BallArray does not take {', '.join(given)}")


def _sum(a: BallLike, axis: Axis = None, dtype: Any = None, out: Any = None,
         keepdims: bool = False, **options: Any) -> BallArray:
    _plain("sum", dtype, out, **options)
    return asball(a).sum(axis, keepdims)


def _mean(a: BallLike, axis: Axis = None, dtype: Any = None, out: Any = None,
          keepdims: bool = False, **options: Any) -> BallArray:
    _plain("mean", dtype, out, **options)
    return asball(a).mean(axis, keepdims)


def _extremum(name: str) -> Callable[..., BallArray]:
    def reduce(a: BallLike, axis: Axis = None, out: Any = None, keepdims: bool = False,
               **options: Any) -> BallArray:
        _plain(name, None, out, **options)
        x = asball(a)
        return x.min(axis, keepdims) if name == "min" else x.max(axis, keepdims)
    return reduce


def _whole(name: str) -> Callable[..., BallArray]:
    def reduce(a: BallLike, axis: None = None, dtype: Any = None, out: Any = None,
               ddof: int = 0, **options: Any) -> BallArray:
        if axis is not None:
            raise TypeError(f"numpy.{name}() of a BallArray reduces the whole array: "
                            "axis must be None")
        _plain(name, dtype, out, ddof, **options)
        result: BallArray = getattr(asball(a), name)()
        return result
    return reduce


def _cumsum(a: BallLike, axis: Any = None, dtype: Any = None, out: Any = None) -> BallArray:
    _plain("cumsum", dtype, out)
    return asball(a).cumsum(axis)


def _norm(x: BallLike, ord: Any = None, axis: Any = None, keepdims: bool = False) -> BallArray:
    if ord is not None or axis is not None or keepdims:
        raise TypeError("numpy.linalg.norm() of a BallArray is the 2-norm of all elements: "
                        "ord, axis and keepdims are not taken")
    return asball(x).norm()


def _joined(join: Callable[[Sequence[BallLike], Any], BallArray],
            name: str) -> Callable[..., BallArray]:
    def joined(arrays: Sequence[BallLike], axis: Any = 0, out: Any = None,
               **options: Any) -> BallArray:
        _plain(name, None, out, **options)
        return join(arrays, axis)
    return joined


def _dot(a: BallLike, b: BallLike, out: Any = None) -> BallArray:
    _plain("dot", None, out)
    return asball(a).dot(b)


def _transpose(a: BallLike, axes: Any = None) -> BallArray:
    return asball(a).transpose() if axes is None else asball(a).transpose(axes)


def _reshape(a: BallLike, shape: Any, **options: Any) -> BallArray:
    _plain("reshape", **options)
    return asball(a).reshape(shape)


def _size(a: BallLike, axis: int | None = None) -> int:
    return asball(a).size if axis is None else asball(a).shape[axis]


_FUNCTIONS: dict[Callable[..., Any], Callable[..., Any]] = {
    np.sum: _sum, np.mean: _mean, np.min: _extremum("min"), np.max: _extremum("max"),
    np.amin: _extremum("min"), np.amax: _extremum("max"), np.prod: _whole("prod"),
    np.var: _whole("var"), np.std: _whole("std"), np.cumsum: _cumsum, np.linalg.norm: _norm,
    np.dot: _dot, np.stack: _joined(stack, "stack"),
    np.concatenate: _joined(concatenate, "concatenate"), np.transpose: _transpose,
    np.reshape: _reshape, np.shape: lambda a: asball(a).shape,
    np.ndim: lambda a: asball(a).ndim, np.size: _size,
}


def call(function: Callable[..., Any], args: tuple[Any, ...], kwargs: dict[str, Any]) -> Any:
    implementation = _FUNCTIONS.get(function)
    if implementation is None:
        return NotImplemented
    return implementation(*args, **kwargs)
