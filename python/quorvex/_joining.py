"""Joining BallArrays: numpy's stack and concatenate on the midpoints and the radii.

numpy checks the shapes and axis (with its own messages) and joins each part
once; the joined parts are then copied into one new storage. These are the
implementations ``np.stack`` and ``np.concatenate`` run.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import SupportsIndex

import numpy as np

from quorvex import _functions
from quorvex._ballarray import BallArray, BallLike


def stack(arrays: Sequence[BallLike], axis: SupportsIndex = 0) -> BallArray:
    """The arrays, all of one shape, stacked along a new axis, as ``numpy.stack``.

    The balls are copied into one new array, rigorous when any input is.

    Parameters
    ----------
    arrays : sequence of BallArray, IntervalArray or array_like
        The arrays; numbers and arrays of real numbers are exact balls.
    axis : int, default 0
        The position of the new axis in the result.

    Returns
    -------
    BallArray
        One dimension more than the inputs.

    Raises
    ------
    ValueError
        Arrays of different shapes, or no array.
    numpy.exceptions.AxisError
        An axis out of range.
    TypeError
        An input that is neither balls nor real numbers.

    Examples
    --------
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 2.0], 0.5)
    >>> qv.stack([x, [3.0, 4.0]])
    BallArray([[1±0.5, 2±0.5],
               [  3±0,   4±0]])
    """
    result: BallArray = _functions.call(np.stack, [BallArray], (arrays, axis), {})
    return result


def concatenate(arrays: Sequence[BallLike], axis: SupportsIndex = 0) -> BallArray:
    """The arrays joined along an existing axis, as ``numpy.concatenate``.

    The balls are copied into one new array, rigorous when any input is.

    Parameters
    ----------
    arrays : sequence of BallArray, IntervalArray or array_like
        The arrays, of one shape but along `axis`; numbers and arrays of real
        numbers are exact balls.
    axis : int, default 0
        The axis along which they are joined.

    Returns
    -------
    BallArray

    Raises
    ------
    ValueError
        Shapes that differ off the axis, or no array.
    numpy.exceptions.AxisError
        An axis out of range.
    TypeError
        An input that is neither balls nor real numbers.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.concatenate([qv.BallArray([1.0, 2.0], 0.5), [3.0]])
    BallArray([1±0.5, 2±0.5,   3±0])
    """
    result: BallArray = _functions.call(np.concatenate, [BallArray], (arrays, axis), {})
    return result
