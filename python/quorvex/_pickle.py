"""Pickling and copying IntervalArray.

The core type offers no pickling of its own, so the package registers a
reducer with copyreg, and gives the class a __reduce_ex__ for its subclasses,
whose instances come back as instances of their own class with their own
state. An array pickles as its shape and its element data;
with protocol 5 the data is a PickleBuffer over the storage itself, so it can
travel out of band without a copy. An out-of-band buffer that still is such
a storage (a round trip within one process) is shared again, as numpy shares
its own buffers; anything else is copied once into a fresh storage, in the
order its elements have in that buffer.
"""

from __future__ import annotations

import copyreg
import math
import pickle
from typing import TYPE_CHECKING, Any

import _quorvex as core

if TYPE_CHECKING:
    from _typeshed import ReadableBuffer as Buffer

Reduced = tuple[Any, tuple[Any, ...]]


class _Elements:
    """The element data of one array, standing in for it inside a pickle.

    Only this object learns the pickle protocol, so only it decides between
    a PickleBuffer and plain bytes.
    """

    __slots__ = ("array",)

    def __init__(self, array: core.IntervalArray) -> None:
        self.array = array

    def __reduce_ex__(self, protocol: Any) -> Reduced:
        storage = core._storage(self.array)
        if protocol >= 5:
            return _identity, (pickle.PickleBuffer(storage),)
        return _identity, (bytes(storage),)

    def __deepcopy__(self, memo: dict[int, Any]) -> _Elements:
        shape = self.array.shape()
        return _Elements(_copied(core._storage(self.array), shape))


def _identity(data: Buffer) -> Buffer:
    return data


def _checked_shape(shape: object) -> list[int]:
    """The shape of a pickled array; a pickle may hold anything here."""
    if not isinstance(shape, (list, tuple)) or not all(type(n) is int for n in shape):
        raise TypeError(
            f"pickled IntervalArray has shape {shape!r}, expected a list of integers")
    if any(n < 0 for n in shape):
        raise ValueError(f"pickled IntervalArray has shape {shape!r} with a negative dimension")
    return list(shape)


def _buffer(data: object) -> memoryview:
    try:
        return memoryview(data)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(
            f"pickled IntervalArray data must be a buffer, not {type(data).__name__}") from None


def _copied(data: Buffer, shape: list[int]) -> core.IntervalArray:
    size = math.prod(shape)
    view = memoryview(data)
    if not view.c_contiguous:
        # Its elements in their logical order, as any reader of the buffer sees them.
        view = memoryview(view.tobytes())
    view = view.cast("B")
    if view.nbytes != 16 * size:
        raise ValueError(
            f"pickled IntervalArray of shape {shape} has {view.nbytes} bytes of data, "
            f"expected {16 * size}")
    storage = core._storage_for_overwrite(size)
    core._copy_into(storage, 0, view.cast("d"))
    return core._from_storage(storage, shape)


def _rebuild(shape: list[int], data: _Elements | Buffer) -> core.IntervalArray:
    # A pickle can call this with any arguments, so nothing is taken on trust.
    dims = _checked_shape(shape)
    if isinstance(data, _Elements):
        array = data.array  # copy.copy: an immutable array may be its own copy
        if not isinstance(array, core.IntervalArray):
            raise TypeError(f"pickled IntervalArray holds a {type(array).__name__}")
        if array.shape() != dims:
            raise ValueError(
                f"pickled IntervalArray of shape {dims} holds an array of shape {array.shape()}")
        return array
    view = _buffer(data)
    owner = view.obj
    if isinstance(owner, core._StorageBuffer) and view.c_contiguous:
        # A contiguous view as long as the storage it comes from is all of it,
        # in its own order: sharing it gives the same elements as a copy.
        whole = memoryview(owner)
        if whole.readonly and whole.nbytes == view.nbytes:
            return core._from_storage(owner, dims)
    return _copied(view, dims)


def _rebuild_as(cls: type[core.IntervalArray], shape: list[int],
                data: _Elements | Buffer) -> core.IntervalArray:
    # _as_type refuses a class that is not IntervalArray or a subclass of it.
    return core._as_type(_rebuild(shape, data), cls)


def _reduce(a: core.IntervalArray) -> Reduced:
    return _rebuild, (a.shape(), _Elements(a))


def _reduce_ex(a: core.IntervalArray, protocol: Any) -> tuple[Any, ...]:
    if type(a) is core.IntervalArray:
        return _reduce(a)
    # A subclass instance: its class, its elements, and its own state (its
    # __dict__ and slots, or what its __getstate__ says), which pickle and copy
    # restore on the rebuilt instance as they restore any object's.
    return _rebuild_as, (type(a), a.shape(), _Elements(a)), a.__getstate__()


def register() -> None:
    copyreg.pickle(core.IntervalArray, _reduce)
    # copyreg finds reducers by exact class only, so subclasses, whenever they
    # are defined, find theirs on the class, as pickle and copy look there next.
    setattr(core.IntervalArray, "__reduce_ex__", _reduce_ex)
