#include "binding/ball_view.hpp"

#include <new>
#include <string>

#include "binding/args.hpp"
#include "binding/errors.hpp"
#include "binding/storage_buffer.hpp"
#include "binding/type.hpp"
#include "support/panic.hpp"

namespace quorvex::binding {

namespace {

struct ViewObject {
  PyObject ob_base;
  alignas(ViewState) unsigned char state[sizeof(ViewState)];
};

PyTypeObject* g_type = nullptr;

ViewState& state_of(PyObject* obj) {
  return *std::launder(reinterpret_cast<ViewState*>(reinterpret_cast<ViewObject*>(obj)->state));
}

template <class F>
PyObject* entry(F&& body) {
  return guarded<PyObject*>(nullptr, std::forward<F>(body));
}

void view_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  ViewState& s = state_of(self);
  Py_DecRef(s.shape_tuple);
  Py_DecRef(s.cache);
  s.~ViewState();
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  decref(reinterpret_cast<PyObject*>(type));
}

PyObject* int_tuple(const engine::Extents& values) {
  PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
  if (!tuple) return nullptr;
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* item = PyLong_FromLongLong(values[i]);
    if (item == nullptr || PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(i), item) != 0) {
      return nullptr;
    }
  }
  return tuple.release();
}

// A sequence of Python ints as extents; false with an error raised.
bool extents_of(PyObject* seq, const char* what, engine::Extents* out) {
  PyRef fast = PyRef::steal(PySequence_Tuple(seq));
  if (!fast) return false;
  const Py_ssize_t n = PyTuple_Size(fast.get());
  out->clear();
  for (Py_ssize_t i = 0; i < n; ++i) {
    const long long v = PyLong_AsLongLong(PyTuple_GetItem(fast.get(), i));
    if (v == -1 && PyErr_Occurred() != nullptr) {
      wrap_argument_error(what);
      return false;
    }
    out->push_back(v);
  }
  return true;
}

// -- construction -------------------------------------------------------------

// _BallView(array, rigorous=False): the whole of an IntervalArray.
PyObject* view_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    static const Signature kNew{"_BallView.__new__()", {"array", "rigorous"}, 1};
    PyObject* argv[2] = {nullptr, nullptr};
    if (!parse_arguments(kNew, args, kwargs, argv)) return nullptr;
    const IntervalArray* array = convert_array(argv[0], "array");
    if (array == nullptr) return nullptr;
    const int rigorous = argv[1] == nullptr ? 0 : PyObject_IsTrue(argv[1]);
    if (rigorous < 0) return nullptr;
    return wrap_view(type, IntervalArray(*array), rigorous != 0);
  });
}

// _view(offset, shape, strides): another view of the same storage, checked
// to stay inside it.
PyObject* view_view(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  return entry([&]() -> PyObject* {
    if (nargs != 3) {
      raise_type_error("_view() takes offset, shape and strides");
      return nullptr;
    }
    const long long offset = PyLong_AsLongLong(args[0]);
    if (offset == -1 && PyErr_Occurred() != nullptr) return nullptr;
    engine::Extents shape, strides;
    if (!extents_of(args[1], "shape", &shape) || !extents_of(args[2], "strides", &strides)) {
      return nullptr;
    }
    const ViewState& s = state_of(self);
    Result<engine::StridedBalls> checked = engine::view_of(*s.storage, offset, shape, strides);
    if (!checked) {
      raise_error(checked.error());
      return nullptr;
    }
    return new_view(Py_TYPE(self), s.storage, offset, std::move(shape), std::move(strides),
                    s.rigorous);
  });
}

// _with_rigorous(flag): the same view under the other rounding model.
PyObject* view_with_rigorous(PyObject* self, PyObject* flag) {
  return entry([&]() -> PyObject* {
    const int rigorous = PyObject_IsTrue(flag);
    if (rigorous < 0) return nullptr;
    const ViewState& s = state_of(self);
    return new_view(Py_TYPE(self), s.storage, s.offset, s.shape, s.strides, rigorous != 0);
  });
}

// _buffer(): a read-only buffer over the whole storage (midpoints, then radii).
PyObject* view_buffer(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const ViewState& s = state_of(self);
    const Shape whole{s.storage->len()};
    return shared_storage_buffer(IntervalArray::of_storage(s.storage, whole));
  });
}

// -- attributes ---------------------------------------------------------------

PyObject* get_shape(PyObject* self, void*) {
  ViewState& s = state_of(self);
  if (s.shape_tuple == nullptr) {
    s.shape_tuple = int_tuple(s.shape);
    if (s.shape_tuple == nullptr) return nullptr;
  }
  return incref(s.shape_tuple);
}

PyObject* get_ndim(PyObject* self, void*) {
  return PyLong_FromSize_t(state_of(self).shape.size());
}

PyObject* get_size(PyObject* self, void*) {
  std::int64_t size = 1;
  for (std::int64_t d : state_of(self).shape) size *= d;
  return PyLong_FromLongLong(size);
}

PyObject* get_rigorous(PyObject* self, void*) {
  return PyBool_FromLong(state_of(self).rigorous ? 1 : 0);
}

PyObject* get_offset(PyObject* self, void*) {
  return PyLong_FromLongLong(state_of(self).offset);
}

PyObject* get_strides(PyObject* self, void*) {
  return int_tuple(state_of(self).strides);
}

PyObject* get_whole(PyObject* self, void*) {
  return PyBool_FromLong(is_whole_storage(state_of(self)) ? 1 : 0);
}

PyObject* get_cache(PyObject* self, void*) {
  PyObject* cache = state_of(self).cache;
  return incref(cache == nullptr ? Py_None : cache);
}

int set_cache(PyObject* self, PyObject* value, void*) {
  ViewState& s = state_of(self);
  PyObject* old = s.cache;
  s.cache = value == nullptr || value == Py_None ? nullptr : incref(value);
  Py_DecRef(old);
  return 0;
}

// .T: the axes reversed.
PyObject* get_transposed(PyObject* self, void*) {
  return entry([&]() -> PyObject* {
    const ViewState& s = state_of(self);
    engine::Extents shape(s.shape.rbegin(), s.shape.rend());
    engine::Extents strides(s.strides.rbegin(), s.strides.rend());
    return new_view(Py_TYPE(self), s.storage, s.offset, std::move(shape), std::move(strides),
                    s.rigorous);
  });
}

Py_ssize_t view_length(PyObject* self) {
  const ViewState& s = state_of(self);
  if (s.shape.empty()) {
    PyErr_SetString(PyExc_TypeError, "len() of unsized object");
    return -1;
  }
  return static_cast<Py_ssize_t>(s.shape[0]);
}

// -- basic indexing -------------------------------------------------------------

enum class Basic { kIndexed, kNotBasic, kFailed };

// One item of a basic index: an int, a slice, None or Ellipsis. Anything
// else (arrays, lists, booleans, other integer types) is left to numpy.
bool is_basic_item(PyObject* item) {
  return (PyLong_Check(item) && !PyBool_Check(item)) || PySlice_Check(item) || item == Py_None ||
         item == Py_Ellipsis;
}

Basic apply_basic(const ViewState& s, PyObject* key, std::int64_t* offset, engine::Extents* shape,
                  engine::Extents* strides) {
  PyRef items = PyTuple_Check(key) ? PyRef::borrow(key) : PyRef::steal(PyTuple_Pack(1, key));
  if (!items) return Basic::kFailed;
  const Py_ssize_t count = PyTuple_Size(items.get());
  std::size_t indexed = 0;  // axes the key consumes
  bool ellipsis = false;
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* item = PyTuple_GetItem(items.get(), i);
    if (!is_basic_item(item)) return Basic::kNotBasic;
    if (item == Py_Ellipsis) {
      if (ellipsis) {
        PyErr_SetString(PyExc_IndexError, "an index can only have a single ellipsis ('...')");
        return Basic::kFailed;
      }
      ellipsis = true;
    } else if (item != Py_None) {
      ++indexed;
    }
  }
  const std::size_t ndim = s.shape.size();
  if (indexed > ndim) {
    const std::string message = "too many indices for array: array is " + std::to_string(ndim) +
                                "-dimensional, but " + std::to_string(indexed) + " were indexed";
    PyErr_SetString(PyExc_IndexError, message.c_str());
    return Basic::kFailed;
  }
  *offset = s.offset;
  shape->clear();
  strides->clear();
  std::size_t axis = 0;
  const auto take_rest = [&](std::size_t upto) {
    for (; axis < upto; ++axis) {
      shape->push_back(s.shape[axis]);
      strides->push_back(s.strides[axis]);
    }
  };
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* item = PyTuple_GetItem(items.get(), i);
    if (item == Py_Ellipsis) {
      take_rest(axis + (ndim - indexed));
    } else if (item == Py_None) {
      shape->push_back(1);
      strides->push_back(0);
    } else if (PySlice_Check(item)) {
      Py_ssize_t start = 0, stop = 0, step = 0;
      if (PySlice_Unpack(item, &start, &stop, &step) < 0) return Basic::kFailed;
      const Py_ssize_t length =
          PySlice_AdjustIndices(static_cast<Py_ssize_t>(s.shape[axis]), &start, &stop, step);
      *offset += static_cast<std::int64_t>(start) * s.strides[axis];
      shape->push_back(length);
      strides->push_back(s.strides[axis] * step);
      ++axis;
    } else {
      int overflow = 0;
      const long long index = PyLong_AsLongLongAndOverflow(item, &overflow);
      if (index == -1 && overflow == 0 && PyErr_Occurred() != nullptr) return Basic::kFailed;
      const std::int64_t n = s.shape[axis];
      if (overflow != 0 || index < -n || index >= n) {
        PyRef text = PyRef::steal(PyObject_Str(item));
        const char* digits = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
        if (digits == nullptr) return Basic::kFailed;
        const std::string message = std::string("index ") + digits + " is out of bounds for axis " +
                                    std::to_string(axis) + " with size " + std::to_string(n);
        PyErr_SetString(PyExc_IndexError, message.c_str());
        return Basic::kFailed;
      }
      *offset += (index < 0 ? index + n : index) * s.strides[axis];
      ++axis;
    }
  }
  take_rest(ndim);
  return Basic::kIndexed;
}

PyObject* view_subscript(PyObject* self, PyObject* key) {
  return entry([&]() -> PyObject* {
    const ViewState& s = state_of(self);
    std::int64_t offset = 0;
    engine::Extents shape, strides;
    switch (apply_basic(s, key, &offset, &shape, &strides)) {
      case Basic::kIndexed:
        return new_view(Py_TYPE(self), s.storage, offset, std::move(shape), std::move(strides),
                        s.rigorous);
      case Basic::kFailed:
        return nullptr;
      case Basic::kNotBasic:
        break;
    }
    // numpy's advanced indexing, done by the package: self._index(key).
    static PyObject* const name = PyUnicode_InternFromString("_index");
    if (name == nullptr) return nullptr;
    return PyObject_CallMethodObjArgs(self, name, key, nullptr);
  });
}

PyMethodDef g_methods[] = {
    {"_view", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&view_view)),
     METH_FASTCALL,
     "_view($self, offset, shape, strides, /)\n--\n\nAnother view of the same storage."},
    {"_with_rigorous", view_with_rigorous, METH_O,
     "_with_rigorous($self, flag, /)\n--\n\nThe same view under the other rounding model."},
    {"_buffer", view_buffer, METH_NOARGS,
     "_buffer($self, /)\n--\n\nA read-only buffer over the whole storage."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef g_getset[] = {
    {"shape", get_shape, nullptr,
     "The length of each dimension.\n\n"
     "Returns\n-------\ntuple of int\n\n"
     "Examples\n--------\n"
     ">>> import quorvex as qv\n>>> qv.zeros((2, 3)).shape\n(2, 3)\n",
     nullptr},
    {"ndim", get_ndim, nullptr,
     "The number of dimensions.\n\n"
     "Returns\n-------\nint\n\n"
     "Examples\n--------\n"
     ">>> import quorvex as qv\n>>> qv.zeros((2, 3)).ndim\n2\n",
     nullptr},
    {"size", get_size, nullptr,
     "The number of elements.\n\n"
     "Returns\n-------\nint\n\n"
     "Examples\n--------\n"
     ">>> import quorvex as qv\n>>> qv.zeros((2, 3)).size\n6\n",
     nullptr},
    {"rigorous", get_rigorous, nullptr,
     "Whether the array follows the rigorous model.\n\n"
     "The rigorous model counts every rounding error, so that each result ball\n"
     "contains the exact result; the first-order model (False, the default)\n"
     "propagates the radii without them.\n\n"
     "Returns\n-------\nbool\n\n"
     "Examples\n--------\n"
     ">>> import quorvex as qv\n"
     ">>> qv.BallArray(1.0).rigorous, qv.BallArray(1.0, rigorous=True).rigorous\n"
     "(False, True)\n",
     nullptr},
    {"T", get_transposed, nullptr,
     "The array with its axes reversed, a view (as ``transpose()``).\n\n"
     "Returns\n-------\nBallArray\n\n"
     "Examples\n--------\n"
     ">>> import quorvex as qv\n"
     ">>> qv.BallArray([[1.0, 2.0], [3.0, 4.0]], 0.5).T\n"
     "BallArray([[1±0.5, 3±0.5],\n"
     "           [2±0.5, 4±0.5]])\n",
     nullptr},
    {"_offset", get_offset, nullptr, nullptr, nullptr},
    {"_strides", get_strides, nullptr, nullptr, nullptr},
    {"_whole", get_whole, nullptr, nullptr, nullptr},
    {"_cache", get_cache, set_cache, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

template <class F>
void* slot_fn(F f) {
  return reinterpret_cast<void*>(f);
}

PyTypeObject* create_type() {
  PyType_Slot slots[] = {
      {Py_tp_new, slot_fn(&view_new)},
      {Py_tp_dealloc, slot_fn(&view_dealloc)},
      {Py_mp_subscript, slot_fn(&view_subscript)},
      {Py_mp_length, slot_fn(&view_length)},
      {Py_tp_methods, g_methods},
      {Py_tp_getset, g_getset},
      {Py_tp_doc, const_cast<char*>("A strided view of interval data; the base of BallArray.")},
      {0, nullptr},
  };
  PyType_Spec type_description = {
      "_quorvex._BallView",
      static_cast<int>(sizeof(ViewObject)),
      0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
      slots,
  };
  PyObject* type = PyType_FromSpec(&type_description);
  if (type == nullptr) {
    PyErr_Print();
    panic("failed to create type object for _BallView");
  }
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace

PyTypeObject* ball_view_type() {
  if (g_type == nullptr) g_type = create_type();
  return g_type;
}

bool is_ball_view(PyObject* obj) {
  return PyObject_TypeCheck(obj, ball_view_type()) != 0;
}

ViewState& view_state(PyObject* obj) {
  return state_of(obj);
}

bool is_whole_storage(const ViewState& s) {
  std::int64_t size = 1;
  for (std::int64_t d : s.shape) size *= d;
  if (static_cast<std::uint64_t>(size) != s.storage->len()) return false;
  if (size == 0) return true;
  if (s.offset != 0) return false;
  const engine::Extents row_major = engine::row_major(s.shape);
  for (std::size_t d = 0; d < s.shape.size(); ++d) {
    if (s.shape[d] != 1 && s.strides[d] != row_major[d]) return false;
  }
  return true;
}

engine::StridedBalls strided_of(const ViewState& view) {
  engine::StridedBalls balls;
  balls.mid = view.storage->midpoints() + view.offset;
  balls.rad = view.storage->radii() + view.offset;
  balls.shape = view.shape;
  balls.strides = view.strides;
  return balls;
}

PyObject* new_view(PyTypeObject* type, const StorageRef& storage, std::int64_t offset,
                   engine::Extents shape, engine::Extents strides, bool rigorous) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* obj = alloc(type, 0);
  if (obj == nullptr) {
    ensure_error_set();
    return nullptr;
  }
  auto* s = new (reinterpret_cast<ViewObject*>(obj)->state) ViewState;
  s->storage = storage;
  // An empty view reads nothing; offset 0 keeps it a valid view of any storage.
  bool empty = false;
  for (std::int64_t d : shape) empty = empty || d == 0;
  s->offset = empty ? 0 : offset;
  s->shape = std::move(shape);
  s->strides = std::move(strides);
  s->rigorous = rigorous;
  return obj;
}

PyObject* wrap_view(PyTypeObject* type, IntervalArray&& array, bool rigorous) {
  engine::Extents shape(array.shape().begin(), array.shape().end());
  engine::Extents strides = engine::row_major(shape);
  return new_view(type, array.storage(), 0, std::move(shape), std::move(strides), rigorous);
}

}  // namespace quorvex::binding
