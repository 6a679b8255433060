"""Verified linear algebra on balls: ``solve``, ``inv``, ``det``, ``lstsq`` and ``norm``.

Each result ball contains the exact result for every point matrix and vector
inside the input balls (the hull of the solution set), up to the rounding that
the arrays' rounding model does not count: under the rigorous model the
enclosures are fully verified, with no code here changed, because every bound
below comes from the ball arithmetic of the core.

The method is the verified solver of the interval toolboxes. With R an
approximate inverse of the midpoint matrix and x~ an approximate solution (both
plain floats, taken as exact balls), the residual Z = R (b - A x~) and the
iteration matrix C = I - R A are computed in ball arithmetic; an inflated
candidate Y = [-y, y] that the Krawczyk operator Z + C Y maps into its own
interior proves A regular and every solution inside x~ + Z + C Y. No
elimination runs in ball arithmetic on A itself, so the radii stay near the
true spread of the solutions. ``det`` eliminates only the preconditioned matrix,
which is close to the identity.

Failures raise ``numpy.linalg.LinAlgError``: a singular midpoint matrix
("Singular matrix", as numpy says), a system too wide or too ill-conditioned to
verify, a matrix that is not square. NaN or infinite entries give NaN balls.
``numpy.linalg.solve``, ``inv``, ``det``, ``lstsq`` and ``norm`` called with a
BallArray run these.

Examples
--------
>>> import numpy as np
>>> import quorvex as qv
>>> a = qv.BallArray([[2.0, 1.0], [1.0, 3.0]], 0.01)
>>> qv.linalg.solve(a, [3.0, 5.0])
BallArray([0.8±0.01787104, 1.4±0.01340328])
>>> np.linalg.det(a)
BallArray(5±0.070452261)
"""

from __future__ import annotations

from typing import Any

import numpy as np
import numpy.typing as npt
from numpy.linalg import LinAlgError

from quorvex import _functions, _ops, _reductions, _shape, _ufuncs
from quorvex._ballarray import BallArray
from quorvex._numpy_bridge import Float64Array, from_parts

__all__ = ["det", "inv", "lstsq", "norm", "solve"]

# Krawczyk steps before a system counts as not verifiable.
_MAX_STEPS = 12
# The candidate's inflation per step: y (1 + eps) + eta.
_INFLATE = 0.1
_ETA = np.finfo(np.float64).tiny

_TOO_WIDE = ("the system is too wide or too ill-conditioned to verify: its enclosure did "
             f"not contract within {_MAX_STEPS} steps")


def _ball(value: Any, cls: type[BallArray] = BallArray) -> BallArray:
    x = _ops.as_view(value, cls)
    if x is None:
        raise TypeError(f"expected a BallArray or real numbers, not {type(value).__name__}")
    return x


def _exact(cls: type[BallArray], values: npt.NDArray[Any], rigorous: bool) -> BallArray:
    return _ops.wrap(cls, from_parts(values, 0.0, values.shape), rigorous)


def _upper_mag(x: BallArray) -> Float64Array:
    """An upper bound of |t| over every ball: |mid| + rad, stepped up one ulp so
    the rounding of that sum cannot make it too small."""
    mid, rad = _shape.parts(x)
    total = np.abs(mid)
    total += rad
    return np.nextafter(total, np.inf, out=total)


def _check_square(a: BallArray) -> None:
    if a.ndim < 2:
        raise LinAlgError(f"{a.ndim}-dimensional array given. Array must be at least "
                          "two-dimensional")
    if a.shape[-1] != a.shape[-2]:
        raise LinAlgError("Last 2 dimensions of the array must be square")


def _nan_like(cls: type[BallArray], shape: tuple[int, ...], rigorous: bool) -> BallArray:
    return _ops.wrap(cls, from_parts(np.full(shape, np.nan), np.nan, shape), rigorous)


def _finite(*balls: BallArray) -> bool:
    return all(np.isfinite(p).all() for b in balls for p in _shape.parts(b))


_IDENTITIES: dict[tuple[type[BallArray], int, bool], BallArray] = {}


# Identities up to this order (4 MB) are kept; building a larger one costs
# little beside the solve it serves.
_KEPT_ORDER = 512


def _identity(cls: type[BallArray], n: int, rigorous: bool) -> BallArray:
    """The exact n x n identity. Balls are immutable, so the last few small
    ones made are kept: a stream of solves of one size builds it once."""
    if n > _KEPT_ORDER:
        return _exact(cls, np.eye(n), rigorous)
    key = (cls, n, rigorous)
    found = _IDENTITIES.get(key)
    if found is None:
        if len(_IDENTITIES) >= 4:
            _IDENTITIES.clear()
        found = _IDENTITIES[key] = _exact(cls, np.eye(n), rigorous)
    return found


def _verified(a: BallArray, b: BallArray) -> BallArray:
    """Every solution of a x = b for a (n, n) and b (n, k), enclosed."""
    cls, rigorous = type(a), a.rigorous or b.rigorous
    n = a.shape[0]
    if not _finite(a, b):
        return _nan_like(cls, b.shape, rigorous)
    a_mid, b_mid = _shape.parts(a)[0], _shape.parts(b)[0]
    r = np.linalg.inv(a_mid)  # numpy's LinAlgError("Singular matrix") for a singular midpoint
    x = r @ b_mid
    x = x + r @ (b_mid - a_mid @ x)  # one refinement, in floats: a better centre
    exact_r, exact_x = _exact(cls, r, rigorous), _exact(cls, x, rigorous)
    residual = _ops.binary("subtract", b, _ops.matmul(a, exact_x))
    z = _ops.matmul(exact_r, residual)
    c = _ops.binary("subtract", _identity(cls, n, rigorous), _ops.matmul(exact_r, a))
    y = _upper_mag(z)
    for _ in range(_MAX_STEPS):
        y = y * (1 + _INFLATE) + _ETA
        candidate = _ops.wrap(cls, from_parts(0.0, y, y.shape), rigorous)
        image = _ops.binary("add", z, _ops.matmul(c, candidate))
        bound = _upper_mag(image)
        if (bound < y).all():
            result: BallArray = _ops.binary("add", exact_x, image)
            return result
        y = bound
    raise LinAlgError(_TOO_WIDE)


def _batched(shape: tuple[int, ...]) -> list[tuple[int, ...]]:
    return list(np.ndindex(*shape))


def _stack(cls: type[BallArray], pieces: list[BallArray], batch: tuple[int, ...],
           rigorous: bool) -> BallArray:
    mids = np.stack([_shape.parts(p)[0] for p in pieces])
    rads = np.stack([_shape.parts(p)[1] for p in pieces])
    shape = batch + mids.shape[1:]
    return _ops.wrap(cls, from_parts(mids.reshape(shape), rads.reshape(shape), shape),
                     rigorous)


def solve(a: Any, b: Any) -> BallArray:
    """The balls holding every solution x of a x = b for a and b inside the given balls.

    The enclosure is verified by the Krawczyk operator around an approximate
    solution (see the module's description); under the rigorous model it
    counts every rounding error too. Stacks of matrices broadcast as in
    ``numpy.linalg.solve``.

    Parameters
    ----------
    a : BallArray or array_like, shape (..., M, M)
        The matrices; plain numbers are exact balls.
    b : BallArray or array_like, shape (M,) or (..., M, K)
        The right-hand sides; a 1-D `b` is one vector, as in ``numpy.linalg.solve``.

    Returns
    -------
    BallArray
        The solutions, of the shape numpy.linalg.solve gives.

    Raises
    ------
    numpy.linalg.LinAlgError
        The midpoint matrix is singular, the system is too wide or too
        ill-conditioned to verify, or `a` is not square.
    ValueError
        `b` does not match `a`.

    Examples
    --------
    >>> import quorvex as qv
    >>> a = qv.BallArray([[2.0, 1.0], [1.0, 3.0]], 0.01)
    >>> qv.linalg.solve(a, [3.0, 5.0])
    BallArray([0.8±0.01787104, 1.4±0.01340328])
    """
    cls = next((type(v) for v in (a, b) if isinstance(v, BallArray)), BallArray)
    x, y = _ball(a, cls), _ball(b, cls)
    _check_square(x)
    n = x.shape[-1]
    vector = y.ndim == 1
    if vector:
        y = y[:, None]
    if y.ndim < 2 or y.shape[-2] != n:
        raise ValueError(f"solve: Input operand 1 has a mismatch in its core dimension 0, "
                         f"with gufunc signature (m,m),(m,n)->(m,n) (size {y.shape[-2]} is "
                         f"different from {n})")
    batch = tuple(np.broadcast_shapes(x.shape[:-2], y.shape[:-2]))
    if batch:
        xb = _shape.moved(x, lambda p: np.broadcast_to(p, batch + x.shape[-2:]))
        yb = _shape.moved(y, lambda p: np.broadcast_to(p, batch + y.shape[-2:]))
        pieces = [_verified(xb[i], yb[i]) for i in _batched(batch)]
        result = _stack(cls, pieces, batch, x.rigorous or y.rigorous)
    else:
        result = _verified(x, y)
    return result[..., 0] if vector else result


def inv(a: Any) -> BallArray:
    """Balls holding the inverse of every matrix inside the given balls.

    Computed as ``solve(a, I)``.

    Parameters
    ----------
    a : BallArray or array_like, shape (..., M, M)
        The matrices; plain numbers are exact balls.

    Returns
    -------
    BallArray, shape (..., M, M)
        The inverses.

    Raises
    ------
    numpy.linalg.LinAlgError
        The midpoint matrix is singular, the inverse is too wide or too
        ill-conditioned to verify, or `a` is not square.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.linalg.inv(qv.BallArray([[2.0, 1.0], [1.0, 3.0]], 0.01))
    BallArray([[ 0.6±0.00649856, -0.2±0.00487392],
               [-0.2±0.00487392,  0.4±0.00365544]])
    """
    x = _ball(a, type(a) if isinstance(a, BallArray) else BallArray)
    _check_square(x)
    identity = np.broadcast_to(np.eye(x.shape[-1]), x.shape)
    return solve(x, _exact(type(x), np.ascontiguousarray(identity), x.rigorous))


def _lu(m: Float64Array) -> tuple[npt.NDArray[np.intp], Float64Array, Float64Array, int]:
    """Gaussian elimination with partial pivoting in floats: P m = L U, and det(P)."""
    n = m.shape[0]
    u = m.copy()
    lower = np.eye(n)
    order = np.arange(n)
    sign = 1
    for k in range(n - 1):
        p = k + int(np.argmax(np.abs(u[k:, k])))
        if p != k:
            u[[k, p], :] = u[[p, k], :]
            lower[[k, p], :k] = lower[[p, k], :k]
            order[[k, p]] = order[[p, k]]
            sign = -sign
        if u[k, k] == 0:
            continue
        factors = u[k + 1:, k] / u[k, k]
        lower[k + 1:, k] = factors
        u[k + 1:, k:] -= np.outer(factors, u[k, k:])
    return order, lower, np.triu(u), sign


def _det_near_identity(b: BallArray) -> BallArray:
    """det b by elimination without pivoting in ball arithmetic, for b close to I."""
    n = b.shape[0]
    total = b[0, 0]
    rest = b
    for k in range(n - 1):
        pivot = rest[0, 0]
        factors = _ops.binary("divide", rest[1:, 0], pivot)
        if not np.isfinite(_shape.parts(factors)[1]).all():
            raise LinAlgError(_TOO_WIDE)
        rest = _ops.binary("subtract", rest[1:, 1:],
                           _ops.binary("multiply", factors[:, None], rest[0, 1:][None, :]))
        total = _ops.binary("multiply", total, rest[0, 0])
    return total


def _det(a: BallArray) -> BallArray:
    cls, rigorous = type(a), a.rigorous
    n = a.shape[0]
    if n == 0:
        return _exact(cls, np.ones(()), rigorous)
    if not _finite(a):
        return _nan_like(cls, (), rigorous)
    order, lower, upper, sign = _lu(_shape.parts(a)[0])
    if not np.all(np.diag(upper)):
        raise LinAlgError("Singular matrix")
    # Triangular approximate inverses: det(x_lower) is exactly 1, det(x_upper)
    # the product of its diagonal, and x_lower P a x_upper is close to I.
    x_lower = np.tril(np.linalg.inv(lower), -1) + np.eye(n)
    x_upper = np.triu(np.linalg.inv(upper))
    permuted = a[order]
    near_identity = _ufuncs.matmul(_ufuncs.matmul(_exact(cls, x_lower, rigorous), permuted),
                                   _exact(cls, x_upper, rigorous))
    diagonal = _reductions.reduce("prod", _exact(cls, np.diag(x_upper).copy(), rigorous))
    result: BallArray = _ops.binary("divide", _det_near_identity(near_identity),
                                    _ops.binary("multiply", diagonal, float(sign)))
    return result


def det(a: Any) -> BallArray:
    """Balls holding the determinant of every matrix inside the given balls.

    The matrix is preconditioned by approximate inverses of the factors of
    its midpoint's LU decomposition, and only the result, close to the
    identity, is eliminated in ball arithmetic.

    Parameters
    ----------
    a : BallArray or array_like, shape (..., M, M)
        The matrices; plain numbers are exact balls.

    Returns
    -------
    BallArray, shape (...)
        The determinants (0-d for one matrix).

    Raises
    ------
    numpy.linalg.LinAlgError
        The midpoint matrix is singular, the matrix is too wide or too
        ill-conditioned to verify, or it is not square.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.linalg.det(qv.BallArray([[2.0, 1.0], [1.0, 3.0]], 0.01))
    BallArray(5±0.070452261)
    """
    x = _ball(a, type(a) if isinstance(a, BallArray) else BallArray)
    _check_square(x)
    batch = x.shape[:-2]
    if not batch:
        return _det(x)
    return _stack(type(x), [_det(x[i]) for i in _batched(batch)], batch, x.rigorous)


def _lstsq(a: BallArray, b: BallArray) -> BallArray:
    cls, rigorous = type(a), a.rigorous or b.rigorous
    m, n = a.shape
    singular = np.linalg.svd(_shape.parts(a)[0], compute_uv=False) if m and n else np.ones(1)
    if not singular.size or singular[-1] == 0:
        raise LinAlgError("Singular matrix")
    # The augmented system of the least-squares (m >= n) or least-norm (m < n)
    # solution, scaled by a power of 2 near the smallest singular value, which
    # keeps its condition close to that of a.
    alpha = float(2.0 ** np.floor(np.log2(singular[-1] / np.sqrt(2.0))))
    k = b.shape[1]
    if m >= n:
        top = _joined(cls, [[_exact(cls, alpha * np.eye(m), rigorous), a],
                            [a.T, _exact(cls, np.zeros((n, n)), rigorous)]], rigorous)
        rhs = _joined(cls, [[b], [_exact(cls, np.zeros((n, k)), rigorous)]], rigorous)
        return _verified(top, rhs)[m:]
    top = _joined(cls, [[_exact(cls, alpha * np.eye(n), rigorous), a.T],
                        [a, _exact(cls, np.zeros((m, m)), rigorous)]], rigorous)
    rhs = _joined(cls, [[_exact(cls, np.zeros((n, k)), rigorous)], [b]], rigorous)
    return _verified(top, rhs)[:n]


def _joined(cls: type[BallArray], blocks: list[list[BallArray]], rigorous: bool) -> BallArray:
    mids = np.block([[_shape.parts(x)[0] for x in row] for row in blocks])
    rads = np.block([[_shape.parts(x)[1] for x in row] for row in blocks])
    return _ops.wrap(cls, from_parts(mids, rads, mids.shape), rigorous)


def lstsq(a: Any, b: Any) -> BallArray:
    """Balls holding the least-squares solution of a x = b for every a and b inside the balls.

    For a taller than wide, the x minimising the Euclidean norm of a x - b; for
    a wider than tall, the least-norm solution. `a` must have full rank at its
    midpoint.

    The solution is enclosed as that of an augmented square system, verified
    as ``solve`` does. Unlike ``numpy.linalg.lstsq`` (which runs for a
    BallArray too, with numpy's tuple), only the solution is returned.

    Parameters
    ----------
    a : BallArray or array_like, shape (M, N)
        The matrix; plain numbers are exact balls.
    b : BallArray or array_like, shape (M,) or (M, K)
        The right-hand sides.

    Returns
    -------
    BallArray, shape (N,) or (N, K)
        The solutions.

    Raises
    ------
    numpy.linalg.LinAlgError
        The midpoint matrix does not have full rank, `a` is not 2-D or `b`
        does not match it, or the system is too wide or too ill-conditioned
        to verify.

    Examples
    --------
    >>> import quorvex as qv
    >>> a = qv.BallArray([[1.0], [1.0]])   # the solution is the mean of b
    >>> qv.linalg.lstsq(a, qv.BallArray([1.0, 2.0], 0.5))
    BallArray([1.5±0.5])
    """
    cls = next((type(v) for v in (a, b) if isinstance(v, BallArray)), BallArray)
    x, y = _ball(a, cls), _ball(b, cls)
    if x.ndim != 2:
        raise LinAlgError(f"{x.ndim}-dimensional array given. Array must be two-dimensional")
    vector = y.ndim == 1
    if vector:
        y = y[:, None]
    if y.ndim != 2 or y.shape[0] != x.shape[0]:
        raise LinAlgError("Incompatible dimensions")
    if not _finite(x, y):
        return _nan_like(cls, (x.shape[1],) + y.shape[1:], x.rigorous or y.rigorous)[
            (..., 0) if vector else ...]
    result = _lstsq(x, y)
    return result[:, 0] if vector else result


_ORDS = (None, 1, -1, 2, np.inf, -np.inf, "fro")


def norm(x: Any, ord: Any = None, axis: Any = None, keepdims: bool = False) -> BallArray:
    """Vector and matrix norms of balls, as ``numpy.linalg.norm``.

    Vector norms: ``ord`` None or 2 (Euclidean), 1, inf, -inf; matrix norms
    (a 2-D array, or a pair of axes): None or "fro" (Frobenius), 1 and inf
    (largest column or row sum of magnitudes), -1 and -inf (smallest). The
    spectral and nuclear norms are not offered. The sums and extrema are those
    of ``BallArray.sum``, ``max`` and ``min``, the Euclidean and Frobenius
    norms that of ``BallArray.norm``.

    Parameters
    ----------
    x : BallArray or array_like
        The balls; plain numbers are exact balls.
    ord : {None, 1, -1, 2, inf, -inf, "fro"}, default None
        The order of the norm.
    axis : None, int or pair of ints, default None
        The axis of vector norms, or the pair of axes of matrix norms; None
        takes the vector norm of the flattened array (or with `ord` given,
        the matrix norm of a 2-D array).
    keepdims : bool, default False
        Whether the reduced axes stay, with length one.

    Returns
    -------
    BallArray
        The norms; 0-d for one vector or matrix.

    Raises
    ------
    ValueError
        An order numpy knows but balls do not, or one that does not fit the
        number of axes.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvex as qv
    >>> qv.linalg.norm(qv.BallArray([3.0, 4.0], 0.5))
    BallArray(4.9420886±0.7587885)
    >>> qv.linalg.norm(qv.BallArray([[1.0, -2.0], [3.0, 4.0]], 0.5), ord=np.inf)
    BallArray(7±1)
    """
    v = _ball(x, type(x) if isinstance(x, BallArray) else BallArray)
    if ord not in _ORDS:
        raise ValueError(f"norm order {ord!r} is not supported for BallArray")
    axes = (tuple(range(v.ndim)) if axis is None
            else _reductions.axes_of(axis, v.ndim))
    matrix = len(axes) == 2 and not (axis is None and ord is None)
    if matrix:
        if ord in (None, "fro"):
            return _reductions.reduce("norm", v, axes, keepdims)
        if ord == 2:
            raise ValueError("the spectral norm (ord=2) of a ball matrix is not supported")
        rows, cols = axes
        summed_axis, extreme_axis = (rows, cols) if abs(ord) == 1 else (cols, rows)
        sums = _reductions.reduce("sum", _ops.unary("absolute", v), summed_axis, True)
        result = _reductions.reduce("max" if ord > 0 else "min", sums, extreme_axis, True)
        return result if keepdims else _shape.moved(result, lambda p: p.squeeze(axes))
    if len(axes) != 1 and ord not in (None, 2):
        raise ValueError("Improper number of dimensions to norm.")
    if ord in (None, 2):
        return _reductions.reduce("norm", v, axes, keepdims)
    if ord == "fro":
        raise ValueError("Invalid norm order 'fro' for vectors")
    magnitudes = _ops.unary("absolute", v)
    if ord == 1:
        return _reductions.reduce("sum", magnitudes, axes, keepdims)
    return _reductions.reduce("max" if ord > 0 else "min", magnitudes, axes, keepdims)


@_functions.implements(np.linalg.solve)
def _np_solve(cls: type, a: Any, b: Any) -> BallArray:
    return solve(a, b)


@_functions.implements(np.linalg.inv)
def _np_inv(cls: type, a: Any) -> BallArray:
    return inv(a)


@_functions.implements(np.linalg.det)
def _np_det(cls: type, a: Any) -> BallArray:
    return det(a)


@_functions.implements(np.linalg.lstsq)
def _np_lstsq(cls: type, a: Any, b: Any, rcond: Any = None) -> tuple[Any, ...]:
    """numpy's tuple: the solution, the residual sum of squares (for a full-rank tall
    system, else empty), the rank and the singular values of the midpoint matrix."""
    x = lstsq(a, b)
    matrix, rhs = _ball(a, cls), _ball(b, cls)
    singular = np.linalg.svd(_shape.parts(matrix)[0], compute_uv=False)
    m, n = matrix.shape
    if m > n:
        residual = _ops.binary("subtract", rhs, _ufuncs.matmul(matrix, x))
        squares = _reductions.reduce("sum", _ops.unary("absolute", residual) ** 2, 0)
        residuals = squares if squares.ndim else squares[None]
    else:
        residuals = _exact(cls, np.zeros(0), x.rigorous)
    return x, residuals, int(np.sum(singular > 0)), singular


@_functions.implements(np.linalg.norm)
def _np_norm(cls: type, x: Any, ord: Any = None, axis: Any = None,
             keepdims: bool = False) -> BallArray:
    return norm(x, ord, axis, keepdims)
