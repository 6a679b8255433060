"""Module initialisation, the IntervalArray type and its tables."""
import sys

import pytest

import _quorvex
from conftest import run_python

METHODS = [
    "shape", "ndim", "max_relative_error", "max_radius", "is_exact", "is_empty",
    "get", "midpoint", "radius", "sin", "cos", "tan", "exp", "ln", "log2", "log10",
    "sqrt", "abs", "sum", "mean", "var", "std", "min_val", "max_val", "dot", "matmul",
    "cumsum", "prod", "norm", "tolist", "values", "radii", "copy", "reshape",
    "transpose", "scale",
]
ONE_ARG = {"get": "idx", "midpoint": "idx", "radius": "idx", "dot": "other",
           "matmul": "other", "reshape": "shape", "scale": "scalar"}
FUNCTIONS = {"array": "(values, error=0.0)", "zeros": "(shape)", "ones": "(shape)",
             "full": "(shape, value, error=0.0)", "linspace": "(start, stop, num=50)",
             "arange": "(start, stop, step=1.0)", "num_threads": "()"}


class Sub(_quorvex.IntervalArray):
    pass


def test_module_attributes():
    assert _quorvex.__all__ == ["IntervalArray", "array", "zeros", "ones", "full",
                                "linspace", "arange", "num_threads", "__version__"]
    public = {k for k in vars(_quorvex) if not k.startswith("_")}
    assert public == set(_quorvex.__all__) - {"__version__"}
    assert _quorvex.__version__ == "0.1.0" and type(_quorvex.__version__) is str
    assert _quorvex.__doc__ == "Python module definition."


def test_reimport_gives_the_same_module():
    first = sys.modules.pop("_quorvex")
    try:
        import _quorvex as again
        assert again is first
    finally:
        sys.modules["_quorvex"] = first


def test_subinterpreter_import_is_refused():
    r = run_python(
        "import _quorvex, _xxsubinterpreters as interp\n"
        "sid = interp.create()\n"
        "try:\n"
        "    interp.run_string(sid, 'import _quorvex')\n"
        "except interp.RunFailedError as e:\n"
        "    print('refused:', e)\n"
        "interp.destroy(sid)\n"
        "print(_quorvex.zeros([1]).shape())\n")
    assert r.returncode == 0, r.stderr
    refused, still_working = r.stdout.splitlines()
    assert refused.startswith("refused: <class 'ImportError'>: ")
    assert "sub-interpreters" in refused
    assert still_working == "[1]"


@pytest.mark.parametrize("name,sig", FUNCTIONS.items())
def test_function_signatures(name, sig):
    f = getattr(_quorvex, name)
    assert (f.__text_signature__, f.__module__, f.__name__) == (sig, "_quorvex", name)
    assert f.__self__ is _quorvex
    doc = "Get the number of Rayon worker threads." if name == "num_threads" else None
    assert f.__doc__ == doc


def test_method_table():
    cls = _quorvex.IntervalArray
    assert [k for k in vars(cls) if k in METHODS] == METHODS  # table order
    for name in METHODS:
        m = getattr(cls, name)
        arg = ONE_ARG.get(name)
        assert m.__text_signature__ == ("($self, %s)" % arg if arg else "($self)"), name
        doc = "Scale the array by an exact scalar (fast path)." if name == "scale" else None
        assert m.__doc__ == doc, name
        if not arg:
            with pytest.raises(TypeError, match="takes no arguments"):
                getattr(_quorvex.zeros([1]), name)(1)


def test_class():
    cls = _quorvex.IntervalArray
    assert (cls.__name__, cls.__qualname__, cls.__module__) == (
        "IntervalArray", "IntervalArray", "_quorvex")
    assert cls.__text_signature__ == "(values, error=0.0)"
    assert cls.__doc__.endswith("without adding the rounding error of the computation itself.")
    a = _quorvex.zeros([2, 3])
    assert callable(a.shape) and a.shape.__self__ is a and a.shape() == [2, 3]
    with pytest.raises(AttributeError):
        a.extra = 1  # no instance dict


def test_num_threads():
    n = _quorvex.num_threads()
    assert type(n) is int and n >= 1
    with pytest.raises(TypeError, match=r"num_threads\(\) takes no arguments \(1 given\)"):
        _quorvex.num_threads(1)


@pytest.mark.parametrize("shape,truth", [([0], False), ([2], True), ([], True), ([3, 0], False)])
def test_truth_comes_from_length(shape, truth):
    assert bool(_quorvex.zeros(shape)) is truth


def test_slots_that_are_absent():
    a, b = _quorvex.zeros([2, 2]), _quorvex.zeros([2, 2])
    with pytest.raises(TypeError, match="not iterable"):
        iter(a)
    assert (a == a.copy()) is False and (a != b) is True and hash(a) != hash(b)
    for expr in ["a @ b", "a ** b", "a // b", "a % b", "~a", "+a", "a < b"]:
        with pytest.raises(TypeError):
            eval(expr)
    keep = a
    a += 1.0  # no in-place slot: rebinds to a + 1.0
    assert a is not keep and keep.values() == [0.0] * 4


def test_subclass():
    s = Sub([1.0, 2.0], 0.5)
    a = _quorvex.array([3.0, 4.0])
    assert type(s) is Sub and s.tolist() == [(1.0, 0.5), (2.0, 0.5)]
    s.tag = 1  # subclasses get a dict
    assert type(s.copy()) is _quorvex.IntervalArray
    assert s.dot(a) == a.dot(s) and len(s) == 2 and s[1] == (2.0, 0.5)
    assert type(s + a) is _quorvex.IntervalArray and (a * s).values() == (s * a).values()
    assert (2.0 * s).values() == [2.0, 4.0] and s.reshape([2, 1]).shape() == [2, 1]


def test_no_way_to_an_uninitialised_instance():
    for cls in (_quorvex.IntervalArray, Sub):
        with pytest.raises(TypeError, match="is not safe"):
            object.__new__(cls)
    # In a fresh interpreter: importing the quorvex package registers pickling.
    r = run_python("import _quorvex, copy, pickle\n"
                   "for f in (pickle.dumps, copy.copy):\n"
                   "    try:\n"
                   "        f(_quorvex.array([1.0]))\n"
                   "    except TypeError:\n"
                   "        print('refused')\n")
    assert r.stdout.split() == ["refused", "refused"], r.stderr
    assert type(_quorvex.IntervalArray.__new__(Sub, [2.0])) is Sub
