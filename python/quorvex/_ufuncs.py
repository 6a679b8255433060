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
    np.negative: "negative", np.positive: "positive", np.absolute: "absolute", np.sqrt: "sqrt",
    np.square: "square", np.reciprocal: "reciprocal", np.cbrt: "cbrt", np.exp: "exp",
    np.exp2: "exp2", np.expm1: "expm1", np.log: "log", np.log2: "log2", np.log10: "log10",
    np.log1p: "log1p", np.sin: "sin", np.cos: "cos", np.tan: "tan", np.arcsin: "arcsin",
    np.arccos: "arccos", np.arctan: "arctan", np.sinh: "sinh", np.cosh: "cosh", np.tanh: "tanh",
    np.arcsinh: "arcsinh", np.arccosh: "arccosh", np.arctanh: "arctanh",
    np.deg2rad: "deg2rad", np.radians: "deg2rad", np.rad2deg: "rad2deg", np.degrees: "rad2deg",
    np.sign: "sign", np.floor: "floor", np.ceil: "ceil", np.trunc: "trunc", np.rint: "rint",
}
# ufunc -> engine operation on two operands that broadcast (np.true_divide is np.divide).
BINARY: dict[np.ufunc, str] = {
    np.add: "add", np.subtract: "subtract", np.multiply: "multiply", np.divide: "divide",
    np.power: "power", np.arctan2: "arctan2", np.hypot: "hypot", np.logaddexp: "logaddexp",
    np.maximum: "maximum", np.minimum: "minimum", np.fmax: "fmax", np.fmin: "fmin",
}


def _nan(x: Any) -> Any:
    mid, rad = _shape.parts(x)
    return np.isnan(mid) | np.isnan(rad)


def _finite(x: Any) -> Any:
    mid, rad = _shape.parts(x)
    return np.isfinite(mid) & np.isfinite(rad)


def _inf(x: Any) -> Any:
    """Neither NaN nor finite: an infinite midpoint or radius (and no NaN)."""
    return ~(_nan(x) | _finite(x))


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
    np.matmul: matmul, np.equal: equal, np.not_equal: _not_equal, np.isnan: _nan,
    np.isfinite: _finite, np.isinf: _inf,
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
