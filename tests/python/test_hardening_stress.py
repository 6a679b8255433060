"""Many Python threads on shared arrays: lock-releasing operators, lock-holding methods,
pooled reductions, matmul and elementary functions at once, while references are dropped.
Every result must equal the single-threaded one bit for bit."""
import json

import pytest

from conftest import run_python

STRESS = r"""
import json, math, threading, time
from array import array
import _quorvex as q

def bits(a):
    # Midpoints and radii as raw bytes: NaN payloads and -0.0 compare exactly.
    return array('d', a.values()).tobytes() + array('d', a.radii()).tobytes()

def pattern(n, seed):
    # Deterministic values with specials, so every kernel path sees NaN, inf and -0.0.
    base = [math.sin(seed + i * 0.37) * 10.0 ** ((i * 7) % 9 - 4) for i in range(97)]
    base[5], base[11], base[23], base[42] = math.nan, math.inf, -0.0, 0.0
    return [base[i % 97] for i in range(n)]

N = 40000  # above both pooled thresholds (32768 for operators, 32767 for functions)
a = q.array(pattern(N, 1), 1e-3)
b = q.array(pattern(N, 2), 0.5) * q.array(pattern(N, 3), 0.25)   # non-uniform radii
c = q.array(pattern(N, 4), 2.0)                                   # divisors containing zero
m1 = q.array(pattern(300 * 24, 5), 1e-6).reshape([300, 24])       # 300 rows: pooled matmul
m2 = q.array(pattern(24 * 7, 6), 0.0).reshape([24, 7])
small = q.array(pattern(64, 7), 0.125)

ops = {
    'add': lambda s: s['a'] + s['b'],
    'sub': lambda s: s['b'] - s['a'],
    'mul': lambda s: s['a'] * s['b'],
    'div_directed': lambda s: s['a'] / s['c'],
    'scalar_rsub': lambda s: 2.5 - s['b'],
    'sin': lambda s: s['a'].sin(),
    'exp': lambda s: s['b'].exp(),
    'ln': lambda s: s['c'].ln(),
    'matmul': lambda s: s['m1'].matmul(s['m2']),
    'sum': lambda s: s['a'].sum(),
    'prod': lambda s: s['small'].prod(),
    'var': lambda s: s['b'].var(),
    'dot': lambda s: s['a'].dot(s['c']),
    'cumsum': lambda s: s['small'].cumsum(),
    'neg_abs': lambda s: abs(-s['c']),
    'transpose': lambda s: s['m1'].transpose(),
}
shared = {'a': a, 'b': b, 'c': c, 'm1': m1, 'm2': m2, 'small': small}

def fingerprint(r):
    return bits(r) if isinstance(r, q.IntervalArray) else array('d', r).tobytes()

expected = {name: fingerprint(op(shared)) for name, op in ops.items()}
names = sorted(ops)
stop = time.monotonic() + DURATION
counts, errors = [0] * 8, []

def worker(k):
    i = k
    try:
        while time.monotonic() < stop:
            name = names[i % len(names)]
            i += 3
            got = fingerprint(ops[name](dict(shared)))
            if got != expected[name]:
                errors.append('mismatch in ' + name)
                return
            counts[k] += 1
    except BaseException as e:
        errors.append(repr(e))

def dropper():
    # Replaces the shared operands by new array objects over the same storage: the old objects
    # lose their last Python reference while other threads are inside operations on them.
    j = 0
    while time.monotonic() < stop:
        key = ('a', 'b', 'c', 'm1', 'small')[j % 5]
        j += 1
        old = shared[key]
        shared[key] = old.copy() if j % 2 else old.reshape(old.shape())
        del old

threads = [threading.Thread(target=worker, args=(k,)) for k in range(6)]
threads += [threading.Thread(target=dropper) for _ in range(2)]
start = time.monotonic()
for t in threads: t.start()
for t in threads: t.join()
print(json.dumps({'ops': sum(counts), 'seconds': time.monotonic() - start,
                  'per_thread': counts[:6], 'errors': errors[:5]}))
"""


@pytest.mark.parametrize("threads", ["2", "5"])
def test_mixed_threads_match_serial_results(threads):
    r = run_python("DURATION = 10.0\n" + STRESS, {"RAYON_NUM_THREADS": threads}, timeout=240)
    assert r.returncode == 0, r.stderr[-3000:]
    stats = json.loads(r.stdout.strip().splitlines()[-1])
    assert stats["errors"] == []
    # Every worker made progress: none was starved or stuck behind a lock.
    assert min(stats["per_thread"]) > 0, stats
    print(f"stress RAYON_NUM_THREADS={threads}: {stats['ops']} ops in "
          f"{stats['seconds']:.1f} s = {stats['ops'] / stats['seconds']:.0f} ops/s")
