"""A short tour of quorvex: interval arrays in midpoint-radius form, numpy in and out."""
import numpy as np

import quorvex as qv

# Midpoints and per-element radii from numpy (any real dtype, any strides).
x = qv.from_numpy(np.linspace(0.0, 1.0, 6).reshape(2, 3), np.full((2, 3), 1e-3))
print("x               =", x)
print("x.shape()       =", x.shape())

# The core's own constructors and operations are all there (quorvex.core).
a = qv.core.array([1.0, 2.0, 3.0], 0.5)
print("a + a           =", a + a)
print("a * 2           =", a * 2)
print("a.sqrt()        =", a.sqrt())
print("a.sum()         =", a.sum())
m = qv.core.arange(0, 6).reshape([2, 3])
print("m @ m.T         =", m.matmul(m.transpose()))
print("num_threads()   =", qv.core.num_threads())

# Results back to numpy: read-only float64 views of the array's own storage.
mid, rad = qv.to_numpy(x.exp())
print("exp(x) midpoints:\n", mid)
print("exp(x) radii:\n", rad)
print("read-only views  :", not mid.flags.writeable and not rad.flags.writeable)
