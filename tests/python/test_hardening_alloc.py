"""Allocation failure: under an address-space limit, arrays too large for it raise
MemoryError cleanly and the process keeps working."""
import os

import pytest

from conftest import run_python

pytestmark = pytest.mark.skipif(
    bool(os.environ.get("QUORVEX_SANITIZED")),
    reason="the sanitizers' shadow memory needs an unlimited address space")

LIMITED = r"""
import resource, sys
import _quorvex as q
q.num_threads()  # the pool's thread stacks are reserved before the limit
with open('/proc/self/statm') as f:
    base = int(f.read().split()[0]) * 4096
limit = base + (1536 << 20)
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
BIG = 200_000_000            # 3.2 GB: never fits
HALF = 60_000_000            # 0.96 GB: fits once, not twice
if NEEDS_HALF:
    a = q.zeros([HALF])
    m = a.reshape([HALF // 4, 4])
try:
    CALL
    print('no error')
except MemoryError:
    print('MemoryError')
except BaseException as e:
    print('other', type(e).__name__, e)
# Afterwards the process works normally: a pooled operation and a small exact result.
b = q.full([40000], 0.5)
r = (b + b).sum()
print('after', r == (40000.0, 0.0), q.array([1.0, 2.0], 0.5).tolist())
"""

CASES = [
    ("zeros", "q.zeros([BIG])", False),
    ("ones", "q.ones([BIG, 1])", False),
    ("full", "q.full([BIG], 2.0, 0.5)", False),
    ("linspace", "q.linspace(0.0, 1.0, BIG)", False),
    ("arange", "q.arange(0.0, float(BIG), 1.0)", False),
    ("add", "a + a", True),
    ("scalar-mul", "a * 2.0", True),
    ("divide", "a / 3.0", True),
    ("negate", "-a", True),
    ("sin", "a.sin()", True),
    ("sqrt", "a.sqrt()", True),
    ("cumsum", "a.cumsum()", True),
    ("scale", "a.scale(2.0)", True),
    ("transpose", "m.transpose()", True),
    ("matmul", "m.matmul(q.ones([4, 4]))", True),
    ("values", "a.values()", True),
    ("tolist", "a.tolist()", True),
]


@pytest.mark.parametrize("call,needs_half", [(c, h) for _, c, h in CASES],
                         ids=[n for n, _, _ in CASES])
def test_too_large_raises_memory_error_and_process_recovers(call, needs_half):
    code = LIMITED.replace("CALL", call).replace("NEEDS_HALF", str(needs_half))
    r = run_python(code, {"RAYON_NUM_THREADS": "2"}, timeout=240)
    assert r.returncode == 0, r.stderr[-3000:]
    lines = r.stdout.strip().splitlines()
    assert lines[0] == "MemoryError"
    assert lines[1] == "after True [(1.0, 0.5), (2.0, 0.5)]"
