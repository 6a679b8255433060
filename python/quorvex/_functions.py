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
from quorvex import _interval, _ops, _reductions, _shape
from quorvex._numpy_bridge import from_parts

Implementation = Callable[..., Any]
# Stands for an argument the caller left out, where None means something else.
_MISSING: Any = object()
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
    def joined(cls: type, arrays: Sequence[Any], axis: Any = _MISSING, out: Any = None, *,
               dtype: Any = None, casting: str = "same_kind") -> Any:
        # casting has nothing to do: every operand is float64 balls already.
        _plain(name, dtype, out)
        along = () if axis is _MISSING else (axis,)
        balls = [ball(cls, a) for a in arrays]
        mid = join([_shape.parts(b)[0] for b in balls], *along)
        rad = join([_shape.parts(b)[1] for b in balls], *along)
        return _ops.wrap(cls, from_parts(mid, rad, mid.shape), any(b.rigorous for b in balls))
    return joined


for _join in (np.stack, np.concatenate, np.vstack, np.hstack, np.dstack, np.column_stack):
    implements(_join)(_joined(_join, _join.__name__))


def _moving(move: Callable[..., Any]) -> Implementation:
    """numpy's data movement `move` on the balls: views where numpy gives views."""
    def moving(cls: type, a: Any, *args: Any, **kwargs: Any) -> Any:
        return _shape.moved(ball(cls, a), lambda part: move(part, *args, **kwargs))
    return moving


for _move in (np.transpose, np.reshape, np.ravel, np.squeeze, np.expand_dims, np.broadcast_to,
              np.moveaxis, np.swapaxes, np.flip, np.fliplr, np.flipud, np.rot90, np.roll,
              np.tile, np.repeat, np.diag, np.diagonal):
    implements(_move)(_moving(_move))


def _at_least(move: Callable[..., Any]) -> Implementation:
    def at_least(cls: type, *arys: Any) -> Any:
        results = tuple(_shape.moved(ball(cls, a), move) for a in arys)
        return results[0] if len(results) == 1 else results
    return at_least


for _at in (np.atleast_1d, np.atleast_2d, np.atleast_3d):
    implements(_at)(_at_least(_at))


def _splitting(split: Callable[..., Any]) -> Implementation:
    def splitting(cls: type, ary: Any, *args: Any, **kwargs: Any) -> Any:
        return _shape.moved_each(ball(cls, ary), lambda part: split(part, *args, **kwargs))
    return splitting


for _split in (np.split, np.array_split, np.hsplit, np.vsplit, np.dsplit):
    implements(_split)(_splitting(_split))


def _same(part: Any) -> Any:
    return part


@implements(np.copy)
def _copy(cls: type, a: Any, order: str = "K", subok: bool = False) -> Any:
    return _shape.copied(ball(cls, a), _same)


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


# -- selection -------------------------------------------------------------------


@implements(np.where)
def _where(cls: type, condition: Any, x: Any = _MISSING, y: Any = _MISSING) -> Any:
    if isinstance(condition, (core._BallView, core.IntervalArray)):
        raise TypeError("numpy.where() takes a bool condition, not a BallArray: test .mid, .lo "
                        "or .hi (np.where(x.mid > 0, x, -x)) or use qv.certainly_gt(x, 0)")
    if x is _MISSING or y is _MISSING:
        raise ValueError("either both or neither of x and y should be given")
    return _shape.selected(condition, ball(cls, x), ball(cls, y))


@implements(np.clip)
def _clip(cls: type, a: Any, a_min: Any = _MISSING, a_max: Any = _MISSING, out: Any = None,
          **kwargs: Any) -> Any:
    lower, upper = kwargs.pop("min", _MISSING), kwargs.pop("max", _MISSING)
    _plain("clip", None, out, **kwargs)
    if a_min is _MISSING and a_max is _MISSING:
        a_min, a_max = lower, upper
    elif a_min is _MISSING or a_max is _MISSING:
        missing = "a_min" if a_min is _MISSING else "a_max"
        raise TypeError(f"clip() missing 1 required positional argument: '{missing}'")
    elif lower is not _MISSING or upper is not _MISSING:
        raise ValueError("Passing `min` or `max` keyword argument when `a_min` and `a_max` "
                         "are provided is forbidden.")
    return _interval.clip(ball(cls, a), None if a_min is _MISSING else a_min,
                          None if a_max is _MISSING else a_max)
