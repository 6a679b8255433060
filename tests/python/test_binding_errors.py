"""How failures reach Python: PanicException, core error values, stderr diagnostics."""
import pytest

import _quorvex as qv
from conftest import run_python


def panic_of(call):
    with pytest.raises(BaseException) as info:
        call()
    assert type(info.value).__name__ == "PanicException"
    return info.value


@pytest.mark.parametrize("call,message", [
    (lambda: qv.arange(0, 6).reshape([4, 2]),
     "assertion `left == right` failed: cannot reshape array of size 6 into shape [4, 2]"
     "\n  left: 6\n right: 8"),
    (lambda: qv.arange(0, 3).transpose(),
     "assertion `left == right` failed: transpose only supports 2D arrays\n  left: 1\n right: 2"),
    (lambda: qv.arange(1, 2, -0.0), "arange: step cannot be zero"),
    (lambda: qv.zeros([2**59]), "invalid layout: LayoutError"),
])
def test_panics_carry_the_assertion_text(call, message):
    e = panic_of(call)
    assert e.args == (message,)
    cls = type(e)
    assert cls.__bases__ == (BaseException,) and not issubclass(cls, Exception)
    assert (cls.__module__, cls.__qualname__) == ("_quorvex", "PanicException")
    assert cls is type(panic_of(lambda: qv.arange(0, 1, 0)))  # created once


def test_panic_passes_except_exception_and_leaves_input_intact():
    a = qv.arange(0, 6)
    with pytest.raises(BaseException):
        try:
            a.reshape([4, 2])
        except Exception:
            pytest.fail("PanicException was caught as an Exception")
    assert a.shape() == [6] and a.values() == [0.0, 1.0, 2.0, 3.0, 4.0, 5.0]


@pytest.mark.parametrize("call,cls,message", [
    (lambda: qv.array([1.0]).get(1), IndexError, "index 1 out of range for array of length 1"),
    (lambda: qv.array([1.0]).radius(1), IndexError, "index out of range"),
    (lambda: qv.zeros([2**40, 2**40]), ValueError, "too large"),
    (lambda: qv.zeros([2**58]), MemoryError, "memory allocation of"),
])
def test_core_error_values_become_their_classes(call, cls, message):
    with pytest.raises(cls) as info:
        call()
    assert type(info.value) is cls and message in str(info.value)


def test_stderr_diagnostic_and_uncaught_panic():
    r = run_python(
        "import _quorvex as q\n"
        "try:\n"
        "    q.arange(0, 6).reshape([4, 2])\n"
        "except BaseException as e:\n"
        "    print(type(e).__name__)\n"
        "q.arange(0, 1, 0)\n"
        "print('unreachable')\n")
    assert r.returncode == 1 and r.stdout == "PanicException\n"
    assert "src/array/shape_ops.cpp:" in r.stderr
    assert "cannot reshape array of size 6 into shape [4, 2]\n  left: 6\n right: 8" in r.stderr
    assert "_quorvex.PanicException: arange: step cannot be zero" in r.stderr


def test_panic_while_lock_released_reacquires_it():
    # The count check of a + b fails with the lock released; the raise must
    # come with the lock held again while another thread keeps running.
    r = run_python(
        "import os, threading, _quorvex as q\n"
        "os.dup2(os.open(os.devnull, os.O_WRONLY), 2)\n"
        "a, b = q.zeros([2]), q.zeros([3])\n"
        "count, stop = [0], threading.Event()\n"
        "def spin():\n"
        "    while not stop.is_set():\n"
        "        count[0] += 1\n"
        "t = threading.Thread(target=spin); t.start()\n"
        "kinds = set()\n"
        "for _ in range(2000):\n"
        "    for op in (a.__add__, a.__sub__, a.__mul__, a.__truediv__):\n"
        "        try:\n"
        "            op(b)\n"
        "        except BaseException as e:\n"
        "            kinds.add(type(e).__name__)\n"
        "stop.set(); t.join()\n"
        "print(sorted(kinds), count[0] > 0)\n")
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == "['PanicException'] True"


def test_type_error_subclass_from_conversion_is_wrapped():
    class MyTypeError(TypeError):
        pass

    class Bad:
        def __float__(self):
            raise MyTypeError("custom")

    with pytest.raises(TypeError) as info:
        qv.full([1], Bad())
    assert type(info.value) is TypeError and str(info.value) == "argument 'value': custom"
