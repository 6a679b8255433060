"""BallArrays in files: numpy's .npz format, with no pickle.

A file holds three arrays: ``mid`` and ``rad`` (float64, of the array's
shape) and ``rigorous``, a 0-d bool naming the rounding model the radii were
computed under (False for the first-order model), so that a file written by
a later model reads back as what it is. Nothing in it is a Python object, so
reading a file cannot run code.
"""

from __future__ import annotations

import os
from typing import IO, Any, Union

import numpy as np

from quorvex import _ops, _shape
from quorvex._ballarray import BallArray, BallLike
from quorvex._construct import asball
from quorvex._numpy_bridge import checked_parts

File = Union[str, "os.PathLike[str]", IO[bytes]]
_ARRAYS = ("mid", "rad", "rigorous")


def save(file: File, x: BallLike) -> None:
    """Writes the balls `x` to an .npz file, exactly: ``load`` gives back the bits.

    The file holds the midpoints, the radii and the rounding model, and no
    pickle.

    Parameters
    ----------
    file : str, os.PathLike or binary file object
        Where to write; numpy adds ``.npz`` to a path that lacks it.
    x : BallArray, IntervalArray or array_like
        The balls; numbers and arrays of real numbers are exact balls.

    Returns
    -------
    None

    Raises
    ------
    OSError
        The file cannot be written.

    Examples
    --------
    >>> import io
    >>> import quorvex as qv
    >>> file = io.BytesIO()
    >>> qv.save(file, qv.BallArray([1.0, 2.0], 0.5, rigorous=True))
    >>> _ = file.seek(0)
    >>> x = qv.load(file)
    >>> x, x.rigorous
    (BallArray([1±0.5, 2±0.5]), True)
    """
    balls = asball(x)
    mid, rad = _shape.parts(balls)
    np.savez(file, mid=mid, rad=rad, rigorous=np.array(balls.rigorous))


def load(file: File) -> BallArray:
    """The BallArray that ``save`` wrote to `file`.

    Nothing in the file is a Python object, so reading it runs no code.

    Parameters
    ----------
    file : str, os.PathLike or binary file object
        The .npz file.

    Returns
    -------
    BallArray
        The saved balls (contiguous, in row-major order), under the model they
        were saved with.

    Raises
    ------
    ValueError
        A file that is not such an .npz file: a missing array, an array of
        another kind, shapes that differ, a negative radius.
    OSError
        The file cannot be read.

    Examples
    --------
    >>> import io
    >>> import quorvex as qv
    >>> file = io.BytesIO()
    >>> qv.save(file, qv.BallArray([[1.0, 2.0]], 0.25))
    >>> _ = file.seek(0)
    >>> qv.load(file)
    BallArray([[1±0.25, 2±0.25]])
    """
    data = np.load(file, allow_pickle=False)
    if not isinstance(data, np.lib.npyio.NpzFile):
        raise ValueError("qv.load() reads the .npz files of qv.save(), not a single array")
    with data:
        missing = [name for name in _ARRAYS if name not in data.files]
        if missing:
            raise ValueError(f"qv.load() needs the arrays mid, rad and rigorous, but the "
                             f"file lacks {', '.join(missing)}")
        mid, rad, rigorous = (data[name] for name in _ARRAYS)
    if mid.shape != rad.shape:
        raise ValueError(f"qv.load() needs mid and rad of one shape, not {mid.shape} and "
                         f"{rad.shape}")
    if rigorous.shape != () or rigorous.dtype != np.bool_:
        raise ValueError("qv.load() needs rigorous as a single bool, not "
                         f"{_described(rigorous)}")
    for name, part in (("mid", mid), ("rad", rad)):
        if part.dtype != np.float64:
            raise ValueError(f"qv.load() needs float64 {name}, not {_described(part)}")
    return _ops.wrap(BallArray, checked_parts(mid, rad, "qv.load()"), bool(rigorous))


def _described(array: Any) -> str:
    return f"an array of dtype {array.dtype} and shape {array.shape}"
