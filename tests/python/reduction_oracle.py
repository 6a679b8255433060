"""Reductions written out in plain Python floats (IEEE doubles, round to
nearest), in the order of additions of the processor class running the tests,
plus exact Fraction arithmetic for the fused multiply-adds and for the
directed products of prod."""
import math
from fractions import Fraction

import _quorvex


# The order of additions is the active target's: the processor's, or the one
# QUORVEX_TARGET caps it to.
FLAGS = set(_quorvex._features())
AVX512F = "avx512f" in FLAGS
AVX2 = "avx2" in FLAGS
FMA = "fma" in FLAGS


def fma(a, b, c):
    """Correctly rounded a*b + c (finite, non-overflowing inputs)."""
    exact = Fraction(a) * Fraction(b) + Fraction(c)
    if exact == 0:
        return 0.0 if (math.copysign(1, a * b) > 0 or math.copysign(1, c) > 0) else -0.0
    return float(exact)


def sum8(xs):
    lane = [0.0] * 8
    full = len(xs) - len(xs) % 8
    for i in range(0, full, 8):
        lane = [lane[j] + xs[i + j] for j in range(8)]
    t = [lane[j] + lane[j + 4] for j in range(4)]
    s = (t[0] + t[2]) + (t[1] + t[3])
    for x in xs[full:]:
        s = s + x
    return s


def sum4(xs):
    lane = [0.0] * 4
    i = 0
    while i + 8 <= len(xs):
        lane = [lane[j] + (xs[i + j] + xs[i + 4 + j]) for j in range(4)]
        i += 8
    if i + 4 <= len(xs):
        lane = [lane[j] + xs[i + j] for j in range(4)]
        i += 4
    s = (lane[0] + lane[2]) + (lane[1] + lane[3])
    for x in xs[i:]:
        s = s + x
    return s


def sum_in_order(xs):
    s = -0.0
    for x in xs:
        s = s + x
    return s


def dot8(a, b):
    lane = [0.0] * 8
    full = len(a) - len(a) % 8
    for i in range(0, full, 8):
        lane = [fma(a[i + j], b[i + j], lane[j]) for j in range(8)]
    t = [lane[j] + lane[j + 4] for j in range(4)]
    m = (t[0] + t[2]) + (t[1] + t[3])
    for i in range(full, len(a)):
        m = fma(a[i], b[i], m)
    return m


def dot2x4(a, b):
    u, v = [0.0] * 4, [0.0] * 4
    i = 0
    while i + 8 <= len(a):
        u = [fma(a[i + j], b[i + j], u[j]) for j in range(4)]
        v = [fma(a[i + 4 + j], b[i + 4 + j], v[j]) for j in range(4)]
        i += 8
    r = [v[j] + u[j] for j in range(4)]
    if i + 4 <= len(a):
        r = [fma(a[i + j], b[i + j], r[j]) for j in range(4)]
        i += 4
    m = (r[0] + r[2]) + (r[1] + r[3])
    for k in range(i, len(a)):
        m = fma(a[k], b[k], m)
    return m


def dot_in_order(a, b):
    m = 0.0
    for x, y in zip(a, b):
        m = fma(x, y, m)
    return m


vsum = sum8 if AVX512F else sum4 if AVX2 else sum_in_order
vdot = dot8 if AVX512F else dot2x4 if (AVX2 and FMA) else dot_in_order


def ball(lo, hi):
    return ((lo + hi) * 0.5, (hi - lo) * 0.5)


def sum_endpoints(m, r):
    if not m:
        return 0.0, 0.0
    s, t = vsum(m), vsum(r)
    return s - t, s + t


def mean(m, r):
    if not m:
        return (math.nan, math.nan)
    lo, hi = sum_endpoints(m, r)
    c = float(len(m))
    mm, rr = ((lo + hi) * 0.5) / c, ((hi - lo) * 0.5) / c
    return ball(mm - rr, rr + mm)


def positive_or_zero(x):
    return x if x > 0 else 0.0


def variance_endpoints(m, r):
    if not m:
        return math.nan, math.nan
    mu, rho = mean(m, r)
    c = float(len(m))
    t = s = 0.0
    for x, e in zip(m, r):
        d, f = x - mu, e + rho
        t = t + d * d
        s = s + (f * f + (abs(d) + abs(d)) * f)
    g, sp = positive_or_zero(t / c), s / c
    return g - sp, sp + g


def std(m, r):
    lo, hi = variance_endpoints(m, r)
    a, b = math.sqrt(positive_or_zero(lo)), math.sqrt(positive_or_zero(hi))
    return ((a + b) * 0.5, (a - b) * 0.5 if b < a else (b - a) * 0.5)


def norm(m, r):
    if not m:
        return (0.0, 0.0)
    q = p = 0.0
    for x, e in zip(m, r):
        q = q + x * x
        p = p + (e * e + (abs(x) + abs(x)) * e)
    u, w = math.sqrt(positive_or_zero(p + q)), math.sqrt(positive_or_zero(q - p))
    if not u >= w:
        u, w = w, u
    return ((w + u) * 0.5, (u - w) * 0.5)


def dot(am, ar, bm, br):
    if not am:
        return (0.0, 0.0)
    mid = vdot(am, bm)
    s = 0.0
    for a, ea, b, eb in zip(am, ar, bm, br):
        s = s + (ea * eb + (ea * abs(b) + eb * abs(a)))
    return ball(mid - s, mid + s)


def cumsum(m, r):
    out_m, out_r, sm, sr = [], [], 0.0, 0.0
    for x, e in zip(m, r):
        sm, sr = sm + x, sr + e
        out_m.append(sm)
        out_r.append(sr)
    return out_m, out_r


def round_down(q):
    f = float(q)
    return math.nextafter(f, -math.inf) if Fraction(f) > q else f


def round_up(q):
    f = float(q)
    return math.nextafter(f, math.inf) if Fraction(f) < q else f


def prod(m, r):
    """Finite elements only: exact endpoint products rounded outward."""
    if not m:
        return (1.0, 0.0)
    lo, hi = m[0] - r[0], m[0] + r[0]
    for x, e in zip(m[1:], r[1:]):
        exact = [Fraction(u) * Fraction(v) for u in (lo, hi) for v in (x - e, x + e)]
        lo, hi = round_down(min(exact)), round_up(max(exact))
    return ball(lo, hi)
