"""BallArray: a numpy-style array of balls around one IntervalArray.

The class holds the core array and its shape and nothing else. Numeric work
is the core's (arithmetic in `_arithmetic`, reductions in `_reductions`);
exact data movement (indexing, transposing, broadcasting) is numpy's, done on
the midpoint and radius views and copied once into a new storage
(`_indexing`); text is built in `_text`. The arrays are immutable, like the
core's, so results may share storage with their operands.
"""

from __future__ import annotations

import copy
import math
from collections.abc import Iterator
from typing import Any, NoReturn, SupportsIndex, Union, cast

import numpy as np
import numpy.typing as npt

import _quorvex as core
from _quorvex import IntervalArray
from quorvex import _arithmetic, _indexing, _reductions, _text
from quorvex._numpy_bridge import Float64Array, checked_parts, from_parts, to_numpy

# What arithmetic and the constructors accept besides BallArray: the core's
# arrays, and numbers or numpy array_likes of real numbers (exact balls).
BallLike = Union["BallArray", core.IntervalArray, npt.ArrayLike]
Axis = Union[SupportsIndex, tuple[SupportsIndex, ...], None]


class BallArray:
    """An n-dimensional array of real balls (midpoint ± radius), numpy style.

    ``BallArray(mid, rad=0.0)`` copies the midpoints `mid` (any array_like of
    real numbers) and the radii `rad` (broadcast to the shape of `mid`, not
    negative) into a new array, as ``quorvex.from_numpy`` does.
    ``BallArray(a)`` with an ``IntervalArray`` `a` wraps it without a copy.

    The arrays are immutable. Indexing, iteration, ``.T``, ``reshape`` and
    ``transpose`` behave as in numpy; ``+ - * / @ **``, ``abs()`` and the
    numpy functions ``np.add``, ``np.sin``... compute with the core's
    first-order midpoint-radius rules, broadcasting as numpy does, with
    numbers and numpy arrays taken as exact balls. Reductions (``sum``,
    ``mean``, ``min``...) return 0-d BallArrays that can be computed with
    further; ``np.sum(x)``, ``np.stack`` and a few other numpy functions run
    the BallArray methods, the rest raise TypeError. ``==`` and ``!=``
    compare midpoints and radii exactly; ``<``, ``<=``, ``>``, ``>=`` raise
    TypeError, as balls are not totally ordered.
    The radii are not guaranteed bounds: the rounding errors of the
    computation itself are not added to them.
    """

    __slots__ = ("_core", "_shape", "_views")
    _core: core.IntervalArray
    _shape: tuple[int, ...]
    _views: tuple[Float64Array, Float64Array]

    def __init__(self, mid: BallLike, rad: npt.ArrayLike = 0.0) -> None:
        if isinstance(mid, (BallArray, core.IntervalArray)):
            if np.ndim(rad) != 0 or rad != 0:
                raise TypeError("BallArray() takes no rad with an IntervalArray or a BallArray: "
                                "they have their own radii")
            array = mid._core if isinstance(mid, BallArray) else mid
        else:
            array = checked_parts(mid, rad, "BallArray()")
        self._core = array
        self._shape = tuple(array.shape())

    # -- the parts -------------------------------------------------------

    @property
    def core(self) -> core.IntervalArray:
        """The IntervalArray holding the data (shared, not copied)."""
        return self._core

    def _parts(self) -> tuple[Float64Array, Float64Array]:
        try:
            return self._views
        except AttributeError:
            self._views = to_numpy(self._core)
            return self._views

    @property
    def mid(self) -> Float64Array:
        """The midpoints: a read-only float64 view of the array's storage."""
        return self._parts()[0]

    @property
    def rad(self) -> Float64Array:
        """The radii: a read-only float64 view of the array's storage."""
        return self._parts()[1]

    @property
    def lo(self) -> Float64Array:
        """The lower endpoints ``mid - rad`` (a new array, rounded to nearest)."""
        mid, rad = self._parts()
        with np.errstate(all="ignore"):
            return mid - rad

    @property
    def hi(self) -> Float64Array:
        """The upper endpoints ``mid + rad`` (a new array, rounded to nearest)."""
        mid, rad = self._parts()
        with np.errstate(all="ignore"):
            return mid + rad

    @property
    def shape(self) -> tuple[int, ...]:
        """The length of each dimension."""
        return self._shape

    @property
    def ndim(self) -> int:
        """The number of dimensions."""
        return len(self._shape)

    @property
    def size(self) -> int:
        """The number of elements."""
        return math.prod(self._shape)

    def __len__(self) -> int:
        """The length of the first dimension."""
        if not self._shape:
            raise TypeError("len() of unsized object")
        return self._shape[0]

    def item(self, *index: SupportsIndex) -> tuple[float, float]:
        """One element as the pair (midpoint, radius) of Python floats.

        Without arguments the array must have exactly one element; otherwise
        the arguments index it as in ``numpy.ndarray.item`` (one flat index,
        or one index per dimension).
        """
        mid, rad = self._parts()
        return mid.item(*index), rad.item(*index)

    # -- exact data movement ----------------------------------------------

    def reshape(self, *shape: SupportsIndex | tuple[SupportsIndex, ...]) -> BallArray:
        """The same elements in a new shape (one dimension may be -1), without a copy.

        The shape is given as numpy takes it: ``reshape(2, 3)`` or ``reshape((2, 3))``.
        """
        target = shape[0] if len(shape) == 1 and isinstance(shape[0], tuple) else shape
        # numpy infers the -1 and checks the size, on a view: nothing is copied.
        new_shape: tuple[int, ...] = self.mid.reshape(cast(tuple[SupportsIndex, ...], target)).shape
        return wrap(self._core.reshape(list(new_shape)), new_shape)

    def transpose(self, *axes: SupportsIndex | tuple[SupportsIndex, ...]) -> BallArray:
        """The array with its axes permuted as ``numpy.transpose`` does (reversed by default)."""
        if self.ndim < 2 and not axes:
            return self
        mid, rad = self._parts()
        mid_t = mid.transpose(*axes)
        return wrap(from_parts(mid_t, rad.transpose(*axes), mid_t.shape), mid_t.shape)

    @property
    def T(self) -> BallArray:
        """The transposed array (axes reversed), as ``transpose()``."""
        return self.transpose()

    def copy(self) -> BallArray:
        """A copy with storage of its own."""
        return wrap(copy.deepcopy(self._core), self._shape)

    def __getitem__(self, key: Any) -> BallArray:
        """numpy indexing for reading: slices, integers, ``...``, ``None``, masks, index arrays.

        The result is a new array (a 0-d one for a single element).
        """
        return _indexing.getitem(self, key)

    def __iter__(self) -> Iterator[BallArray]:
        """The subarrays along the first axis."""
        if not self._shape:
            raise TypeError("iteration over a 0-d array")
        return (self[i] for i in range(self._shape[0]))

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
        """np.sum, mean, min, max, prod, var, std, cumsum, dot, linalg.norm, stack,
        concatenate, transpose, reshape, shape, ndim and size as the methods of the same
        names; numpy raises TypeError for its other functions."""
        from quorvex import _numpy_functions  # it builds on this module
        return _numpy_functions.call(function, args, kwargs)

    def __bool__(self) -> NoReturn:
        raise ValueError("the truth value of a BallArray is ambiguous: "
                         "test .mid, .rad, .lo or .hi instead")

    # -- arithmetic -------------------------------------------------------
    # Same-shape BallArray operands go straight to the core; everything else
    # (numbers, numpy arrays, broadcasting) is sorted out in _arithmetic.

    def __add__(self, other: BallLike) -> BallArray:
        if type(other) is BallArray and other._shape == self._shape:
            return wrap(self._core + other._core, self._shape)
        result = _arithmetic.binary(self, other, "+", False)
        return NotImplemented if result is None else result

    def __radd__(self, other: BallLike) -> BallArray:
        result = _arithmetic.binary(self, other, "+", True)
        return NotImplemented if result is None else result

    def __sub__(self, other: BallLike) -> BallArray:
        if type(other) is BallArray and other._shape == self._shape:
            return wrap(self._core - other._core, self._shape)
        result = _arithmetic.binary(self, other, "-", False)
        return NotImplemented if result is None else result

    def __rsub__(self, other: BallLike) -> BallArray:
        result = _arithmetic.binary(self, other, "-", True)
        return NotImplemented if result is None else result

    def __mul__(self, other: BallLike) -> BallArray:
        if type(other) is BallArray and other._shape == self._shape:
            return wrap(self._core * other._core, self._shape)
        result = _arithmetic.binary(self, other, "*", False)
        return NotImplemented if result is None else result

    def __rmul__(self, other: BallLike) -> BallArray:
        result = _arithmetic.binary(self, other, "*", True)
        return NotImplemented if result is None else result

    def __truediv__(self, other: BallLike) -> BallArray:
        if type(other) is BallArray and other._shape == self._shape:
            return wrap(core._divide(self._core, other._core), self._shape)
        result = _arithmetic.binary(self, other, "/", False)
        return NotImplemented if result is None else result

    def __rtruediv__(self, other: BallLike) -> BallArray:
        result = _arithmetic.binary(self, other, "/", True)
        return NotImplemented if result is None else result

    def __matmul__(self, other: BallLike) -> BallArray:
        if (type(other) is BallArray and len(self._shape) == 2 and len(other._shape) == 2
                and self._shape[1] == other._shape[0]):
            return wrap(self._core.matmul(other._core), (self._shape[0], other._shape[1]))
        result = _arithmetic.matmul(self, other, False)
        return NotImplemented if result is None else result

    def __rmatmul__(self, other: BallLike) -> BallArray:
        result = _arithmetic.matmul(self, other, True)
        return NotImplemented if result is None else result

    def __pow__(self, exponent: float, modulo: None = None) -> BallArray:
        """``x ** n`` for an integer n (repeated squaring; a reciprocal for n < 0), ``x ** 0.5``."""
        if modulo is not None:
            raise TypeError("pow() with a modulus is not supported for BallArray")
        return _arithmetic.power(self, exponent)

    def __neg__(self) -> BallArray:
        return wrap(-self._core, self._shape)

    def __pos__(self) -> BallArray:
        return self

    def __abs__(self) -> BallArray:
        return wrap(abs(self._core), self._shape)

    def __array_ufunc__(self, ufunc: np.ufunc, method: str, *inputs: Any,
                        **kwargs: Any) -> Any:
        """np.add, subtract, multiply, true_divide, matmul, negative, absolute, sqrt,
        exp, log, log2, log10, sin, cos, tan (and == and != as equal, not_equal)
        on the core; NotImplemented for the other ufuncs, methods and options."""
        return _arithmetic.ufunc(ufunc, method, inputs, kwargs)

    # -- elementwise functions (the core's endpoint rules) ---------------------

    def sqrt(self) -> BallArray:
        """Elementwise square root."""
        return wrap(self._core.sqrt(), self._shape)

    def exp(self) -> BallArray:
        """Elementwise exponential."""
        return wrap(self._core.exp(), self._shape)

    def log(self) -> BallArray:
        """Elementwise natural logarithm."""
        return wrap(self._core.ln(), self._shape)

    def log2(self) -> BallArray:
        """Elementwise base-2 logarithm."""
        return wrap(self._core.log2(), self._shape)

    def log10(self) -> BallArray:
        """Elementwise base-10 logarithm."""
        return wrap(self._core.log10(), self._shape)

    def sin(self) -> BallArray:
        """Elementwise sine."""
        return wrap(self._core.sin(), self._shape)

    def cos(self) -> BallArray:
        """Elementwise cosine."""
        return wrap(self._core.cos(), self._shape)

    def tan(self) -> BallArray:
        """Elementwise tangent."""
        return wrap(self._core.tan(), self._shape)

    # -- reductions ----------------------------------------------------------

    def sum(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Sum of the elements: midpoints summed, radii summed, then the ball of [M - R, M + R].

        Over the whole array (``axis=None``) this is the core's ``sum``, with
        its vector summation order. Over axes (an int or a tuple) the
        midpoints and radii are summed by numpy (pairwise summation along a
        contiguous axis, in index order otherwise), so the last bits may
        differ from the whole-array sum.
        """
        return _reductions.sum(self, axis, keepdims)

    def mean(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Mean of the elements: the sum as in ``sum``, divided by the count as the core does."""
        return _reductions.mean(self, axis, keepdims)

    def min(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """The ball from the smallest lower endpoint to the smallest upper endpoint.

        NaN endpoints are passed over, as by the core's ``min_val``.
        """
        return _reductions.extremum(self, axis, keepdims, "min")

    def max(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """The ball from the largest lower endpoint to the largest upper endpoint."""
        return _reductions.extremum(self, axis, keepdims, "max")

    def cumsum(self, axis: SupportsIndex | None = None) -> BallArray:
        """Running sums of the midpoints and of the radii, in index order.

        With ``axis=None`` over the flattened array (a 1-D result, as numpy
        gives), computed by the core's ``cumsum``.
        """
        return _reductions.cumsum(self, axis)

    def prod(self) -> BallArray:
        """Product of all elements, with outward-rounded endpoint products (the core's ``prod``)."""
        return _reductions.whole(self, "prod")

    def var(self) -> BallArray:
        """Population variance (divisor n) of all elements (the core's ``var``)."""
        return _reductions.whole(self, "var")

    def std(self) -> BallArray:
        """Population standard deviation of all elements (the core's ``std``)."""
        return _reductions.whole(self, "std")

    def norm(self) -> BallArray:
        """Euclidean norm of all elements (the core's ``norm``)."""
        return _reductions.whole(self, "norm")

    def dot(self, other: BallLike) -> BallArray:
        """Dot product as ``numpy.dot`` for operands of up to 2 dimensions.

        Two 1-D operands of equal length give the core's inner product (a 0-d
        array); 2-D operands give the matrix product; a 0-d operand scales.
        """
        return _reductions.dot(self, other)

    # -- comparisons -----------------------------------------------------------

    def __eq__(self, other: object) -> Any:
        """Elementwise: midpoints equal and radii equal (exact, NaN unequal), a bool array."""
        same = _arithmetic.equal(self, other)
        return NotImplemented if same is None else same

    def __ne__(self, other: object) -> Any:
        """Elementwise negation of ``==``."""
        same = _arithmetic.equal(self, other)
        return NotImplemented if same is None else ~same

    def __lt__(self, other: object) -> NoReturn:
        _arithmetic.refuse_order("<")

    def __le__(self, other: object) -> NoReturn:
        _arithmetic.refuse_order("<=")

    def __gt__(self, other: object) -> NoReturn:
        _arithmetic.refuse_order(">")

    def __ge__(self, other: object) -> NoReturn:
        _arithmetic.refuse_order(">=")

    __hash__ = None  # type: ignore[assignment]

    # -- text ------------------------------------------------------------------

    def __repr__(self) -> str:
        mid, rad = self._parts()
        return _text.render(mid, rad, "", repr_form=True)

    def __str__(self) -> str:
        mid, rad = self._parts()
        return _text.render(mid, rad, "", repr_form=False)

    def __format__(self, fmt: str) -> str:
        """``format(x, fmt)``: the ``str`` layout with `fmt` applied to midpoints and radii."""
        if not fmt:
            return str(self)
        mid, rad = self._parts()
        return _text.render(mid, rad, fmt, repr_form=False)

    # -- pickling and copying ------------------------------------------------------

    def __reduce__(self) -> tuple[type[BallArray], tuple[IntervalArray]]:
        return BallArray, (self._core,)

    def __copy__(self) -> BallArray:
        return self  # immutable

    def __deepcopy__(self, memo: dict[int, Any]) -> BallArray:
        return wrap(copy.deepcopy(self._core, memo), self._shape)


_new = object.__new__


def wrap(array: core.IntervalArray, shape: tuple[int, ...]) -> BallArray:
    """A BallArray around `array`, whose shape the caller already knows."""
    result: BallArray = _new(BallArray)
    result._core = array
    result._shape = shape
    return result


def from_ball_parts(mid: npt.ArrayLike, rad: npt.ArrayLike,
                    shape: tuple[int, ...]) -> BallArray:
    """A BallArray of `shape` holding a copy of ball data that broadcasts to it."""
    return wrap(from_parts(mid, rad, shape), shape)
