"""Interval operations on balls: set operations, predicates, magnitudes, clip.

Everything here works on the endpoints ``lo = mid - rad`` and ``hi = mid +
rad``, rounded to nearest as the core forms them, and broadcasts its operands
as numpy does; numbers and numpy array_likes are exact balls. A ball made from
an endpoint pair is the core's: midpoint ``(lo + hi) * 0.5`` and radius
``(hi - lo) * 0.5``, rounded to nearest (the first-order model), except that a
pair at infinity, [inf, inf], is the ball inf ± 0. A ball that comes back
unchanged (inside the clip bounds, inside the other operand of an
intersection) is rebuilt from its rounded endpoints like the others, as the
core's reductions rebuild theirs: its midpoint and radius may move by an ulp
of the midpoint, and a radius below that ulp is lost. Keeping such balls
apart would cost a masked copy, which on data without order costs more than
the whole operation.

NaN balls. A ball is NaN where one of its endpoints is: a NaN midpoint or
radius, and the core's unbounded ball NaN ± inf, which its division returns
and whose endpoints are NaN. A NaN ball contains nothing and lies in nothing:
every predicate is False where an operand is NaN, as numpy's comparisons are
with NaN (so ``isdisjoint`` is not the negation of ``overlaps`` there). An
intersection or hull with a NaN operand, and an empty intersection, is the
ball NaN ± NaN.

Like ``_ops``, this module never imports BallArray: the balls it returns are
of the class of the first ball operand.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any, TypeVar

import numpy as np
import numpy.typing as npt

import _quorvex as core
from quorvex import _ops, _shape
from quorvex._numpy_bridge import Float64Array, to_numpy, written

V = TypeVar("V", bound=core._BallView)
Bools = npt.NDArray[np.bool_]
# (midpoints, radii) of one operand: numpy views of a ball's storage, or a
# float64 array of exact numbers with the radius _EXACT.
Parts = tuple[Any, Any]
_EXACT = np.float64(0.0)


def _parts(value: Any, name: str) -> Parts:
    """The midpoints and radii of a ball operand; (value, 0.0) for exact numbers."""
    if isinstance(value, core._BallView):
        return _shape.parts(value)
    if isinstance(value, core.IntervalArray):
        return to_numpy(value)
    if isinstance(value, (str, bytes)):
        raise TypeError(f"quorvex.{name}() takes balls or real numbers, not {type(value).__name__}")
    array = _ops.real_array(value, f"quorvex.{name}()")
    if array is None:
        raise TypeError(f"quorvex.{name}() takes balls or real numbers, not {type(value).__name__}")
    return np.asarray(array, np.float64), _EXACT


def _endpoints(parts: Parts, rigorous: bool = False, inward: bool = False) -> tuple[Any, Any]:
    """(lo, hi) of every ball; under the rigorous model stepped one ulp outward
    (a bound past the nearest results), or inward where the caller needs a
    pair that the exact ball holds."""
    mid, rad = parts
    if rad is _EXACT:
        return mid, mid
    with np.errstate(invalid="ignore", over="ignore"):
        lo, hi = mid - rad, mid + rad
    if rigorous:
        lo = np.nextafter(lo, np.inf if inward else -np.inf)
        hi = np.nextafter(hi, -np.inf if inward else np.inf)
    return lo, hi


def _ball_class(name: str, operands: Sequence[Any]) -> type[Any]:
    for x in operands:
        if isinstance(x, core._BallView):
            return type(x)
    raise TypeError(f"quorvex.{name}() needs a BallArray operand")


def _rigorous(operands: Sequence[Any]) -> bool:
    return any(x.rigorous for x in operands if isinstance(x, core._BallView))


def balls_between(cls: type[V], shape: tuple[int, ...],
                  endpoints: Callable[[Float64Array, Float64Array], None],
                  rigorous: bool = False) -> V:
    """The balls of endpoint pairs [lo, hi] (NaN ± NaN where lo > hi or either is NaN).

    ``endpoints(lo, hi)`` writes the pairs into the two halves of the new
    storage, which then become the midpoints and the radii in place: fresh
    pages cost as much to touch as the arithmetic costs, so the fewer the better.
    """
    def write(mid: Float64Array, rad: Float64Array) -> None:
        with np.errstate(invalid="ignore", over="ignore"):
            endpoints(mid, rad)
            if rigorous:
                # The radius rounded up over both halves around the midpoint.
                lo, hi = mid.copy(), rad.copy()
                np.add(lo, hi, out=mid)
                np.multiply(mid, 0.5, out=mid)
                np.maximum(np.subtract(hi, mid), np.subtract(mid, lo), out=rad)
                np.nextafter(rad, np.inf, out=rad)
                del lo, hi
            else:
                width = np.subtract(rad, mid)
                np.add(mid, rad, out=mid)
                np.multiply(mid, 0.5, out=mid)
                np.multiply(width, 0.5, out=rad)
                del width
            # A negative or NaN radius comes from an empty pair, a NaN endpoint or
            # a point at infinity (inf - inf); the minimum, NaN if any radius is,
            # finds them all in one pass.
            if not np.minimum.reduce(rad, axis=None, initial=0.0) >= 0:
                np.copyto(rad, 0.0, where=np.isinf(mid) & np.isnan(rad))
                empty = ~(rad >= 0)
                np.copyto(mid, np.nan, where=empty)
                np.copyto(rad, np.nan, where=empty)

    return _ops.wrap(cls, written(shape, write), rigorous)


# -- set operations ------------------------------------------------------------


def _lower(parts: Parts, out: Float64Array, rigorous: bool) -> None:
    np.subtract(parts[0], parts[1], out=out)
    if rigorous:
        np.nextafter(out, -np.inf, out=out)


def _upper(parts: Parts, out: Float64Array, rigorous: bool) -> None:
    np.add(parts[0], parts[1], out=out)
    if rigorous:
        np.nextafter(out, np.inf, out=out)


def _shape_of(*operands: Parts) -> tuple[int, ...]:
    return np.broadcast_shapes(*(np.shape(part) for parts in operands for part in parts))


def intersection(x: Any, y: Any) -> Any:
    """The balls of the common parts of x and y, elementwise.

    Each result is the ball of [max(lo(x), lo(y)), min(hi(x), hi(y))]; where
    the balls are disjoint, or one is NaN, it is NaN ± NaN. Under the rigorous
    model the endpoints are rounded outward, so the ball holds the common
    part. Also the method ``x.intersection(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls, at least one a BallArray; numbers and arrays of real
        numbers are exact balls. The operands broadcast as in numpy.

    Returns
    -------
    BallArray
        Of the broadcast shape, and of the class of the first ball operand.

    Raises
    ------
    TypeError
        No operand is a BallArray, or one is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.intersection(x, qv.BallArray(2.0, 0.5))   # with [1.5, 2.5]
    BallArray([1.75±0.25,   nan±nan])
    """
    cls = _ball_class("intersection", (x, y))
    px, py = _parts(x, "intersection"), _parts(y, "intersection")
    rigorous = _rigorous((x, y))

    def endpoints(lo: Float64Array, hi: Float64Array) -> None:
        y_lo, y_hi = _endpoints(py, rigorous)
        _lower(px, lo, rigorous)
        np.maximum(lo, y_lo, out=lo)
        _upper(px, hi, rigorous)
        np.minimum(hi, y_hi, out=hi)

    return balls_between(cls, _shape_of(px, py), endpoints, rigorous)


def hull(x: Any, y: Any) -> Any:
    """The smallest balls holding both x and y, elementwise.

    Each result is the ball of [min(lo(x), lo(y)), max(hi(x), hi(y))]; NaN ±
    NaN where either ball is NaN. Under the rigorous model the endpoints are
    rounded outward, so the ball holds both. Also the method ``x.hull(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls, at least one a BallArray; numbers and arrays of real
        numbers are exact balls. The operands broadcast as in numpy.

    Returns
    -------
    BallArray
        Of the broadcast shape, and of the class of the first ball operand.

    Raises
    ------
    TypeError
        No operand is a BallArray, or one is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.hull(x, qv.BallArray(2.0, 0.5))   # with [1.5, 2.5]
    BallArray([1.25±1.25, 3.25±1.75])
    """
    cls = _ball_class("hull", (x, y))
    px, py = _parts(x, "hull"), _parts(y, "hull")
    rigorous = _rigorous((x, y))

    def endpoints(lo: Float64Array, hi: Float64Array) -> None:
        y_lo, y_hi = _endpoints(py, rigorous)
        _lower(px, lo, rigorous)
        np.minimum(lo, y_lo, out=lo)
        _upper(px, hi, rigorous)
        np.maximum(hi, y_hi, out=hi)

    return balls_between(cls, _shape_of(px, py), endpoints, rigorous)


def bisect(x: Any) -> tuple[Any, Any]:
    """The two halves [lo, mid] and [mid, hi] of every ball of x.

    NaN balls have NaN halves. Under the rigorous model the outer endpoints
    are rounded outward, so the halves together hold the ball. Also the
    method ``x.bisect()``.

    Parameters
    ----------
    x : BallArray
        The balls.

    Returns
    -------
    tuple of BallArray
        The lower halves and the upper halves, each of the shape of x.

    Raises
    ------
    TypeError
        x is not a BallArray.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.bisect(qv.BallArray([1.0, 4.0], 1.0))
    (BallArray([0.5±0.5, 3.5±0.5]), BallArray([1.5±0.5, 4.5±0.5]))
    """
    cls = _ball_class("bisect", (x,))
    px = _parts(x, "bisect")
    lo, hi = _endpoints(px, x.rigorous)
    # One NaN endpoint makes a NaN ball; the other half must not survive it.
    split = np.where(np.isnan(lo) | np.isnan(hi), np.nan, px[0])

    def lower(new_lo: Float64Array, new_hi: Float64Array) -> None:
        np.copyto(new_lo, lo)
        np.copyto(new_hi, split)

    def upper(new_lo: Float64Array, new_hi: Float64Array) -> None:
        np.copyto(new_lo, split)
        np.copyto(new_hi, hi)

    return (balls_between(cls, split.shape, lower, x.rigorous),
            balls_between(cls, split.shape, upper, x.rigorous))


def clip(x: Any, a_min: Any, a_max: Any) -> Any:
    """The image of x under numpy's clip: [clip(lo), clip(hi)] as balls. Bounds may
    be None, numbers, arrays or balls (clip is monotone in each argument, so a
    ball bound clips the lower endpoints with its own lower endpoint, the upper
    ones with its upper)."""
    cls = _ball_class("clip", (x,))
    px = _parts(x, "clip")
    rigorous = _rigorous((x, a_min, a_max))
    bounds = [None if b is None else _parts(b, "clip") for b in (a_min, a_max)]
    ends = [(None, None) if b is None else _endpoints(b, rigorous) for b in bounds]
    (min_lo, min_hi), (max_lo, max_hi) = ends

    def endpoints(lo: Float64Array, hi: Float64Array) -> None:
        _lower(px, lo, rigorous)
        np.clip(lo, min_lo, max_lo, out=lo)
        _upper(px, hi, rigorous)
        np.clip(hi, min_hi, max_hi, out=hi)

    shape = _shape_of(px, *(b for b in bounds if b is not None))
    return balls_between(cls, shape, endpoints, rigorous)


# -- predicates ----------------------------------------------------------------

Test = Callable[[Any, Any, Any, Any], Bools]


def _predicate(name: str, x: Any, y: Any, test: Test, inward: str = "") -> Bools:
    """test(x.lo, x.hi, y.lo, y.hi), False where either ball is NaN. Under the
    rigorous model the endpoints are rounded so that True is certain: outward,
    and inward for the operand named by `inward` (the one that must hold the
    other)."""
    rigorous = _rigorous((x, y))
    xl, xh = _endpoints(_parts(x, name), rigorous, inward == "x")
    yl, yh = _endpoints(_parts(y, name), rigorous, inward == "y")
    # lo <= hi fails exactly where an endpoint is NaN.
    result: Bools = test(xl, xh, yl, yh) & (xl <= xh) & (yl <= yh)
    return result


def contains(x: Any, y: Any) -> Bools:
    """Whether each ball (or number) of y lies inside the ball of x, elementwise.

    True where lo(x) <= lo(y) and hi(y) <= hi(x). Under the rigorous model the
    endpoints are rounded so that True is certain. Also the method
    ``x.contains(y)``; ``y in x`` asks whether any ball of x holds y.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.contains(x, qv.BallArray(1.5, 0.25)).tolist()
    [True, False]
    """
    return _predicate("contains", x, y, lambda xl, xh, yl, yh: (xl <= yl) & (yh <= xh), "x")


def subset(x: Any, y: Any) -> Bools:
    """Whether each ball of x lies inside the ball of y, elementwise.

    True where lo(y) <= lo(x) and hi(x) <= hi(y). Under the rigorous model the
    endpoints are rounded so that True is certain. Also the method
    ``x.subset(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.subset(qv.BallArray(1.5, 0.25), x).tolist()
    [True, False]
    """
    return _predicate("subset", x, y, lambda xl, xh, yl, yh: (yl <= xl) & (xh <= yh), "y")


def overlaps(x: Any, y: Any) -> Bools:
    """Whether the balls of x and y have a point in common, elementwise.

    True where lo(x) <= hi(y) and lo(y) <= hi(x). Under the rigorous model the
    endpoints are rounded so that True is certain. Also the method
    ``x.overlaps(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.overlaps(x, qv.BallArray(2.0, 0.5)).tolist()
    [True, False]
    """
    return _predicate("overlaps", x, y, lambda xl, xh, yl, yh: (xl <= yh) & (yl <= xh))


def isdisjoint(x: Any, y: Any) -> Bools:
    """Whether the balls of x and y have no point in common, elementwise.

    True where hi(x) < lo(y) or hi(y) < lo(x). Under the rigorous model the
    endpoints are rounded so that True is certain. A NaN ball gives False here
    too, so this is not the negation of ``overlaps`` there. Also the method
    ``x.isdisjoint(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.isdisjoint(x, qv.BallArray(2.0, 0.5)).tolist()
    [False, True]
    """
    return _predicate("isdisjoint", x, y, lambda xl, xh, yl, yh: (xh < yl) | (yh < xl))


def certainly_lt(x: Any, y: Any) -> Bools:
    """Whether every value of x is below every value of y, elementwise.

    True where hi(x) < lo(y). Under the rigorous model the endpoints are
    rounded so that True is certain. Also the method ``x.certainly_lt(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.certainly_lt(x, 2.5).tolist()
    [True, False]
    """
    return _predicate("certainly_lt", x, y, lambda xl, xh, yl, yh: xh < yl)


def certainly_le(x: Any, y: Any) -> Bools:
    """Whether every value of x is at most every value of y, elementwise.

    True where hi(x) <= lo(y). Under the rigorous model the endpoints are
    rounded so that True is certain. Also the method ``x.certainly_le(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.certainly_le(x, 2.0).tolist()
    [True, False]
    """
    return _predicate("certainly_le", x, y, lambda xl, xh, yl, yh: xh <= yl)


def certainly_gt(x: Any, y: Any) -> Bools:
    """Whether every value of x is above every value of y, elementwise.

    True where lo(x) > hi(y). Under the rigorous model the endpoints are
    rounded so that True is certain. Also the method ``x.certainly_gt(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.certainly_gt(x, 2.5).tolist()
    [False, True]
    """
    return _predicate("certainly_gt", x, y, lambda xl, xh, yl, yh: xl > yh)


def certainly_ge(x: Any, y: Any) -> Bools:
    """Whether every value of x is at least every value of y, elementwise.

    True where lo(x) >= hi(y). Under the rigorous model the endpoints are
    rounded so that True is certain. Also the method ``x.certainly_ge(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.certainly_ge(x, 3.0).tolist()
    [False, True]
    """
    return _predicate("certainly_ge", x, y, lambda xl, xh, yl, yh: xl >= yh)


def possibly_lt(x: Any, y: Any) -> Bools:
    """Whether some value of x is below some value of y, elementwise.

    True where lo(x) < hi(y). Under the rigorous model the endpoints are
    rounded so that True is certain. Also the method ``x.possibly_lt(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.possibly_lt(x, 1.0).tolist()
    [True, False]
    """
    return _predicate("possibly_lt", x, y, lambda xl, xh, yl, yh: xl < yh)


def possibly_le(x: Any, y: Any) -> Bools:
    """Whether some value of x is at most some value of y, elementwise.

    True where lo(x) <= hi(y). Under the rigorous model the endpoints are
    rounded so that True is certain. Also the method ``x.possibly_le(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.possibly_le(x, 0.0).tolist()
    [True, False]
    """
    return _predicate("possibly_le", x, y, lambda xl, xh, yl, yh: xl <= yh)


def possibly_gt(x: Any, y: Any) -> Bools:
    """Whether some value of x is above some value of y, elementwise.

    True where hi(x) > lo(y). Under the rigorous model the endpoints are
    rounded so that True is certain. Also the method ``x.possibly_gt(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.possibly_gt(x, 2.0).tolist()
    [False, True]
    """
    return _predicate("possibly_gt", x, y, lambda xl, xh, yl, yh: xh > yl)


def possibly_ge(x: Any, y: Any) -> Bools:
    """Whether some value of x is at least some value of y, elementwise.

    True where hi(x) >= lo(y). Under the rigorous model the endpoints are
    rounded so that True is certain. Also the method ``x.possibly_ge(y)``.

    Parameters
    ----------
    x, y : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls. The
        operands broadcast as in numpy.

    Returns
    -------
    numpy.ndarray or numpy.bool
        Of the broadcast shape; False where either ball is NaN.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.
    ValueError
        Operands that do not broadcast.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 4.0], 1.0)   # [0, 2] and [3, 5]
    >>> qv.possibly_ge(x, 2.0).tolist()
    [True, True]
    """
    return _predicate("possibly_ge", x, y, lambda xl, xh, yl, yh: xh >= yl)


# -- magnitudes ------------------------------------------------------------------


def width(x: Any) -> Float64Array:
    """The widths 2 · rad of the balls.

    Also the method ``x.width()``.

    Parameters
    ----------
    x : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls (of
        width 0).

    Returns
    -------
    numpy.ndarray or numpy.float64
        float64, of the shape of x.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.width(qv.BallArray([1.0, 4.0], [1.0, 0.25])).tolist()
    [2.0, 0.5]
    """
    mid, rad = _parts(x, "width")
    result: Float64Array = np.multiply(np.broadcast_to(rad, np.shape(mid)), 2.0)
    return result


def mag(x: Any) -> Float64Array:
    """The largest absolute value in each ball: max(abs(lo), abs(hi)).

    Under the rigorous model the endpoints are rounded outward first, so the
    value bounds every absolute value in the ball. Also the method
    ``x.mag()``.

    Parameters
    ----------
    x : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls.

    Returns
    -------
    numpy.ndarray or numpy.float64
        float64, of the shape of x.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.mag(qv.BallArray([-3.0, 0.5], 1.0)).tolist()   # [-4, -2] and [-0.5, 1.5]
    [4.0, 1.5]
    """
    lo, hi = _endpoints(_parts(x, "mag"), _rigorous((x,)))
    result: Float64Array = np.maximum(np.negative(lo), hi)
    return result


def mig(x: Any) -> Float64Array:
    """The smallest absolute value in each ball.

    0 where the ball holds 0, else min(abs(lo), abs(hi)). Under the rigorous
    model the endpoints are rounded outward first, so the value is at most
    every absolute value in the ball. Also the method ``x.mig()``.

    Parameters
    ----------
    x : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls.

    Returns
    -------
    numpy.ndarray or numpy.float64
        float64, of the shape of x.

    Raises
    ------
    TypeError
        An operand that is neither balls nor real numbers.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.mig(qv.BallArray([-3.0, 0.5], 1.0)).tolist()   # [-4, -2] and [-0.5, 1.5]
    [2.0, 0.0]
    """
    lo, hi = _endpoints(_parts(x, "mig"), _rigorous((x,)))
    result: Float64Array = np.maximum(np.maximum(lo, np.negative(hi)), 0.0)
    return result
