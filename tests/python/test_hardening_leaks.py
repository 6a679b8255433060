"""Every entry point, called many times with arguments that succeed and with arguments that
fail, keeps memory flat: Python objects (tracemalloc) and native buffers (resident size)."""
import json
import os

import pytest

from conftest import run_python

PRELUDE = r"""
import gc, json, os, resource, tracemalloc
import _quorvex as q
os.dup2(os.open(os.devnull, os.O_WRONLY), 2)  # panic diagnostics are written by design

class BadFloat:
    def __float__(self):
        raise ValueError('no')

v = q.array([1.0, -2.0, 0.5, 4.0], 0.25)
e = q.array([1.0, 2.0, 3.0, 4.0])
m = q.array([float(i) for i in range(12)], 0.5).reshape([3, 4])
big = q.full([40000], 1.5, 0.5)
z = q.array([0.5, -0.5, 1.0, 2.0], 1.0)

def rss():
    with open('/proc/self/statm') as f:
        return int(f.read().split()[1]) * os.sysconf('SC_PAGE_SIZE')

def call(f):
    try:
        f()
    except BaseException:
        pass
"""

# Entry points by group: each line is one call; those marked "!" must fail.
GROUPS = {
    "constructors": [
        "q.array([1.0, 2.0], 0.5)", "q.IntervalArray([1.0], error=0.1)", "q.zeros([2, 3])",
        "q.ones((4,))", "q.full([3], 2.0, 0.5)", "q.linspace(0.0, 1.0, 7)",
        "q.arange(0.0, 5.0, 0.5)", "q.num_threads()",
        "!q.array((1.0,))", "!q.array([1.0, 'x'])", "!q.array([1.0], bad=1)",
        "!q.IntervalArray([1.0], values=[2.0])", "!q.zeros('ab')", "!q.zeros([-1])",
        "!q.ones([2.0])", "!q.full([2])", "!q.full([2], BadFloat())",
        "!q.linspace(0.0, 1.0, -1)", "!q.arange(0.0, 1.0, 0.0)", "!q.zeros([2**62, 2**62])",
        "!q.array([1.0], error='x')", "!q.linspace(0.0, 1.0, 2**63)",
    ],
    "access": [
        "v.shape()", "v.ndim()", "v.max_relative_error()", "v.max_radius()", "v.is_exact()",
        "v.is_empty()", "v.get(1)", "v.midpoint(2)", "v.radius(3)", "v.tolist()", "v.values()",
        "v.radii()", "v.copy()", "len(v)", "v[-1]", "repr(m)", "str(v)", "bool(v)",
        "m.reshape([4, 3])", "m.transpose()",
        "!v.get(4)", "!v.get(-1)", "!v.midpoint('x')", "!v.radius(2**64)", "!v[4]", "!v[2**70]",
        "!v['x']", "!m.reshape([5])", "!v.reshape('ab')", "!v.transpose()",
    ],
    "elementwise": [
        "v.sin()", "v.cos()", "v.tan()", "v.exp()", "v.ln()", "v.log2()", "v.log10()",
        "v.sqrt()", "v.abs()", "abs(v)", "-v", "v.scale(2.0)", "big.sin()", "big.sqrt()",
        "!v.scale('x')", "!v.scale(BadFloat())",
    ],
    "operators": [
        "v + v", "v - e", "v * z", "v / z", "v / e", "v + 1", "2.0 - v", "3 * v", "v / 2.0",
        "big + big", "big * big", "big / big",
        "!v + 'x'", "!'x' - v", "!v * None", "!2 / v", "!v / BadFloat()",
        "!v + m", "!v - q.zeros([5])", "!big + q.zeros([40001])",
    ],
    "reductions": [
        "v.sum()", "v.mean()", "v.var()", "v.std()", "v.min_val()", "v.max_val()", "v.prod()",
        "v.norm()", "v.dot(e)", "v.cumsum()", "m.matmul(m.transpose())", "big.sum()",
        "!q.zeros([0]).min_val()", "!q.zeros([0]).max_val()", "!v.dot([1.0])",
        "!v.dot(q.zeros([3]))", "!m.matmul(m)", "!v.matmul(m)", "!m.matmul('x')",
    ],
}

GROUP_PROBE = PRELUDE + r"""
results = {}
for line in LINES:
    f = eval('lambda: ' + line.lstrip('!'))
    reps = 300 if 'big' in line else 3000  # pooled sizes are slow; one leak per call shows
    for _ in range(reps // 10):
        call(f)
    gc.collect()
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for _ in range(reps):
        call(f)
    gc.collect()
    results[line] = (tracemalloc.get_traced_memory()[0] - before) * 3000 // reps
    tracemalloc.stop()
# Native buffers: resident size over many more rounds of the whole group.
fs = [eval('lambda: ' + line.lstrip('!')) for line in LINES]
gc.collect()
start = rss()
for _ in range(1000):
    for f in fs:
        call(f)
gc.collect()
print(json.dumps({'python': results, 'rss': rss() - start}))
"""

FAILS_PROBE = PRELUDE + r"""
bad = []
for line in LINES:
    try:
        eval(line.lstrip('!'))
        ok = True
    except BaseException:
        ok = False
    if ok == line.startswith('!'):
        bad.append(line)
print(json.dumps(bad))
"""

SANITIZED = bool(os.environ.get("QUORVEX_SANITIZED"))


def test_each_case_succeeds_or_fails_as_labelled():
    # The leak probe below swallows exceptions; make sure its "!" cases really fail and the
    # others really succeed, so both paths are exercised.
    lines = [line for group in GROUPS.values() for line in group]
    r = run_python(f"LINES = {lines!r}\n" + FAILS_PROBE, timeout=120)
    assert r.returncode == 0, r.stderr[-3000:]
    assert json.loads(r.stdout) == []


@pytest.mark.parametrize("group", list(GROUPS))
def test_repeated_calls_keep_memory_flat(group):
    r = run_python(f"LINES = {GROUPS[group]!r}\n" + GROUP_PROBE, timeout=600)
    assert r.returncode == 0, r.stderr[-3000:]
    found = json.loads(r.stdout)
    # Growth per 3000 calls: one leaked object per call would be tens of kilobytes.
    grown = {line: n for line, n in found["python"].items() if n > 8192}
    assert grown == {}
    print(group, "largest growth per 3000 calls:", max(found["python"].values()), "bytes;",
          "resident:", found["rss"], "bytes")
    if not SANITIZED:  # the sanitizer's quarantine holds freed blocks back
        assert found["rss"] < 4 << 20, f"resident size grew by {found['rss']} bytes"


MIXED = PRELUDE + r"""
fs = [lambda: v + e, lambda: v.sum(), lambda: v.sin(), lambda: v.tolist(),
      lambda: m.matmul(m.transpose()), lambda: v.reshape([2, 2]), lambda: v / z,
      lambda: repr(v), lambda: q.zeros([2]).reshape([3]), lambda: v + 'x', lambda: v.get(9),
      lambda: v.prod(), lambda: q.array([1.0, 2.0], 0.5), lambda: v.cumsum().dot(e)]
for i in range(20000):
    call(fs[i % len(fs)])
gc.collect()
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
for i in range(ITERATIONS):
    call(fs[i % len(fs)])
gc.collect()
print(json.dumps({'peak_growth_kb': resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - peak}))
"""


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's quarantine holds freed blocks back")
def test_million_mixed_calls_do_not_raise_peak_rss():
    r = run_python("ITERATIONS = 1_000_000\n" + MIXED, timeout=900)
    assert r.returncode == 0, r.stderr[-3000:]
    growth = json.loads(r.stdout)["peak_growth_kb"]
    print(f"peak RSS growth over 1e6 mixed calls: {growth} KiB")
    assert growth < 2048
