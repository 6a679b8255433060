"""quorvex: numpy-friendly arrays of real intervals in midpoint-radius form.

The arrays themselves live in the compiled core, ``quorvex.core`` (the
``_quorvex`` extension module). This package adds what the core leaves out
on purpose, because it would tie it to numpy: conversion from and to numpy
arrays, and pickling (registered when the package is imported).
"""

import sys

import _quorvex as core
from _quorvex import IntervalArray
from _quorvex import _PanicException as PanicException

from quorvex import _pickle
from quorvex._numpy_bridge import from_numpy, to_numpy

# `import quorvex.core` and `from quorvex.core import ...` find the core module
# itself rather than a wrapper, so there is one IntervalArray class.
sys.modules.setdefault(__name__ + ".core", core)
_pickle.register()

__version__ = core.__version__

__all__ = ["IntervalArray", "PanicException", "core", "from_numpy", "to_numpy"]
