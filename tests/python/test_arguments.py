"""Argument parsing and conversion: exact messages, and which errors pass through."""
import pytest

import _quorvex as qv
from conftest import bits

A = qv.array([1.0, 2.0], 0.5)


def raises_exact(exc, text, fn, *args, **kwargs):
    with pytest.raises(exc) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc and str(info.value) == text
    return info.value


class Floaty:
    def __float__(self):
        return -1.0


class Indexy:
    def __index__(self):
        return 7


class BadFloat:
    def __float__(self):
        raise ValueError("no float here")


class ChainedFloat:
    def __float__(self):
        raise TypeError("outer") from KeyError("inner")


class Outer:
    class Inner:
        pass


class NoQualname(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise RuntimeError("unreadable")
        return super().__getattribute__(name)


class Weird(metaclass=NoQualname):
    pass


@pytest.mark.parametrize("fn,args,kwargs,text", [
    (qv.arange, (0, 1, 1, 1), {}, "arange() takes from 2 to 3 positional arguments but 4 were given"),
    (qv.zeros, ([1], [2]), {}, "zeros() takes 1 positional arguments but 2 were given"),
    (qv.IntervalArray, ([1.0], 0, 0), {},
     "IntervalArray.__new__() takes from 1 to 2 positional arguments but 3 were given"),
    (A.get, (0, 1), {}, "IntervalArray.get() takes 1 positional arguments but 2 were given"),
    (qv.full, ([2],), {}, "full() missing 1 required positional argument: 'value'"),
    (qv.full, (), {}, "full() missing 2 required positional arguments: 'shape' and 'value'"),
    (qv.arange, (), {"step": 2.0},
     "arange() missing 2 required positional arguments: 'start' and 'stop'"),
    (qv.linspace, (), {"stop": 1.0}, "linspace() missing 1 required positional argument: 'start'"),
    (A.dot, (), {}, "IntervalArray.dot() missing 1 required positional argument: 'other'"),
    (qv.array, ([1.0],), {"bad": 1}, "array() got an unexpected keyword argument 'bad'"),
    (qv.array, ([1.0],), {"values": [2.0]}, "array() got multiple values for argument 'values'"),
    (A.scale, (2.0,), {"scalar": 2.0},
     "IntervalArray.scale() got multiple values for argument 'scalar'"),
    # Order of checks: count, then keywords in the order given, then missing names.
    (qv.zeros, ([1], [2]), {"bad": 1}, "zeros() takes 1 positional arguments but 2 were given"),
    (qv.full, ([1],), {"zz": 1, "shape": [2]}, "full() got an unexpected keyword argument 'zz'"),
    (qv.full, ([1],), {"shape": [2], "zz": 1}, "full() got multiple values for argument 'shape'"),
    (qv.full, (), {"bad": 1}, "full() got an unexpected keyword argument 'bad'"),
])
def test_parser_messages(fn, args, kwargs, text):
    raises_exact(TypeError, text, fn, *args, **kwargs)


def test_keywords_and_defaults():
    assert qv.full(value=2.0, error=0.5, shape=[1, 2]).tolist() == [(2.0, 0.5)] * 2
    assert qv.linspace(stop=1.0, start=0.0, num=3).values() == [0.0, 0.5, 1.0]
    assert qv.arange(0.0, 3.0).values() == [0.0, 1.0, 2.0]  # step=1.0
    assert len(qv.linspace(0.0, 1.0)) == 50
    assert A.get(idx=1) == (2.0, 0.5) and A.reshape(shape=[2, 1]).shape() == [2, 1]


@pytest.mark.parametrize("value,expected", [
    (-1.0, -1.0), (-1, -1.0), (Floaty(), -1.0), (True, 1.0), (Indexy(), 7.0),
    (2**53 + 1, float(2**53 + 1)), (-0.0, -0.0), (float("inf"), float("inf")),
])
def test_float_conversion(value, expected):
    # -1.0 is the C API's error marker but a valid value when nothing is pending.
    assert bits(qv.array([value]).values()[0]) == bits(expected)
    assert bits(qv.array([0.0], value).radii()[0]) == bits(expected or 0.0)


@pytest.mark.parametrize("call,exc,text", [
    (lambda: qv.full([1], "x"), TypeError, "argument 'value': must be real number, not str"),
    (lambda: A.scale(None), TypeError, "argument 'scalar': must be real number, not NoneType"),
    (lambda: qv.arange(0, 1, 1j), TypeError, "argument 'step': must be real number, not complex"),
    (lambda: qv.full([1], BadFloat()), ValueError, "no float here"),
    (lambda: A.get(1.0), TypeError,
     "argument 'idx': 'float' object cannot be interpreted as an integer"),
    (lambda: qv.linspace(0, 1, "3"), TypeError,
     "argument 'num': 'str' object cannot be interpreted as an integer"),
    (lambda: A[0:1], TypeError, "argument 'idx': 'slice' object cannot be interpreted as an integer"),
    (lambda: A.get(2**64 - 1), IndexError,
     "index 18446744073709551615 out of range for array of length 2"),
    (lambda: A[-3], IndexError, "index out of range"),
    (lambda: A[-2**63], IndexError, "index out of range"),
    (lambda: A[Indexy()], IndexError, "index out of range"),
])
def test_scalar_conversion_errors(call, exc, text):
    raises_exact(exc, text, call)


@pytest.mark.parametrize("call", [
    lambda: qv.full([1], 10**400), lambda: A.get(-1), lambda: A.get(2**64), lambda: A[2**63],
    lambda: qv.zeros([-1]), lambda: qv.array([1.0, 10**400]),
])
def test_overflow_errors_pass_unprefixed(call):
    with pytest.raises(OverflowError) as info:
        call()
    assert not str(info.value).startswith("argument")


def test_wrapped_error_takes_over_the_cause():
    e = raises_exact(TypeError, "argument 'start': outer", qv.arange, ChainedFloat(), 1.0)
    assert type(e.__cause__) is KeyError
    assert raises_exact(TypeError, "argument 'value': must be real number, not str",
                        qv.full, [1], "x").__cause__ is None


class LyingLength:
    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        if i < 2:
            return 3
        raise IndexError(i)


@pytest.mark.parametrize("shape,dims", [
    ((2, 3), [2, 3]), (range(1, 3), [1, 2]), (b"\x02\x01", [2, 1]), ([], []),
    ([True, Indexy()], [1, 7]), (LyingLength(), [3, 3]),  # a length is only a hint
])
def test_shapes(shape, dims):
    assert qv.zeros(shape).shape() == dims


@pytest.mark.parametrize("call,text", [
    (lambda: qv.zeros("ab"), "Can't extract `str` to `Vec`"),
    (lambda: qv.ones(type("S", (str,), {})("1")), "Can't extract `str` to `Vec`"),
    (lambda: qv.zeros(5), "'int' object cannot be converted to 'Sequence'"),
    (lambda: A.reshape({2}), "'set' object cannot be converted to 'Sequence'"),
    (lambda: qv.zeros([2.0]), "'float' object cannot be interpreted as an integer"),
    (lambda: qv.zeros(Weird()), "'<failed to extract type name>' object cannot be converted "
                                "to 'Sequence'"),
])
def test_shape_errors(call, text):
    raises_exact(TypeError, "argument 'shape': " + text, call)


def test_float_lists():
    assert qv.array(type("L", (list,), {})([1, Floaty(), True])).values() == [1.0, -1.0, 1.0]
    raises_exact(TypeError, "argument 'values': 'tuple' object cannot be converted to 'PyList'",
                 qv.array, (1.0, 2.0))
    # The list type first, then `error`, then the items (whose errors are not wrapped).
    raises_exact(TypeError, "argument 'values': 'tuple' object cannot be converted to 'PyList'",
                 qv.array, ("x",), "bad")
    raises_exact(TypeError, "argument 'error': must be real number, not str",
                 qv.array, ["x"], "bad")
    raises_exact(TypeError, "must be real number, not list", qv.array, [[1.0]])
    raises_exact(ValueError, "no float here", qv.array, [1.0, BadFloat()])


def test_list_shrinking_during_conversion_is_safe():
    values = [1.0, None, 3.0]

    class Shrinker:
        def __float__(self):
            values.clear()
            return 9.0

    values[1] = Shrinker()
    assert qv.array(values).values() == [1.0, 9.0]


@pytest.mark.parametrize("obj,name", [
    ([1.0], "list"), (None, "NoneType"), (Outer.Inner(), "Outer.Inner"),
    (Weird(), "<failed to extract type name>"),
])
def test_array_argument_mismatch(obj, name):
    text = "argument 'other': '%s' object cannot be converted to 'IntervalArray'" % name
    raises_exact(TypeError, text, A.dot, obj)
    raises_exact(TypeError, text, A.matmul, obj)
