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

    ``BallArray(mid, rad=0.0, rigorous=False)`` copies the midpoints `mid` and
    the radii `rad` into a new array. ``BallArray(a)`` with an
    ``IntervalArray`` `a` wraps it without a copy; with a BallArray it gives
    the same balls. With ``rigorous=True`` the array follows the rigorous
    model: a value no double holds exactly (such as "0.1") gets a radius that
    covers it, and every operation counts every rounding error, so each
    result ball contains the exact result.

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

    Parameters
    ----------
    mid : array_like, BallArray or IntervalArray
        The midpoints: real numbers of any numpy dtype, or exact numbers
        (strings such as "0.1", Fractions, Decimals, large integers), taken
        as their nearest doubles.
    rad : array_like, default 0.0
        The radii, broadcast to the shape of `mid`; not negative (NaN and
        inf are accepted).
    rigorous : bool, default False
        Whether the array follows the rigorous model.

    Raises
    ------
    ValueError
        A negative radius, a `rad` that does not broadcast to `mid`, or a
        string that is no number.
    TypeError
        Data that is no real number (complex, datetime...), or a `rad` given
        with an IntervalArray or BallArray.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvex as qv
    >>> x = qv.BallArray([1.0, 2.0], 0.5)
    >>> x
    BallArray([1±0.5, 2±0.5])
    >>> (x + 1) * 2
    BallArray([4±1, 6±1])
    >>> np.sqrt(qv.BallArray(6.5, 2.5))   # the image of [4, 9]
    BallArray(2.5±0.5)
    >>> qv.BallArray("0.1", rigorous=True)
    BallArray(0.1±5.5511151e-18)
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

        Returns
        -------
        BallArray
            A view of the same balls whose ``rigorous`` is True.

        Examples
        --------
        >>> import quorvex as qv
        >>> x = qv.BallArray(0.1)
        >>> x * 3
        BallArray(0.3±0)
        >>> x.as_rigorous() * 3
        BallArray(0.3±3.3306691e-17)
        """
        return self._with_rigorous(True)

    # -- the parts -------------------------------------------------------

    @property
    def core(self) -> core.IntervalArray:
        """The balls as an IntervalArray of the core.

        The IntervalArray shares the storage when this array is all of it, in
        row-major order, and is a copy otherwise.

        Returns
        -------
        IntervalArray
            The same balls, contiguous.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).core
        IntervalArray([1+/-0.5, 2+/-0.5])
        """
        return _ops.contiguous(self)

    @property
    def mid(self) -> Float64Array:
        """The midpoints: a read-only float64 view of the array's storage.

        Returns
        -------
        numpy.ndarray
            float64, of the array's shape.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).mid.tolist()
        [1.0, 2.0]
        """
        return _shape.parts(self)[0]

    @property
    def rad(self) -> Float64Array:
        """The radii: a read-only float64 view of the array's storage.

        Returns
        -------
        numpy.ndarray
            float64, of the array's shape.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).rad.tolist()
        [0.5, 0.5]
        """
        return _shape.parts(self)[1]

    @property
    def lo(self) -> Float64Array:
        """The lower endpoints ``mid - rad`` (a new array, rounded to nearest).

        Returns
        -------
        numpy.ndarray
            float64, of the array's shape.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).lo.tolist()
        [0.5, 1.5]
        """
        mid, rad = _shape.parts(self)
        with np.errstate(all="ignore"):
            return mid - rad

    @property
    def hi(self) -> Float64Array:
        """The upper endpoints ``mid + rad`` (a new array, rounded to nearest).

        Returns
        -------
        numpy.ndarray
            float64, of the array's shape.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).hi.tolist()
        [1.5, 2.5]
        """
        mid, rad = _shape.parts(self)
        with np.errstate(all="ignore"):
            return mid + rad

    def item(self, *index: SupportsIndex) -> tuple[float, float]:
        """One element as the pair (midpoint, radius) of Python floats.

        Parameters
        ----------
        *index : int
            No index for an array of exactly one element; otherwise one flat
            index, or one index per dimension, as in ``numpy.ndarray.item``.

        Returns
        -------
        tuple of float
            The midpoint and the radius.

        Raises
        ------
        ValueError
            No index, and the array has more than one element.
        IndexError
            An index out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> x = qv.BallArray([[1.0, 2.0], [3.0, 4.0]], 0.5)
        >>> x.item(3), x.item(1, 0)
        ((4.0, 0.5), (3.0, 0.5))
        """
        mid, rad = _shape.parts(self)
        return mid.item(*index), rad.item(*index)

    # -- data movement (views where numpy gives views) -----------------------

    def reshape(self, *shape: SupportsIndex | tuple[SupportsIndex, ...]) -> BallArray:
        """The same elements in a new shape, as ``numpy.reshape``.

        A view where numpy's reshape gives one, a copy otherwise.

        Parameters
        ----------
        *shape : int or tuple of ints
            The new shape (one dimension may be -1, for what remains).

        Returns
        -------
        BallArray
            The balls in row-major order, in the new shape.

        Raises
        ------
        ValueError
            The sizes differ.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0, 3.0, 4.0], 0.5).reshape(2, -1)
        BallArray([[1±0.5, 2±0.5],
                   [3±0.5, 4±0.5]])
        """
        target = shape[0] if len(shape) == 1 and isinstance(shape[0], tuple) else shape
        return _shape.moved(self, lambda part: part.reshape(cast(Any, target)))

    def transpose(self, *axes: SupportsIndex | tuple[SupportsIndex, ...]) -> BallArray:
        """The array with its axes permuted, as ``numpy.transpose`` (a view).

        Parameters
        ----------
        *axes : int or tuple of ints
            The permutation; the axes are reversed when none is given.

        Returns
        -------
        BallArray
            A view of the same balls.

        Raises
        ------
        ValueError
            `axes` is no permutation of the array's axes.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([[1.0, 2.0]], 0.5).transpose()
        BallArray([[1±0.5],
                   [2±0.5]])
        """
        return _shape.moved(self, lambda part: part.transpose(*axes))

    def ravel(self) -> BallArray:
        """The elements as a 1-D array, in row-major order.

        Returns
        -------
        BallArray
            A view when numpy's ravel gives one, a copy otherwise.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([[1.0, 2.0], [3.0, 4.0]], 0.5).ravel()
        BallArray([1±0.5, 2±0.5, 3±0.5, 4±0.5])
        """
        return _shape.moved(self, np.ravel)

    def flatten(self) -> BallArray:
        """The elements as a new 1-D array, in row-major order.

        Returns
        -------
        BallArray
            A copy, with storage of its own.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([[1.0, 2.0], [3.0, 4.0]], 0.5).flatten()
        BallArray([1±0.5, 2±0.5, 3±0.5, 4±0.5])
        """
        return _copy(_shape.moved(self, np.ravel))

    def copy(self) -> BallArray:
        """A copy with storage of its own, holding only the viewed elements.

        Returns
        -------
        BallArray
            The same balls, in the same model.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvex as qv
        >>> x = qv.BallArray([1.0, 2.0, 3.0], 0.5)
        >>> y = x[::2].copy()
        >>> y, np.shares_memory(y.mid, x.mid)
        (BallArray([1±0.5, 3±0.5]), False)
        """
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
        """``x ** exponent``: the powers (as ``np.power``).

        Each result ball holds the image of t**n over its ball for an exact
        integer exponent n, else the image of the power over the part of the
        base at or above zero and the exponent ball. In the first-order model
        the radii leave the rounding errors of the computation out; under the
        rigorous model the balls contain the exact powers.

        Parameters
        ----------
        exponent : BallArray, IntervalArray or array_like
            The exponents; numbers and arrays of real numbers are exact balls.
        modulo : None
            Only None: a modulus is not supported.

        Returns
        -------
        BallArray
            The powers, of the broadcast shape.

        Raises
        ------
        TypeError
            A modulus is given.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, -2.0], 0.5) ** 2
        BallArray([1.25±1, 4.25±2])
        >>> qv.BallArray(4.0, 0.0) ** qv.BallArray(0.5, 0.5)
        BallArray(2.5±1.5)
        """
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
        """Sum of the balls over the given axes.

        The midpoints are summed to M and the radii to R, and the result is the
        ball of [M - R, M + R]. Each result element sums its balls in the order
        of the core's whole-array sum, so the sum over every axis, or along the
        axis of a 1-D array, has the core's bits. Under the rigorous model the
        radius also bounds every rounding error, so the ball contains the exact
        sum of every choice of reals inside the balls.

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to reduce; None reduces all of them.
        keepdims : bool, default False
            Whether the reduced axes stay, with length one.

        Returns
        -------
        BallArray
            The sums; 0-d when every axis is reduced.

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).sum()
        BallArray(3±1)
        >>> qv.BallArray([[1.0, 2.0], [3.0, 4.0]], 0.5).sum(axis=0)
        BallArray([4±1, 6±1])
        """
        return _reductions.reduce("sum", self, axis, keepdims)

    def mean(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Mean of the balls over the given axes.

        The sum as ``sum`` forms it, divided by the number of balls; no ball
        gives NaN ± NaN.

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to reduce; None reduces all of them.
        keepdims : bool, default False
            Whether the reduced axes stay, with length one.

        Returns
        -------
        BallArray
            The means; 0-d when every axis is reduced.

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).mean()
        BallArray(1.5±0.5)
        """
        return _reductions.reduce("mean", self, axis, keepdims)

    def var(self, axis: Axis = None, ddof: float = 0, keepdims: bool = False) -> BallArray:
        """Variance of the balls over the given axes, divided by n - ddof.

        The midpoint is the variance of the midpoints about the mean's
        midpoint; the radius bounds how far the balls' radii and the mean's
        radius can move it. Under the rigorous model the rounding errors are
        counted too.

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to reduce; None reduces all of them.
        ddof : float, default 0
            Subtracted from the count n in the divisor (1 for the sample
            variance).
        keepdims : bool, default False
            Whether the reduced axes stay, with length one.

        Returns
        -------
        BallArray
            The variances; 0-d when every axis is reduced.

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0, 3.0], 0.1).var()
        BallArray(0.66666667±0.30666667)
        """
        return _reductions.reduce("var", self, axis, keepdims, ddof)

    def std(self, axis: Axis = None, ddof: float = 0, keepdims: bool = False) -> BallArray:
        """Standard deviation of the balls over the given axes.

        The ball between the square roots of the endpoints of ``var`` (an
        endpoint below zero counts as zero).

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to reduce; None reduces all of them.
        ddof : float, default 0
            Subtracted from the count n in the divisor of the variance.
        keepdims : bool, default False
            Whether the reduced axes stay, with length one.

        Returns
        -------
        BallArray
            The standard deviations; 0-d when every axis is reduced.

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0, 3.0], 0.1).std()
        BallArray(0.79328829±0.19328829)
        """
        return _reductions.reduce("std", self, axis, keepdims, ddof)

    def prod(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Product of the balls over the given axes.

        The balls are multiplied as endpoint pairs, every product of endpoints
        rounded outward; in the first-order model the endpoints of the inputs
        and the final ball are rounded to nearest, under the rigorous model
        outward too. No ball gives 1 ± 0.

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to reduce; None reduces all of them.
        keepdims : bool, default False
            Whether the reduced axes stay, with length one.

        Returns
        -------
        BallArray
            The products; 0-d when every axis is reduced.

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).prod()
        BallArray(2.25±1.5)
        """
        return _reductions.reduce("prod", self, axis, keepdims)

    def min(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Minimum of the balls over the given axes.

        The ball from the smallest lower endpoint to the smallest upper
        endpoint: it holds the minimum of every choice of reals inside the
        balls. NaN endpoints are passed over, as by the core's ``min_val``.

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to reduce; None reduces all of them.
        keepdims : bool, default False
            Whether the reduced axes stay, with length one.

        Returns
        -------
        BallArray
            The minima; 0-d when every axis is reduced.

        Raises
        ------
        ValueError
            A reduction over no ball.
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([3.0, 1.0], [0.5, 2.5]).min()   # [2.5, 3.5] and [-1.5, 3.5]
        BallArray(1±2.5)
        """
        return _reductions.reduce("min", self, axis, keepdims)

    def max(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Maximum of the balls over the given axes.

        The ball from the largest lower endpoint to the largest upper endpoint:
        it holds the maximum of every choice of reals inside the balls. NaN
        endpoints are passed over.

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to reduce; None reduces all of them.
        keepdims : bool, default False
            Whether the reduced axes stay, with length one.

        Returns
        -------
        BallArray
            The maxima; 0-d when every axis is reduced.

        Raises
        ------
        ValueError
            A reduction over no ball.
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([3.0, 1.0], [0.5, 2.5]).max()   # [2.5, 3.5] and [-1.5, 3.5]
        BallArray(3±0.5)
        """
        return _reductions.reduce("max", self, axis, keepdims)

    def norm(self, axis: Axis = None, keepdims: bool = False) -> BallArray:
        """Euclidean norm of the balls over the given axes.

        With Q the sum of the squared midpoints and P a bound on how far the
        radii can move it, the ball between sqrt(Q - P) (0 when Q - P is
        negative) and sqrt(Q + P).

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to reduce; None reduces all of them.
        keepdims : bool, default False
            Whether the reduced axes stay, with length one.

        Returns
        -------
        BallArray
            The norms; 0-d when every axis is reduced.

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([3.0, 4.0], 0.5).norm()
        BallArray(4.9420886±0.7587885)
        """
        return _reductions.reduce("norm", self, axis, keepdims)

    def cumsum(self, axis: SupportsIndex | None = None) -> BallArray:
        """Running sums of the balls along an axis.

        The midpoints and the radii are summed in index order.

        Parameters
        ----------
        axis : int or None, default None
            The axis; None runs over the flattened array, as numpy.

        Returns
        -------
        BallArray
            The running sums, of the array's shape (1-D for None).

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0, 3.0], 0.5).cumsum()
        BallArray([1±0.5,   3±1, 6±1.5])
        """
        return _reductions.accumulate("cumsum", self, axis)

    def cumprod(self, axis: SupportsIndex | None = None) -> BallArray:
        """Running products of the balls along an axis.

        Each step multiplies endpoint pairs, rounding the endpoint products
        outward, as ``prod`` does.

        Parameters
        ----------
        axis : int or None, default None
            The axis; None runs over the flattened array, as numpy.

        Returns
        -------
        BallArray
            The running products, of the array's shape (1-D for None).

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0, 3.0], 0.5).cumprod()
        BallArray([     1±0.5,   2.25±1.5,  7.5±5.625])
        """
        return _reductions.accumulate("cumprod", self, axis)

    def dot(self, other: BallLike) -> BallArray:
        """Dot product, as ``numpy.dot`` for operands of up to 2 dimensions.

        Two 1-D operands of equal length give the core's inner product (a 0-d
        array); 2-D operands give the matrix product; a 0-d operand scales.

        Parameters
        ----------
        other : BallArray, IntervalArray or array_like
            The other operand; numbers and arrays of real numbers are exact
            balls.

        Returns
        -------
        BallArray
            The product.

        Raises
        ------
        ValueError
            An operand of more than 2 dimensions, or shapes not aligned.
        TypeError
            An operand that is neither balls nor real numbers.

        Examples
        --------
        >>> import quorvex as qv
        >>> x = qv.BallArray([1.0, 2.0], 0.5)
        >>> x.dot(x)
        BallArray(5±3.5)
        >>> x.dot([[1.0, 0.0], [0.0, 2.0]])
        BallArray([1±0.5,   4±1])
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
        """The array without its axes of length one, a view (as ``numpy.squeeze``).

        Parameters
        ----------
        axis : None, int or tuple of ints, default None
            The axes to remove, each of length one; None removes them all.

        Returns
        -------
        BallArray
            A view of the same balls.

        Raises
        ------
        ValueError
            An axis of `axis` does not have length one.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([[1.0], [2.0]], 0.5).squeeze()
        BallArray([1±0.5, 2±0.5])
        """
        return _shape.moved(self, lambda part: part.squeeze(cast(Any, axis)))

    def swapaxes(self, axis1: SupportsIndex, axis2: SupportsIndex) -> BallArray:
        """The array with two axes interchanged, a view (as ``numpy.swapaxes``).

        Parameters
        ----------
        axis1, axis2 : int
            The axes.

        Returns
        -------
        BallArray
            A view of the same balls.

        Raises
        ------
        numpy.exceptions.AxisError
            An axis out of range.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([[1.0, 2.0]], 0.5).swapaxes(0, 1)
        BallArray([[1±0.5],
                   [2±0.5]])
        """
        return _shape.moved(self, lambda part: part.swapaxes(axis1, axis2))

    def repeat(self, repeats: npt.ArrayLike, axis: SupportsIndex | None = None) -> BallArray:
        """Each ball repeated, as ``numpy.repeat``.

        Parameters
        ----------
        repeats : int or array of ints
            The number of copies of each ball, broadcast along the axis.
        axis : int or None, default None
            The axis along which to repeat; None repeats over the flattened
            array.

        Returns
        -------
        BallArray
            A new array.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([1.0, 2.0], 0.5).repeat(2)
        BallArray([1±0.5, 1±0.5, 2±0.5, 2±0.5])
        """
        return _shape.moved(self, lambda part: part.repeat(cast(Any, repeats), axis))

    def diagonal(self, offset: SupportsIndex = 0, axis1: SupportsIndex = 0,
                 axis2: SupportsIndex = 1) -> BallArray:
        """The diagonal balls, as ``numpy.diagonal`` (a view).

        Parameters
        ----------
        offset : int, default 0
            The diagonal: above the main one for a positive offset, below for
            a negative one.
        axis1, axis2 : int, default 0 and 1
            The axes of the 2-D subarrays whose diagonals are taken.

        Returns
        -------
        BallArray
            A view of the diagonal balls.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([[1.0, 2.0], [3.0, 4.0]], 0.5).diagonal()
        BallArray([1±0.5, 4±0.5])
        """
        return _shape.moved(self, lambda part: part.diagonal(offset, axis1, axis2))

    def trace(self, offset: SupportsIndex = 0, axis1: SupportsIndex = 0,
              axis2: SupportsIndex = 1) -> BallArray:
        """The sum of the diagonal balls, as ``sum`` adds them (as ``numpy.trace``).

        Parameters
        ----------
        offset : int, default 0
            The diagonal, as for ``diagonal``.
        axis1, axis2 : int, default 0 and 1
            The axes of the 2-D subarrays whose diagonals are summed.

        Returns
        -------
        BallArray
            The sums: 0-d for a 2-D array.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([[1.0, 2.0], [3.0, 4.0]], 0.5).trace()
        BallArray(5±1)
        """
        return _reductions.reduce("sum", self.diagonal(offset, axis1, axis2), -1)

    def clip(self, min: BallLike | None = None, max: BallLike | None = None) -> BallArray:
        """The image of every ball under numpy's clip, as ``numpy.clip``.

        Each result is the ball of [clip(lo), clip(hi)]: it holds the clipped
        value of every real in its ball. A ball bound clips the lower
        endpoints with its own lower endpoint and the upper endpoints with its
        upper one.

        Parameters
        ----------
        min, max : BallArray, array_like or None, default None
            The bounds, broadcast against the array; None leaves that side
            open.

        Returns
        -------
        BallArray
            The clipped balls, of the broadcast shape.

        Examples
        --------
        >>> import quorvex as qv
        >>> qv.BallArray([0.0, 5.0, 10.0], 1.0).clip(0.5, 9.0)
        BallArray([0.75±0.25,       5±1,       9±0])
        """
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



# The attributes BallArray inherits from the core's view carry their docstrings
# there; naming them here runs their examples with the package's doctests.
__test__ = {f"BallArray.{name}": getattr(core._BallView, name).__doc__
            for name in ("shape", "ndim", "size", "rigorous", "T")}
