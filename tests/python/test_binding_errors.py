"""How failures reach Python: PanicException, core error values, stderr diagnostics."""
import pytest

import _quorvex as qv
from conftest import run_python


def panic_of(fn, *args):
    with pytest.raises(BaseException) as info:
        fn(*args)
    e = info.value
    assert type(e).__name__ == "PanicException"
    return e


def test_panic_exception_class():
    e = panic_of(qv.arange, 0.0, 1.0, 0.0)
    cls = type(e)
    assert cls.__bases__ == (BaseException,)
    assert not issubclass(cls, Exception)
    assert cls.__module__ == "_quorvex" and cls.__qualname__ == "PanicException"
    assert cls.__doc__
    assert e.args == ("arange: step cannot be zero",)
    assert str(e) == "arange: step cannot be zero"
    # One class for every panic, not one per raise.
    assert type(panic_of(qv.arange(0, 3).transpose)) is cls


def test_panic_passes_except_exception():
    caught = None
    try:
        try:
            qv.zeros([2]).reshape([3])
        except Exception:  # must not catch it
            caught = "Exception"
    except BaseException as e:
        caught = type(e).__name__
    assert caught == "PanicException"


@pytest.mark.parametrize("call,message", [
    (lambda: qv.arange(0, 6).reshape([4, 2]),
     "assertion `left == right` failed: cannot reshape array of size 6 into shape [4, 2]"
     "\n  left: 6\n right: 8"),
    (lambda: qv.arange(0, 3).transpose(),
     "assertion `left == right` failed: transpose only supports 2D arrays\n  left: 1\n right: 2"),
    (lambda: qv.arange(1, 2, -0.0), "arange: step cannot be zero"),
    (lambda: qv.zeros([2**59]), "invalid layout: LayoutError"),
])
def test_panic_messages_are_the_assertion_text(call, message):
    assert str(panic_of(call)) == message


def test_failed_call_leaves_inputs_intact():
    a = qv.arange(0, 6)
    panic_of(a.reshape, [4, 2])
    assert a.shape() == [6] and a.values() == [0.0, 1.0, 2.0, 3.0, 4.0, 5.0]


@pytest.mark.parametrize("call,cls,message", [
    (lambda: qv.array([1.0]).get(1), IndexError, "index 1 out of range for array of length 1"),
    (lambda: qv.array([1.0]).radius(1), IndexError, "index out of range"),
    (lambda: qv.array([1.0])[1], IndexError, "index out of range"),
    (lambda: qv.zeros([2**40, 2**40]), ValueError, None),
    (lambda: qv.zeros([2**58]), MemoryError, None),
])
def test_core_error_values_become_their_classes(call, cls, message):
    with pytest.raises(cls) as info:
        call()
    assert type(info.value) is cls
    if message is not None:
        assert str(info.value) == message
    else:
        assert str(info.value)  # a message saying what was too large


def test_stderr_diagnostic_names_location_and_message():
    r = run_python(
        "import _quorvex as q\n"
        "try:\n"
        "    q.arange(0, 6).reshape([4, 2])\n"
        "except BaseException as e:\n"
        "    print(type(e).__name__)\n")
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == "PanicException"
    err = r.stderr
    assert "src/array/shape_ops.cpp:" in err
    assert "cannot reshape array of size 6 into shape [4, 2]\n  left: 6\n right: 8" in err


def test_uncaught_panic_ends_the_program_with_a_traceback():
    r = run_python("import _quorvex as q\nq.arange(0, 1, 0)\nprint('unreachable')\n")
    assert r.returncode == 1
    assert "unreachable" not in r.stdout
    assert "_quorvex.PanicException: arange: step cannot be zero" in r.stderr


def test_panic_with_lock_released_reacquires_it():
    # The count check of a + b fails while the lock is released; the raise must
    # happen with the lock held again, and other threads must keep running.
    r = run_python(
        "import threading, _quorvex as q\n"
        "a, b = q.zeros([2]), q.zeros([3])\n"
        "counter = [0]\n"
        "stop = threading.Event()\n"
        "def spin():\n"
        "    while not stop.is_set():\n"
        "        counter[0] += 1\n"
        "t = threading.Thread(target=spin); t.start()\n"
        "kinds = set()\n"
        "for _ in range(2000):\n"
        "    for op in (a.__add__, a.__sub__, a.__mul__, a.__truediv__):\n"
        "        try:\n"
        "            op(b)\n"
        "        except BaseException as e:\n"
        "            kinds.add(type(e).__name__)\n"
        "stop.set(); t.join()\n"
        "print(sorted(kinds), counter[0] > 0)\n")
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
    assert type(info.value) is TypeError
    assert str(info.value) == "argument 'value': custom"
