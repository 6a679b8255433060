"""BallArray arithmetic: operands, numpy broadcasting, powers, matmul, ufuncs.

Everything numeric is computed by the core; this module only brings the
operands into the form the core accepts. Numbers and numpy arrays are exact
balls. An operand whose shape is not the result's is broadcast by numpy and
copied once into a storage of the result's shape. A number is passed to the
core's array-number forms of +, - and *, which give the bits of the exact
ball for a finite number up to half the largest double and save that copy;
any other number, and every divisor, becomes an exact ball array. Every
mismatch is found here, so the core never sees operands it would refuse.
"""

from __future__ import annotations

import operator
from collections.abc import Callable
from typing import TYPE_CHECKING, Any, NoReturn, Union

import numpy as np

import _quorvex as core
from quorvex import _ballarray
from quorvex._numpy_bridge import from_parts, to_numpy

if TYPE_CHECKING:
    from quorvex._ballarray import BallArray

# An operand once sorted out: a plain number or a ball array; None for an
# object that is no real number, for which operators return NotImplemented.
Operand = Union[float, "BallArray", None]

_REAL_KINDS = "biuf"
# Beyond this the core's number forms round differently (s + s overflows in +).
_NUMBER_FORM_LIMIT = 2.0**1023
_NUMBERS = (int, float, np.integer, np.floating, np.bool_)
_CORE_OPS: dict[str, Callable[[Any, Any], core.IntervalArray]] = {
    "+": operator.add, "-": operator.sub, "*": operator.mul, "/": core._divide,
}


def shape_text(shape: tuple[int, ...]) -> str:
    """A shape as numpy writes it in its messages: (2,3), (4,), ()."""
    if len(shape) == 1:
        return f"({shape[0]},)"
    return "(" + ",".join(str(n) for n in shape) + ")"


def broadcast(*shapes: tuple[int, ...]) -> tuple[int, ...]:
    try:
        return np.broadcast_shapes(*shapes)
    except ValueError:
        raise ValueError("operands could not be broadcast together with shapes "
                         + " ".join(shape_text(s) for s in shapes)) from None


def operand(value: object) -> Operand:
    """`value` as a float, a BallArray, or None for what is not a real number."""
    if isinstance(value, _ballarray.BallArray):
        return value
    if isinstance(value, core.IntervalArray):
        return _ballarray.BallArray(value)
    if isinstance(value, _NUMBERS):
        return float(value)
    if isinstance(value, (np.ndarray, list, tuple)):
        array = np.asarray(value)
        if array.dtype.kind not in _REAL_KINDS:
            raise TypeError(f"BallArray arithmetic needs real numbers, not dtype {array.dtype}")
        if array.ndim == 0:
            return float(array)
        return _ballarray.from_ball_parts(array, 0.0, array.shape)
    return None


def _as_shape(x: BallArray, shape: tuple[int, ...]) -> core.IntervalArray:
    if x._shape == shape:
        return x._core
    mid, rad = x._parts()
    return from_parts(np.broadcast_to(mid, shape), np.broadcast_to(rad, shape), shape)


def binary(x: BallArray, other: object, symbol: str, reflected: bool) -> BallArray | None:
    """x op other (other op x when `reflected`) with numpy broadcasting; None if other is
    no real number."""
    y = operand(other)
    if y is None:
        return None
    op = _CORE_OPS[symbol]
    if isinstance(y, float):
        if symbol != "/" and abs(y) <= _NUMBER_FORM_LIMIT:  # not NaN either
            return _ballarray.wrap(op(y, x._core) if reflected else op(x._core, y), x._shape)
        y = _ballarray.from_ball_parts(y, 0.0, ())
    shape = broadcast(y._shape, x._shape) if reflected else broadcast(x._shape, y._shape)
    a, b = _as_shape(x, shape), _as_shape(y, shape)
    return _ballarray.wrap(op(b, a) if reflected else op(a, b), shape)


def power(x: BallArray, exponent: object) -> BallArray:
    """x ** exponent for an integer exponent (or a float holding one) and for 0.5."""
    n: int | None = None
    if isinstance(exponent, (int, np.integer)):
        n = int(exponent)
    elif isinstance(exponent, (float, np.floating)):
        if exponent == 0.5:
            return x.sqrt()
        if float(exponent).is_integer():
            n = int(exponent)
    if n is None:
        raise TypeError("BallArray ** takes an integer exponent or 0.5 (the square root), "
                        f"not {exponent!r}")
    if n == 0:
        return _ballarray.wrap(core.ones(list(x._shape)), x._shape)
    result = _positive_power(x._core, abs(n))
    if n < 0:
        result = core._divide(core.ones(list(x._shape)), result)
    return _ballarray.wrap(result, x._shape)


def _positive_power(base: core.IntervalArray, n: int) -> core.IntervalArray:
    # Right-to-left binary powering: x**5 = x * ((x*x) * (x*x)), x**6 = (x*x) * ((x*x) * (x*x)).
    result: core.IntervalArray | None = None
    while True:
        if n & 1:
            result = base if result is None else result * base
        n >>= 1
        if not n:
            assert result is not None
            return result
        base = base * base


_MATMUL = "(n?,k),(k,m?)->(n?,m?)"


def matmul(x: BallArray, other: object, reflected: bool) -> BallArray | None:
    """x @ other (other @ x when `reflected`) with numpy's promotion of 1-D operands."""
    y = operand(other)
    if y is None:
        return None
    if isinstance(y, float):
        y = _ballarray.from_ball_parts(y, 0.0, ())
    a, b = (y, x) if reflected else (x, y)
    for i, operand_ in enumerate((a, b)):
        if operand_.ndim == 0:
            raise ValueError(f"matmul: Input operand {i} does not have enough dimensions "
                             f"(has 0, gufunc core with signature {_MATMUL} requires 1)")
    a2 = a if a.ndim > 1 else a.reshape(1, -1)
    b2 = b if b.ndim > 1 else b.reshape(-1, 1)
    k, k_b = a2._shape[-1], b2._shape[-2]
    if k != k_b:
        raise ValueError(f"matmul: Input operand 1 has a mismatch in its core dimension 0, "
                         f"with gufunc signature {_MATMUL} (size {k_b} is different from {k})")
    if a2.ndim == 2 and b2.ndim == 2:
        product = a2._core.matmul(b2._core)
        rows, cols = a2._shape[0], b2._shape[1]
    else:
        product, (rows, cols), batch = _stacked_matmul(a2, b2)
    shape = ((() if a2.ndim == 2 and b2.ndim == 2 else batch)
             + ((rows,) if a.ndim > 1 else ()) + ((cols,) if b.ndim > 1 else ()))
    if list(shape) != product.shape():
        product = product.reshape(list(shape))
    return _ballarray.wrap(product, shape)


def _stacked_matmul(a: BallArray, b: BallArray) -> tuple[core.IntervalArray, tuple[int, int],
                                                         tuple[int, ...]]:
    # numpy broadcasts the leading dimensions; the core multiplies one matrix at a time.
    batch = broadcast(a._shape[:-2], b._shape[:-2])
    rows, cols = a._shape[-2], b._shape[-1]
    a_mid, a_rad = (np.broadcast_to(p, batch + a._shape[-2:]) for p in a._parts())
    b_mid, b_rad = (np.broadcast_to(p, batch + b._shape[-2:]) for p in b._parts())
    out_mid = np.empty(batch + (rows, cols))
    out_rad = np.empty(batch + (rows, cols))
    for index in np.ndindex(*batch):
        left = from_parts(a_mid[index], a_rad[index], a._shape[-2:])
        right = from_parts(b_mid[index], b_rad[index], b._shape[-2:])
        out_mid[index], out_rad[index] = to_numpy(left.matmul(right))
    shape = batch + (rows, cols)
    return from_parts(out_mid, out_rad, shape), (rows, cols), batch


def equal(x: BallArray, other: object) -> Any:
    """Elementwise exact equality of midpoints and of radii, as a bool array; None if
    other is no real number (and so not equal to any ball)."""
    try:
        y = operand(other)
    except TypeError:
        return None
    if y is None:
        return None
    mid, rad = x._parts()
    if isinstance(y, float):
        return (mid == y) & (rad == 0.0)
    broadcast(x._shape, y._shape)
    y_mid, y_rad = y._parts()
    return (mid == y_mid) & (rad == y_rad)


def refuse_order(symbol: str) -> NoReturn:
    raise TypeError(f"'{symbol}' is not supported between BallArrays: balls are not totally "
                    "ordered; compare .lo, .mid or .hi instead")


_UNARY: dict[str, Callable[[BallArray], BallArray]] = {
    "negative": operator.neg, "absolute": abs,
    "sqrt": lambda x: x.sqrt(), "exp": lambda x: x.exp(), "log": lambda x: x.log(),
    "log2": lambda x: x.log2(), "log10": lambda x: x.log10(),
    "sin": lambda x: x.sin(), "cos": lambda x: x.cos(), "tan": lambda x: x.tan(),
}
# np.true_divide is called "divide" from numpy 2 on.
_BINARY = {"add": "+", "subtract": "-", "multiply": "*", "divide": "/", "true_divide": "/"}


def ufunc(function: np.ufunc, method: str, inputs: tuple[Any, ...],
          kwargs: dict[str, Any]) -> Any:
    """The numpy ufuncs that have a core operation; NotImplemented for all others."""
    name = function.__name__
    if method != "__call__" or kwargs:
        return NotImplemented
    if name in _UNARY and len(inputs) == 1:
        return _UNARY[name](inputs[0])
    if len(inputs) != 2:
        return NotImplemented
    left, right = inputs
    first = isinstance(left, _ballarray.BallArray)
    x, other = (left, right) if first else (right, left)
    result: Any = None
    if name in _BINARY:
        result = binary(x, other, _BINARY[name], not first)
    elif name == "matmul":
        result = matmul(x, other, not first)
    elif name in ("equal", "not_equal"):
        result = equal(x, other)
        if result is not None and name == "not_equal":
            result = ~result
    return NotImplemented if result is None else result
