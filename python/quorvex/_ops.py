"""Computing on ball views: the core's engine, and operands brought to it.

Every function here takes views (``_quorvex._BallView`` instances, of which
BallArray is the subclass) and returns views of the class of its first view
operand, so this module never needs BallArray itself. Plain floats and ints
that a double holds exactly go to the engine as they are; anything else that
numpy turns into a real array becomes an exact ball array first.
"""

from __future__ import annotations

from decimal import Decimal
from fractions import Fraction
from typing import Any, TypeVar

import numpy as np
import numpy.typing as npt

import _quorvex as core
from quorvex import _exact
from quorvex._numpy_bridge import from_parts

View = core._BallView
V = TypeVar("V", bound=core._BallView)

UNARY: dict[str, int] = core._UNARY
BINARY: dict[str, int] = core._BINARY
REDUCTIONS: dict[str, int] = core._REDUCTIONS
ACCUMULATIONS: dict[str, int] = core._ACCUMULATIONS

# numpy dtype kinds that hold real numbers: bool, signed, unsigned, floating.
_REAL_KINDS = "biuf"


def wrap(cls: type[V], array: core.IntervalArray, rigorous: bool = False) -> V:
    """A view of class `cls` over the whole of `array` (no copy)."""
    view: V = core._BallView.__new__(cls, array, rigorous)
    view._cache = {"core": array}
    return view


def cache(x: View) -> dict[str, Any]:
    """What the package keeps about x: its core array, its numpy parts."""
    kept: dict[str, Any] | None = x._cache
    if kept is None:
        kept = x._cache = {}
    return kept


def real_array(value: Any, what: str = "BallArray arithmetic") -> npt.NDArray[Any] | None:
    """`value` as a numpy array of real numbers; None for what numpy cannot make
    real (TypeError for arrays of other kinds)."""
    if isinstance(value, View):
        raise TypeError("a BallArray has no plain numpy form (its radii would be lost): "
                        "use .mid and .rad")
    try:
        array = np.asarray(value)
    except Exception:
        return None
    if array.dtype.kind not in _REAL_KINDS:
        if array.dtype.kind == "O" and array.ndim == 0:
            return None  # an object numpy knows nothing about
        raise TypeError(f"{what} needs real numbers, not dtype {array.dtype}")
    return array


_EXACT_NUMBERS = (Fraction, Decimal)


def as_view(value: Any, cls: type[V], rigorous: bool = False) -> V | None:
    """`value` as a view: itself, an IntervalArray wrapped, or balls from anything
    numpy makes a real array of, Fractions and Decimals included (None otherwise,
    and for strings). Values no double holds exactly become their nearest
    doubles, exact balls in the first-order model and balls holding the exact
    value in the rigorous one."""
    if isinstance(value, View):
        return value  # type: ignore[return-value]
    if isinstance(value, core.IntervalArray):
        return wrap(cls, value, rigorous)
    if isinstance(value, (str, bytes)):
        return None
    if isinstance(value, _EXACT_NUMBERS) or (isinstance(value, (list, tuple, np.ndarray)) and
                                             np.asarray(value).dtype == object):
        array, error = _exact.doubles(value)
    else:
        real = real_array(value)
        if real is None:
            return None
        array, error = _exact.doubles(real)
    rad = error if rigorous and error is not None else 0.0
    return wrap(cls, from_parts(array, rad, array.shape), rigorous)


def _first_view(*operands: Any) -> type[Any]:
    for x in operands:
        if isinstance(x, View):
            return type(x)
    raise TypeError("no ball operand")


def binary(name: str, x: Any, y: Any) -> Any:
    """x `name` y with numpy's broadcasting; NotImplemented when an operand is
    not a real number or array."""
    code = BINARY[name]
    result = core._binary(code, x, y)
    if result is not NotImplemented:
        return result
    cls = _first_view(x, y)
    rigorous = any(isinstance(v, View) and v.rigorous for v in (x, y))
    a, b = as_view(x, cls, rigorous), as_view(y, cls, rigorous)
    if a is None or b is None:
        return NotImplemented
    return core._binary(code, a, b)


def unary(name: str, x: V) -> V:
    result: V = core._unary(UNARY[name], x)
    return result


def reduce(name: str, x: V, axes: tuple[int, ...], ddof: float = 0.0) -> V:
    result: V = core._reduce(REDUCTIONS[name], x, axes, float(ddof))
    return result


def accumulate(name: str, x: V, axis: int) -> V:
    result: V = core._accumulate(ACCUMULATIONS[name], x, axis)
    return result


def matmul(x: V, y: V) -> V:
    result: V = core._matmul(x, y)
    return result


def dot(x: V, y: V) -> V:
    """The inner product of two 1-D views of one length, as a 0-d view."""
    result: V = core._dot(x, y)
    return result


def contiguous(x: View) -> core.IntervalArray:
    """The viewed elements as an IntervalArray (shared when x is all of its storage,
    and then the same object every time)."""
    if not x._whole:
        return core._core(x)
    kept = cache(x)
    array = kept.get("core")
    if array is None:
        array = kept["core"] = core._core(x)
    return array
