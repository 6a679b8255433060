"""The numpy ufuncs a BallArray supports: one table for ``__array_ufunc__`` and
for the Python operators, so ``x + y`` and ``np.add(x, y)`` take one path.

Each entry maps a numpy ufunc to the engine operation of the same meaning;
``apply`` dispatches a ufunc call, and ``binary_operator`` and
``unary_operator`` make the dunder methods BallArray is given.
"""

from __future__ import annotations

import textwrap
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


# The methods the two factories make: the dunder names of the operators (the
# other methods take the name of their ufunc), and every method's docstring
# from one line that says what it computes, a sentence on its rule, and an
# example with the text it prints.
_UNARY_DUNDERS: dict[np.ufunc, str] = {np.negative: "__neg__", np.positive: "__pos__",
                                       np.absolute: "__abs__"}
_BINARY_DUNDERS: dict[np.ufunc, tuple[str, str]] = {
    np.add: ("__add__", "__radd__"), np.subtract: ("__sub__", "__rsub__"),
    np.multiply: ("__mul__", "__rmul__"), np.divide: ("__truediv__", "__rtruediv__"),
    np.matmul: ("__matmul__", "__rmatmul__"), np.power: ("__pow__", "__rpow__"),
}
_SUM = "Midpoints add, and so do radii."
_DIFFERENCE = "Midpoints subtract, radii add."
_QUOTIENT = ("The midpoint is q = m1 / m2 and the radius (r1 + abs(q) r2) / (abs(m2) - r2); "
             "a divisor ball that holds 0 gives the unbounded ball NaN ± inf.")
_MATRIX = ("1-D operands are promoted and stacks of matrices broadcast as in numpy; each "
           "element is a sum of products, by the rules of ``*`` and ``sum``.")
_MATRIX_A = "qv.BallArray([[1.0, 2.0], [3.0, 4.0]], 0.5)"
# name: (summary, rule, example, what it prints)
_OPERATOR_DOCS: dict[str, tuple[str, str, str, str]] = {
    "__neg__": ("``-x``: the balls negated (as ``np.negative``).", "Exact in both models.",
                "-qv.BallArray([1.0, -2.0], 0.5)", "BallArray([-1±0.5,  2±0.5])"),
    "__pos__": ("``+x``: the same balls (as ``np.positive``).", "Exact in both models.",
                "+qv.BallArray([1.0, -2.0], 0.5)", "BallArray([ 1±0.5, -2±0.5])"),
    "__abs__": ("``abs(x)``: the absolute values (as ``np.absolute``).",
                "Each result ball holds the image of its ball: a ball around 0 becomes "
                "[0, its largest magnitude].",
                "abs(qv.BallArray([-2.0, 0.0], 1.0))", "BallArray([    2±1, 0.5±0.5])"),
    "__add__": ("``x + other``: the sums (as ``np.add``).", _SUM,
                "qv.BallArray([1.0, 2.0], 0.5) + qv.BallArray(4.0, 1.0)",
                "BallArray([5±1.5, 6±1.5])"),
    "__radd__": ("``other + x``: the sums (as ``np.add``).", _SUM,
                 "1 + qv.BallArray([1.0, 2.0], 0.5)", "BallArray([2±0.5, 3±0.5])"),
    "__sub__": ("``x - other``: the differences (as ``np.subtract``).", _DIFFERENCE,
                "qv.BallArray([1.0, 2.0], 0.5) - qv.BallArray(4.0, 1.0)",
                "BallArray([-3±1.5, -2±1.5])"),
    "__rsub__": ("``other - x``: the differences (as ``np.subtract``).", _DIFFERENCE,
                 "10 - qv.BallArray([1.0, 2.0], 0.5)", "BallArray([9±0.5, 8±0.5])"),
    "__mul__": ("``x * other``: the products (as ``np.multiply``).",
                "The midpoint is the product m1 m2 of the midpoints and the radius "
                "abs(m1) r2 + abs(m2) r1 + r1 r2; a number scales both.",
                "qv.BallArray([1.0, 2.0], 0.5) * qv.BallArray(4.0, 1.0)",
                "BallArray([4±3.5, 8±4.5])"),
    "__rmul__": ("``other * x``: the products (as ``np.multiply``).",
                 "The midpoint is the product m1 m2 of the midpoints and the radius "
                 "abs(m1) r2 + abs(m2) r1 + r1 r2; a number scales both.",
                 "3 * qv.BallArray([1.0, 2.0], 0.5)", "BallArray([3±1.5, 6±1.5])"),
    "__truediv__": ("``x / other``: the quotients (as ``np.divide``).", _QUOTIENT,
                    "qv.BallArray([1.0, 2.0], 0.5) / qv.BallArray([4.0, 0.0], 1.0)",
                    "BallArray([0.25±0.25,   nan±inf])"),
    "__rtruediv__": ("``other / x``: the quotients (as ``np.divide``).", _QUOTIENT,
                     "1 / qv.BallArray([1.0, 2.0], 0.5)",
                     "BallArray([           1±1, 0.5±0.16666667])"),
    "__matmul__": ("``x @ other``: the matrix product (as ``np.matmul``).", _MATRIX,
                   f"{_MATRIX_A} @ qv.BallArray([1.0, 2.0], 0.5)", "BallArray([ 5±3.5, 11±5.5])"),
    "__rmatmul__": ("``other @ x``: the matrix product (as ``np.matmul``).", _MATRIX,
                    f"[1.0, 1.0] @ {_MATRIX_A}", "BallArray([4±1, 6±1])"),
    "__pow__": ("``x ** other``: the powers (as ``np.power``).",
                "Each result ball holds the image of t**n over its ball for an exact integer "
                "exponent n, else of the power over the part of the base at or above zero and "
                "the exponent ball.",
                "qv.BallArray([1.0, -2.0], 0.5) ** 2", "BallArray([1.25±1, 4.25±2])"),
    "__rpow__": ("``other ** x``: powers with the balls as exponents (as ``np.power``).",
                 "Each result ball holds the image of the power over the part of the base at "
                 "or above zero and the exponent ball.",
                 "2 ** qv.BallArray([1.0, 2.0], 0.5)",
                 "BallArray([2.1213203±0.70710678,  4.2426407±1.4142136])"),
}


def _domain(outside: str) -> str:
    return f" The part of a ball {outside} is dropped; a ball wholly {outside} gives NaN ± NaN."


_NONNEGATIVE = _domain("below 0")
_UNIT = _domain("outside [-1, 1]")
_POLE = " A ball around a pole gives the unbounded ball NaN ± inf."
# ufunc name: (summary, domain or "", example, what it prints)
_FUNCTION_DOCS: dict[str, tuple[str, str, str, str]] = {
    "sqrt": ("Square roots of the balls.", _NONNEGATIVE, "qv.BallArray([6.5, -0.5], 2.5).sqrt()",
             "BallArray([              2.5±0.5, 0.70710678±0.70710678])"),
    "square": ("Squares of the balls.", "", "qv.BallArray([2.0, 0.0], 1.0).square()",
               "BallArray([    5±4, 0.5±0.5])"),
    "reciprocal": ("Reciprocals 1 / x of the balls.",
                   " A ball that holds 0 gives the unbounded ball NaN ± inf.",
                   "qv.BallArray([3.0, 0.0], 1.0).reciprocal()",
                   "BallArray([0.375±0.125,     nan±inf])"),
    "cbrt": ("Cube roots of the balls.", "", "qv.BallArray(4.5, 3.5).cbrt()",
             "BallArray(1.5±0.5)"),
    "exp": ("Exponentials e**x of the balls.", "", "qv.BallArray(0.0, 1.0).exp()",
            "BallArray(1.5430806±1.1752012)"),
    "exp2": ("Powers 2**x of the balls.", "", "qv.BallArray(1.0, 1.0).exp2()",
             "BallArray(2.5±1.5)"),
    "expm1": ("exp(x) - 1 of the balls, accurate near 0.", "", "qv.BallArray(0.0, 1e-3).expm1()",
              "BallArray(5.0000004e-07±0.0010000002)"),
    "log": ("Natural logarithms of the balls.", _NONNEGATIVE,
            "qv.BallArray([1.0, -2.0], 0.5).log()",
            "BallArray([-0.14384104±0.54930614,                nan±nan])"),
    "log2": ("Base-2 logarithms of the balls.", _NONNEGATIVE, "qv.BallArray(5.0, 3.0).log2()",
             "BallArray(2±1)"),
    "log10": ("Base-10 logarithms of the balls.", _NONNEGATIVE, "qv.BallArray(55.0, 45.0).log10()",
              "BallArray(1.5±0.5)"),
    "log1p": ("log(1 + x) of the balls, accurate near 0.", _domain("below -1"),
              "qv.BallArray(0.0, 1e-3).log1p()", "BallArray(-5.0000025e-07±0.0010000003)"),
    "sin": ("Sines of the balls (in radians).", "",
            "qv.BallArray([0.0, np.pi / 2], 1.0).sin()",
            "BallArray([         0±0.84147098, 0.77015115±0.22984885])"),
    "cos": ("Cosines of the balls (in radians).", "",
            "qv.BallArray([0.0, np.pi / 2], 1.0).cos()",
            "BallArray([0.77015115±0.22984885,          0±0.84147098])"),
    "tan": ("Tangents of the balls (in radians).", _POLE,
            "qv.BallArray([0.0, np.pi / 2], 0.5).tan()",
            "BallArray([  0±0.54630249,        nan±inf])"),
    "arcsin": ("Inverse sines of the balls.", _UNIT,
               "qv.BallArray([0.0, 1.0], 0.5).arcsin()",
               "BallArray([        0±0.52359878, 1.0471976±0.52359878])"),
    "arccos": ("Inverse cosines of the balls.", _UNIT,
               "qv.BallArray([0.0, 1.0], 0.5).arccos()",
               "BallArray([ 1.5707963±0.52359878, 0.52359878±0.52359878])"),
    "arctan": ("Inverse tangents of the balls.", "", "qv.BallArray(0.0, 1.0).arctan()",
               "BallArray(0±0.78539816)"),
    "sinh": ("Hyperbolic sines of the balls.", "", "qv.BallArray(0.0, 1.0).sinh()",
             "BallArray(0±1.1752012)"),
    "cosh": ("Hyperbolic cosines of the balls.", "", "qv.BallArray(0.0, 1.0).cosh()",
             "BallArray(1.2715403±0.27154032)"),
    "tanh": ("Hyperbolic tangents of the balls.", "", "qv.BallArray(0.0, 1.0).tanh()",
             "BallArray(0±0.76159416)"),
    "arcsinh": ("Inverse hyperbolic sines of the balls.", "", "qv.BallArray(0.0, 1.0).arcsinh()",
                "BallArray(0±0.88137359)"),
    "arccosh": ("Inverse hyperbolic cosines of the balls.", _domain("below 1"),
                "qv.BallArray([2.0, 1.0], 0.5).arccosh()",
                "BallArray([ 1.2646114±0.30218779, 0.48121183±0.48121183])"),
    "arctanh": ("Inverse hyperbolic tangents of the balls.",
                _domain("outside (-1, 1)"),
                "qv.BallArray(0.0, 0.5).arctanh()", "BallArray(0±0.54930614)"),
    "deg2rad": ("The balls, in degrees, converted to radians.", "",
                "qv.BallArray(180.0, 1.0).deg2rad()", "BallArray(3.1415927±0.017453293)"),
    "rad2deg": ("The balls, in radians, converted to degrees.", "",
                "qv.BallArray(np.pi, 0.01).rad2deg()", "BallArray(180±0.5729578)"),
    "sign": ("Signs (-1, 0 or 1) of the balls.", "",
             "qv.BallArray([-2.0, 0.0, 3.0], 1.0).sign()", "BallArray([-1±0,  0±1,  1±0])"),
    "floor": ("Floors (the largest integers at or below) of the balls.", "",
              "qv.BallArray([1.5, 2.0], 0.25).floor()", "BallArray([    1±0, 1.5±0.5])"),
    "ceil": ("Ceilings (the smallest integers at or above) of the balls.", "",
             "qv.BallArray([1.5, 2.0], 0.25).ceil()", "BallArray([    2±0, 2.5±0.5])"),
    "trunc": ("The balls rounded toward zero to integers.", "",
              "qv.BallArray([-1.5, 0.0], 0.25).trunc()", "BallArray([-1±0,  0±0])"),
    "rint": ("The balls rounded to the nearest integers (halves to even).", "",
             "qv.BallArray([1.5, 3.0], 0.25).rint()", "BallArray([1.5±0.5,     3±0])"),
}
_RIGOROUS = ("In the first-order model the radii leave the rounding errors of the "
             "computation out; an operand under the rigorous model makes the result "
             "rigorous, and its balls then contain the exact results for every real input "
             "inside the operand balls.")
_OTHER = """
Parameters
----------
other : BallArray, IntervalArray or array_like
    The other operand; numbers and arrays of real numbers are exact balls. The
    operands broadcast as in numpy.
"""
_MATMUL_RAISES = """
Raises
------
ValueError
    An operand is 0-d, or the inner dimensions differ.
"""
_EXAMPLES = """
Examples
--------
>>> import numpy as np
>>> import quorvex as qv
>>> {example}
{output}
"""


def _operator_doc(name: str) -> str:
    summary, rule, example, output = _OPERATOR_DOCS[name]
    unary = name in _UNARY_DUNDERS.values()
    rounding = "" if rule.startswith("Exact") else f" {_RIGOROUS}"
    return (f"{summary}\n\n{textwrap.fill(rule + rounding)}\n{'' if unary else _OTHER}\n"
            "Returns\n-------\nBallArray\n    The result balls"
            f"{'' if unary else ', of the broadcast shape'}.\n"
            f"{_MATMUL_RAISES if 'matmul' in name else ''}"
            + _EXAMPLES.format(example=example, output=output))


def _function_doc(name: str) -> str:
    summary, domain, example, output = _FUNCTION_DOCS[name]
    semantics = (f"The same as ``np.{name}(x)``. Each result ball holds the image of its ball: "
                 "the function is taken at the endpoints, and at the extrema inside the ball, "
                 f"and the pair of extreme values becomes a ball.{domain} In the first-order "
                 "model the values are rounded to nearest; under the rigorous model each end "
                 "is moved outward by a bound on its error, so the ball contains f(t) for "
                 "every real t in the input ball.")
    return (f"{summary}\n\n{textwrap.fill(semantics)}\n\n"
            "Returns\n-------\nBallArray\n    The image balls, of the array's shape.\n"
            + _EXAMPLES.format(example=example, output=output))


# The methods made here, by name. doctest looks for the examples of a class's
# methods among the functions of the class's own module only, so it finds
# these here.
__test__: dict[str, Callable[..., Any]] = {}


def _named(method: Any, name: str, doc: str) -> None:
    method.__name__ = name
    method.__qualname__ = f"BallArray.{name}"
    method.__doc__ = doc
    # No annotations at run time: the types are BallArray's, which this module
    # does not know, rather than the Any of the definitions.
    method.__annotations__ = {}
    __test__[name] = method


def binary_operator(function: np.ufunc, reflected: bool) -> Callable[[V, Any], V]:
    """The dunder method of `function` (``__add__`` for np.add, ``__radd__`` when reflected)."""
    method: Callable[[Any, Any], Any]
    if function in SPECIAL:
        special = SPECIAL[function]
        if reflected:
            def method(self: Any, other: Any) -> Any:
                return special(other, self)
        else:
            def method(self: Any, other: Any) -> Any:
                return special(self, other)
    else:
        operation = BINARY[function]
        if reflected:
            def method(self: Any, other: Any) -> Any:
                return _ops.binary(operation, other, self)
        else:
            def method(self: Any, other: Any) -> Any:
                return _ops.binary(operation, self, other)
    name = _BINARY_DUNDERS[function][reflected]
    _named(method, name, _operator_doc(name))
    return method


def unary_operator(function: np.ufunc) -> Callable[[V], V]:
    """The dunder (``__neg__``...) or method (``sqrt``...) of a one-operand ufunc."""
    method: Callable[[Any], Any]
    if function in SPECIAL:
        special = SPECIAL[function]

        def method(self: Any) -> Any:
            return special(self)
    else:
        operation = UNARY[function]

        def method(self: Any) -> Any:
            return _ops.unary(operation, self)
    if function in _UNARY_DUNDERS:
        name = _UNARY_DUNDERS[function]
        _named(method, name, _operator_doc(name))
    else:
        name = function.__name__
        _named(method, name, _function_doc(name))
    return method
