"""The operators + - * / and unary -, scale: results against float oracles of the
propagation rules (bit for bit), messages, special values, pooled execution,
the released interpreter lock and the rounding mode left behind by division."""
import math
import struct
import sys
import threading
import time
from fractions import Fraction

import pytest
from hypothesis import given, settings, strategies as st

from conftest import bits, run_python, same_bits

q = pytest.importorskip("_quorvex")
INF = math.inf
NAN = math.nan
MAX = sys.float_info.max


def ball_array(mids, rads):
    """An array whose stored radii are exactly `rads` (>= 0). Midpoints end up
    near `mids`; tests read the stored values back instead of assuming them."""
    n = len(mids)
    spread = q.array([1.0] * n, 1.0) * q.array(list(rads))  # (r, r): right-exact product
    return q.array([m - r if math.isfinite(r) else m for m, r in zip(mids, rads)]) + spread


def parts(a):
    return a.values(), a.radii()


def same_or_nan(got, want):
    """Bits must match; a NaN may come back with another payload."""
    return len(got) == len(want) and all(
        math.isnan(w) and math.isnan(g) if math.isnan(w) else bits(g) == bits(w)
        for g, w in zip(got, want))


def fdiv(x, y):
    """IEEE-754 division (Python raises on a zero divisor instead)."""
    if y != 0 or math.isnan(y):
        return x / y
    if x == 0 or math.isnan(x):
        return NAN
    return math.copysign(INF, x) * math.copysign(1.0, y)


def exact(rads):
    return all(r == 0.0 for r in rads)


# --- Oracles, written from the rules --------------------------------------------------------

def add_oracle(am, ar, bm, br, sign=1):
    mids = [x + y if sign > 0 else x - y for x, y in zip(am, bm)]
    if exact(ar) and exact(br):
        return mids, [0.0] * len(am)
    return mids, [r + s for r, s in zip(ar, br)]


def mul_oracle(am, ar, bm, br):
    mids = [x * y for x, y in zip(am, bm)]
    if exact(br):
        return mids, [0.0 if exact(ar) else abs(y) * r for y, r in zip(bm, ar)]
    return mids, [((abs(y) * r) + (abs(x) * s)) + (r * s) for x, r, y, s in zip(am, ar, bm, br)]


def directed(x, y, up, divide=False):
    """x * y (or x / y) rounded down or up, through exact rationals."""
    p = fdiv(x, y) if divide else x * y
    if math.isnan(p) or not (math.isfinite(x) and math.isfinite(y)):
        return p
    if math.isinf(p):  # overflow: the directed result stays finite on one side
        return p if (p > 0) == up else math.copysign(MAX, p)
    exact_value = Fraction(x) / Fraction(y) if divide else Fraction(x) * Fraction(y)
    if up and Fraction(p) < exact_value:
        return math.nextafter(p, INF)
    if not up and Fraction(p) > exact_value:
        return math.nextafter(p, -INF)
    return p


def nan_min(x, y):
    return y if math.isnan(x) else x if math.isnan(y) else (y if y < x else x)


def nan_max(x, y):
    return y if math.isnan(x) else x if math.isnan(y) else (y if y > x else x)


def endpoint_division(ma, ra, mb, rb):
    blo, bhi = mb - rb, mb + rb
    if not (0 < blo) and bhi >= 0:
        return NAN, INF
    alo, ahi = ma - ra, ma + ra
    rlo, rhi = directed(1.0, bhi, False, True), directed(1.0, blo, True, True)
    pairs = [(alo, rlo), (alo, rhi), (ahi, rlo), (ahi, rhi)]
    lo = hi = None
    for x, y in pairs:
        d, u = directed(x, y, False), directed(x, y, True)
        lo = d if lo is None else nan_min(lo, d)
        hi = u if hi is None else nan_max(hi, u)
    return (lo + hi) * 0.5, (hi - lo) * 0.5


def div_oracle(am, ar, bm, br):
    if any(not (0 < m - r) and m + r >= 0 for m, r in zip(bm, br)):
        out = [endpoint_division(*e) for e in zip(am, ar, bm, br)]
        return [m for m, _ in out], [r for _, r in out]
    mids = [fdiv(x, y) for x, y in zip(am, bm)]
    if exact(ar) and exact(br):
        return mids, [0.0] * len(am)
    return mids, [fdiv(r + (abs(q) * s), abs(y) - s)
                  for q, r, y, s in zip(mids, ar, bm, br)]


def endpoint_sum_oracle(am, ar, p):
    cm, cr = (p + p) * 0.5, (p - p) * 0.5
    return [m + cm for m in am], [r + cr for r in ar]


def flip(x):
    return struct.unpack("<d", struct.pack("<Q", bits(x) ^ (1 << 63)))[0]


# --- Array with array -----------------------------------------------------------------------

SPECIAL_MIDS = [0.0, -0.0, 1.0, -2.5, 3.0, 1e308, -1e308, 5e-324, -1e-310, INF, -INF, NAN, 0.1]
SPECIAL_RADS = [0.0, 0.5, 1e-300, 5e-324, 1e308, INF, NAN, 2.0, 0.0, 0.25, 0.0, 1.0, 3.0]

OPS = {
    "+": (lambda a, b: a + b, lambda *x: add_oracle(*x)),
    "-": (lambda a, b: a - b, lambda *x: add_oracle(*x, sign=-1)),
    "*": (lambda a, b: a * b, mul_oracle),
    "/": (lambda a, b: a / b, div_oracle),
}


@pytest.mark.parametrize("op", OPS)
@pytest.mark.parametrize("left_exact,right_exact", [(True, True), (True, False),
                                                     (False, True), (False, False)])
def test_array_ops_follow_the_rules(op, left_exact, right_exact):
    n = len(SPECIAL_MIDS)
    a = ball_array(SPECIAL_MIDS, [0.0] * n if left_exact else SPECIAL_RADS)
    b = ball_array(SPECIAL_MIDS[::-1], [0.0] * n if right_exact else SPECIAL_RADS[::-1])
    fn, oracle = OPS[op]
    mids, rads = parts(fn(a, b))
    want_mids, want_rads = oracle(*parts(a), *parts(b))
    assert same_or_nan(mids, want_mids)
    assert same_or_nan(rads, want_rads)


def test_exact_sum_has_zero_radii_even_where_the_midpoint_rounds():
    a, b = q.array([0.1, 1e16]), q.array([0.2, 1.0])
    assert same_bits((a + b).radii(), [0.0, 0.0])
    assert same_bits((a + b).values(), [0.1 + 0.2, 1e16 + 1.0])


@pytest.mark.parametrize("op,sym", [("+", "add"), ("-", "sub"), ("*", "mul"), ("/", "div")])
@pytest.mark.parametrize("left,right,kind,lval,rval", [
    ([2, 3], [3, 2], "shapes", "[2, 3]", "[3, 2]"),
    ([2, 3], [4], "array lengths", "6", "4"),
    ([0], [0, 3], "shapes", "[0]", "[0, 3]"),
])
def test_mismatch_panics_with_count_before_shape(op, sym, left, right, kind, lval, rval):
    a, b = q.zeros(left), q.zeros(right)
    with pytest.raises(BaseException) as info:
        OPS[op][0](a, b)
    assert type(info.value).__name__ == "PanicException"
    assert not isinstance(info.value, Exception)
    assert str(info.value) == (f"assertion `left == right` failed: {kind} must match for {sym}"
                               f"\n  left: {lval}\n right: {rval}")


@pytest.mark.parametrize("shape", [[0, 3], [2, 3], []])
def test_result_has_the_operand_shape(shape):
    a = q.full(shape, 1.5, 0.5)
    for op in OPS.values():
        c = op[0](a, a)
        assert c.shape() == shape and len(c.values()) == len(a.values())


# --- Products ---------------------------------------------------------------------------------

def test_right_exact_product_radius_is_abs_mb_times_ra():
    a = ball_array([2.0, -3.0, INF], [0.5, 0.25, 1.0])
    b = q.array([-4.0, 0.0, 2.0])
    am, ar = parts(a)
    assert same_bits((a * b).radii(), [abs(y) * r for y, r in zip(b.values(), ar)])
    # Exact left, inexact right runs the full rule: |mb| * ra = inf * 0 is NaN.
    assert math.isnan((b * a).radii()[2])


# --- Quotients --------------------------------------------------------------------------------

def test_zero_divisor_sends_the_whole_quotient_through_endpoints():
    c = q.array([1.0, 1.0, 1.0]) / q.array([0.0, 3.0, 2.0])
    mids, rads = parts(c)
    assert math.isnan(mids[0]) and rads[0] == INF
    lo, hi = directed(1.0, 3.0, False, True), directed(1.0, 3.0, True, True)
    assert lo < hi
    assert same_bits([mids[1], rads[1]], [(lo + hi) * 0.5, (hi - lo) * 0.5])
    assert same_bits([mids[2], rads[2]], [0.5, 0.0])


@pytest.mark.parametrize("mb,rb,zero", [(0.0, 0.0, True), (1.0, 1.0, True), (-2.0, 1.0, False),
                                        (-1.0, 1.0, True), (5.0, INF, True), (NAN, 0.0, False)])
def test_zero_containing_divisor_test(mb, rb, zero):
    # The divisor (mb, rb) comes first; 1/3 after it is widened only by endpoint division.
    divisor = ball_array([mb, 3.0], [rb, 0.0])
    dm, dr = parts(divisor)
    zero_seen = not (0 < dm[0] - dr[0]) and dm[0] + dr[0] >= 0
    assert zero_seen == zero
    assert ((q.array([1.0, 1.0]) / divisor).radii()[1] > 0) == zero


def test_nan_divisor_midpoint_goes_through_the_quotient_rule():
    c = ball_array([1.0, 2.0], [0.5, 0.5]) / q.array([NAN, 4.0])
    mids, rads = parts(c)
    assert math.isnan(mids[0]) and math.isnan(rads[0])
    assert mids[1] == c.values()[1] and not math.isnan(rads[1])


def test_rounding_mode_is_nearest_after_endpoint_division():
    x, y = 1.0, 3.0
    before = [x / y, -x / y, 2.0 / y]
    probe_before = (q.array([1.0, -1.0, 2.0]) / q.array([3.0, 3.0, 3.0])).values()
    q.array([1.0, 1.0]) / q.array([0.0, 3.0])
    after = [x / y, -x / y, 2.0 / y]
    assert same_bits(after, before)
    assert same_bits((q.array([1.0, -1.0, 2.0]) / q.array([3.0, 3.0, 3.0])).values(), probe_before)


# --- Array with plain number ------------------------------------------------------------------

SCALARS = [2.0, -0.0, 1e308, -1e308, INF, NAN, 3, True, 1e-320]


@pytest.mark.parametrize("s", SCALARS)
def test_plain_number_forms(s):
    a = ball_array([0.0, -1.5, 1e300, NAN], [0.0, 0.25, 1.0, 2.0])
    am, ar = parts(a)
    f = float(s)
    assert same_or_nan(list(sum(parts(a + s), [])), sum(endpoint_sum_oracle(am, ar, f), []))
    assert same_or_nan(list(sum(parts(s + a), [])), sum(endpoint_sum_oracle(am, ar, f), []))
    assert same_or_nan(list(sum(parts(a - s), [])), sum(endpoint_sum_oracle(am, ar, flip(f)), []))
    negm = [flip(m) for m in am]
    assert same_or_nan(list(sum(parts(s - a), [])), sum(endpoint_sum_oracle(negm, ar, f), []))
    scaled = ([m * f for m in am], [r * abs(f) for r in ar])
    for c in (a * s, s * a, a.scale(s)):
        assert same_or_nan(list(sum(parts(c), [])), sum(scaled, []))
    inv = fdiv(1.0, f)
    assert same_or_nan(list(sum(parts(a / s), [])),
                       [m * inv for m in am] + [r * abs(inv) for r in ar])


def test_negation_flips_only_the_sign_bit():
    a = ball_array([0.0, -2.0, INF, NAN], [0.0, 1.0, 0.5, 0.0])
    am, ar = parts(a)
    mids, rads = parts(-a)
    assert same_bits(mids, [flip(m) for m in am]) and same_bits(rads, ar)


class Floaty:
    def __float__(self):
        return 0.5


class Broken:
    def __float__(self):
        raise RuntimeError("boom")


@pytest.mark.parametrize("expr,message", [
    (lambda a: a + "x", "unsupported operand type for +"),
    (lambda a: "x" + a, "unsupported operand type for +"),
    (lambda a: a + 10 ** 400, "unsupported operand type for +"),
    (lambda a: a - [1.0], "unsupported operand type for -"),
    (lambda a: "x" - a, "unsupported operand type for -"),
    (lambda a: a * Broken(), "unsupported operand type for *"),
    (lambda a: None * a, "unsupported operand type for *"),
    (lambda a: a / "2", "unsupported operand type for /"),
])
def test_unconvertible_operands_raise_the_operator_message(expr, message):
    with pytest.raises(TypeError) as info:
        expr(q.array([1.0]))
    assert str(info.value) == message


def test_number_divided_by_array_is_not_supported():
    with pytest.raises(TypeError) as info:
        2.0 / q.array([1.0])
    assert "unsupported operand type(s) for /" in str(info.value)


def test_objects_with_a_float_conversion_and_a_genuine_minus_one_work():
    a = q.array([1.0, 2.0])
    assert same_bits((a + Floaty()).values(), [1.5, 2.5])
    assert same_bits((a * -1).values(), [-1.0, -2.0])


# --- Pooled execution, lock release ---------------------------------------------------------

POOLED = """
import _quorvex as q, hashlib, struct, sys
n = int(sys.argv[1]) if len(sys.argv) > 1 else {n}
m = [((i * 7919) % 1000 - 500) * 0.37 for i in range(n)]
r = [(i % 13) * 0.011 for i in range(n)]
a = q.array(m) + q.array([1.0] * n, 1.0) * q.array(r)
b = q.array(m[::-1]) + q.array([1.0] * n, 1.0) * q.array(r[::-1])
h = hashlib.sha256()
for c in (a + b, a - b, a * b):
    h.update(struct.pack(f"<{{n}}d", *c.values())); h.update(struct.pack(f"<{{n}}d", *c.radii()))
print(q.num_threads(), h.hexdigest())
"""


@pytest.mark.parametrize("n", [32767, 32768, 32769])
def test_pooled_runs_are_bit_identical_for_any_thread_count(n):
    digests = set()
    for threads in ("1", "2", "3"):
        out = run_python(POOLED.format(n=n), {"RAYON_NUM_THREADS": threads})
        assert out.returncode == 0, out.stderr
        count, digest = out.stdout.split()
        assert count == threads
        digests.add(digest)
    assert len(digests) == 1


def test_sum_and_difference_of_pooled_sizes_match_the_oracle():
    n = 32769
    a = ball_array([(i % 97) * 0.3 - 9 for i in range(n)], [(i % 5) * 0.1 for i in range(n)])
    b = ball_array([(i % 89) * 0.7 + 1 for i in range(n)], [(i % 3) * 0.2 for i in range(n)])
    for sign, c in ((1, a + b), (-1, a - b)):
        assert same_or_nan(c.values() + c.radii(),
                           sum(add_oracle(*parts(a), *parts(b), sign=sign), []))


def test_other_threads_run_while_a_large_sum_computes():
    n = 4_000_000
    a = q.array([1.0] * n, 0.5)
    b = q.array([2.0] * n, 0.25)
    stamps, stop = [], threading.Event()

    def spin():
        while not stop.is_set():
            stamps.append(time.perf_counter())

    worker = threading.Thread(target=spin)
    worker.start()
    try:
        # Tries enough that a busy machine, which may leave the other thread
        # unscheduled during a few sums, does not fail it.
        for _ in range(20):
            start = time.perf_counter()
            a + b
            end = time.perf_counter()
            margin = (end - start) * 0.25
            if any(start + margin < t < end - margin for t in stamps[-100000:]):
                break
        else:
            pytest.fail("no progress in another thread during twenty large sums")
    finally:
        stop.set()
        worker.join()


# --- Properties against the oracle ------------------------------------------------------------

# Few mantissa bits and a bounded exponent keep every product exact, so the fused
# and unfused product radii agree and one oracle fits every kernel variant.
short = st.builds(lambda m, e: math.ldexp(m, e), st.integers(-(2 ** 10), 2 ** 10),
                  st.integers(-6, 6))
radius = st.one_of(st.just(0.0), st.builds(abs, short))


@st.composite
def array_pairs(draw, any_float=False):
    n = draw(st.integers(0, 40))
    mids = st.floats(allow_nan=True, allow_infinity=True) if any_float else short
    am, bm = draw(st.lists(mids, min_size=n, max_size=n)), draw(st.lists(mids, min_size=n, max_size=n))
    ar, br = draw(st.lists(radius, min_size=n, max_size=n)), draw(st.lists(radius, min_size=n, max_size=n))
    return ball_array(am, ar), ball_array(bm, br)


@settings(max_examples=150, deadline=None)
@given(array_pairs(any_float=True))
def test_sums_differences_and_quotients_match_the_oracle(pair):
    a, b = pair
    for op in ("+", "-", "/"):
        fn, oracle = OPS[op]
        got = fn(a, b)
        want = oracle(*parts(a), *parts(b))
        assert same_or_nan(got.values(), want[0]) and same_or_nan(got.radii(), want[1]), op


@settings(max_examples=150, deadline=None)
@given(array_pairs())
def test_products_match_the_oracle(pair):
    a, b = pair
    got = a * b
    want = mul_oracle(*parts(a), *parts(b))
    assert same_or_nan(got.values(), want[0]) and same_or_nan(got.radii(), want[1])
