"""Faults a hostile user found: each test reproduces one and pins the fixed behaviour."""
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


@pytest.mark.parametrize("work", ["add", "construct", "copy"])
def test_daemon_thread_in_released_section_does_not_abort_exit(work):
    for _ in range(3):
        r = run_python(f"WORK = {work!r}\n" + DAEMON_AT_EXIT, timeout=120)
        assert (r.returncode, r.stderr) == (0, "")


@pytest.mark.parametrize("shift", [3, -3])
def test_copy_into_handles_a_source_overlapping_the_storage(shift):
    data = np.arange(100.0) * 1.5 - 7.0
    storage = core._storage_for_overwrite(50)
    core._copy_into(storage, 0, data)
    # The storage moves `shift` elements up or down within itself, as memmove would.
    source = memoryview(storage)[max(0, -shift):100 - max(0, shift)]
    core._copy_into(storage, max(0, shift), source)
    source.release()
    expected = data.copy()
    expected[max(0, shift):100 - max(0, -shift)] = data[max(0, -shift):100 - max(0, shift)]
    assert bytes(storage) == expected.tobytes()
