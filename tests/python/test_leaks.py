"""Nothing leaks: native buffers, Python objects, type references, failing calls."""
import gc
import sys
import tracemalloc

import pytest

import _quorvex as qv
from conftest import run_python

RSS_PROBE = """
import gc, os, _quorvex as q
os.dup2(os.open(os.devnull, os.O_WRONLY), 2)  # panic diagnostics
def rss():
    with open('/proc/self/statm') as f:
        return int(f.read().split()[1]) * 4096
def work(n):
{body}
work(20000)
gc.collect()
before = rss()
work({n})
gc.collect()
print(rss() - before)
"""


@pytest.mark.parametrize("n,body", [
    (1_000_000, "    for i in range(n):\n"
                "        a = q.zeros([4]); b = a.copy(); c = b.reshape([2, 2])\n"),
    (200_000, "    a = q.array([1.0, 2.0, 3.0], 0.5)\n"
              "    for i in range(n):\n"
              "        d = (2.0 - (a + a)) / 3.0\n"
              "        t = d.tolist(), d.values(), d.radii(), d.shape(), d.get(1), d[-1], repr(d)\n"
              "        e = q.IntervalArray([1.0, 2.0], 0.1).scale(2.0)\n"),
    (200_000, "    for i in range(n // 1000):\n"
              "        a = q.zeros([1 << 18]); b = (a + a).copy().reshape([512, 512])\n"),
    (30_000, "    fs = (lambda: q.zeros([2]).reshape([3]), lambda: q.zeros('x'),\n"
             "          lambda: q.array([1.0]) + 'x', lambda: q.zeros([2]) * q.zeros([3]))\n"
             "    for i in range(n):\n"
             "        for f in fs:\n"
             "            try:\n"
             "                f()\n"
             "            except BaseException:\n"
             "                pass\n"),
], ids=["million-arrays", "operators-exports", "large-buffers", "failing-calls"])
def test_rss_stays_flat(n, body):
    r = run_python(RSS_PROBE.format(body=body, n=n))
    assert r.returncode == 0, r.stderr
    # One leaked small object per iteration would add tens of megabytes.
    assert int(r.stdout) < 4 << 20


FAILING = [
    lambda: qv.zeros("ab"), lambda: qv.zeros([-1]), lambda: qv.array((1.0,)),
    lambda: qv.array([1.0, "x"]), lambda: qv.array([1.0], bad=1), lambda: qv.full(),
    lambda: qv.array([1.0]).get(5), lambda: qv.array([1.0]).dot([1.0]),
    lambda: qv.array([1.0]) + "x", lambda: "x" - qv.array([1.0]), lambda: 2 / qv.array([1.0]),
    lambda: qv.zeros([2]).reshape([3]),
]


def run_failing(times):
    for _ in range(times):
        for call in FAILING:
            try:
                call()
            except BaseException:
                pass


def test_failing_calls_leave_no_python_objects(capfd):
    run_failing(200)
    tracemalloc.start()
    gc.collect()
    before = tracemalloc.get_traced_memory()[0]
    run_failing(2000)
    gc.collect()
    grown = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    assert grown < 64 * 1024
    capfd.readouterr()


class Sub(qv.IntervalArray):
    pass


@pytest.mark.parametrize("cls", [qv.IntervalArray, Sub])
def test_instances_release_their_type_reference(cls):
    gc.collect()
    before = sys.getrefcount(cls)
    items = [cls([1.0]) for _ in range(1000)]
    assert sys.getrefcount(cls) >= before + 1000
    del items
    gc.collect()
    assert sys.getrefcount(cls) == before


def test_arguments_keep_their_reference_counts():
    values, shape, scalar = [1.0, 2.0], (2, 1), 1.0e300 * 3
    a = qv.array(values)
    counts = [sys.getrefcount(o) for o in (values, shape, scalar, a)]
    for _ in range(1000):
        qv.array(values, scalar), qv.zeros(shape), a.reshape(shape), a + scalar, scalar * a
        try:
            qv.array(values, bad=shape)
        except TypeError:
            pass
    assert [sys.getrefcount(o) for o in (values, shape, scalar, a)] == counts
