"""Reading BallArray elements with numpy's indexing.

The key is applied by numpy to the midpoint and the radius views, which
gives numpy's semantics and error messages for every kind of key; the two
selections are then copied once into a new storage.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any

import numpy as np

from quorvex import _ballarray

if TYPE_CHECKING:
    from quorvex._ballarray import BallArray


def getitem(x: BallArray, key: Any) -> BallArray:
    if isinstance(key, _ballarray.BallArray):
        raise IndexError("a BallArray cannot be used as an index: index with .mid, "
                         "an integer array or a boolean mask")
    mid, rad = x._parts()
    picked_mid = np.asarray(mid[key])
    return _ballarray.from_ball_parts(picked_mid, rad[key], picked_mid.shape)
