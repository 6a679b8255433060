"""numpy's advanced indexing of ball views (index arrays, masks, lists).

Basic indexing (integers, slices, ``None``, ``...``) is done by the core's
view type and never reaches this module. For the rest numpy applies the key
to the midpoint and the radius parts, with its own semantics and errors, and
the two selections are copied once into a new storage, as numpy copies.
"""

from __future__ import annotations

from typing import Any, TypeVar

import numpy as np

import _quorvex as core
from quorvex import _shape

V = TypeVar("V", bound=core._BallView)


def getitem(x: V, key: Any) -> V:
    if isinstance(key, core._BallView) or (
            isinstance(key, tuple) and any(isinstance(k, core._BallView) for k in key)):
        raise IndexError("a BallArray cannot be used as an index: index with .mid, "
                         "an integer array or a boolean mask")
    return _shape.moved(x, lambda part: np.asarray(part[key]))
