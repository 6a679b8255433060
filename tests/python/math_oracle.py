"""A few-line model of the elementwise functions on the math module, for the tests."""
import math
INF = math.inf
DEFAULT_NAN = INF - INF  # what the processor and C library return for invalid operations


def libm(f, x):
    # CPython raises where the C library returns a value; give that value instead.
    try:
        return f(x)
    except ValueError:
        return DEFAULT_NAN
    except OverflowError:
        return INF


def nmin(x, y):
    return y if x != x else x if y != y else (y if y < x else x)


def nmax(x, y):
    return y if x != x else x if y != y else (y if x < y else x)


def ordered(x, y):
    return (x, y) if y >= x else (y, x)


def periodic(f, lo, hi, offset):
    if hi - lo >= 6.283185307179586:
        return (-1.0, 1.0)
    low = nmin(libm(f, lo), libm(f, hi))
    high = nmax(libm(f, lo), libm(f, hi))
    if lo == lo and hi == hi and abs(lo) < 1e18 and abs(hi) < 1e18:
        for k in range(math.floor((lo - offset) / math.pi), math.ceil((hi - offset) / math.pi) + 1):
            p = float(k) * math.pi + offset
            if lo <= p <= hi:
                low, high = nmin(low, libm(f, p)), nmax(high, libm(f, p))
    return ordered(low, high)


def k_tan(lo, hi):
    if hi - lo > math.pi:
        return (-INF, INF)
    if lo == lo and hi == hi and abs(lo) < 1e18 and abs(hi) < 1e18:
        for k in range(math.floor((lo - math.pi / 2) / math.pi), math.ceil((hi - math.pi / 2) / math.pi) + 1):
            if lo < float(k) * math.pi + math.pi / 2 < hi:
                return (-INF, INF)
    t_lo, t_hi = libm(math.tan, lo), libm(math.tan, hi)
    return ordered(nmin(t_lo, t_hi), nmax(t_lo, t_hi))


def k_log(f, floor):
    return lambda lo, hi: (float("nan"),) * 2 if hi <= 0 else ordered(f(lo) if lo > 0 else floor, f(hi))


def k_abs(lo, hi):
    if lo >= 0:
        return (lo, hi)
    if hi <= 0:
        return ordered(-hi, -lo)
    return ordered(0.0, nmax(abs(lo), abs(hi)))


def k_exp(lo, hi):
    if hi > 709.0:
        return ordered(libm(math.exp, lo), INF)
    if lo < -745.0:
        return ordered(0.0, libm(math.exp, hi))
    return ordered(libm(math.exp, lo), libm(math.exp, hi))


KERNELS = {
    "sqrt": lambda lo, hi: (float("nan"),) * 2 if hi < 0 else ordered(math.sqrt(lo if lo > 0 else 0.0), math.sqrt(hi)),
    "exp": k_exp,
    "ln": k_log(math.log, -708.3964185322641),
    "log2": k_log(math.log2, -1022.0),
    "log10": k_log(math.log10, -307.6526555685888),
    "abs": k_abs,
    "sin": lambda lo, hi: periodic(math.sin, lo, hi, math.pi / 2),
    "cos": lambda lo, hi: periodic(math.cos, lo, hi, 0.0),
    "tan": k_tan,
}
FAST = {
    "sqrt": lambda m: libm(math.sqrt, m),
    "exp": lambda m: libm(math.exp, m),
    "ln": lambda m: math.log(m) if m > 0 else -INF,
    "sin": lambda m: libm(math.sin, m),
}


def expect(name, mids, rads):
    """The oracle's (midpoint, radius) list for one array."""
    if name in FAST and all(r == 0.0 for r in rads):
        return [(FAST[name](m), 0.0) for m in mids]
    out = []
    for m, r in zip(mids, rads):
        lo, hi = KERNELS[name](m - r, m + r)
        out.append(((lo + hi) * 0.5, (hi - lo) * 0.5))
    return out
