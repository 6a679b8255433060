"""numpy functions called with ball arrays (the ``__array_function__`` protocol).

A function runs on balls when it is registered here with ``@implements``; its
implementation takes the ball class first, then numpy's own parameters.
Options it has no use for (``dtype``, ``out``, ``where``...) raise TypeError
unless left at their defaults. For every other numpy function numpy raises its
own TypeError ("no implementation found") rather than dropping the radii.
"""

from __future__ import annotations

import operator
import warnings
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
            # A second registration would silently replace the first.
            if function in _REGISTRY:
                raise RuntimeError(f"{function.__name__} has a ball form already")
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
               ddof: float = 0, keepdims: bool = False, *, correction: Any = _MISSING,
               **options: Any) -> Any:
        _plain(name, dtype, out, **options)
        if correction is not _MISSING:  # numpy 2's name for ddof
            if ddof != 0:
                raise ValueError("ddof and correction can't be provided simultaneously.")
            ddof = correction
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


# -- arithmetic of several elements: engine products, sums and differences ----------------


def _numpy_shape(shape: tuple[int, ...]) -> str:
    """A shape as numpy's messages write it: (2,3), (4,)."""
    return "(" + ",".join(map(str, shape)) + ("," if len(shape) == 1 else "") + ")"


def _axis(axis: Any, ndim: int, prefix: str | None = None) -> int:
    a = operator.index(axis)
    if not -ndim <= a < ndim:
        raise np.exceptions.AxisError(a, ndim, prefix)
    return a % ndim


@implements(np.trace)
def _trace(cls: type, a: Any, offset: Any = 0, axis1: Any = 0, axis2: Any = 1, dtype: Any = None,
           out: Any = None) -> Any:
    _plain("trace", dtype, out)
    diagonal = _shape.moved(ball(cls, a), lambda part: np.diagonal(part, offset, axis1, axis2))
    return _reductions.reduce("sum", diagonal, -1)


@implements(np.diff)
def _diff(cls: type, a: Any, n: Any = 1, axis: Any = -1, prepend: Any = _MISSING,
          append: Any = _MISSING) -> Any:
    x = ball(cls, a)
    if n == 0:
        return x
    if n < 0:
        raise ValueError("order must be non-negative but got " + repr(n))
    if x.ndim == 0:
        raise ValueError("diff requires input that is at least one dimensional")
    axis = _axis(axis, x.ndim)
    edge = x.shape[:axis] + (1,) + x.shape[axis + 1:]
    pieces = [np.broadcast_to(piece, edge) if np.ndim(piece) == 0 else piece
              for piece in (prepend, x, append) if piece is not _MISSING]
    if len(pieces) > 1:
        x = _joined(np.concatenate, "concatenate")(cls, pieces, axis)
    later = (slice(None),) * axis + (slice(1, None),)
    earlier = (slice(None),) * axis + (slice(None, -1),)
    for _ in range(n):
        x = _ops.binary("subtract", x[later], x[earlier])
    return x


@implements(np.outer)
def _outer(cls: type, a: Any, b: Any, out: Any = None) -> Any:
    _plain("outer", None, out)
    x, y = ball(cls, a), ball(cls, b)
    return _ops.binary("multiply", x.reshape(-1)[:, None], y.reshape(-1)[None, :])


@implements(np.inner)
def _inner(cls: type, a: Any, b: Any) -> Any:
    x, y = ball(cls, a), ball(cls, b)
    if x.ndim == 0 or y.ndim == 0:
        return _ops.binary("multiply", x, y)
    if x.shape[-1] != y.shape[-1]:
        raise ValueError(f"shapes {_numpy_shape(x.shape)} and {_numpy_shape(y.shape)} not "
                         f"aligned: {x.shape[-1]} (dim {x.ndim - 1}) != {y.shape[-1]} "
                         f"(dim {y.ndim - 1})")
    # x[i..., k] * y[j..., k] on the shape x.shape[:-1] + y.shape[:-1] + (k,), summed over k.
    spread = x[(..., *(None,) * (y.ndim - 1), slice(None))]
    return _reductions.reduce("sum", _ops.binary("multiply", spread, y), -1)


@implements(np.vdot)
def _vdot(cls: type, a: Any, b: Any) -> Any:
    x, y = ball(cls, a).reshape(-1), ball(cls, b).reshape(-1)
    if x.size != y.size:
        raise ValueError(f"numpy.vdot() needs vectors of one length, not {x.size} and {y.size}")
    return _reductions.reduce("sum", _ops.binary("multiply", x, y))


def _times(u: Any, v: Any) -> Any:
    return None if u is None or v is None else _ops.binary("multiply", u, v)


def _minus(p: Any, q: Any) -> Any:
    """p - q, where None is an exact zero."""
    if q is None:
        return p
    return _ops.unary("negative", q) if p is None else _ops.binary("subtract", p, q)


@implements(np.cross)
def _cross(cls: type, a: Any, b: Any, axisa: Any = -1, axisb: Any = -1, axisc: Any = -1,
           axis: Any = None) -> Any:
    if axis is not None:
        axisa = axisb = axisc = axis
    x, y = ball(cls, a), ball(cls, b)
    if x.ndim < 1 or y.ndim < 1:
        raise ValueError("At least one array has zero dimension")
    from_a, from_b = _axis(axisa, x.ndim, "axisa"), _axis(axisb, y.ndim, "axisb")
    x = _shape.moved(x, lambda part: np.moveaxis(part, from_a, -1))
    y = _shape.moved(y, lambda part: np.moveaxis(part, from_b, -1))
    if x.shape[-1] not in (2, 3) or y.shape[-1] not in (2, 3):
        raise ValueError("incompatible dimensions for cross product\n"
                         "(dimension must be 2 or 3)")
    if x.shape[-1] == 2 or y.shape[-1] == 2:
        warnings.warn("Arrays of 2-dimensional vectors are deprecated. Use arrays of "
                      "3-dimensional vectors instead. (deprecated in NumPy 2.0)",
                      DeprecationWarning, stacklevel=4)
    # The components, a missing third one being an exact zero (None).
    a0, a1, a2 = (x[..., i] if i < x.shape[-1] else None for i in range(3))
    b0, b1, b2 = (y[..., i] if i < y.shape[-1] else None for i in range(3))
    c2 = _minus(_times(a0, b1), _times(a1, b0))
    if x.shape[-1] == 2 and y.shape[-1] == 2:
        return c2
    c0 = _minus(_times(a1, b2), _times(a2, b1))
    c1 = _minus(_times(a2, b0), _times(a0, b2))
    c = _joined(np.stack, "stack")(cls, [c0, c1, c2], -1)
    to_c = _axis(axisc, c.ndim, "axisc")
    return _shape.moved(c, lambda part: np.moveaxis(part, -1, to_c))


# -- new arrays like others ----------------------------------------------------------


def _filled(cls: type, a: Any, value: Any, name: str, dtype: Any, shape: Any,
            device: Any) -> Any:
    _plain(name, dtype)
    if device not in (None, "cpu"):
        raise ValueError(f'Device not understood. Only "cpu" is allowed, but received: {device}')
    target = np.shape(a) if shape is None else tuple(np.atleast_1d(shape).tolist())
    fill = ball(cls, value)
    mid, rad = _shape.parts(fill)
    rigorous = bool(getattr(a, "rigorous", False)) or fill.rigorous
    return _ops.wrap(cls, from_parts(mid, rad, target), rigorous)


def _like(name: str, value: float) -> Implementation:
    def like(cls: type, a: Any, dtype: Any = None, order: str = "K", subok: bool = True,
             shape: Any = None, *, device: Any = None) -> Any:
        return _filled(cls, a, value, name, dtype, shape, device)
    return like


# The balls of empty_like are zeros: an array is never seen unwritten.
implements(np.zeros_like, np.empty_like)(_like("zeros_like", 0.0))
implements(np.ones_like)(_like("ones_like", 1.0))


@implements(np.full_like)
def _full_like(cls: type, a: Any, fill_value: Any, dtype: Any = None, order: str = "K",
               subok: bool = True, shape: Any = None, *, device: Any = None) -> Any:
    return _filled(cls, a, fill_value, "full_like", dtype, shape, device)


# -- statistics -------------------------------------------------------------------------


@implements(np.average)
def _average(cls: type, a: Any, axis: Any = None, weights: Any = None, returned: bool = False,
             *, keepdims: bool = False) -> Any:
    """sum(w * x) / sum(w) through the engine, the weights exact; the weight sums
    (or the counts) come back with ``returned=True`` as exact balls."""
    x = ball(cls, a)
    axes = _reductions.axes_of(axis, x.ndim) if axis is not None else None
    scale: Any
    if weights is None:
        average = _reductions.reduce("mean", x, axes, keepdims)
        count = x.size / average.size if average.size else 0.0
        scale = _ops.wrap(cls, from_parts(count, 0.0, average.shape))
    else:
        if isinstance(weights, (core._BallView, core.IntervalArray)):
            raise TypeError("numpy.average() takes exact weights, not balls: their "
                            "uncertainty would count in both sums")
        w = _ops.real_array(weights, "numpy.average()")
        if w is None:
            raise TypeError(f"numpy.average() needs real weights, not {type(weights).__name__}")
        if w.shape != x.shape:
            if axes is None:
                raise TypeError("Axis must be specified when shapes of a and weights differ.")
            if w.shape != tuple(x.shape[i] for i in axes):
                raise ValueError("Shape of weights must be consistent with shape of a along "
                                 "specified axis.")
            w = w.transpose(np.argsort(axes)).reshape(
                tuple(n if i in axes else 1 for i, n in enumerate(x.shape)))
        exact = ball(cls, np.broadcast_to(w, np.broadcast_shapes(w.shape, x.shape)))
        scale = _reductions.reduce("sum", exact, axes, keepdims)
        if np.any(_shape.parts(scale)[0] == 0.0):
            raise ZeroDivisionError("Weights sum to zero, can't be normalized")
        weighted = _reductions.reduce("sum", _ops.binary("multiply", x, w), axes, keepdims)
        average = _ops.binary("divide", weighted, scale)
    return (average, scale) if returned else average


def _nan_balls(x: Any) -> Any:
    """Where x's balls are NaN: a NaN midpoint or a NaN radius."""
    mid, rad = _shape.parts(x)
    return np.isnan(mid) | np.isnan(rad)


def _without_nan(x: Any, nan: Any) -> Any:
    """x with its NaN balls replaced by exact zeros."""
    return _shape.copied(x, lambda part: np.where(nan, 0.0, part))


def _nan_where(result: Any, empty: Any) -> Any:
    """result with the ball NaN ± NaN where `empty` holds (slices with no number)."""
    return _shape.copied(result, lambda part: np.where(empty, np.nan, part))


def _nan_reduction(name: str, options: dict[str, Any], dtype: Any = None, out: Any = None) -> None:
    _plain(name, dtype, out, **{k: v for k, v in options.items() if v is not _MISSING})


@implements(np.nansum)
def _nansum(cls: type, a: Any, axis: Any = None, dtype: Any = None, out: Any = None,
            keepdims: bool = False, initial: Any = _MISSING, where: Any = _MISSING) -> Any:
    _nan_reduction("nansum", {"initial": initial, "where": where}, dtype, out)
    x = ball(cls, a)
    nan = _nan_balls(x)
    return _reductions.reduce("sum", _without_nan(x, nan) if nan.any() else x, axis, keepdims)


@implements(np.nanmean)
def _nanmean(cls: type, a: Any, axis: Any = None, dtype: Any = None, out: Any = None,
             keepdims: bool = False, *, where: Any = _MISSING) -> Any:
    _nan_reduction("nanmean", {"where": where}, dtype, out)
    x = ball(cls, a)
    nan = _nan_balls(x)
    if not nan.any():
        return _reductions.reduce("mean", x, axis, keepdims)
    axes = _reductions.axes_of(axis, x.ndim)
    count = np.sum(~nan, axis=axes, keepdims=keepdims)
    total = _reductions.reduce("sum", _without_nan(x, nan), axes, keepdims)
    mean = _ops.binary("divide", total, count.astype(np.float64))
    if (count == 0).any():
        warnings.warn("Mean of empty slice", RuntimeWarning, stacklevel=4)
        mean = _nan_where(mean, count == 0)
    return mean


def _nan_extremum(name: str) -> Implementation:
    def extremum(cls: type, a: Any, axis: Any = None, out: Any = None, keepdims: bool = False,
                 initial: Any = _MISSING, where: Any = _MISSING) -> Any:
        _nan_reduction("nan" + name, {"initial": initial, "where": where}, None, out)
        x = ball(cls, a)
        # The engine's extrema pass NaN endpoints over already; only slices of
        # nothing but NaN balls need a NaN result, as numpy gives them.
        result = _reductions.reduce(name, x, axis, keepdims)
        axes = _reductions.axes_of(axis, x.ndim)
        empty = np.all(_nan_balls(x), axis=axes, keepdims=keepdims)
        if empty.any():
            warnings.warn("All-NaN slice encountered", RuntimeWarning, stacklevel=4)
            result = _nan_where(result, empty)
        return result
    return extremum


implements(np.nanmin)(_nan_extremum("min"))
implements(np.nanmax)(_nan_extremum("max"))


# -- numpy functions with no meaning for balls ------------------------------------------

_ORDER = "balls are not totally ordered"
# The functions of each entry, and what to use instead.
_REFUSED: dict[str, tuple[tuple[Callable[..., Any], ...], str]] = {
    "sort": ((np.sort,), f"{_ORDER}; sort by .mid, .lo or .hi (np.argsort(x.mid)) and index"),
    "argsort": ((np.argsort,), f"{_ORDER}; use np.argsort(x.mid), np.argsort(x.lo) or "
                "np.argsort(x.hi)"),
    "argmax": ((np.argmax, np.nanargmax), f"{_ORDER}; use np.argmax(x.mid), np.argmax(x.lo) "
               "or np.argmax(x.hi), or x.max() for the ball of the largest values"),
    "argmin": ((np.argmin, np.nanargmin), f"{_ORDER}; use np.argmin(x.mid), np.argmin(x.lo) "
               "or np.argmin(x.hi), or x.min() for the ball of the smallest values"),
    "median": ((np.median, np.nanmedian), f"{_ORDER}; np.median(x.lo) and np.median(x.hi) "
               "bound the medians of the values the balls hold"),
    "percentile": ((np.percentile, np.nanpercentile), f"{_ORDER}; np.percentile(x.lo, q) and "
                   "np.percentile(x.hi, q) bound the percentiles of the values the balls hold"),
    "quantile": ((np.quantile, np.nanquantile), f"{_ORDER}; np.quantile(x.lo, q) and "
                 "np.quantile(x.hi, q) bound the quantiles of the values the balls hold"),
    "searchsorted": ((np.searchsorted,), f"{_ORDER}; use np.searchsorted on .mid, .lo or .hi"),
    "unique": ((np.unique,), f"{_ORDER}; use == to find equal balls, or np.unique on "
               "np.stack([x.mid, x.rad], -1).reshape(-1, 2) with axis=0"),
    "isclose": ((np.isclose,), "closeness of balls is not one number; use qv.overlaps(x, y) "
                "(they may be equal), qv.contains or np.isclose(x.mid, y.mid)"),
    "allclose": ((np.allclose,), "closeness of balls is not one number; use "
                 "qv.overlaps(x, y).all() (they may be equal) or np.allclose(x.mid, y.mid)"),
}


def _refusal(name: str, advice: str) -> Implementation:
    def refuse(cls: type, *args: Any, **kwargs: Any) -> Any:
        raise TypeError(f"numpy.{name}() of a BallArray has no meaning: {advice}")
    return refuse


for _refused, _advice in _REFUSED.values():
    for _function in _refused:
        implements(_function)(_refusal(_function.__name__, _advice))


def _not_saved(name: str) -> Implementation:
    def refuse(cls: type, *args: Any, **kwargs: Any) -> Any:
        raise TypeError(f"numpy.{name}() cannot store a BallArray (its radii would be lost): "
                        "use qv.save(file, x), which writes its midpoints and radii to an .npz "
                        "file that qv.load(file) reads")
    return refuse


for _save in (np.save, np.savez, np.savez_compressed, np.savetxt):
    implements(_save)(_not_saved(_save.__name__))
