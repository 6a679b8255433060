"""Nothing leaks: native buffers, Python objects, type references, failing calls."""
import gc
import sys
import tracemalloc

import pytest

import _quorvex as qv
from conftest import run_python

RSS_PROBE = (
    "import gc, _quorvex as q\n"
    "def rss():\n"
    "    with open('/proc/self/statm') as f:\n"
    "        return int(f.read().split()[1]) * 4096\n"
    "def work(n):\n"
    "{body}"
    "work(20000)\n"
    "gc.collect()\n"
    "before = rss()\n"
    "work({n})\n"
    "gc.collect()\n"
    "print(rss() - before)\n")

# A leak of even one small object per iteration would add tens of megabytes.
LIMIT = 4 << 20


def rss_growth(body, n):
    r = run_python(RSS_PROBE.format(body=body, n=n))
    assert r.returncode == 0, r.stderr
    return int(r.stdout.strip())


def test_million_arrays_with_copies_and_reshapes_keep_rss_flat():
    body = ("    for i in range(n):\n"
            "        a = q.zeros([4])\n"
            "        b = a.copy()\n"
            "        c = b.reshape([2, 2])\n"
            "        del a, b, c\n")
    assert rss_growth(body, 1_000_000) < LIMIT


def test_operators_and_exports_keep_rss_flat():
    body = ("    a = q.array([1.0, 2.0, 3.0], 0.5)\n"
            "    for i in range(n):\n"
            "        b = a + a\n"
            "        c = 2.0 - b\n"
            "        d = c / 3.0\n"
            "        t = d.tolist(), d.values(), d.radii(), d.shape(), d.get(1), d[-1]\n"
            "        s = repr(d)\n"
            "        e = q.IntervalArray([1.0, 2.0], 0.1).scale(2.0)\n")
    assert rss_growth(body, 200_000) < LIMIT


def test_large_buffers_are_released():
    body = ("    for i in range(n // 1000):\n"
            "        a = q.zeros([1 << 18])\n"
            "        b = a + a\n"
            "        c = b.copy().reshape([512, 512])\n"
            "        del a, b, c\n")
    assert rss_growth(body, 200_000) < LIMIT


FAILING = [
    lambda: qv.zeros("ab"),
    lambda: qv.zeros([-1]),
    lambda: qv.array((1.0,)),
    lambda: qv.array([1.0, "x"]),
    lambda: qv.array([1.0], bad=1),
    lambda: qv.full(),
    lambda: qv.full([1], object()),
    lambda: qv.array([1.0]).get(5),
    lambda: qv.array([1.0]).dot([1.0]),
    lambda: qv.array([1.0]) + "x",
    lambda: "x" - qv.array([1.0]),
    lambda: 2 / qv.array([1.0]),
    lambda: qv.zeros([2]).reshape([3]),
    lambda: qv.zeros([2]) + qv.zeros([3]),
]


def run_failing(times):
    for _ in range(times):
        for call in FAILING:
            try:
                call()
            except BaseException:
                pass


def test_failing_calls_do_not_leak_python_objects(capfd):
    run_failing(200)
    gc.collect()
    tracemalloc.start()
    try:
        before = tracemalloc.take_snapshot()
        run_failing(2000)
        gc.collect()
        after = tracemalloc.take_snapshot()
    finally:
        tracemalloc.stop()
    grown = sum(s.size_diff for s in after.compare_to(before, "filename") if s.size_diff > 0)
    assert grown < 64 * 1024, grown
    capfd.readouterr()  # the panics' diagnostics


def test_failing_calls_keep_rss_flat():
    body = ("    import os\n"
            "    os.dup2(os.open(os.devnull, os.O_WRONLY), 2)\n"
            "    for i in range(n):\n"
            "        for f in (lambda: q.zeros([2]).reshape([3]), lambda: q.zeros('x'),\n"
            "                  lambda: q.array([1.0]) + 'x', lambda: q.array([1.0, []]),\n"
            "                  lambda: q.zeros([2]) * q.zeros([3])):\n"
            "            try:\n"
            "                f()\n"
            "            except BaseException:\n"
            "                pass\n")
    assert rss_growth(body, 30_000) < LIMIT


class Sub(qv.IntervalArray):
    pass


@pytest.mark.parametrize("cls", [qv.IntervalArray, Sub])
def test_instances_release_their_type_reference(cls):
    gc.collect()
    before = sys.getrefcount(cls)
    items = [cls([1.0]) for _ in range(1000)]
    assert sys.getrefcount(cls) >= before + 1000  # each instance holds its type
    del items
    gc.collect()
    assert sys.getrefcount(cls) == before


def test_arguments_and_operands_keep_their_reference_counts():
    values = [1.0, 2.0]
    shape = (2, 1)
    scalar = 1.0e300 * 3
    a = qv.array(values)
    counts = [sys.getrefcount(o) for o in (values, shape, scalar, a)]
    for _ in range(1000):
        qv.array(values, scalar)
        qv.zeros(shape)
        a.reshape(shape)
        a + scalar
        scalar * a
        a + a
        a.copy()
        try:
            qv.array(values, bad=shape)
        except TypeError:
            pass
    assert [sys.getrefcount(o) for o in (values, shape, scalar, a)] == counts
