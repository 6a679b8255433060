"""numpy functions called with ball arrays (the ``__array_function__`` protocol).

A function runs on balls when it is registered here with ``@implements``; its
implementation takes the ball class first, then numpy's own parameters.
Options it has no use for (``dtype``, ``out``, ``where``...) raise TypeError
unless left at their defaults. For every other numpy function numpy raises its
own TypeError ("no implementation found") rather than dropping the radii.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any

import numpy as np

import _quorvex as core
from quorvex import _ops, _reductions, _shape
from quorvex._numpy_bridge import from_parts

Implementation = Callable[..., Any]
_REGISTRY: dict[Callable[..., Any], Implementation] = {}


def implements(*functions: Callable[..., Any]) -> Callable[[Implementation], Implementation]:
    """Registers the decorated function as the ball form of the numpy `functions`."""
    def register(implementation: Implementation) -> Implementation:
        for function in functions:
            _REGISTRY[function] = implementation
        return implementation
    return register


def call(function: Callable[..., Any], types: Sequence[type], args: tuple[Any, ...],
         kwargs: dict[str, Any]) -> Any:
    implementation = _REGISTRY.get(function)
    if implementation is None:
        return NotImplemented
    cls = next(t for t in types if issubclass(t, core._BallView))
    return implementation(cls, *args, **kwargs)


def ball(cls: type[Any], value: Any) -> Any:
    """`value` as a ball array of class `cls` (exact balls for real numbers)."""
    x = _ops.as_view(value, cls)
    if x is None:
        raise TypeError(f"expected a BallArray or real numbers, not {type(value).__name__}")
    return x


def _plain(name: str, dtype: Any = None, out: Any = None, **options: Any) -> None:
    if dtype is not None or out is not None or options:
        given = [k for k, v in (("dtype", dtype), ("out", out)) if v is not None] + list(options)
        raise TypeError(f"numpy.{name}() of a BallArray does not take {', '.join(given)}")


@implements(np.sum)
def _sum(cls: type, a: Any, axis: Any = None, dtype: Any = None, out: Any = None,
         keepdims: bool = False, **options: Any) -> Any:
    _plain("sum", dtype, out, **options)
    return _reductions.reduce("sum", ball(cls, a), axis, keepdims)


@implements(np.mean)
def _mean(cls: type, a: Any, axis: Any = None, dtype: Any = None, out: Any = None,
          keepdims: bool = False, **options: Any) -> Any:
    _plain("mean", dtype, out, **options)
    return _reductions.reduce("mean", ball(cls, a), axis, keepdims)


def _spread(name: str) -> Implementation:
    def spread(cls: type, a: Any, axis: Any = None, dtype: Any = None, out: Any = None,
               ddof: float = 0, keepdims: bool = False, **options: Any) -> Any:
        _plain(name, dtype, out, **options)
        return _reductions.reduce(name, ball(cls, a), axis, keepdims, ddof)
    return spread


implements(np.var)(_spread("var"))
implements(np.std)(_spread("std"))


@implements(np.prod)
def _prod(cls: type, a: Any, axis: Any = None, dtype: Any = None, out: Any = None,
          keepdims: bool = False, **options: Any) -> Any:
    _plain("prod", dtype, out, **options)
    return _reductions.reduce("prod", ball(cls, a), axis, keepdims)


def _extremum(name: str) -> Implementation:
    def extremum(cls: type, a: Any, axis: Any = None, out: Any = None, keepdims: bool = False,
                 **options: Any) -> Any:
        _plain(name, None, out, **options)
        return _reductions.reduce(name, ball(cls, a), axis, keepdims)
    return extremum


implements(np.min, np.amin)(_extremum("min"))
implements(np.max, np.amax)(_extremum("max"))


@implements(np.cumsum)
def _cumsum(cls: type, a: Any, axis: Any = None, dtype: Any = None, out: Any = None) -> Any:
    _plain("cumsum", dtype, out)
    return _reductions.accumulate("cumsum", ball(cls, a), axis)


@implements(np.linalg.norm)
def _norm(cls: type, x: Any, ord: Any = None, axis: Any = None, keepdims: bool = False) -> Any:
    if ord is not None:
        raise TypeError("numpy.linalg.norm() of a BallArray is the 2-norm: ord is not taken")
    return _reductions.reduce("norm", ball(cls, x), axis, keepdims)


@implements(np.dot)
def _dot(cls: type, a: Any, b: Any, out: Any = None) -> Any:
    _plain("dot", None, out)
    return _reductions.dot(ball(cls, a), b)


def _joined(join: Callable[..., Any], name: str) -> Implementation:
    def joined(cls: type, arrays: Sequence[Any], axis: Any = 0, out: Any = None,
               **options: Any) -> Any:
        _plain(name, None, out, **options)
        balls = [ball(cls, a) for a in arrays]
        mids = [_shape.parts(b)[0] for b in balls]
        rads = [_shape.parts(b)[1] for b in balls]
        mid = join(mids, axis)
        rigorous = any(b.rigorous for b in balls)
        return _ops.wrap(cls, from_parts(mid, join(rads, axis), mid.shape), rigorous)
    return joined


implements(np.stack)(_joined(np.stack, "stack"))
implements(np.concatenate)(_joined(np.concatenate, "concatenate"))


@implements(np.transpose)
def _transpose(cls: type, a: Any, axes: Any = None) -> Any:
    return _shape.moved(ball(cls, a), lambda part: np.transpose(part, axes))


@implements(np.reshape)
def _reshape(cls: type, a: Any, *args: Any, **kwargs: Any) -> Any:
    return _shape.moved(ball(cls, a), lambda part: np.reshape(part, *args, **kwargs))


@implements(np.shape)
def _shape_of(cls: type, a: Any) -> tuple[int, ...]:
    return ball(cls, a).shape  # type: ignore[no-any-return]


@implements(np.ndim)
def _ndim(cls: type, a: Any) -> int:
    return ball(cls, a).ndim  # type: ignore[no-any-return]


@implements(np.size)
def _size(cls: type, a: Any, axis: int | None = None) -> int:
    x = ball(cls, a)
    return x.size if axis is None else x.shape[axis]  # type: ignore[no-any-return]
