"""Argument parsing and conversion: the exact messages and which errors pass through."""
import re

import pytest

import _quorvex as qv
from conftest import bits


def raises_exact(exc, text, fn, *args, **kwargs):
    with pytest.raises(exc) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc
    assert str(info.value) == text
    return info.value


A = qv.array([1.0, 2.0], 0.5)

# ---- counts ----


@pytest.mark.parametrize("fn,args,text", [
    (qv.arange, (0, 1, 1, 1), "arange() takes from 2 to 3 positional arguments but 4 were given"),
    (qv.linspace, (0, 1, 2, 3, 4),
     "linspace() takes from 2 to 3 positional arguments but 5 were given"),
    (qv.full, ([1], 1, 1, 1), "full() takes from 2 to 3 positional arguments but 4 were given"),
    (qv.array, ([1.0], 0.0, 1), "array() takes from 1 to 2 positional arguments but 3 were given"),
    (qv.zeros, ([1], [2]), "zeros() takes 1 positional arguments but 2 were given"),
    (qv.ones, ([1], [2], [3]), "ones() takes 1 positional arguments but 3 were given"),
    (qv.IntervalArray, ([1.0], 0.0, 0.0),
     "IntervalArray.__new__() takes from 1 to 2 positional arguments but 3 were given"),
    (A.get, (0, 1), "IntervalArray.get() takes 1 positional arguments but 2 were given"),
    (A.scale, (1, 2), "IntervalArray.scale() takes 1 positional arguments but 2 were given"),
    (A.reshape, ([2], [2]), "IntervalArray.reshape() takes 1 positional arguments but 2 were given"),
])
def test_too_many_positional(fn, args, text):
    raises_exact(TypeError, text, fn, *args)


@pytest.mark.parametrize("fn,args,kwargs,text", [
    (qv.full, ([2],), {}, "full() missing 1 required positional argument: 'value'"),
    (qv.full, (), {}, "full() missing 2 required positional arguments: 'shape' and 'value'"),
    (qv.full, (), {"error": 1.0},
     "full() missing 2 required positional arguments: 'shape' and 'value'"),
    (qv.full, (), {"value": 1.0}, "full() missing 1 required positional argument: 'shape'"),
    (qv.arange, (), {"step": 2.0},
     "arange() missing 2 required positional arguments: 'start' and 'stop'"),
    (qv.linspace, (1.0,), {}, "linspace() missing 1 required positional argument: 'stop'"),
    (qv.array, (), {"error": 1.0}, "array() missing 1 required positional argument: 'values'"),
    (qv.zeros, (), {}, "zeros() missing 1 required positional argument: 'shape'"),
    (qv.IntervalArray, (), {},
     "IntervalArray.__new__() missing 1 required positional argument: 'values'"),
    (A.midpoint, (), {}, "IntervalArray.midpoint() missing 1 required positional argument: 'idx'"),
    (A.dot, (), {}, "IntervalArray.dot() missing 1 required positional argument: 'other'"),
    (A.matmul, (), {}, "IntervalArray.matmul() missing 1 required positional argument: 'other'"),
])
def test_missing_arguments(fn, args, kwargs, text):
    raises_exact(TypeError, text, fn, *args, **kwargs)


# ---- keywords ----


@pytest.mark.parametrize("fn,args,kwargs,text", [
    (qv.array, ([1.0],), {"bad": 1}, "array() got an unexpected keyword argument 'bad'"),
    (qv.array, ([1.0],), {"values": [2.0]}, "array() got multiple values for argument 'values'"),
    (qv.full, ([1], 2.0), {"value": 3.0}, "full() got multiple values for argument 'value'"),
    (A.get, (), {"index": 0}, "IntervalArray.get() got an unexpected keyword argument 'index'"),
    (A.scale, (2.0,), {"scalar": 2.0},
     "IntervalArray.scale() got multiple values for argument 'scalar'"),
    # Keywords are checked in the order given; the first bad one ends the parse.
    (qv.full, ([1],), {"zz": 1, "shape": [2]}, "full() got an unexpected keyword argument 'zz'"),
    (qv.full, ([1],), {"shape": [2], "zz": 1}, "full() got multiple values for argument 'shape'"),
    # Unknown keywords are reported before missing arguments.
    (qv.full, (), {"bad": 1}, "full() got an unexpected keyword argument 'bad'"),
    # Too many positional arguments are reported before keywords.
    (qv.zeros, ([1], [2]), {"bad": 1}, "zeros() takes 1 positional arguments but 2 were given"),
])
def test_keyword_errors(fn, args, kwargs, text):
    raises_exact(TypeError, text, fn, *args, **kwargs)


def test_every_parameter_accepts_its_keyword():
    a = qv.full(value=2.0, error=0.5, shape=[1, 2])
    assert a.shape() == [1, 2] and a.tolist() == [(2.0, 0.5)] * 2
    assert qv.array(error=0.5, values=[1.0]).tolist() == [(1.0, 0.5)]
    assert qv.IntervalArray(values=[1.0], error=0.25).tolist() == [(1.0, 0.25)]
    assert qv.linspace(stop=1.0, start=0.0, num=3).values() == [0.0, 0.5, 1.0]
    assert qv.arange(stop=3.0, start=0.0, step=1.5).values() == [0.0, 1.5]
    assert qv.zeros(shape=(2,)).shape() == [2]
    assert qv.ones(shape=[]).shape() == []
    assert A.get(idx=1) == (2.0, 0.5)
    assert A.reshape(shape=[2, 1]).shape() == [2, 1]
    assert A.scale(scalar=2.0).tolist() == [(2.0, 1.0), (4.0, 1.0)]


def test_defaults():
    assert len(qv.linspace(0.0, 1.0)) == 50
    assert qv.arange(0.0, 3.0).values() == [0.0, 1.0, 2.0]
    assert qv.array([1.0]).is_exact()
    assert qv.full([1], 3.0).tolist() == [(3.0, 0.0)]


# ---- float conversion ----


class Floaty:
    def __init__(self, v):
        self.v = v

    def __float__(self):
        return self.v


class Indexy:
    def __index__(self):
        return 7


class BadFloat:
    def __float__(self):
        raise ValueError("no float here")


class ChainedFloat:
    def __float__(self):
        raise TypeError("outer") from KeyError("inner")


@pytest.mark.parametrize("value", [-1.0, -1, Floaty(-1.0), True, 2**53 + 1, Indexy()])
def test_float_conversion_accepts_numbers_including_minus_one(value):
    a = qv.full([1], value)
    expected = float(value.__index__() if isinstance(value, Indexy) else value)
    assert bits(a.values()[0]) == bits(expected)


@pytest.mark.parametrize("special", [float("inf"), float("-inf"), -0.0, 5e-324])
def test_float_conversion_keeps_special_values(special):
    assert bits(qv.array([special]).values()[0]) == bits(special)
    assert bits(qv.array([1.0], special).radii()[0]) == bits(special or 0.0)


def test_float_conversion_type_error_is_wrapped():
    e = raises_exact(TypeError, "argument 'value': must be real number, not str",
                     qv.full, [1], "x")
    assert e.__cause__ is None
    raises_exact(TypeError, "argument 'error': must be real number, not list",
                 qv.array, [1.0], [])
    raises_exact(TypeError, "argument 'scalar': must be real number, not NoneType",
                 A.scale, None)
    raises_exact(TypeError, "argument 'step': must be real number, not complex",
                 qv.arange, 0, 1, 1j)


def test_wrapped_error_keeps_the_conversion_errors_cause():
    e = raises_exact(TypeError, "argument 'start': outer", qv.arange, ChainedFloat(), 1.0)
    assert type(e.__cause__) is KeyError and e.__cause__.args == ("inner",)


@pytest.mark.parametrize("call", [
    lambda: qv.full([1], BadFloat()),
    lambda: qv.arange(0.0, BadFloat()),
    lambda: A.scale(BadFloat()),
])
def test_non_type_errors_pass_unchanged(call):
    raises_exact(ValueError, "no float here", call)


def test_too_large_int_overflow_passes_unchanged():
    with pytest.raises(OverflowError) as info:
        qv.full([1], 10**400)
    assert not str(info.value).startswith("argument")
    with pytest.raises(OverflowError):
        qv.arange(0, 10**400)


# ---- unsigned and signed integers ----


def test_unsigned_conversion():
    assert len(qv.linspace(0, 1, True)) == 1  # bool is an int
    assert len(qv.linspace(0, 1, Indexy())) == 7
    assert qv.linspace(0, 1, 0).shape() == [0]
    with pytest.raises(OverflowError) as info:
        A.get(-1)
    assert "negative" in str(info.value) and not str(info.value).startswith("argument")
    with pytest.raises(OverflowError):
        A.get(2**64)
    raises_exact(TypeError, "argument 'idx': 'float' object cannot be interpreted as an integer",
                 A.get, 1.0)
    raises_exact(TypeError, "argument 'num': 'str' object cannot be interpreted as an integer",
                 qv.linspace, 0, 1, "3")
    raises_exact(TypeError, "argument 'idx': 'NoneType' object cannot be interpreted as an "
                 "integer", A.radius, None)


def test_largest_unsigned_index_reaches_the_range_check():
    raises_exact(IndexError, "index 18446744073709551615 out of range for array of length 2",
                 A.get, 2**64 - 1)
    raises_exact(IndexError, "index out of range", A.midpoint, 2)


def test_signed_subscript_conversion():
    assert A[-1] == A[1] == (2.0, 0.5)
    assert A[True] == A[1]
    assert qv.arange(0, 8)[Indexy()] == (7.0, 0.0)
    raises_exact(IndexError, "index out of range", lambda: A[Indexy()])
    raises_exact(IndexError, "index out of range", lambda: A[-3])
    raises_exact(IndexError, "index out of range", lambda: A[2**63 - 1])
    raises_exact(IndexError, "index out of range", lambda: A[-2**63])
    with pytest.raises(OverflowError):
        A[2**63]
    raises_exact(TypeError, "argument 'idx': 'float' object cannot be interpreted as an integer",
                 lambda: A[0.0])
    raises_exact(TypeError, "argument 'idx': 'slice' object cannot be interpreted as an integer",
                 lambda: A[0:1])
    raises_exact(TypeError, "argument 'idx': 'tuple' object cannot be interpreted as an integer",
                 lambda: A[0, 0])


# ---- shapes ----


@pytest.mark.parametrize("shape,dims", [
    ([2, 3], [2, 3]), ((2, 3), [2, 3]), (range(1, 4), [1, 2, 3]), (b"\x02\x01", [2, 1]),
    ([], []), ((), []), ([True, 2], [1, 2]), ([Indexy()], [7]),
])
def test_shape_sequences(shape, dims):
    assert qv.zeros(shape).shape() == dims


def test_shape_errors():
    raises_exact(TypeError, "argument 'shape': Can't extract `str` to `Vec`", qv.zeros, "ab")
    raises_exact(TypeError, "argument 'shape': Can't extract `str` to `Vec`", qv.ones, "")
    raises_exact(TypeError, "argument 'shape': 'int' object cannot be converted to 'Sequence'",
                 qv.zeros, 5)
    raises_exact(TypeError, "argument 'shape': 'dict' object cannot be converted to 'Sequence'",
                 qv.full, {}, 1.0)
    raises_exact(TypeError, "argument 'shape': 'set' object cannot be converted to 'Sequence'",
                 A.reshape, {2})
    with pytest.raises(OverflowError) as info:
        qv.zeros([-1])
    assert not str(info.value).startswith("argument")
    with pytest.raises(TypeError, match=r"^argument 'shape': 'float' object cannot be "
                       r"interpreted as an integer$"):
        qv.zeros([2.0])


class StrSub(str):
    pass


def test_str_subclass_shape_is_refused_like_str():
    raises_exact(TypeError, "argument 'shape': Can't extract `str` to `Vec`", qv.zeros,
                 StrSub("12"))


class LyingSequence:
    """Claims a huge length; only the iteration counts."""

    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        if i < 2:
            return 3
        raise IndexError(i)


class BrokenLength:
    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, i):
        if i < 1:
            return 4
        raise IndexError(i)


class FailingIteration:
    def __len__(self):
        return 2

    def __getitem__(self, i):
        raise KeyError("broken")


def test_shape_length_is_only_a_hint():
    assert qv.zeros(LyingSequence()).shape() == [3, 3]
    assert qv.zeros(BrokenLength()).shape() == [4]
    with pytest.raises(KeyError):
        qv.zeros(FailingIteration())


# ---- float lists ----


def test_float_list_type_check_and_order():
    raises_exact(TypeError, "argument 'values': 'tuple' object cannot be converted to 'PyList'",
                 qv.array, (1.0, 2.0))
    raises_exact(TypeError, "argument 'values': 'range' object cannot be converted to 'PyList'",
                 qv.IntervalArray, range(3))
    # The list type is checked first, then `error`, then the items.
    raises_exact(TypeError, "argument 'values': 'tuple' object cannot be converted to 'PyList'",
                 qv.array, ("x",), "bad")
    raises_exact(TypeError, "argument 'error': must be real number, not str",
                 qv.array, ["x"], "bad")


def test_float_list_item_errors_are_not_wrapped():
    raises_exact(TypeError, "must be real number, not list", qv.array, [[1.0]])
    raises_exact(TypeError, "must be real number, not str", qv.IntervalArray, [1.0, "2"])
    raises_exact(ValueError, "no float here", qv.array, [1.0, BadFloat()])
    with pytest.raises(OverflowError):
        qv.array([1.0, 10**400])


class ListSub(list):
    pass


def test_float_list_subclass_and_items():
    a = qv.array(ListSub([1, Floaty(2.5), True, -1.0]))
    assert a.values() == [1.0, 2.5, 1.0, -1.0]
    assert qv.array([]).shape() == [0]


class Shrinker:
    """Empties the list being converted when converted itself."""

    def __init__(self, target):
        self.target = target

    def __float__(self):
        self.target.clear()
        return 9.0


def test_list_mutated_during_conversion():
    values = [1.0, 2.0, 3.0]
    values.insert(1, Shrinker(values))
    # The conversion stops where the shrunken list ends instead of reading freed items.
    assert qv.array(values).values() == [1.0, 9.0]


# ---- array operands ----


class Outer:
    class Inner:
        pass


class BrokenQualname(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise RuntimeError("unreadable")
        return super().__getattribute__(name)


class Weird(metaclass=BrokenQualname):
    pass


@pytest.mark.parametrize("obj,name", [
    ([1.0], "list"), (None, "NoneType"), (3, "int"), (Outer.Inner(), "Outer.Inner"),
    (Weird(), "<failed to extract type name>"),
])
def test_array_argument_mismatch(obj, name):
    text = "argument 'other': '%s' object cannot be converted to 'IntervalArray'" % name
    raises_exact(TypeError, text, A.dot, obj)
    raises_exact(TypeError, text, A.matmul, obj)


def test_qualname_used_for_list_and_sequence_targets():
    raises_exact(TypeError, "argument 'values': 'Outer.Inner' object cannot be converted to "
                 "'PyList'", qv.array, Outer.Inner())
    raises_exact(TypeError, "argument 'shape': '<failed to extract type name>' object cannot "
                 "be converted to 'Sequence'", qv.zeros, Weird())


def test_unbound_method_checks_self():
    with pytest.raises(TypeError, match=re.escape("descriptor 'shape'")):
        qv.IntervalArray.shape([1.0])
