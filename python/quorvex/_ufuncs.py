"""The numpy ufuncs a BallArray supports: one table for ``__array_ufunc__`` and
for the Python operators, so ``x + y`` and ``np.add(x, y)`` take one path.

Each entry maps a numpy ufunc to the engine operation of the same meaning;
``apply`` dispatches a ufunc call, and ``binary_operator`` and
``unary_operator`` make the dunder methods BallArray is given.
"""

from __future__ import annotations

from collections.abc import Callable
from typing import Any, TypeVar

import numpy as np

import _quorvex as core
from quorvex import _ops, _shape

V = TypeVar("V", bound=core._BallView)

# ufunc -> engine operation on one ball array.
UNARY: dict[np.ufunc, str] = {
    np.negative: "negative", np.absolute: "absolute", np.sqrt: "sqrt", np.exp: "exp",
    np.log: "log", np.log2: "log2", np.log10: "log10", np.sin: "sin", np.cos: "cos",
    np.tan: "tan",
}
# ufunc -> engine operation on two operands that broadcast (np.true_divide is np.divide).
BINARY: dict[np.ufunc, str] = {
    np.add: "add", np.subtract: "subtract", np.multiply: "multiply", np.divide: "divide",
}


def _positive(x: Any) -> Any:
    return x


def power(x: Any, exponent: Any) -> Any:
    """x ** n for an integer n (or a float holding one), and x ** 0.5."""
    n: int | None = None
    if isinstance(exponent, (int, np.integer)) and not isinstance(exponent, bool):
        n = int(exponent)
    elif isinstance(exponent, (float, np.floating)):
        if exponent == 0.5:
            return _ops.unary("sqrt", x)
        if float(exponent).is_integer():
            n = int(exponent)
    if n is None:
        raise TypeError("BallArray ** takes an integer exponent or 0.5 (the square root), "
                        f"not {exponent!r}")
    if n == 0:
        return _ops.wrap(type(x), core.ones(list(x.shape)), x.rigorous)
    result = _positive_power(x, abs(n))
    return _ops.binary("divide", 1.0, result) if n < 0 else result


def _positive_power(base: Any, n: int) -> Any:
    # Right-to-left binary powering: x**5 = x * ((x*x) * (x*x)), x**6 = (x*x) * ((x*x) * (x*x)).
    result = None
    while True:
        if n & 1:
            result = base if result is None else _ops.binary("multiply", result, base)
        n >>= 1
        if not n:
            return result
        base = _ops.binary("multiply", base, base)


_MATMUL = "(n?,k),(k,m?)->(n?,m?)"


def matmul(a: Any, b: Any) -> Any:
    """a @ b with numpy's promotion of 1-D operands and broadcasting of stacks."""
    cls = type(a) if isinstance(a, _ops.View) else type(b)
    x, y = _ops.as_view(a, cls), _ops.as_view(b, cls)
    if x is None or y is None:
        return NotImplemented
    for i, operand in enumerate((x, y)):
        if operand.ndim == 0:
            raise ValueError(f"matmul: Input operand {i} does not have enough dimensions "
                             f"(has 0, gufunc core with signature {_MATMUL} requires 1)")
    x2 = x if x.ndim > 1 else x[None, :]
    y2 = y if y.ndim > 1 else y[:, None]
    k, k_y = x2.shape[-1], y2.shape[-2]
    if k != k_y:
        raise ValueError(f"matmul: Input operand 1 has a mismatch in its core dimension 0, "
                         f"with gufunc signature {_MATMUL} (size {k_y} is different from {k})")
    product = _ops.matmul(x2, y2)
    if x.ndim == 1:
        product = product[..., 0, :]
    if y.ndim == 1:
        product = product[..., 0]
    return product


def equal(a: Any, b: Any) -> Any:
    """Elementwise exact equality of midpoints and of radii, as a bool array."""
    cls = type(a) if isinstance(a, _ops.View) else type(b)
    try:
        x, y = _ops.as_view(a, cls), _ops.as_view(b, cls)
    except TypeError:
        return NotImplemented
    if x is None or y is None:
        return NotImplemented
    (xm, xr), (ym, yr) = _shape.parts(x), _shape.parts(y)
    return (xm == ym) & (xr == yr)


def _not_equal(a: Any, b: Any) -> Any:
    same = equal(a, b)
    return same if same is NotImplemented else ~same


# ufuncs with a Python implementation of their own.
SPECIAL: dict[np.ufunc, Callable[..., Any]] = {
    np.positive: _positive, np.matmul: matmul, np.power: power, np.equal: equal,
    np.not_equal: _not_equal,
}


def apply(function: np.ufunc, method: str, inputs: tuple[Any, ...],
          kwargs: dict[str, Any]) -> Any:
    """A numpy ufunc called with a BallArray operand; NotImplemented (so numpy raises
    TypeError) for ufuncs without a ball form, for methods such as reduce, and for
    options such as out= and where=."""
    if method != "__call__" or kwargs:
        return NotImplemented
    if function in SPECIAL and len(inputs) == function.nin:
        return SPECIAL[function](*inputs)
    if len(inputs) == 1 and function in UNARY:
        return _ops.unary(UNARY[function], inputs[0])
    if len(inputs) == 2 and function in BINARY:
        return _ops.binary(BINARY[function], *inputs)
    return NotImplemented


def binary_operator(function: np.ufunc, reflected: bool) -> Callable[[V, Any], V]:
    """The dunder method of `function` (``__add__`` for np.add, ``__radd__`` when reflected)."""
    if function in SPECIAL:
        special = SPECIAL[function]
        if reflected:
            return lambda self, other: special(other, self)
        return special
    name = BINARY[function]
    if reflected:
        return lambda self, other: _ops.binary(name, other, self)
    return lambda self, other: _ops.binary(name, self, other)


def unary_operator(function: np.ufunc) -> Callable[[V], V]:
    """The dunder (``__neg__``...) or method (``sqrt``...) of a one-operand ufunc."""
    if function in SPECIAL:
        return SPECIAL[function]
    name = UNARY[function]
    return lambda self: _ops.unary(name, self)
