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
from quorvex._numpy_bridge import check_size, checked_parts, from_parts

ShapeLike = SupportsIndex | tuple[SupportsIndex, ...] | list[SupportsIndex]


def _shape(shape: ShapeLike, caller: str) -> tuple[int, ...]:
    dims = (shape,) if not isinstance(shape, (tuple, list)) else shape
    result = tuple(operator.index(n) for n in dims)
    if any(n < 0 for n in result):
        raise ValueError("negative dimensions are not allowed")
    check_size(math.prod(result), caller)
    return result


def asball(x: BallLike, rigorous: bool = False) -> BallArray:
    """`x` as a BallArray, without a copy where it can.

    A BallArray is returned itself (as a view under the rigorous model when
    `rigorous` is set and it is not rigorous yet); an IntervalArray is wrapped
    without a copy; anything else (numbers, array_likes of real numbers, exact
    numbers such as "0.1") becomes balls around its values, exact balls in the
    first-order model and balls holding the values in the rigorous one.

    Parameters
    ----------
    x : BallArray, IntervalArray or array_like
        The balls or the values.
    rigorous : bool, default False
        Whether the array follows the rigorous model.

    Returns
    -------
    BallArray

    Raises
    ------
    TypeError
        Data that is no real number.
    ValueError
        A string that is no number.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 2.0], 0.5)
    >>> qv.asball(x) is x
    True
    >>> qv.asball([1, 2])
    BallArray([1±0, 2±0])
    >>> qv.asball("0.1", rigorous=True)
    BallArray(0.1±5.5511151e-18)
    """
    if isinstance(x, BallArray):
        return x.as_rigorous() if rigorous and not x.rigorous else x
    if isinstance(x, (core.IntervalArray, core._BallView)):
        return BallArray(x, rigorous=rigorous)
    return wrap_checked(x, 0.0, "asball()", rigorous)


def array(mid: BallLike, rad: Any = 0.0, rigorous: bool = False) -> BallArray:
    """A new array of the balls mid ± rad: the same as ``BallArray(mid, rad, rigorous)``.

    Parameters
    ----------
    mid : array_like, BallArray or IntervalArray
        The midpoints: real numbers, or exact numbers taken as their nearest
        doubles (see ``BallArray``).
    rad : array_like, default 0.0
        The radii, broadcast to the shape of `mid`; not negative.
    rigorous : bool, default False
        Whether the array follows the rigorous model.

    Returns
    -------
    BallArray

    Raises
    ------
    ValueError
        A negative radius, or a `rad` that does not broadcast to `mid`.
    TypeError
        Data that is no real number.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.array([1.0, 2.0], 0.5)
    BallArray([1±0.5, 2±0.5])
    """
    return BallArray(mid, rad, rigorous)


def wrap_checked(mid: Any, rad: Any, caller: str, rigorous: bool = False) -> BallArray:
    return _ops.wrap(BallArray, checked_parts(mid, rad, caller, rigorous), rigorous)


def zeros(shape: ShapeLike, rigorous: bool = False) -> BallArray:
    """A new array whose balls are all exactly 0.

    Parameters
    ----------
    shape : int or tuple of ints
        The shape.
    rigorous : bool, default False
        Whether the array follows the rigorous model.

    Returns
    -------
    BallArray

    Raises
    ------
    ValueError
        A negative dimension.
    MemoryError
        More elements than a storage can hold.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.zeros(2)
    BallArray([0±0, 0±0])
    """
    dims = _shape(shape, "zeros()")
    return _ops.wrap(BallArray, core.zeros(list(dims)), rigorous)


def ones(shape: ShapeLike, rigorous: bool = False) -> BallArray:
    """A new array whose balls are all exactly 1.

    Parameters
    ----------
    shape : int or tuple of ints
        The shape.
    rigorous : bool, default False
        Whether the array follows the rigorous model.

    Returns
    -------
    BallArray

    Raises
    ------
    ValueError
        A negative dimension.
    MemoryError
        More elements than a storage can hold.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.ones((2, 2))
    BallArray([[1±0, 1±0],
               [1±0, 1±0]])
    """
    dims = _shape(shape, "ones()")
    return _ops.wrap(BallArray, core.ones(list(dims)), rigorous)


def full(shape: ShapeLike, mid: Any, rad: Any = 0.0, rigorous: bool = False) -> BallArray:
    """A new array filled with the balls mid ± rad.

    Parameters
    ----------
    shape : int or tuple of ints
        The shape.
    mid : array_like or BallArray
        The midpoint, or midpoints broadcast to `shape`; exact numbers such as
        "0.1" are taken as in ``BallArray``. A BallArray is broadcast whole,
        radii included (`rad` must then be 0).
    rad : array_like, default 0.0
        The radius, or radii broadcast to `shape`; not negative.
    rigorous : bool, default False
        Whether the array follows the rigorous model.

    Returns
    -------
    BallArray

    Raises
    ------
    ValueError
        A negative dimension or radius, or values that do not broadcast to
        `shape`.
    MemoryError
        More elements than a storage can hold.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.full(2, 3.0, 0.5)
    BallArray([3±0.5, 3±0.5])
    >>> qv.full(2, "0.1", rigorous=True)
    BallArray([0.1±5.5511151e-18, 0.1±5.5511151e-18])
    >>> qv.full((2, 2), qv.BallArray([1.0, 2.0], 0.5))
    BallArray([[1±0.5, 2±0.5],
               [1±0.5, 2±0.5]])
    """
    dims = _shape(shape, "full()")
    if isinstance(mid, BallArray):  # a ball fill value, as np.full_like takes
        if np.any(np.asarray(rad) != 0):
            raise ValueError("full() takes the radii of a BallArray fill value from it: "
                             "rad must be 0")
        return _ops.wrap(BallArray, from_parts(mid.mid, mid.rad, dims),
                         rigorous or mid.rigorous)
    m = np.asarray(mid)
    m = m if m.dtype.kind == "O" or m.dtype.kind in "US" else m.astype(np.float64)
    return wrap_checked(np.broadcast_to(m, dims), rad, "full()", rigorous)


def arange(start: float, stop: float | None = None, step: float = 1.0,
           rigorous: bool = False) -> BallArray:
    """Exact balls at the values of ``numpy.arange(start, stop, step)``.

    Parameters
    ----------
    start : float
        The first value; with no `stop`, the end instead, counting from 0.
    stop : float or None, default None
        The end, not included.
    step : float, default 1.0
        The spacing.
    rigorous : bool, default False
        Whether the array follows the rigorous model.

    Returns
    -------
    BallArray
        1-D, with radii 0.

    Raises
    ------
    ZeroDivisionError
        A step of 0 (numpy's error).

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.arange(3)
    BallArray([0±0, 1±0, 2±0])
    >>> qv.arange(0.0, 1.0, 0.25)
    BallArray([   0±0, 0.25±0,  0.5±0, 0.75±0])
    """
    points = np.arange(start, step=step) if stop is None else np.arange(start, stop, step)
    return _ops.wrap(BallArray, from_ball_parts(points, 0.0, points.shape).core, rigorous)


def linspace(start: float, stop: float, num: SupportsIndex = 50,
             rigorous: bool = False) -> BallArray:
    """Exact balls at the values of ``numpy.linspace(start, stop, num)``, both ends included.

    Parameters
    ----------
    start, stop : float
        The first and the last value.
    num : int, default 50
        The number of values.
    rigorous : bool, default False
        Whether the array follows the rigorous model.

    Returns
    -------
    BallArray
        1-D, with radii 0.

    Raises
    ------
    ValueError
        A negative `num`.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.linspace(0, 1, 5)
    BallArray([   0±0, 0.25±0,  0.5±0, 0.75±0,    1±0])
    """
    points = np.linspace(start, stop, num)
    return _ops.wrap(BallArray, from_ball_parts(points, 0.0, points.shape).core, rigorous)
