"""The caller's floating-point environment survives every operation, including the ones
that switch to directed rounding and the ones that fail part way."""
import struct

import pytest

import _quorvex as qv

# Operands read at run time: the compiler folds constant expressions in nearest mode, which
# would hide a leaked rounding mode.
PROBE = [1e16, 1.0, 3.0, 2.0**-54 * 3]
N = 40000  # above the pooled thresholds


def rounding_fingerprint():
    big, one, three, three_quarter_ulp = PROBE
    return (
        big + one,                # a tie: 1e16 to nearest-even, 1e16 + 2 upward
        -big - one,               # the mirrored tie: -1e16 - 2 downward
        one + three_quarter_ulp,  # 1 + ulp to nearest, 1.0 toward zero or downward
        one / three,
    )


NEAREST = rounding_fingerprint()


def bits_of(xs):
    return struct.pack(f"<{len(xs)}d", *xs)


def pooled_probe_bits():
    """Exact arrays: the pooled operators compute only midpoints, so each element must be
    the Python (nearest) result of the same operation."""
    big, one, three, q = PROBE
    a = qv.full([N], big)
    b = qv.full([N], one)
    return (bits_of((a + b).values()[::9999]), bits_of((-a - b).values()[::9999]),
            bits_of((qv.full([N], one) + qv.full([N], q)).values()[::9999]),
            bits_of((qv.full([N], one) / qv.full([N], three)).values()[::9999]))


def expected_pooled_bits():
    big, one, three, q = PROBE
    count = len(range(0, N, 9999))
    return (bits_of([big + one] * count), bits_of([-big - one] * count),
            bits_of([one + q] * count), bits_of([one / three] * count))


def zero_divisors(n):
    return qv.array([(-1.0) ** i * 0.5 for i in range(n)], 1.0)


OPERATIONS = [
    ("directed-division", lambda: qv.array([1.0, -3.0, 7.0], 0.5) / zero_divisors(3)),
    ("directed-division-pooled", lambda: qv.full([N], 3.0, 0.1) / zero_divisors(N)),
    ("directed-division-inf", lambda: qv.array([float("inf"), float("nan")], 1.0)
     / zero_divisors(2)),
    ("prod", lambda: qv.array([1.0 / 3.0, 1e300, -7.0, 1e-300], 0.25).prod()),
    ("prod-overflow", lambda: qv.full([64], 1e300, 1e299).prod()),
    ("prod-empty", lambda: qv.zeros([0]).prod()),
    ("division-shape-panic", lambda: qv.zeros([2, 3]) / zero_divisors(6)),
    ("division-length-panic", lambda: qv.full([N], 1.0) / zero_divisors(N + 1)),
    ("division-bad-operand", lambda: qv.zeros([3]) / "x"),
    ("elementary-pooled", lambda: qv.linspace(-50.0, 50.0, N).tan().sum()),
    ("matmul-pooled", lambda: qv.full([300, 3], 1.0 / 3.0, 1e-9).matmul(qv.ones([3, 2]))),
    ("min-empty-panic", lambda: qv.zeros([0]).min_val()),
    ("arange-zero-step", lambda: qv.arange(0.0, 1.0, 0.0)),
]


@pytest.mark.parametrize("op", [op for _, op in OPERATIONS], ids=[n for n, _ in OPERATIONS])
def test_round_to_nearest_after_operation(op):
    try:
        op()
    except BaseException as e:  # noqa: B902 - panics derive from BaseException
        if isinstance(e, KeyboardInterrupt):
            raise
    assert struct.pack("<4d", *rounding_fingerprint()) == struct.pack("<4d", *NEAREST)
    # Pool workers that ran part of a directed operation must be back at nearest too.
    assert pooled_probe_bits() == expected_pooled_bits()


def test_probe_detects_each_directed_mode():
    # The fingerprint must differ from nearest in every directed mode, or the test above
    # could pass with a leaked mode. Evaluated with the arithmetic each mode would do.
    from fractions import Fraction
    import math

    def rounded(exact, mode):
        lo = float(exact)
        if Fraction(lo) > exact:
            lo = math.nextafter(lo, -math.inf)
        hi = lo if Fraction(lo) == exact else math.nextafter(lo, math.inf)
        return {"up": hi, "down": lo, "zero": lo if exact >= 0 else hi}[mode]

    big, one, three, q = (Fraction(x) for x in PROBE)
    exacts = (big + one, -big - one, one + q, one / three)
    for mode in ("up", "down", "zero"):
        assert tuple(rounded(x, mode) for x in exacts) != NEAREST, mode


@pytest.mark.parametrize("target", ["avx2", "sse2"])
def test_round_to_nearest_after_the_upward_scopes(target):
    # Below AVX-512 the rigorous square root and square switch to upward rounding once per
    # call, on the pool's workers too; run them capped to such a target, small (on the
    # calling thread) and large (on the workers), then probe both.
    import os
    import subprocess
    import sys

    probe = f"""
import runpy, struct
import numpy, quorvex
probe = runpy.run_path({__file__!r})
size = {10 * N}
x = quorvex.BallArray(numpy.linspace(0.5, 2.0, size), 1e-9, rigorous=True)
for n in (7, size):
    x[:n].sqrt(), numpy.square(x[:n])
assert struct.pack("<4d", *probe["rounding_fingerprint"]()) == struct.pack("<4d", *probe["NEAREST"])
ties = quorvex.BallArray(numpy.full(size, 1e16)) + quorvex.BallArray(numpy.ones(size))
assert (ties.mid == 1e16).all(), "a worker left in upward rounding"
"""
    env = {**os.environ, "QUORVEX_TARGET": target}
    subprocess.run([sys.executable, "-c", probe], env=env, check=True)
