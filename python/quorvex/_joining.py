"""Joining BallArrays: numpy's stack and concatenate on the midpoints and the radii.

numpy checks the shapes and axis (with its own messages) and joins each part
once; the joined parts are then copied into one new storage.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import SupportsIndex

import numpy as np

from quorvex._ballarray import BallArray, BallLike, from_ball_parts
from quorvex._construct import asball
from quorvex._numpy_bridge import Float64Array


def _parts(arrays: Sequence[BallLike]) -> tuple[list[Float64Array], list[Float64Array]]:
    balls = [asball(a) for a in arrays]
    return [b.mid for b in balls], [b.rad for b in balls]


def stack(arrays: Sequence[BallLike], axis: SupportsIndex = 0) -> BallArray:
    """The arrays (all of one shape) stacked along a new axis, as ``numpy.stack``."""
    mids, rads = _parts(arrays)
    mid = np.stack(mids, axis)
    return from_ball_parts(mid, np.stack(rads, axis), mid.shape)


def concatenate(arrays: Sequence[BallLike], axis: SupportsIndex = 0) -> BallArray:
    """The arrays joined along an existing axis, as ``numpy.concatenate``."""
    mids, rads = _parts(arrays)
    mid = np.concatenate(mids, axis)
    return from_ball_parts(mid, np.concatenate(rads, axis), mid.shape)
