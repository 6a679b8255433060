"""BallArray: a numpy-style array of balls, a view of the core's interval storage.

The class is the core's view type (``_quorvex._BallView``: a storage, an
offset, a shape and strides, made in O(1)) given numpy's protocols. Its
numbers are computed by the core's engine (``_ops``), its operators come from
the ufunc table (``_ufuncs``), its data movement is numpy's (``_shape``,
``_indexing``), and numpy functions reach it through ``_functions``. None of
those modules imports this one.
"""

from __future__ import annotations

from collections.abc import Iterator
from typing import Any, NoReturn, SupportsIndex, Union, cast

import numpy as np
import numpy.typing as npt

import _quorvex as core
from quorvex import (_functions, _indexing, _interval, _ops, _reductions, _shape, _text,
                     _ufuncs)
from quorvex._numpy_bridge import Float64Array, checked_parts, from_parts

# What arithmetic and the constructors accept besides BallArray: the core's
# arrays, and numbers or numpy array_likes of real numbers (exact balls).
BallLike = Union["BallArray", core.IntervalArray, npt.ArrayLike]
Axis = Union[SupportsIndex, tuple[SupportsIndex, ...], None]


class BallArray(core._BallView):
    """An n-dimensional array of real balls (midpoint ± radius), numpy style.

    ``BallArray(mid, rad=0.0, rigorous=False)`` copies the midpoints `mid`
    (any array_like of real numbers, or exact numbers such as strings,
    Fractions and Decimals) and the radii `rad` (broadcast to the shape of
    `mid`, not negative) into a new array. ``BallArray(a)`` with an
    ``IntervalArray`` `a` wraps it without a copy. With ``rigorous=True`` the
    array follows the rigorous model: a value no double holds exactly (such
    as "0.1") gets a radius that covers it, and every operation counts every
    rounding error.

    The arrays are immutable. Indexing, iteration, ``.T``, ``reshape`` and
    ``transpose`` behave as in numpy and give views where numpy does; ``+ - *
    / @ **``, ``abs()`` and numpy's ufuncs ``np.add``, ``np.sin``... compute
    with the core's first-order midpoint-radius rules, broadcasting as numpy
    does, with numbers and numpy arrays taken as exact balls. Reductions
    (``sum``, ``mean``, ``min``...) return 0-d BallArrays that can be computed
    with further. ``==`` and ``!=`` compare midpoints and radii exactly; ``<``,
    ``<=``, ``>``, ``>=`` raise TypeError, as balls are not totally ordered.
    In the first-order model (the default) the radii are not guaranteed
    bounds: the rounding errors of the computation itself are not added to
    them; in the rigorous model they are.
    """

    __slots__ = ()

    def __new__(cls, mid: BallLike, rad: Any = 0.0, rigorous: bool = False) -> BallArray:
        if isinstance(mid, (core._BallView, core.IntervalArray)):
            if np.ndim(rad) != 0 or rad != 0:
                raise TypeError("BallArray() takes no rad with an IntervalArray or a BallArray: "
                                "they have their own radii")
            if isinstance(mid, core._BallView):
                # The same balls (sharing the storage where they are all of it).
                return _ops.wrap(cls, _ops.contiguous(mid), mid.rigorous or rigorous)
            result = _ops.wrap(cls, mid, rigorous)
            _check_radii(result)
            return result
        rigorous = bool(rigorous)
        return _ops.wrap(cls, checked_parts(mid, rad, "BallArray()", rigorous), rigorous)

    def as_rigorous(self) -> BallArray:
        """The same balls under the rigorous model (a view of the same storage).

        Every operation with a rigorous operand counts every rounding error, so
        its result contains the exact result for every real input inside the
        operand balls.
        """
        return self._with_rigorous(True)

    # -- the parts -------------------------------------------------------

    @property
    def core(self) -> core.IntervalArray:
        """The balls as an IntervalArray (sharing the storage when this array is all of it,
        in row-major order; a copy otherwise)."""
        return _ops.contiguous(self)

    @property
    def mid(self) -> Float64Array:
        """The midpoints: a read-only float64 view of the array's storage."""
        return _shape.parts(self)[0]

    @property
    def rad(self) -> Float64Array:
        """The radii: a read-only float64 view of the array's storage."""
        return _shape.parts(self)[1]

    @property
    def lo(self) -> Float64Array:
        """The lower endpoints ``mid - rad`` (a new array, rounded to nearest)."""
        mid, rad = _shape.parts(self)
        with np.errstate(all="ignore"):
            return mid - rad

    @property
    def hi(self) -> Float64Array:
        """The upper endpoints ``mid + rad`` (a new array, rounded to nearest)."""
        mid, rad = _shape.parts(self)
        with np.errstate(all="ignore"):
            return mid + rad

    def item(self, *index: SupportsIndex) -> tuple[float, float]:
        """One element as the pair (midpoint, radius) of Python floats.

        Without arguments the array must have exactly one element; otherwise
        the arguments index it as in ``numpy.ndarray.item`` (one flat index,
        or one index per dimension).
        """
        mid, rad = _shape.parts(self)
        return mid.item(*index), rad.item(*index)

    # -- data movement (views where numpy gives views) -----------------------

    def reshape(self, *shape: SupportsIndex | tuple[SupportsIndex, ...]) -> BallArray:
        """The same elements in a new shape (one dimension may be -1): a view where
        numpy's reshape gives one, a copy otherwise."""
        target = shape[0] if len(shape) == 1 and isinstance(shape[0], tuple) else shape
        return _shape.moved(self, lambda part: part.reshape(cast(Any, target)))

    def transpose(self, *axes: SupportsIndex | tuple[SupportsIndex, ...]) -> BallArray:
        """The array with its axes permuted as ``numpy.transpose`` does (reversed by
        default), as a view."""
        return _shape.moved(self, lambda part: part.transpose(*axes))

    def ravel(self) -> BallArray:
        """The elements as a 1-D array, a view when numpy's ravel gives one."""
        return _shape.moved(self, np.ravel)

    def flatten(self) -> BallArray:
        """The elements as a new 1-D array (always a copy)."""
        return _copy(_shape.moved(self, np.ravel))

    def copy(self) -> BallArray:
        """A copy with storage of its own (only the viewed elements)."""
        return _copy(self)

    def _index(self, key: Any) -> BallArray:
        # Called by the core's indexing for every key that is not basic.
        return _indexing.getitem(self, key)

    def __iter__(self) -> Iterator[BallArray]:
        """The subarrays along the first axis (views)."""
        if not self.shape:
            raise TypeError("iteration over a 0-d array")
        return (self[i] for i in range(self.shape[0]))

    def __setitem__(self, key: Any, value: Any) -> NoReturn:
        raise TypeError("BallArray is immutable: its elements cannot be assigned; "
                        "build a new array instead")

    def __array__(self, dtype: Any = None, copy: Any = None) -> NoReturn:
        # numpy would otherwise turn a BallArray into an object array or
        # drop the radii; say so instead.
        raise TypeError("a BallArray has no plain numpy form (its radii would be lost): "
                        "use .mid and .rad")

    def __array_function__(self, function: Any, types: Any, args: tuple[Any, ...],
                           kwargs: dict[str, Any]) -> Any:
        """The numpy functions registered in ``quorvex._functions``; numpy raises
        TypeError for the others."""
        return _functions.call(function, types, args, kwargs)

    def __array_ufunc__(self, ufunc: np.ufunc, method: str, *inputs: Any,
                        **kwargs: Any) -> Any:
        """The ufuncs of the table in ``quorvex._ufuncs``; NotImplemented for the other
        ufuncs, methods and options."""
        return _ufuncs.apply(ufunc, method, inputs, kwargs)

    def __bool__(self) -> NoReturn:
        raise ValueError("the truth value of a BallArray is ambiguous: "
                         "test .mid, .rad, .lo or .hi instead")

    # -- arithmetic: the operators of the ufunc table ----------------------------

    __add__ = _ufuncs.binary_operator(np.add, False)
    __radd__ = _ufuncs.binary_operator(np.add, True)
    __sub__ = _ufuncs.binary_operator(np.subtract, False)
    __rsub__ = _ufuncs.binary_operator(np.subtract, True)
    __mul__ = _ufuncs.binary_operator(np.multiply, False)
    __rmul__ = _ufuncs.binary_operator(np.multiply, True)
    __truediv__ = _ufuncs.binary_operator(np.divide, False)
    __rtruediv__ = _ufuncs.binary_operator(np.divide, True)
    __matmul__ = _ufuncs.binary_operator(np.matmul, False)
    __rmatmul__ = _ufuncs.binary_operator(np.matmul, True)
    __neg__ = _ufuncs.unary_operator(np.negative)
    __pos__ = _ufuncs.unary_operator(np.positive)
    __abs__ = _ufuncs.unary_operator(np.absolute)

    __rpow__ = _ufuncs.binary_operator(np.power, True)

    def __pow__(self, exponent: BallLike, modulo: None = None) -> BallArray:
        """``x ** p`` for a number, an array or a BallArray p, as ``np.power``: the image
        of t^n over each ball for an exact integer n, else over the part of the base at or
        above zero."""
        if modulo is not None:
            raise TypeError("pow() with a modulus is not supported for BallArray")
        return _pow(self, exponent)

    # -- elementwise functions (the core's endpoint rules) ---------------------

    sqrt = _ufuncs.unary_operator(np.sqrt)
    square = _ufuncs.unary_operator(np.square)
    reciprocal = _ufuncs.unary_operator(np.reciprocal)
    cbrt = _ufuncs.unary_operator(np.cbrt)
    exp = _ufuncs.unary_operator(np.exp)
    exp2 = _ufuncs.unary_operator(np.exp2)
    expm1 = _ufuncs.unary_operator(np.expm1)
    log = _ufuncs.unary_operator(np.log)
    log2 = _ufuncs.unary_operator(np.log2)
    log10 = _ufuncs.unary_operator(np.log10)
    log1p = _ufuncs.unary_operator(np.log1p)
    sin = _ufuncs.unary_operator(np.sin)
    cos = _ufuncs.unary_operator(np.cos)
    tan = _ufuncs.unary_operator(np.tan)
    arcsin = _ufuncs.unary_operator(np.arcsin)
    arccos = _ufuncs.unary_operator(np.arccos)
    arctan = _ufuncs.unary_operator(np.arctan)
    sinh = _ufuncs.unary_operator(np.sinh)
    cosh = _ufuncs.unary_operator(np.cosh)
    tanh = _ufuncs.unary_operator(np.tanh)
    arcsinh = _ufuncs.unary_operator(np.arcsinh)
    arccosh = _ufuncs.unary_operator(np.arccosh)
    arctanh = _ufuncs.unary_operator(np.arctanh)
    deg2rad = _ufuncs.unary_operator(np.deg2rad)
    rad2deg = _ufuncs.unary_operator(np.rad2deg)
    sign = _ufuncs.unary_operator(np.sign)
    floor = _ufuncs.unary_operator(np.floor)
    ceil = _ufuncs.unary_operator(np.ceil)
    trunc = _ufuncs.unary_operator(np.trunc)
    rint = _ufuncs.unary_operator(np.rint)

    # -- reductions ----------------------------------------------------------

    def sum(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Sum: midpoints summed, radii summed, then the ball of [M - R, M + R].

        Each result element sums its balls in the order of the core's
        whole-array sum, so the sum over every axis, or along the axis of a
        1-D array, has the core's bits.
        """
        return _reductions.reduce("sum", self, axis, keepdims)

    def mean(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Mean: the sum as in ``sum``, divided by the count as the core does."""
        return _reductions.reduce("mean", self, axis, keepdims)

    def var(self, axis: Axis = None, ddof: float = 0, keepdims: bool = False) -> BallArray:
        """Variance about the mean ball, divided by n - ddof."""
        return _reductions.reduce("var", self, axis, keepdims, ddof)

    def std(self, axis: Axis = None, ddof: float = 0, keepdims: bool = False) -> BallArray:
        """Standard deviation: the square roots of the variance's endpoints."""
        return _reductions.reduce("std", self, axis, keepdims, ddof)

    def prod(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Product with outward-rounded endpoint products."""
        return _reductions.reduce("prod", self, axis, keepdims)

    def min(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """The ball from the smallest lower endpoint to the smallest upper endpoint.

        NaN endpoints are passed over, as by the core's ``min_val``.
        """
        return _reductions.reduce("min", self, axis, keepdims)

    def max(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """The ball from the largest lower endpoint to the largest upper endpoint."""
        return _reductions.reduce("max", self, axis, keepdims)

    def norm(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Euclidean norm."""
        return _reductions.reduce("norm", self, axis, keepdims)

    def cumsum(self, axis: SupportsIndex | None = None) -> BallArray:
        """Running sums of the midpoints and of the radii, in index order (over the
        flattened array when `axis` is None, as numpy)."""
        return _reductions.accumulate("cumsum", self, axis)

    def cumprod(self, axis: SupportsIndex | None = None) -> BallArray:
        """Running products with outward-rounded endpoint products."""
        return _reductions.accumulate("cumprod", self, axis)

    def dot(self, other: BallLike) -> BallArray:
        """Dot product as ``numpy.dot`` for operands of up to 2 dimensions.

        Two 1-D operands of equal length give the core's inner product (a 0-d
        array); 2-D operands give the matrix product; a 0-d operand scales.
        """
        return _reductions.dot(self, other)

    # -- comparisons -----------------------------------------------------------

    def __eq__(self, other: object) -> Any:
        """Elementwise: midpoints equal and radii equal (exact, NaN unequal), a bool array."""
        return _ufuncs.equal(self, other)

    def __ne__(self, other: object) -> Any:
        """Elementwise negation of ``==``."""
        same = _ufuncs.equal(self, other)
        return same if same is NotImplemented else ~same

    def __lt__(self, other: object) -> NoReturn:
        _refuse_order("<")

    def __le__(self, other: object) -> NoReturn:
        _refuse_order("<=")

    def __gt__(self, other: object) -> NoReturn:
        _refuse_order(">")

    def __ge__(self, other: object) -> NoReturn:
        _refuse_order(">=")

    __hash__ = None  # type: ignore[assignment]

    # -- text ------------------------------------------------------------------

    def __repr__(self) -> str:
        mid, rad = _shape.parts(self)
        return _text.render(mid, rad, "", repr_form=True)

    def __str__(self) -> str:
        mid, rad = _shape.parts(self)
        return _text.render(mid, rad, "", repr_form=False)

    def __format__(self, fmt: str) -> str:
        """``format(x, fmt)``: the ``str`` layout with `fmt` applied to midpoints and radii."""
        if not fmt:
            return str(self)
        mid, rad = _shape.parts(self)
        return _text.render(mid, rad, fmt, repr_form=False)

    # -- pickling and copying ------------------------------------------------------

    def __reduce__(self) -> tuple[Any, tuple[Any, ...]]:
        # Only the viewed elements travel, as one contiguous IntervalArray.
        return _rebuild, (type(self), _ops.contiguous(self), self.rigorous)

    def __copy__(self) -> BallArray:
        return self  # immutable

    def __deepcopy__(self, memo: dict[int, Any]) -> BallArray:
        return _copy(self)

    # -- shape and selection methods, as numpy's ------------------------------------

    def squeeze(self, axis: Axis = None) -> BallArray:
        """The array without its axes of length one (or only those of `axis`), a view."""
        return _shape.moved(self, lambda part: part.squeeze(cast(Any, axis)))

    def swapaxes(self, axis1: SupportsIndex, axis2: SupportsIndex) -> BallArray:
        """The array with two axes interchanged, a view."""
        return _shape.moved(self, lambda part: part.swapaxes(axis1, axis2))

    def repeat(self, repeats: npt.ArrayLike, axis: SupportsIndex | None = None) -> BallArray:
        """Each ball repeated, as ``numpy.repeat`` (over the flattened array by default)."""
        return _shape.moved(self, lambda part: part.repeat(cast(Any, repeats), axis))

    def diagonal(self, offset: SupportsIndex = 0, axis1: SupportsIndex = 0,
                 axis2: SupportsIndex = 1) -> BallArray:
        """The diagonal balls, as ``numpy.diagonal`` (a view)."""
        return _shape.moved(self, lambda part: part.diagonal(offset, axis1, axis2))

    def trace(self, offset: SupportsIndex = 0, axis1: SupportsIndex = 0,
              axis2: SupportsIndex = 1) -> BallArray:
        """The sum of the diagonal balls, as ``sum`` adds them."""
        return _reductions.reduce("sum", self.diagonal(offset, axis1, axis2), -1)

    def clip(self, min: BallLike | None = None, max: BallLike | None = None) -> BallArray:
        """The image of every ball under numpy's clip: the ball of [clip(lo), clip(hi)].
        The bounds are numbers, arrays or balls; None leaves that side open."""
        result: BallArray = _interval.clip(self, min, max)
        return result

    # -- interval operations (``quorvex._interval``; NaN balls answer False) --------

    intersection = _interval.intersection
    hull = _interval.hull
    bisect = _interval.bisect
    contains = _interval.contains
    subset = _interval.subset
    overlaps = _interval.overlaps
    isdisjoint = _interval.isdisjoint
    certainly_lt = _interval.certainly_lt
    certainly_le = _interval.certainly_le
    certainly_gt = _interval.certainly_gt
    certainly_ge = _interval.certainly_ge
    possibly_lt = _interval.possibly_lt
    possibly_le = _interval.possibly_le
    possibly_gt = _interval.possibly_gt
    possibly_ge = _interval.possibly_ge
    width = _interval.width
    mag = _interval.mag
    mig = _interval.mig

    def __contains__(self, value: object) -> bool:
        """``y in x``: whether some ball of x contains y (a number or a ball)."""
        return bool(np.any(_interval.contains(self, value)))

    # pandas defers its operators to objects of a higher priority than its own
    # (DataFrame has 4000), so series * x and np.multiply(series, x) come here
    # and give a BallArray instead of a Series that would need a plain form.
    __pandas_priority__ = 5000


_pow = _ufuncs.binary_operator(np.power, False)


def _same(part: Float64Array) -> Float64Array:
    return part


def _copy(x: BallArray) -> BallArray:
    """x's elements in a storage of their own."""
    return _shape.copied(x, _same)


def _rebuild(cls: type[BallArray], array: core.IntervalArray, rigorous: bool) -> BallArray:
    result = _ops.wrap(cls, array, rigorous)
    _check_radii(result)
    return result


def _check_radii(x: BallArray) -> None:
    """ValueError for a negative radius, as the numpy constructors give it."""
    rad = x.rad
    if rad.size and np.fmin.reduce(rad, axis=None) < 0:
        index = tuple(int(i) for i in np.unravel_index(int(np.argmax(rad < 0)), rad.shape))
        raise ValueError(f"BallArray() needs non-negative radii, but rad is "
                         f"{rad[index].item()!r} at index {index}")


def _refuse_order(symbol: str) -> NoReturn:
    raise TypeError(f"'{symbol}' is not supported between BallArrays: balls are not totally "
                    "ordered; compare .lo, .mid or .hi instead")


def from_ball_parts(mid: npt.ArrayLike, rad: npt.ArrayLike,
                    shape: tuple[int, ...]) -> BallArray:
    """A BallArray of `shape` holding a copy of ball data that broadcasts to it."""
    return _ops.wrap(BallArray, from_parts(mid, rad, shape))

