"""Values to doubles, with the error of the conversion.

Floats of up to 64 bits, booleans and integers below 2^53 are doubles
exactly. Larger integers, long doubles, and Python objects standing for exact
numbers (``fractions.Fraction``, ``decimal.Decimal``, ``int``, and strings such
as ``"0.1"``) become the nearest double and a bound on its distance from the
exact value, rounded upward. The rigorous model adds that bound to the
radius; the first-order model takes the nearest double as exact.
"""

from __future__ import annotations

from decimal import Decimal
from fractions import Fraction
from typing import Any

import numpy as np
import numpy.typing as npt

Float64Array = npt.NDArray[np.float64]

_EXACT_INTEGER = 2**53


def _up(value: Fraction) -> float:
    """The smallest double at or above a nonnegative Fraction."""
    f = float(value)
    return f if Fraction(f) >= value else float(np.nextafter(f, np.inf))


def _fraction(item: Any) -> Fraction:
    if isinstance(item, str):
        return Fraction(item.strip())
    if isinstance(item, np.integer):
        return Fraction(int(item))
    if isinstance(item, np.floating):
        return Fraction(*item.as_integer_ratio())
    if isinstance(item, (Fraction, Decimal, int, float)):
        return Fraction(item)
    raise TypeError(f"a {type(item).__name__} is not a real number")


def _objects(array: npt.NDArray[Any]) -> tuple[Float64Array, Float64Array]:
    mids = np.empty(array.shape)
    errors = np.zeros(array.shape)
    for index, item in np.ndenumerate(array):
        try:
            exact = _fraction(item)
        except (ValueError, ZeroDivisionError):  # "nan", "inf" and the like
            mids[index] = float(item)
            continue
        mid = float(exact)
        mids[index] = mid
        errors[index] = _up(abs(exact - Fraction(mid))) if abs(mid) != np.inf else np.inf
    return mids, errors


def doubles(value: Any) -> tuple[npt.NDArray[Any], Float64Array | None]:
    """`value` as an array numpy converts exactly to float64 (or a float64 array), and
    the bound on the conversion's error where there is any (None when exact).

    Raises TypeError for what is no real number (complex, datetime...)."""
    array = np.asarray(value)
    kind = array.dtype.kind
    if kind in "b" or (kind == "f" and array.dtype.itemsize <= 8):
        return array, None
    if kind in "iu":
        if array.dtype.itemsize < 8 or array.size == 0:
            return array, None
        large = (array > _EXACT_INTEGER) | (array < -_EXACT_INTEGER)
        if not large.any():
            return array, None
        return _objects(array.astype(object))
    if kind == "f":  # long double
        mids = array.astype(np.float64)
        error = np.abs(array - mids.astype(array.dtype))
        bound = error.astype(np.float64)
        bound = np.where(bound.astype(array.dtype) < error, np.nextafter(bound, np.inf), bound)
        return mids, bound
    if kind in "OUS":
        return _objects(array.astype(object) if kind != "O" else array)
    raise TypeError(f"needs real numbers, not dtype {array.dtype}")
