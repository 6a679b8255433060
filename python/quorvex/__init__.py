"""quorvex: numpy-friendly arrays of real intervals in midpoint-radius form.

``BallArray`` is the array to use: numpy's indexing, broadcasting, operators
and text, with every numeric operation done by the compiled core,
``quorvex.core`` (the ``_quorvex`` extension module, whose ``IntervalArray``
each BallArray holds). The numpy-style constructors ``array``, ``asball``,
``zeros``, ``ones``, ``full``, ``arange`` and ``linspace`` return BallArrays,
and so do ``stack`` and ``concatenate``;
the core's own functions of those names stay in ``quorvex.core``. The
interval operations (``intersection``, ``hull``, ``contains``,
``certainly_lt``...) work elementwise on balls and numbers, ``save`` and
``load`` keep BallArrays in .npz files. The package also converts
IntervalArrays from and to numpy arrays (``from_numpy``, ``to_numpy``) and
registers their pickling on import.
"""

import sys

import _quorvex as core
from _quorvex import IntervalArray
from _quorvex import _PanicException as PanicException

from quorvex import _pickle
from quorvex._ballarray import BallArray
from quorvex._construct import arange, array, asball, full, linspace, ones, zeros
from quorvex._files import load, save
from quorvex._interval import (bisect, certainly_ge, certainly_gt, certainly_le, certainly_lt,
                               contains, hull, intersection, isdisjoint, mag, mig, overlaps,
                               possibly_ge, possibly_gt, possibly_le, possibly_lt, subset, width)
from quorvex._joining import concatenate, stack
from quorvex._numpy_bridge import from_numpy, to_numpy
from quorvex import linalg  # registers numpy.linalg's functions for BallArray

# `import quorvex.core` and `from quorvex.core import ...` find the core module
# itself rather than a wrapper, so there is one IntervalArray class.
sys.modules.setdefault(__name__ + ".core", core)
_pickle.register()

__version__ = core.__version__

__all__ = ["BallArray", "IntervalArray", "PanicException", "arange", "array", "asball", "bisect",
           "certainly_ge", "certainly_gt", "certainly_le", "certainly_lt", "concatenate",
           "contains", "core", "from_numpy", "full", "hull", "intersection", "isdisjoint",
           "linalg", "linspace", "load", "mag", "mig", "ones", "overlaps", "possibly_ge",
           "possibly_gt", "possibly_le", "possibly_lt", "save", "stack", "subset", "to_numpy",
           "width", "zeros"]
