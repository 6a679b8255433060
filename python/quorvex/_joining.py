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
    """The arrays (all of one shape) stacked along a new axis, as ``numpy.stack``."""
    result: BallArray = _functions.call(np.stack, [BallArray], (arrays, axis), {})
    return result


def concatenate(arrays: Sequence[BallLike], axis: SupportsIndex = 0) -> BallArray:
    """The arrays joined along an existing axis, as ``numpy.concatenate``."""
    result: BallArray = _functions.call(np.concatenate, [BallArray], (arrays, axis), {})
    return result
