"""Forking after the worker pool has started: the child must work (with a new pool) or fail
clearly, never hang waiting for workers that did not survive the fork."""
import shutil
import subprocess

import pytest

from conftest import run_python

SETUP = r"""
import os, sys, threading, time
from array import array
import _quorvex as q

def bits(r):
    if isinstance(r, q.IntervalArray):
        return array('d', r.values()).tobytes() + array('d', r.radii()).tobytes()
    return array('d', r).tobytes()

a = q.array([((i * 37) % 101) - 50.5 for i in range(40000)], 0.25)
b = q.array([((i * 11) % 7) - 3.0 for i in range(40000)], 0.5)
m = q.array([float(i % 13) for i in range(300 * 4)], 0.0).reshape([300, 4])
work = [lambda: a + b, lambda: a / b, lambda: a.sin(), lambda: m.matmul(m.transpose()),
        lambda: b.exp().sum()]
expected = [bits(f()) for f in work]   # also starts the pool in the parent
"""

FORK_CHILD = SETUP + r"""
busy = threading.Event()
def keep_pool_busy():
    # Forks while another thread is inside pooled work: the child inherits a pool whose
    # queues and sleeping workers are in the middle of an operation.
    while not busy.is_set():
        a * b
t = threading.Thread(target=keep_pool_busy) if BUSY else None
if t: t.start(); time.sleep(0.2)
pid = os.fork()
if pid == 0:
    ok = all(bits(f()) == e for f, e in zip(work, expected)) and q.num_threads() == THREADS
    os._exit(0 if ok else 3)
busy.set()
if t: t.join()
deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    done, status = os.waitpid(pid, os.WNOHANG)
    if done:
        print('exit', os.waitstatus_to_exitcode(status))
        break
    time.sleep(0.05)
else:
    os.kill(pid, 9)
    os.waitpid(pid, 0)
    print('hang')
"""

MULTIPROCESSING = SETUP + r"""
import multiprocessing as mp

def child_task(k):
    return bits(work[k % len(work)]())

if __name__ == '__main__':
    with mp.get_context('fork').Pool(2) as pool:
        got = pool.map_async(child_task, range(10)).get(timeout=90)
    print('ok' if got == [expected[k % len(work)] for k in range(10)] else 'mismatch')
"""


@pytest.mark.parametrize("busy", [False, True], ids=["idle-pool", "busy-pool"])
@pytest.mark.parametrize("threads", [1, 3])
def test_forked_child_recreates_the_pool(busy, threads):
    code = f"BUSY = {busy}\nTHREADS = {threads}\n" + FORK_CHILD
    r = run_python(code, {"RAYON_NUM_THREADS": str(threads)}, timeout=180)
    assert r.returncode == 0, r.stderr[-3000:]
    # Exit status 3 would mean wrong results or thread count in the child.
    assert r.stdout.strip().splitlines()[-1] == "exit 0"


def test_multiprocessing_fork_workers_compute_the_same_bits(tmp_path):
    script = tmp_path / "mp_fork.py"
    script.write_text(MULTIPROCESSING)
    r = run_python(f"import runpy; runpy.run_path({str(script)!r}, run_name='__main__')",
                   {"RAYON_NUM_THREADS": "2"}, timeout=180)
    assert r.returncode == 0, r.stderr[-3000:]
    assert r.stdout.strip().splitlines()[-1] == "ok"


# Makes every fork-handler registration slow, so that a fork can land between the first
# parallel call starting the pool and that call registering the pool's fork handler.
SLOW_ATFORK = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <unistd.h>
typedef int (*register_fn)(void (*)(void), void (*)(void), void (*)(void), void*);
int __register_atfork(void (*prepare)(void), void (*parent)(void), void (*child)(void),
                      void* dso) {
  usleep(1000000);
  register_fn next = (register_fn)dlsym(RTLD_NEXT, "__register_atfork");
  return next(prepare, parent, child, dso);
}
"""

FORK_DURING_FIRST_CALL = r"""
import os, threading, time
import _quorvex as q
a = q.array([float(i) for i in range(100000)], 0.5)
# The process's first parallel call, in an operator that runs without the interpreter lock.
first = threading.Thread(target=lambda: a + a)
first.start()
time.sleep(0.3)
pid = os.fork()
if pid == 0:
    a + a
    os._exit(0)
first.join()
deadline = time.monotonic() + 30
while time.monotonic() < deadline:
    done, status = os.waitpid(pid, os.WNOHANG)
    if done:
        print('exit', os.waitstatus_to_exitcode(status))
        break
    time.sleep(0.05)
else:
    os.kill(pid, 9)
    os.waitpid(pid, 0)
    print('hang')
"""


def test_fork_while_the_first_parallel_call_starts_the_pool(tmp_path):
    compiler = shutil.which("cc") or shutil.which("gcc")
    if compiler is None:
        pytest.skip("no C compiler for the preloaded shim")
    (tmp_path / "slow_atfork.c").write_text(SLOW_ATFORK)
    shim = tmp_path / "slow_atfork.so"
    subprocess.run([compiler, "-shared", "-fPIC", "-o", str(shim), str(tmp_path / "slow_atfork.c"),
                    "-ldl"], check=True)
    r = run_python(FORK_DURING_FIRST_CALL, {"RAYON_NUM_THREADS": "2", "LD_PRELOAD": str(shim)},
                   timeout=120)
    assert r.returncode == 0, r.stderr[-3000:]
    assert r.stdout.split() == ["exit", "0"]
