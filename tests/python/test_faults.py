"""Faults a hostile user found: each test reproduces one and pins the fixed behaviour."""
import os

import numpy as np
import pytest

import _quorvex as core
from conftest import run_python

# A daemon thread loops on an operation that releases the interpreter lock while the main
# thread lets the interpreter exit: finalisation ends the thread with a forced unwind when
# it takes the lock back, and that unwind must reach the thread's start without anything
# catching it or terminating the process.
DAEMON_AT_EXIT = r"""
import threading, time
import numpy as np
import quorvex as qv
m = np.linspace(1, 2, 2_000_000)
x = qv.BallArray(m, 1e-4)
s = qv.core._storage_for_overwrite(len(m))
work = {"add": lambda: x + x, "construct": lambda: qv.BallArray(m, m),
        "copy": lambda: qv.core._copy_into(s, 0, m)}[WORK]
threading.Thread(target=lambda: [work() for _ in iter(int, 1)], daemon=True).start()
time.sleep(0.5)
"""


@pytest.mark.skipif(bool(os.environ.get("QUORVEX_SANITIZED")),
                    reason="ASan's no-return hook fails its own stack check on a thread that "
                           "finalisation unwinds")
@pytest.mark.parametrize("work", ["add", "construct", "copy"])
def test_daemon_thread_in_released_section_does_not_abort_exit(work):
    for _ in range(3):
        r = run_python(f"WORK = {work!r}\n" + DAEMON_AT_EXIT, timeout=120)
        assert (r.returncode, r.stderr) == (0, "")


@pytest.mark.parametrize("start, part", [(3, slice(0, 97)), (0, slice(3, 100)),
                                         (0, slice(None, None, -1))],
                         ids=["up", "down", "reversed"])
def test_copy_into_handles_a_source_overlapping_the_storage(start, part):
    data = np.arange(100.0) * 1.5 - 7.0
    storage = core._storage_for_overwrite(50)
    core._copy_into(storage, 0, data)
    # A view of the storage itself is copied into it, as if read completely first.
    source = memoryview(storage)[part]
    core._copy_into(storage, start, source)
    source.release()
    expected = data.copy()
    expected[start:start + len(data[part])] = data[part]
    assert bytes(storage) == expected.tobytes()


def test_a_fresh_storage_never_shows_what_its_allocation_held():
    n = 1000
    core.full([n], 1.5, 1.5)  # freed at once: the storages below may get its memory back
    with pytest.raises(ValueError, match="^the storage has not been written completely$"):
        core._from_storage(core._storage_for_overwrite(n), [n])
    core.full([n], 1.5, 1.5)
    assert bytes(core._storage_for_overwrite(n)) == bytes(16 * n)
    # Written in part by _copy_into: an export zero-fills the rest, which then counts as written.
    core.full([n], 1.5, 1.5)
    storage = core._storage_for_overwrite(n)
    core._copy_into(storage, 0, np.arange(float(n)))
    with pytest.raises(ValueError, match="not been written completely"):
        core._from_storage(storage, [n])
    memoryview(storage).release()
    a = core._from_storage(storage, [n])
    assert a.values() == list(np.arange(float(n))) and a.radii() == [0.0] * n


def test_numbers_at_the_top_of_the_double_range_add_as_exact_balls():
    import quorvex as qv
    x = qv.BallArray([1.0, -2.0], 0.5)
    for s in (2.0**1023, np.nextafter(2.0**1023, 0), np.nextafter(2.0**1023, np.inf), -2.0**1023):
        s = float(s)
        for got, want in ((x + s, x.mid + s), (s + x, s + x.mid), (s - x, s - x.mid),
                          (x - s, x.mid - s)):
            assert got.mid.tolist() == want.tolist() and got.rad.tolist() == [0.5, 0.5]


def test_a_ballarray_refuses_the_negative_radii_of_an_interval_array():
    import quorvex as qv
    with pytest.raises(ValueError, match=r"^BallArray\(\) needs non-negative radii, but rad is "
                                         r"-1\.0 at index \(0,\)$"):
        qv.BallArray(core.array([1.0, 2.0], -1.0))


def test_products_too_large_to_lay_out_are_memory_errors():
    import quorvex as qv
    a, b = qv.zeros((2**31, 0)), qv.zeros((0, 2**31))
    for call in (lambda: a @ b, lambda: a.dot(b), lambda: np.matmul(a, b)):
        with pytest.raises(MemoryError, match="too large"):
            call()


REFUSED_THREADS = r"""
#include <errno.h>
#include <pthread.h>
int pthread_create(pthread_t* t, const pthread_attr_t* a, void* (*f)(void*), void* arg) {
  (void)t; (void)a; (void)f; (void)arg;
  return EAGAIN;
}
"""


def test_a_pool_that_cannot_start_is_a_runtime_error(tmp_path):
    import shutil
    import subprocess
    compiler = shutil.which("cc") or shutil.which("gcc")
    if compiler is None:
        pytest.skip("no C compiler for the preloaded shim")
    (tmp_path / "no_threads.c").write_text(REFUSED_THREADS)
    shim = tmp_path / "no_threads.so"
    subprocess.run([compiler, "-shared", "-fPIC", "-o", str(shim), str(tmp_path / "no_threads.c")],
                   check=True)
    code = ("import numpy as np, quorvex as qv\n"
            "x = qv.BallArray(np.linspace(1, 2, 100000), 1e-3)\n"
            "for f in (x.sin, lambda: x + x, lambda: x.reshape(100, 1000).sum(axis=0)):\n"
            "    try:\n        f()\n    except RuntimeError as e:\n        print(e)\n")
    r = run_python(code, {"LD_PRELOAD": str(shim), "RAYON_NUM_THREADS": "2",
                          "OPENBLAS_NUM_THREADS": "1", "OMP_NUM_THREADS": "1"})
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert len(lines) == 3 and all(line.startswith("quorvex could not start its worker threads: "
                                                   "The global thread pool has not been initialized.")
                                   for line in lines), r.stdout
