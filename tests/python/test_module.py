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
FUNCTIONS = {
    "array": "(values, error=0.0)",
    "zeros": "(shape)",
    "ones": "(shape)",
    "full": "(shape, value, error=0.0)",
    "linspace": "(start, stop, num=50)",
    "arange": "(start, stop, step=1.0)",
    "num_threads": "()",
}


def test_all_lists_attributes_in_insertion_order():
    assert _quorvex.__all__ == ["IntervalArray", "array", "zeros", "ones", "full",
                                "linspace", "arange", "num_threads", "__version__"]
    # Everything in __all__ is really there, and nothing public beyond it.
    public = [k for k in vars(_quorvex) if not k.startswith("_")]
    assert sorted(public) == sorted(n for n in _quorvex.__all__ if not n.startswith("_"))


def test_version_and_module_doc():
    assert _quorvex.__version__ == "0.1.0"
    assert type(_quorvex.__version__) is str
    assert _quorvex.__doc__ == "Python module definition."


def test_reimport_after_removal_gives_same_module():
    first = sys.modules.pop("_quorvex")
    try:
        import _quorvex as again
        assert again is first
        assert again.IntervalArray is first.IntervalArray
    finally:
        sys.modules["_quorvex"] = first


def test_reimport_in_fresh_process_keeps_working():
    r = run_python(
        "import sys, _quorvex as a\n"
        "del sys.modules['_quorvex']\n"
        "import _quorvex as b\n"
        "assert a is b, 'new module object'\n"
        "print(b.zeros([2]).shape())\n")
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == "[2]"


def test_subinterpreter_import_is_refused():
    r = run_python(
        "import _quorvex, _xxsubinterpreters as interp\n"
        "sid = interp.create()\n"
        "try:\n"
        "    interp.run_string(sid, 'import _quorvex')\n"
        "except interp.RunFailedError as e:\n"
        "    print('refused:', e)\n"
        "else:\n"
        "    print('imported')\n"
        "interp.destroy(sid)\n"
        "print(_quorvex.zeros([1]).shape())\n")
    assert r.returncode == 0, r.stderr
    out = r.stdout.splitlines()
    assert out[0].startswith("refused: <class 'ImportError'>: ")
    assert "sub-interpreters" in out[0]
    assert out[1] == "[1]"  # the main interpreter's module is unaffected


@pytest.mark.parametrize("name,sig", FUNCTIONS.items())
def test_function_signatures(name, sig):
    f = getattr(_quorvex, name)
    assert f.__text_signature__ == sig
    assert f.__module__ == "_quorvex"
    assert f.__name__ == name
    assert f.__self__ is _quorvex


def test_function_docs():
    assert _quorvex.num_threads.__doc__ == "Get the number of Rayon worker threads."
    for name in FUNCTIONS:
        if name != "num_threads":
            assert getattr(_quorvex, name).__doc__ is None


def test_method_table_order():
    # The type dict keeps the method table's order.
    in_dict = [k for k in vars(_quorvex.IntervalArray) if k in set(METHODS)]
    assert in_dict == METHODS


@pytest.mark.parametrize("name", METHODS)
def test_method_signatures(name):
    m = getattr(_quorvex.IntervalArray, name)
    arg = ONE_ARG.get(name)
    assert m.__text_signature__ == ("($self, %s)" % arg if arg else "($self)")
    if name == "scale":
        assert m.__doc__ == "Scale the array by an exact scalar (fast path)."
    else:
        assert m.__doc__ is None


@pytest.mark.parametrize("name", [m for m in METHODS if m not in ONE_ARG])
def test_noarg_methods_refuse_arguments(name):
    a = _quorvex.zeros([1])
    with pytest.raises(TypeError, match="takes no arguments"):
        getattr(a, name)(1)


def test_class_identity_and_doc():
    cls = _quorvex.IntervalArray
    assert cls.__name__ == "IntervalArray"
    assert cls.__qualname__ == "IntervalArray"
    assert cls.__module__ == "_quorvex"
    assert cls.__text_signature__ == "(values, error=0.0)"
    doc = cls.__doc__
    assert doc and "\n" not in doc and doc.endswith(".")
    assert "error bounds" in doc


def test_shape_is_a_method_not_a_property():
    a = _quorvex.zeros([2, 3])
    assert callable(a.shape) and a.shape.__self__ is a
    assert a.shape() == [2, 3]
    assert isinstance(a.ndim(), int) and a.ndim() == 2


def test_num_threads():
    n = _quorvex.num_threads()
    assert type(n) is int and n >= 1
    with pytest.raises(TypeError, match=r"num_threads\(\) takes no arguments \(1 given\)"):
        _quorvex.num_threads(1)


def test_truth_value_from_length():
    assert bool(_quorvex.zeros([0])) is False
    assert bool(_quorvex.zeros([2])) is True
    assert bool(_quorvex.zeros([])) is True  # zero-dimensional: one element
    assert bool(_quorvex.zeros([3, 0])) is False


def test_not_iterable_and_no_item_protocol():
    a = _quorvex.zeros([2])
    with pytest.raises(TypeError, match="not iterable"):
        iter(a)
    with pytest.raises(TypeError, match="not iterable"):
        list(a)
    assert not hasattr(a, "__iter__")
    assert not hasattr(a, "__contains__")


def test_equality_and_hash_are_by_identity():
    a = _quorvex.zeros([2])
    b = a.copy()
    assert (a == b) is False
    assert (a == a) is True
    assert (a != b) is True
    assert hash(a) == hash(a) and hash(a) != hash(b)
    with pytest.raises(TypeError):
        a < b


@pytest.mark.parametrize("expr", ["a @ b", "a ** b", "a // b", "a % b", "a ** 2",
                                  "divmod(a, b)", "~a", "+a", "a << 1"])
def test_missing_operator_slots(expr):
    a = _quorvex.zeros([2, 2])
    b = _quorvex.zeros([2, 2])
    with pytest.raises(TypeError, match="unsupported operand|bad operand"):
        eval(expr)


def test_no_inplace_slots_so_augmented_assignment_rebinds():
    a = _quorvex.ones([2])
    keep = a
    a += 1.0
    assert a is not keep
    assert keep.values() == [1.0, 1.0]
    assert a.values() == [2.0, 2.0]
    for name in ("__iadd__", "__isub__", "__imul__", "__itruediv__", "__matmul__",
                 "__lt__", "__eq__", "__bool__", "__iter__", "__getitem__", "__len__"):
        own = name in vars(_quorvex.IntervalArray)
        assert own == (name in ("__getitem__", "__len__")), name


def test_instances_have_no_dict_or_weakref():
    a = _quorvex.zeros([1])
    with pytest.raises(AttributeError):
        a.extra = 1
    with pytest.raises(TypeError):
        import weakref
        weakref.ref(a)


class Sub(_quorvex.IntervalArray):
    pass


def test_subclass_constructs_through_new():
    s = Sub([1.0, 2.0], 0.5)
    assert type(s) is Sub
    assert isinstance(s, _quorvex.IntervalArray)
    assert s.tolist() == [(1.0, 0.5), (2.0, 0.5)]
    s.tag = "subclasses get a dict"
    assert s.tag == "subclasses get a dict"
    # Results of methods are plain IntervalArray objects.
    assert type(s.copy()) is _quorvex.IntervalArray


def test_subclass_operands_accepted():
    s = Sub([1.0, 2.0])
    a = _quorvex.array([3.0, 4.0])
    assert s.dot(a) == a.dot(s)
    assert type(s + a) is _quorvex.IntervalArray
    assert (a + s).values() == [4.0, 6.0]
    assert (2.0 * s).values() == [2.0, 4.0]
    assert s.reshape([2, 1]).shape() == [2, 1]
    assert len(s) == 2 and s[1] == (2.0, 0.0)


def test_subclass_instances_are_freed():
    import gc
    import weakref

    class Tracked(_quorvex.IntervalArray):
        pass

    t = Tracked([1.0])
    r = weakref.ref(t)
    del t
    gc.collect()
    assert r() is None


def test_no_way_to_an_uninitialised_instance():
    # Every instance must carry an array value: bypassing tp_new is refused.
    with pytest.raises(TypeError, match="is not safe"):
        object.__new__(_quorvex.IntervalArray)
    with pytest.raises(TypeError, match="is not safe"):
        object.__new__(Sub)
    import copy
    import pickle
    a = _quorvex.array([1.0])
    with pytest.raises(TypeError):
        pickle.dumps(a)
    with pytest.raises(TypeError):
        copy.copy(a)
    assert type(_quorvex.IntervalArray.__new__(Sub, [2.0])) is Sub
    with pytest.raises(TypeError, match="not a subtype"):
        _quorvex.IntervalArray.__new__(int, [1.0])
