"""Calls every public function, method and operator of _quorvex once, on small
arrays and on arrays large enough for the worker pool, and prints one digest
line per operation: the bits of every result (or the exception it raised).

Two runs that print the same lines computed the same bits. scripts/emulated.sh
compares a run under an emulated processor with a native run capped to the
same target by QUORVEX_TARGET; the same script compares two builds.

--any-nan counts every NaN as the same value. Comparisons between targets
need it: which of two NaN operands an operation passes on depends on the
order the compiler gave them in that target's code, and under an emulator
on qemu too (it does not always return the first operand, as x86 does).
"""
import hashlib
import math
import random
import struct
import sys

import _quorvex as q

SPECIAL = [0.0, -0.0, math.inf, -math.inf, math.nan, 5e-324, -5e-324, 1e308, -1e308,
           1.0, -1.0, 0.5, math.pi, 1e-300, 709.5, -746.0, 1e16, 3.0e15]


def values(n, seed, radius=False):
    rng = random.Random(seed)
    out = []
    for i in range(n):
        if rng.random() < 0.05:
            v = SPECIAL[rng.randrange(len(SPECIAL))]
        else:
            v = math.ldexp(rng.uniform(-1.0, 1.0), rng.randint(-30, 30))
        out.append(abs(v) if radius and not math.isnan(v) else v)
    return out


def make(n, seed, exact=False, shape=None):
    """An array with per-element radii, built from public operations only."""
    mid = q.array(values(n, seed))
    if exact:
        a = mid
    else:
        # mid + [-r, r] gives each element its own radius r.
        r = values(n, seed + 1, radius=True)
        a = mid + q.array([0.0] * n, 1.0) * q.array(r)
    return a.reshape(shape) if shape else a


ANY_NAN = "--any-nan" in sys.argv


def digest(result):
    h = hashlib.sha256()

    def feed(x):
        if isinstance(x, q.IntervalArray):
            h.update(repr(x.shape()).encode())
            feed(x.values())
            feed(x.radii())
        elif isinstance(x, float):
            h.update(b"NaN" if ANY_NAN and math.isnan(x) else struct.pack("<d", x))
        elif isinstance(x, (list, tuple)):
            h.update(b"[")
            for y in x:
                feed(y)
            h.update(b"]")
        else:
            h.update(repr(x).encode())

    feed(result)
    return h.hexdigest()[:16]


def run(name, f):
    try:
        result = f()
    except BaseException as e:  # PanicException is a BaseException
        result = f"{type(e).__name__}: {e}"
    print(f"{name} {digest(result)}")


def nan_pairs(n):
    """Elements whose midpoint and radius are both NaNs, of different payloads
    and signs, among ordinary ones: which NaN an operation passes on."""
    payload = [0x7FF8000000000001, 0xFFF8000000000002, 0x7FF4000000000003, 0x7FF8000000000000,
               0xFFF0000000000005]
    nan = [struct.unpack("<d", struct.pack("<Q", p))[0] for p in payload]
    mid = [nan[i % 5] if i % 3 == 0 else 0.5 + i for i in range(n)]
    rad = [nan[(i + 2) % 5] if i % 2 == 0 else 0.25 for i in range(n)]
    return q.array(mid) + q.array([0.0] * n, 1.0) * q.array(rad)


def main():
    for n, tag in ((37, "nan"), (40000, "nan_pooled")):
        x = nan_pairs(n)
        y = make(n, 13)
        run(f"{tag}.elements", lambda: (x.tolist(), x.get(0), x[3], x.midpoint(6), x.radius(9)))
        run(f"{tag}.transpose", lambda: x.reshape([1, n]).transpose())
        run(f"{tag}.arith", lambda: (x + y, y + x, x - y, x * y, y * x, x / y, -x, abs(x),
                                     x * 2.0, 2.0 - x))
        # One line per function: libm's own values differ between processor classes,
        # and emulated.sh leaves those lines out there by name.
        for fn in ("sqrt", "exp", "ln", "log2", "log10", "sin", "cos", "tan", "abs"):
            run(f"{tag}.{fn}", lambda: getattr(x, fn)())
        run(f"{tag}.reductions", lambda: [getattr(x, f)() for f in (
            "sum", "mean", "var", "std", "prod", "min_val", "max_val", "norm", "cumsum")])
        run(f"{tag}.dot", lambda: (x.dot(y), y.dot(x)))
    run("nan.full", lambda: q.full([3], float("nan"), float("nan")))
    for n, tag in ((37, "small"), (40000, "pooled")):
        a, b = make(n, 1), make(n, 2)
        ea, eb = make(n, 3, exact=True), make(n, 4, exact=True)
        z = make(n, 5) * q.array([0.0] * n)  # divisors with zero radius ...
        zb = b + q.array([0.0] * n, 1e300)  # ... and ones that all contain zero
        for opname, op in (("add", lambda x, y: x + y), ("sub", lambda x, y: x - y),
                           ("mul", lambda x, y: x * y), ("div", lambda x, y: x / y)):
            for pair, (x, y) in (("ab", (a, b)), ("exact", (ea, eb)), ("mixed", (a, eb)),
                                 ("zero", (a, zb)), ("by_exact_zero", (a, z))):
                run(f"{tag}.{opname}.{pair}", lambda: op(x, y))
            run(f"{tag}.{opname}.scalar", lambda: (op(a, 2.5), op(2.5, a), op(a, -0.0)))
        run(f"{tag}.neg", lambda: (-a, -ea))
        run(f"{tag}.abs", lambda: (abs(a), a.abs(), abs(ea)))
        run(f"{tag}.scale", lambda: (a.scale(3.0), a.scale(-0.5)))
        for fn in ("sqrt", "exp", "ln", "log2", "log10", "sin", "cos", "tan", "abs"):
            run(f"{tag}.{fn}", lambda: (getattr(a, fn)(), getattr(ea, fn)()))
        for red in ("sum", "mean", "var", "std", "prod", "min_val", "max_val", "norm", "cumsum",
                    "max_radius", "max_relative_error", "is_exact", "is_empty", "ndim"):
            run(f"{tag}.{red}", lambda: (getattr(a, red)(), getattr(ea, red)()))
        run(f"{tag}.dot", lambda: (a.dot(b), ea.dot(eb), a.dot(eb)))
        run(f"{tag}.access", lambda: (a.get(3), a.midpoint(5), a.radius(7), a[-1], a.tolist()[:9],
                                      a.copy(), a.shape()))
        run(f"{tag}.repr", lambda: (repr(a), str(ea)))
        # The engine's elementwise operations, on views (one line per operation, as above).
        va, vb, veb = (q._BallView(v, False) for v in (a, b, eb))
        for name, code in q._UNARY.items():
            run(f"{tag}.engine.{name}", lambda: q._core(q._unary(code, va)))
        for name, code in q._BINARY.items():
            run(f"{tag}.engine.{name}", lambda: (q._core(q._binary(code, va, vb)),
                                                 q._core(q._binary(code, veb, va))))
    for rows, tag in ((5, "small"), (260, "pooled")):
        m, k, n = rows, 70, 50
        for pair, (x, y) in (("ab", (make(m * k, 6, shape=[m, k]), make(k * n, 7, shape=[k, n]))),
                             ("exact", (make(m * k, 8, True, [m, k]), make(k * n, 9, True, [k, n]))),
                             ("mixed", (make(m * k, 10, shape=[m, k]),
                                        make(k * n, 11, True, [k, n])))):
            run(f"{tag}.matmul.{pair}", lambda: x.matmul(y))
        t = make(m * k, 12, shape=[m, k])
        run(f"{tag}.transpose", lambda: (t.transpose(), t.reshape([k, m])))
    run("constructors", lambda: (q.zeros([2, 3]), q.ones([4]), q.full([3], 2.5, 0.25),
                                 q.arange(0, 5), q.arange(1.0, 2.0, 0.25), q.linspace(0, 1, 7),
                                 q.array([1.0, 2.0], 0.5), q.IntervalArray([3.0], 0.0)))
    run("num_threads", lambda: q.num_threads() >= 1)
    run("errors", lambda: [run_error(f) for f in (
        lambda: q.array([1.0, 2.0]) + q.array([1.0]),
        lambda: q.array([1.0]).get(5),
        lambda: q.zeros([2]).matmul(q.zeros([2])),
        lambda: q.array([]).min_val())])


def run_error(f):
    try:
        f()
        return "no error"
    except BaseException as e:
        return f"{type(e).__name__}: {e}"


if __name__ == "__main__":
    main()
    sys.stdout.flush()
