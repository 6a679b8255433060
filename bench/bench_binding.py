"""Per-call cost of the binding layer, as ratios to numpy calls timed in the same run.

    PYTHONPATH=build/<dir>/python python3 bench/bench_binding.py

Each figure is (time of the _quorvex call) / (time of the baseline call); below
1.0 means the binding call is cheaper than the numpy one on the same 8 floats.
"""
import timeit

import numpy as np

import _quorvex as qv


def best(stmt, glb, number=200_000, repeat=7):
    return min(timeit.repeat(stmt, globals=glb, number=number, repeat=repeat)) / number


def main():
    a = qv.array([float(i) for i in range(8)], 0.5)
    b = qv.array([float(i) + 0.5 for i in range(8)], 0.25)
    x = np.arange(8, dtype=np.float64)
    y = x + 0.5
    lst = list(range(8))
    g = dict(a=a, b=b, x=x, y=y, qv=qv, np=np, lst=lst)
    cases = [
        ("a + b (n=8)", "a + b", "x + y"),
        ("a * 2.0 (n=8)", "a * 2.0", "x * 2.0"),
        ("2.0 - a (n=8, reflected)", "2.0 - a", "2.0 - x"),
        ("a.scale(2.0) (lock held)", "a.scale(2.0)", "x * 2.0"),
        ("-a", "-a", "-x"),
        ("zeros([8])", "qv.zeros([8])", "np.zeros(8)"),
        ("array(list of 8)", "qv.array(lst)", "np.array(lst, dtype=np.float64)"),
        ("a.get(3)", "a.get(3)", "x[3]"),
        ("a[3]", "a[3]", "x[3]"),
        ("len(a)", "len(a)", "len(x)"),
        ("a.values()", "a.values()", "x.tolist()"),
        ("full(shape=[8], value=1.0)", "qv.full(shape=[8], value=1.0)", "np.full(8, 1.0)"),
    ]
    print(f"{'call':32} {'quorvex ns':>11} {'numpy ns':>10} {'ratio':>7}")
    for label, ours, base in cases:
        t_ours = best(ours, g)
        t_base = best(base, g)
        print(f"{label:32} {t_ours * 1e9:11.1f} {t_base * 1e9:10.1f} {t_ours / t_base:7.2f}")


if __name__ == "__main__":
    main()
