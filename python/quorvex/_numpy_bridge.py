"""Element data between numpy arrays and IntervalArray storages.

A storage is one buffer holding all midpoints, then all radii. from_numpy
writes the caller's data straight into a fresh storage (one copy, with the
float64 conversion done on the way, by the core for the common dtypes and by
numpy for the others), and to_numpy returns read-only views of an existing
storage (no copy at all).
"""

from __future__ import annotations

import math
from collections.abc import Callable
from typing import Any

import numpy as np
import numpy.typing as npt

import _quorvex as core
from quorvex import _exact

# numpy dtype kinds that hold real numbers: bool, signed, unsigned, floating.
_REAL_KINDS = "biuf"
# Elements of the largest storage the core can lay out (16 bytes each, 64-byte aligned).
_MAX_SIZE = ((1 << 63) - 49) // 16

Float64Array = npt.NDArray[np.float64]

# The dtypes the core's _copy_into reads and converts itself.
_GATHERED = frozenset(np.dtype(t) for t in (
    np.float64, np.float32, np.bool_, np.int8, np.int16, np.int32, np.int64,
    np.uint8, np.uint16, np.uint32, np.uint64))


def _real_array(value: npt.ArrayLike, name: str, caller: str) -> npt.NDArray[Any]:
    array = np.asarray(value)
    if array.dtype.kind not in _REAL_KINDS:
        raise TypeError(f"{caller} needs real numbers, but {name} has dtype {array.dtype}")
    return array


def _first_negative(rad: npt.NDArray[Any], ndim: int) -> tuple[int, ...] | None:
    """Index in the result of the first negative radius, or None.

    NaN radii are not negative and fmin skips them, so one vector pass over
    the radii decides; only a failing input pays for finding the index. That
    search runs over `rad` itself, not over its broadcast to the result: the
    first negative entry of `rad` is also the first in the result, at the
    same index with zeros for the dimensions broadcasting adds.
    """
    if rad.dtype.kind not in "if" or rad.size == 0 or not np.fmin.reduce(rad, axis=None) < 0:
        return None
    found = np.unravel_index(int(np.argmax(rad < 0)), rad.shape)
    return (0,) * (ndim - rad.ndim) + tuple(int(i) for i in found)


def _broadcast(source: npt.NDArray[Any], shape: tuple[int, ...]) -> npt.NDArray[Any]:
    """np.broadcast_to(source, shape); a single value (a uniform radius) without its cost."""
    if source.size == 1 and source.ndim <= len(shape):
        # One element is contiguous, so it can be the buffer of a view with
        # zero strides; this takes a tenth of the time of broadcast_to.
        return np.ndarray(shape, source.dtype, source, 0, (0,) * len(shape))
    return np.broadcast_to(source, shape)


def _fill(storage: core._StorageBuffer, size: int, parts: tuple[npt.NDArray[Any], ...],
          shape: tuple[int, ...]) -> None:
    """Writes the midpoints, then the radii, each broadcast to `shape`, into a fresh storage.

    The core gathers and converts the common dtypes itself, from any strides
    and broadcast views included, in one pass. numpy converts the others
    (float16, long double, other byte orders) straight into the storage with
    the same casts as astype(float64); exporting the storage to it zero-fills
    whatever the core has not written yet, so its writes come last.
    """
    converted: list[tuple[int, npt.NDArray[Any]]] = []
    for start, source in zip((0, size), parts):
        if source.dtype in _GATHERED:
            if source.shape != shape:
                source = _broadcast(source, shape)
            core._copy_into(storage, start, source)
        else:
            converted.append((start, source))
    if converted:
        run = np.frombuffer(memoryview(storage), np.float64)
        for start, source in converted:
            np.copyto(run[start:start + size].reshape(shape), source, casting="unsafe")


def check_size(size: int, caller: str) -> None:
    """MemoryError for element counts no storage can hold, before the core sees them."""
    if size > _MAX_SIZE:
        raise MemoryError(f"{caller} cannot allocate an array of {size} elements")


def from_parts(mid: npt.ArrayLike, rad: npt.ArrayLike,
               shape: tuple[int, ...]) -> core.IntervalArray:
    """An IntervalArray of `shape` from midpoints and radii that broadcast to it, unchecked.

    For data that already is ball data (views of arrays, results of exact
    data movement): the radii are stored as they are, negative ones included,
    and numpy does the broadcasting and gathering in one copy per part.
    """
    size = math.prod(shape)
    check_size(size, "BallArray")
    storage = core._storage_for_overwrite(size)
    _fill(storage, size, (np.asarray(mid), np.asarray(rad)), shape)
    return core._from_storage(storage, list(shape))


def written(shape: tuple[int, ...], write: Callable[[Float64Array, Float64Array], None],
            start: tuple[npt.ArrayLike, npt.ArrayLike] | None = None) -> core.IntervalArray:
    """A new IntervalArray of `shape` whose midpoints and radii `write(mid, rad)`
    fills in place, as writable float64 arrays of that shape: numpy's results go
    straight into the storage, with no copy after. The storage holds zeros
    before, or the ball data `start` (broadcast to `shape`) when given. `write`
    must keep no reference to the arrays."""
    size = math.prod(shape)
    check_size(size, "BallArray")
    storage = core._storage_for_overwrite(size)
    if start is not None:
        _fill(storage, size, (np.asarray(start[0]), np.asarray(start[1])), shape)
    with memoryview(storage) as view:
        run = np.frombuffer(view, np.float64)
        write(run[:size].reshape(shape), run[size:].reshape(shape))
        del run
    return core._from_storage(storage, list(shape))


def _exact_array(value: Any, name: str, caller: str,
                 rigorous: bool) -> tuple[npt.NDArray[Any], Float64Array | None]:
    """`value` as doubles, and in the rigorous model the bound on the conversion's error."""
    try:
        array, error = _exact.doubles(value)
    except TypeError:
        raise TypeError(f"{caller} needs real numbers, but {name} has dtype "
                        f"{np.asarray(value).dtype}") from None
    return array, error if rigorous else None


def checked_parts(mid: Any, rad: Any, caller: str,
                  rigorous: bool | None = None) -> core.IntervalArray:
    """from_numpy's conversion with the function the user called named in its messages.

    With `rigorous` given (the BallArray constructors), exact numbers that are
    no doubles (strings such as "0.1", Fractions, Decimals, large integers,
    long doubles) are taken too, as their nearest doubles; in the rigorous
    model the radius grows by the conversion's error, rounded upward.
    """
    if rigorous is None:
        m = _real_array(mid, "mid", caller)
        r = _real_array(rad, "rad", caller)
        m_error = r_error = None
    else:
        m, m_error = _exact_array(mid, "mid", caller, rigorous)
        r, r_error = _exact_array(rad, "rad", caller, rigorous)
    shape: tuple[int, ...] = m.shape
    try:
        broadcast = np.broadcast_shapes(r.shape, shape)
    except ValueError:
        broadcast = None
    if broadcast != shape:
        raise ValueError(
            f"{caller} cannot broadcast rad of shape {r.shape} to the shape {shape} of mid")
    if m.size != 0:
        index = _first_negative(r, len(shape))
        if index is not None:
            value = r[index[len(shape) - r.ndim:]].item()
            raise ValueError(
                f"{caller} needs non-negative radii, but rad is {value!r} at index {index}")
    size = m.size
    check_size(size, caller)
    if m_error is not None or r_error is not None:
        # The radius, rounded upward, grown by the conversions' errors.
        total = np.asarray(r, dtype=np.float64)
        if r_error is not None:
            total = np.nextafter(total, np.inf)
        if m_error is not None:
            total = np.nextafter(total + m_error, np.inf)
        r = np.broadcast_to(total, shape)
    storage = core._storage_for_overwrite(size)
    _fill(storage, size, (m, r), shape)
    return core._from_storage(storage, list(shape))


def from_numpy(mid: npt.ArrayLike, rad: npt.ArrayLike = 0.0) -> core.IntervalArray:
    """A new IntervalArray of the core with the midpoints `mid` and the radii `rad`.

    Both are converted to float64 as ``astype(np.float64)`` would, in one
    copy into the new storage. For a BallArray, use ``BallArray(mid, rad)``.

    Parameters
    ----------
    mid : array_like
        Real numbers of any dtype and strides; the result has their shape (a
        scalar gives shape []).
    rad : array_like, default 0.0
        A scalar or radii that broadcast to that shape; not negative (NaN and
        +inf are accepted).

    Returns
    -------
    IntervalArray

    Raises
    ------
    TypeError
        Complex, object, string or datetime data.
    ValueError
        A `rad` that does not broadcast or holds a negative value (nothing is
        allocated then).
    MemoryError
        The storage cannot be had.

    Examples
    --------
    >>> import quorvex as qv
    >>> qv.from_numpy([1.0, 2.0], 0.5)
    IntervalArray([1+/-0.5, 2+/-0.5])
    """
    return checked_parts(mid, rad, "from_numpy()")


def to_numpy(a: core.IntervalArray) -> tuple[Float64Array, Float64Array]:
    """The midpoints and radii of an IntervalArray, as two read-only numpy arrays.

    They share memory with `a` (nothing is copied, whatever the size) and keep
    that memory alive after `a` is gone. For a BallArray, use ``.mid`` and
    ``.rad``.

    Parameters
    ----------
    a : IntervalArray
        The core's array.

    Returns
    -------
    tuple of numpy.ndarray
        The midpoints and the radii, float64, of the shape of `a`.

    Raises
    ------
    TypeError
        `a` is not an IntervalArray.

    Examples
    --------
    >>> import quorvex as qv
    >>> mid, rad = qv.to_numpy(qv.from_numpy([1.0, 2.0], 0.5))
    >>> mid.tolist(), rad.tolist(), mid.flags.writeable
    ([1.0, 2.0], [0.5, 0.5], False)
    """
    if not isinstance(a, core.IntervalArray):
        raise TypeError(f"to_numpy() needs an IntervalArray, not {type(a).__name__}")
    shape = tuple(a.shape())
    both = np.frombuffer(memoryview(core._storage(a)), np.float64)
    size = both.size // 2
    return both[:size].reshape(shape), both[size:].reshape(shape)
