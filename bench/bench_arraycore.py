"""Array-core timings, each as a ratio to a numpy baseline doing the same memory work.

Run: PYTHONPATH=build/<dir>/python python3 bench/bench_arraycore.py
"""
import timeit

import numpy as np

import _quorvex as qv


def best(stmt, number=5, repeat=5):
    return min(timeit.repeat(stmt, number=number, repeat=repeat)) / number


def main():
    n = 2000
    a = qv.arange(0, n * n).reshape([n, n])
    mid = np.arange(0, n * n, dtype=np.float64).reshape(n, n)
    rad = np.zeros_like(mid)
    ours = best(lambda: a.transpose())
    # Baseline: transposed copies of the midpoint and radius planes.
    base = best(lambda: (np.ascontiguousarray(mid.T), np.ascontiguousarray(rad.T)))
    print(f"transpose {n}x{n}: {ours * 1e3:.2f} ms, ratio to numpy copies {ours / base:.2f}")

    count = 10_000_000
    ours = best(lambda: qv.arange(0, count), number=1)
    base = best(lambda: (np.arange(0, count, dtype=np.float64), np.zeros(count)), number=1)
    print(f"arange {count}: {ours * 1e3:.2f} ms, ratio to numpy arange+zeros {ours / base:.2f}")
    ours = best(lambda: qv.linspace(0, 1, count), number=1)
    base = best(lambda: (np.linspace(0, 1, count), np.zeros(count)), number=1)
    print(f"linspace {count}: {ours * 1e3:.2f} ms, ratio to numpy linspace+zeros {ours / base:.2f}")

    big = qv.full([count], 3.0, 1e-9)
    ours = best(lambda: repr(big), number=1)
    base = best(lambda: np.max(rad.ravel()[:count] / np.abs(mid.ravel()[:count] + 1)), number=1)
    print(f"repr summary {count}: {ours * 1e3:.2f} ms, ratio to numpy max of ratios {ours / base:.2f}")

    small = qv.array([0.1, 1e-7, 12345.678, 1e20, -0.0, 2.5, 3.0, 7.0], 0.001)
    ours = best(lambda: repr(small), number=20000)
    base = best(lambda: repr([0.1, 1e-7, 12345.678, 1e20, -0.0, 2.5, 3.0, 7.0]), number=20000)
    print(f"repr 8 elements: {ours * 1e6:.2f} us, ratio to repr of a float list {ours / base:.2f}")


if __name__ == "__main__":
    main()
