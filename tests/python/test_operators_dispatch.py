"""Which operand the arithmetic slots treat as the array, their messages, and
that only the binary operators release the interpreter lock."""
import sys
import threading
import time

import pytest

import _quorvex as qv
from conftest import same_bits

OPS = {"+": lambda x, y: x + y, "-": lambda x, y: x - y,
       "*": lambda x, y: x * y, "/": lambda x, y: x / y}


class Floaty:
    def __float__(self):
        return 2.0


class HasReflected:  # the array slots must not fall back to its methods
    __radd__ = __rsub__ = __rmul__ = __rtruediv__ = lambda self, other: "reflected"


def arr():
    return qv.array([1.0, -2.5, 3.0], 0.25)


@pytest.mark.parametrize("sym", OPS)
@pytest.mark.parametrize("bad", ["x", None, 10**400, 1j, HasReflected()])
def test_unconvertible_operand(sym, bad):
    cases = [(arr(), bad)] + ([(bad, arr())] if sym != "/" else [])
    for x, y in cases:
        with pytest.raises(TypeError) as info:
            OPS[sym](x, y)
        assert str(info.value) == "unsupported operand type for " + sym
        # The conversion's own error is discarded, not chained.
        assert info.value.__context__ is None


@pytest.mark.parametrize("left", [2, 2.0, "x", Floaty()])
def test_number_over_array_is_left_to_the_interpreter(left):
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for /: .*IntervalArray"):
        left / arr()
    assert arr().__rtruediv__(left) is NotImplemented


@pytest.mark.parametrize("x", [2.0, 2, True, Floaty(), -1.0, float("inf"), -0.0])
def test_plain_number_operands(x):
    a, s = arr(), float(x)
    assert same_bits((x + a).tolist(), (a + s).tolist())
    assert same_bits((x * a).tolist(), (a * s).tolist())
    assert same_bits((x - a).tolist(), ((-a) + s).tolist())  # x - a is (-a) + x
    for op in OPS.values():
        assert same_bits(op(a, x).tolist(), op(a, s).tolist())


def test_results_are_new_and_operands_unchanged():
    a, b = arr(), arr()
    before = a.tolist() + b.tolist()
    for r in [op(a, b) for op in OPS.values()] + [-a, abs(a), 3.0 - a, a.scale(2.0)]:
        assert type(r) is qv.IntervalArray and r is not a and r is not b
    assert a.tolist() + b.tolist() == before
    assert same_bits(abs(a).tolist(), a.abs().tolist())
    assert same_bits(a.scale(-2.0).tolist(), (a * -2.0).tolist())


def other_thread_runs_during(op):
    """True when another Python thread got to run while op() executed.

    With a huge switch interval the lock changes hands only when given up
    voluntarily, so the other thread, already queued for it, runs only if op
    releases it."""
    old = sys.getswitchinterval()
    sys.setswitchinterval(30.0)
    gate = threading.Lock()
    gate.acquire()
    ran = []

    def other():
        with gate:
            ran.append(True)

    t = threading.Thread(target=other)
    try:
        t.start()
        time.sleep(0.05)  # `other` blocks on the gate
        gate.release()
        spin_until = time.perf_counter() + 0.02
        while time.perf_counter() < spin_until:  # lock kept; `other` queues for it
            pass
        assert not ran
        op()
        return bool(ran)
    finally:
        t.join()
        sys.setswitchinterval(old)


BIG = 1 << 18
# Long enough (a few ms) that the waiting thread wakes inside the operation
# even when the machine is slow to schedule it.
RELEASE_BIG = 1 << 21


@pytest.mark.parametrize("sym", OPS)
def test_binary_operators_release_the_lock(sym):
    a, b = qv.full([RELEASE_BIG], 1.5, 0.25), qv.full([RELEASE_BIG], 2.0, 0.5)
    calls = [lambda: OPS[sym](a, b), lambda: OPS[sym](a, 3.0)]
    if sym != "/":
        calls.append(lambda: OPS[sym](3.0, a))
    for call in calls:
        # A very quick operation can win the hand-over race; a few tries settle it.
        assert any(other_thread_runs_during(call) for _ in range(5))


@pytest.mark.parametrize("name", ["neg", "abs", "scale", "copy", "repr", "tolist", "sum"])
def test_other_entry_points_keep_the_lock(name):
    a = qv.full([BIG], 1.5, 0.25)
    call = {"neg": lambda: -a, "abs": lambda: abs(a), "scale": lambda: a.scale(2.0),
            "copy": a.copy, "repr": lambda: repr(a), "tolist": a.tolist, "sum": a.sum}[name]
    assert not other_thread_runs_during(call)
