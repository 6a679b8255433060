"""repr() and str(): the element list, the summary and both number formats."""
import math
from decimal import Decimal

import pytest
import _quorvex
from hypothesis import given, settings, strategies as st

any_float = st.floats(allow_nan=True, allow_infinity=True)


def plain(x):
    """Shortest round-trip digits (Python's repr) written without an exponent."""
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    return format(Decimal(repr(x)).normalize(), "f")


def exponent6(x):
    """'%.6e' is correctly rounded; only its exponent is written differently."""
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    mantissa, exponent = ("%.6e" % x).split("e")
    return f"{mantissa}e{int(exponent)}"


def item(m, r):
    lo, hi = m - r, m + r
    if lo == hi:
        return plain(lo)
    return plain((lo + hi) * 0.5) + "+/-" + plain((hi - lo) * 0.5)


@pytest.mark.parametrize(
    "make,text",
    [(lambda qv: qv.array([1.0, 2.0], 0.5), "IntervalArray([1+/-0.5, 2+/-0.5])"),
     (lambda qv: qv.array([1.0, 2.5]), "IntervalArray([1, 2.5])"),
     (lambda qv: qv.array([]), "IntervalArray([])"),
     (lambda qv: qv.zeros([]), "IntervalArray([0])"),
     (lambda qv: qv.zeros([2, 2]), "IntervalArray([0, 0, 0, 0])"),
     (lambda qv: qv.zeros([3, 3]), "IntervalArray(shape=[3, 3], max_err=0.000000e0)"),
     (lambda qv: qv.full([9], 4.0, 1.0), "IntervalArray(shape=[9], max_err=2.500000e-1)"),
     (lambda qv: qv.full([9], 0.0, 1.0), "IntervalArray(shape=[9], max_err=inf)"),
     (lambda qv: qv.array([1.0], 1e-20), "IntervalArray([1])"),
     (lambda qv: qv.array([0.0], math.nan), "IntervalArray([NaN+/-NaN])"),
     (lambda qv: qv.array([-0.0, 1e20, 1e-7]),
      "IntervalArray([-0, 100000000000000000000, 0.0000001])"),
     # A NaN bound never compares equal, so NaN shows as a ball.
     (lambda qv: qv.array([math.inf, -math.inf, math.nan]),
      "IntervalArray([inf, -inf, NaN+/-NaN])"),
     (lambda qv: qv.array([0.1, 0.2]) + 0.1 - 0.1, None)])
def test_documented_texts(qv, make, text):
    a = make(qv)
    if text is None:  # computed elements: compare with the oracle
        text = "IntervalArray([" + ", ".join(item(m, r) for m, r in a.tolist()) + "])"
    assert repr(a) == text
    assert str(a) == text


def test_eight_elements_are_listed_and_nine_summarised(qv):
    assert repr(qv.arange(0, 8)) == "IntervalArray([0, 1, 2, 3, 4, 5, 6, 7])"
    assert repr(qv.arange(0, 9)) == "IntervalArray(shape=[9], max_err=0.000000e0)"
    assert repr(qv.zeros([2, 4])) == "IntervalArray([0, 0, 0, 0, 0, 0, 0, 0])"
    assert repr(qv.zeros([3, 0, 5])) == "IntervalArray([])"
    assert repr(qv.zeros([1, 3, 3])) == "IntervalArray(shape=[1, 3, 3], max_err=0.000000e0)"


@settings(deadline=None)
@given(st.lists(any_float, min_size=0, max_size=8), any_float)
def test_element_form(mids, error):
    qv = _quorvex
    a = qv.array(mids, error)
    expected = "IntervalArray([" + ", ".join(item(m, r) for m, r in a.tolist()) + "])"
    assert repr(a) == expected


@settings(deadline=None)
@given(st.lists(any_float, min_size=9, max_size=30), any_float, st.integers(0, 1))
def test_summary_form(mids, error, as_matrix):
    qv = _quorvex
    a = qv.array(mids, error)
    if as_matrix and len(mids) % 3 == 0:
        a = a.reshape([3, len(mids) // 3])
    shape = "[" + ", ".join(map(str, a.shape())) + "]"
    expected = f"IntervalArray(shape={shape}, max_err={exponent6(a.max_relative_error())})"
    assert repr(a) == expected


@settings(deadline=None)
@given(any_float)
def test_plain_form_of_any_double(x):
    qv = _quorvex
    text = repr(qv.array([x]))[len("IntervalArray(["):-2]
    assert text == item(x, 0.0)
    if not math.isnan(x):
        assert float(text) == x and "e" not in text


@settings(deadline=None)
@given(st.floats(min_value=5e-324, allow_infinity=False), st.floats(1e-300, 1e300))
def test_exponent_form_of_any_ratio(r, m):
    qv = _quorvex
    a = qv.full([9], m, r)
    ratio = a.max_relative_error()
    assert repr(a).endswith(f"max_err={exponent6(ratio)})")


@pytest.mark.parametrize(
    "ratio_mid,ratio_rad,text",
    [(4.0, 1.0, "2.500000e-1"), (1.0, 1.1102230246251565e-16, "1.110223e-16"),
     (1.0, 12345678.0, "1.234568e7"), (1.0, 1234568.5, "1.234568e6"),
     (2.0, 5e-324, "0.000000e0"), (1.0, 9.9999996, "1.000000e1")])
def test_summary_ratio_digits(qv, ratio_mid, ratio_rad, text):
    # 5e-324 / 2 underflows to zero, so the ratio prints as zero.
    a = qv.array([ratio_mid] * 9, ratio_rad)
    assert repr(a) == f"IntervalArray(shape=[9], max_err={text})"
