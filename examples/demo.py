"""A short tour of quorvex: numpy-style arrays of balls (midpoint ± radius)."""
import numpy as np

import quorvex as qv

# Measurements with their uncertainties: midpoints and radii, numpy style.
x = qv.BallArray(np.linspace(0.5, 3.0, 6).reshape(2, 3), 1e-3)
print("x =", x, sep="\n")
print("x.shape =", x.shape, " x[1, ::2] =", x[1, ::2], " x.T.shape =", x.T.shape)

# Arithmetic broadcasts like numpy; numbers and numpy arrays are exact.
weights = np.array([1.0, 2.0, 4.0])
print("x * weights + 1 =", x * weights + 1, sep="\n")
print("2 / x[0]        =", 2 / x[0])
print("np.sin(x) ** 2  =", np.sin(x) ** 2, sep="\n")
print("x @ x.T         =", x @ x.T, sep="\n")

# Reductions give 0-d arrays that keep computing.
total = x.sum()
print("x.sum()         =", total, " per element:", total / x.size)
print("x.mean(axis=0)  =", x.mean(axis=0))
print("x.max()         =", x.max(), " x.std() =", x.std())
print(f"formatted       = {x.exp():.4g}")

# Midpoints and radii back as read-only numpy views of the same storage.
y = x.exp()
print("exp(x) midpoints:", y.mid, "radii:", y.rad, sep="\n")
print("read-only views :", not y.mid.flags.writeable)

# The compiled core stays reachable: IntervalArray and its own functions.
a = qv.core.array([1.0, 2.0, 3.0], 0.5)
print("core:", a + a, a.sum(), " BallArray(a):", qv.BallArray(a))
print("worker threads  :", qv.core.num_threads())
