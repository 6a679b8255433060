#include "binding/storage_buffer.hpp"

#include <new>
#include <optional>
#include <string>

#include "binding/args.hpp"
#include "binding/errors.hpp"
#include "binding/released_lock.hpp"
#include "binding/type.hpp"
#include "support/arg_messages.hpp"
#include "support/backward_copy.hpp"
#include "support/panic.hpp"

namespace quorvex::binding {

namespace {

struct BufferState {
  // Empty once a writable buffer has handed its storage to an array.
  std::optional<IntervalArray> value;
  double* data = nullptr;
  bool writable = false;
  Py_ssize_t exports = 0;
  // What every export reports; they must outlive the exports, so they live here.
  Py_ssize_t shape[1] = {0};
  Py_ssize_t strides[1] = {sizeof(double)};
};

struct StorageBufferObject {
  PyObject ob_base;
  alignas(BufferState) unsigned char state[sizeof(BufferState)];
};

BufferState& state_of(PyObject* obj) {
  auto* object = reinterpret_cast<StorageBufferObject*>(obj);
  return *std::launder(reinterpret_cast<BufferState*>(object->state));
}

// Zero-size storages allocate nothing; their exports still need a valid pointer.
double g_empty_run[1] = {0.0};

constexpr std::string_view kDoc =
    "Lends the storage of an IntervalArray to the buffer protocol: its midpoints, then its "
    "radii, as one run of float64.";

PyTypeObject* g_type = nullptr;

void buffer_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  state_of(self).~BufferState();
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  decref(reinterpret_cast<PyObject*>(type));
}

int buffer_get(PyObject* self, Py_buffer* view, int flags) {
  BufferState& s = state_of(self);
  view->obj = nullptr;
  if (!s.value) {
    PyErr_SetString(PyExc_BufferError, "this storage now belongs to an IntervalArray");
    return -1;
  }
  if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE && !s.writable) {
    PyErr_SetString(PyExc_BufferError, "the storage of an IntervalArray is read-only");
    return -1;
  }
  view->buf = s.data;
  view->obj = incref(self);
  view->len = s.shape[0] * static_cast<Py_ssize_t>(sizeof(double));
  view->readonly = s.writable ? 0 : 1;
  view->itemsize = sizeof(double);
  view->format = (flags & PyBUF_FORMAT) == PyBUF_FORMAT ? const_cast<char*>("d") : nullptr;
  view->ndim = 1;
  view->shape = (flags & PyBUF_ND) == PyBUF_ND ? s.shape : nullptr;
  view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? s.strides : nullptr;
  view->suboffsets = nullptr;
  view->internal = nullptr;
  ++s.exports;
  return 0;
}

void buffer_release(PyObject* self, Py_buffer*) {
  --state_of(self).exports;
}

// Python 3.12 gives every buffer exporter this method; declaring it ourselves
// makes it the same on 3.11, so type checkers may treat the type as a buffer.
PyObject* buffer_dunder(PyObject* self, PyObject* flags_obj) {
  const long flags = PyLong_AsLong(flags_obj);
  if (flags == -1 && PyErr_Occurred() != nullptr) return nullptr;
  if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE && !state_of(self).writable) {
    PyErr_SetString(PyExc_BufferError, "the storage of an IntervalArray is read-only");
    return nullptr;
  }
  return PyMemoryView_FromObject(self);
}

PyMethodDef g_methods[] = {
    {"__buffer__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&buffer_dunder)),
     METH_O, "__buffer__($self, flags, /)\n--\n\nA memoryview of the storage."},
    {nullptr, nullptr, 0, nullptr},
};

template <class F>
void* slot_fn(F f) {
  return reinterpret_cast<void*>(f);
}

PyTypeObject* create_type() {
  PyType_Slot slots[] = {
      {Py_bf_getbuffer, slot_fn(&buffer_get)},     {Py_bf_releasebuffer, slot_fn(&buffer_release)},
      {Py_tp_dealloc, slot_fn(&buffer_dealloc)},   {Py_tp_methods, g_methods},
      {Py_tp_doc, const_cast<char*>(kDoc.data())}, {0, nullptr},
  };
  PyType_Spec type_description = {
      "_quorvex._StorageBuffer",
      static_cast<int>(sizeof(StorageBufferObject)),
      0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
      slots,
  };
  PyObject* type = PyType_FromSpec(&type_description);
  if (type == nullptr) {
    PyErr_Print();
    panic("failed to create type object for _StorageBuffer");
  }
  return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* new_buffer(IntervalArray&& value, double* data, bool writable) {
  PyTypeObject* type = storage_buffer_type();
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* obj = alloc(type, 0);
  if (obj == nullptr) {
    ensure_error_set();
    return nullptr;
  }
  auto* s = new (reinterpret_cast<StorageBufferObject*>(obj)->state) BufferState;
  s->shape[0] = static_cast<Py_ssize_t>(2 * value.size());
  s->data = data == nullptr ? g_empty_run : data;
  s->writable = writable;
  s->value.emplace(std::move(value));
  return obj;
}

// The state behind `obj`, or null with TypeError raised (naming `param`).
BufferState* checked_state(PyObject* obj, std::string_view param) {
  if (PyObject_TypeCheck(obj, storage_buffer_type()) != 0) return &state_of(obj);
  raise_type_error(type_mismatch_message(type_name_of(obj), "_StorageBuffer"));
  wrap_argument_error(param);
  return nullptr;
}

bool is_double_format(const char* format) {
  const std::string_view f = format == nullptr ? "B" : format;
  return f == "d" || f == "=d" || f == "@d";
}

}  // namespace

PyTypeObject* storage_buffer_type() {
  if (g_type == nullptr) g_type = create_type();
  return g_type;
}

PyObject* shared_storage_buffer(const IntervalArray& value) {
  // The storage is only read through a read-only export, so the cast is safe.
  auto* data = const_cast<double*>(value.storage()->midpoints());
  return new_buffer(IntervalArray(value), value.size() == 0 ? nullptr : data, false);
}

PyObject* fresh_storage_buffer(IntervalArray&& fresh) {
  Result<WritableRuns> runs = fresh.writable();
  if (!runs) {
    raise_error(runs.error());
    return nullptr;
  }
  double* data = runs->mid.data();
  return new_buffer(std::move(fresh), data, true);
}

PyObject* copy_into_storage_buffer(PyObject* buffer, std::uint64_t start, PyObject* source) {
  BufferState* s = checked_state(buffer, "storage");
  if (s == nullptr) return nullptr;
  if (!s->value || !s->writable) {
    PyErr_SetString(PyExc_BufferError, "only a fresh storage can be written");
    return nullptr;
  }
  Py_buffer view;
  if (PyObject_GetBuffer(source, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) return nullptr;
  const auto count = static_cast<std::uint64_t>(view.len) / sizeof(double);
  const std::uint64_t room = static_cast<std::uint64_t>(s->shape[0]);
  const char* problem = nullptr;
  if (view.itemsize != sizeof(double) || !is_double_format(view.format)) {
    problem = "the source must hold float64 values in native byte order";
  } else if (start > room || count > room - start) {
    problem = "the source does not fit into the storage at that start";
  }
  if (problem != nullptr) {
    PyBuffer_Release(&view);
    PyErr_SetString(PyExc_ValueError, problem);
    return nullptr;
  }
  // Counted as an export while the lock is released, so no other thread can
  // hand the storage to an array in the middle of the copy.
  ++s->exports;
  {
    // Every released section goes through this guard, whose destructor lets
    // the forced unwind of a thread ended at finalisation pass.
    ReleasedLock unlocked;
    // The source may be a view of this very storage, overlapping the target.
    move_elements(s->data + start, static_cast<const double*>(view.buf), count);
  }
  --s->exports;
  PyBuffer_Release(&view);
  return incref(Py_None);
}

PyObject* array_from_storage_buffer(PyObject* buffer, const Shape& shape) {
  BufferState* checked = checked_state(buffer, "storage");
  if (checked == nullptr) return nullptr;
  BufferState& s = *checked;
  if (!s.value) {
    PyErr_SetString(PyExc_BufferError, "this storage already belongs to an IntervalArray");
    return nullptr;
  }
  Result<std::uint64_t> count = element_count(shape);
  if (!count) {
    raise_error(count.error());
    return nullptr;
  }
  if (*count != s.value->size()) {
    const std::string message = "shape " + format_dims(shape) + " has " + std::to_string(*count) +
                                " elements but the storage holds " +
                                std::to_string(s.value->size());
    PyErr_SetString(PyExc_ValueError, message.c_str());
    return nullptr;
  }
  IntervalArray array = s.value->with_shape(shape);
  if (s.writable) {
    // A view still exported could write to the array after it is wrapped.
    if (s.exports != 0) {
      PyErr_SetString(PyExc_BufferError,
                      "the storage is still exported: release every view of it first");
      return nullptr;
    }
    s.value.reset();  // the array now holds the only share
  }
  return wrap_array(std::move(array));
}

}  // namespace quorvex::binding
