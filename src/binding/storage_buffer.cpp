#include "binding/storage_buffer.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "binding/args.hpp"
#include "binding/errors.hpp"
#include "binding/released_lock.hpp"
#include "binding/type.hpp"
#include "support/arg_messages.hpp"
#include "support/panic.hpp"
#include "support/strided_copy.hpp"

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
  // A fresh storage holds whatever its allocation left there, which nothing
  // may ever read. _copy_into records the one element range [written_begin,
  // written_end) it has written; the storage is complete once that range is
  // all of it, or once an export has zero-filled the rest.
  std::uint64_t written_begin = 0;
  std::uint64_t written_end = 0;
  bool complete = true;
  // Copies running without the interpreter lock; no export is lent meanwhile.
  int copies_in_flight = 0;
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

void zero_fill(double* begin, double* end) {
  std::fill(begin, end, 0.0);
}

// Zero-fills every element _copy_into has not written. An export calls it,
// as whatever it lends may be read (bytes(), numpy) before anything writes
// it. The package exports a fresh storage only for the conversions numpy
// makes, after _copy_into has written all else, so it fills only the part
// numpy then writes.
void complete_with_zeros(BufferState& s) {
  if (s.complete) return;
  zero_fill(s.data, s.data + s.written_begin);
  zero_fill(s.data + s.written_end, s.data + s.shape[0]);
  s.complete = true;
}

// Records that _copy_into wrote [begin, end). One range is kept: a write that
// neither meets nor overlaps it zero-fills the gap between the two, which the
// package's writes (midpoints, then radii, or the other way) never need.
void note_written(BufferState& s, std::uint64_t begin, std::uint64_t end) {
  if (s.complete || begin == end) return;
  if (s.written_begin == s.written_end) {
    s.written_begin = begin;
    s.written_end = end;
  } else {
    if (end < s.written_begin) zero_fill(s.data + end, s.data + s.written_begin);
    if (begin > s.written_end) zero_fill(s.data + s.written_end, s.data + begin);
    s.written_begin = std::min(s.written_begin, begin);
    s.written_end = std::max(s.written_end, end);
  }
  s.complete = s.written_begin == 0 && s.written_end == static_cast<std::uint64_t>(s.shape[0]);
}

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
  if (s.copies_in_flight != 0) {
    PyErr_SetString(PyExc_BufferError, "the storage is being written by another thread");
    return -1;
  }
  complete_with_zeros(s);
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
  s->complete = !writable || value.size() == 0;
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

// The element type of a buffer in native byte order, from its struct format
// and item size; nullopt for any other format.
std::optional<ElementType> element_type(const char* format, Py_ssize_t itemsize) {
  std::string_view f = format == nullptr ? "B" : format;
  // Native order, by default or spelled out; '<' is native on the little-
  // endian machines this builds for.
  static_assert(std::endian::native == std::endian::little);
  if (!f.empty() && (f[0] == '@' || f[0] == '=' || f[0] == '<')) f.remove_prefix(1);
  if (f.size() != 1) return std::nullopt;
  // The size of an integer code depends on the prefix ('l' has 8 bytes in
  // native, 4 in standard order), so the item size decides.
  constexpr std::string_view kSigned = "bhilqn";
  constexpr std::string_view kUnsigned = "BHILQN";
  if (kSigned.find(f[0]) != std::string_view::npos ||
      kUnsigned.find(f[0]) != std::string_view::npos) {
    const bool is_signed = kSigned.find(f[0]) != std::string_view::npos;
    switch (itemsize) {
      case 1:
        return is_signed ? ElementType::kInt8 : ElementType::kUInt8;
      case 2:
        return is_signed ? ElementType::kInt16 : ElementType::kUInt16;
      case 4:
        return is_signed ? ElementType::kInt32 : ElementType::kUInt32;
      case 8:
        return is_signed ? ElementType::kInt64 : ElementType::kUInt64;
      default:
        return std::nullopt;
    }
  }
  if (f[0] == 'd' && itemsize == 8) return ElementType::kFloat64;
  if (f[0] == 'f' && itemsize == 4) return ElementType::kFloat32;
  if (f[0] == '?' && itemsize == 1) return ElementType::kBool;
  return std::nullopt;
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
  if (PyObject_GetBuffer(source, &view, PyBUF_RECORDS_RO) != 0) return nullptr;
  const std::optional<ElementType> type = element_type(view.format, view.itemsize);
  const auto count =
      view.itemsize > 0 ? static_cast<std::uint64_t>(view.len / view.itemsize) : std::uint64_t{0};
  const std::uint64_t room = static_cast<std::uint64_t>(s->shape[0]);
  const char* problem = nullptr;
  if (!type) {
    problem =
        "the source must hold booleans, integers, float32 or float64 values in native byte "
        "order";
  } else if (start > room || count > room - start) {
    problem = "the source does not fit into the storage at that start";
  } else if (view.ndim > PyBUF_MAX_NDIM) {
    problem = "the source has too many dimensions";
  }
  if (problem != nullptr) {
    PyBuffer_Release(&view);
    PyErr_SetString(PyExc_ValueError, problem);
    return nullptr;
  }
  // Shape and strides as the exporter gave them; C strides where it gave none.
  const auto ndim = static_cast<std::size_t>(view.ndim);
  std::array<std::ptrdiff_t, 2 * PyBUF_MAX_NDIM> layout{};
  std::ptrdiff_t stride = view.itemsize;
  for (std::size_t i = ndim; i-- > 0;) {
    layout[i] = view.shape[i];
    layout[ndim + i] = view.strides == nullptr ? stride : view.strides[i];
    stride *= view.shape[i];
  }
  const std::span<const std::ptrdiff_t> dims(layout.data(), 2 * ndim);
  const StridedRun run{static_cast<const char*>(view.buf), *type, dims.first(ndim),
                       dims.last(ndim)};
  // Counted as an export while the lock is released, so no other thread can
  // hand the storage to an array in the middle of the copy, nor read it.
  ++s->exports;
  ++s->copies_in_flight;
  bool out_of_memory = false;
  {
    // Every released section goes through this guard, whose destructor lets
    // the forced unwind of a thread ended at finalisation pass; so nothing
    // may unwind through it but that. The source may be a view of this very
    // storage, overlapping the target.
    ReleasedLock unlocked;
    try {
      gather_elements(s->data + start, run);
    } catch (const std::bad_alloc&) {
      out_of_memory = true;
    }
  }
  --s->copies_in_flight;
  --s->exports;
  PyBuffer_Release(&view);
  if (out_of_memory) return PyErr_NoMemory();
  note_written(*s, start, start + count);
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
    if (!s.complete) {
      PyErr_SetString(PyExc_ValueError, "the storage has not been written completely");
      return nullptr;
    }
    s.value.reset();  // the array now holds the only share
  }
  return wrap_array(std::move(array));
}

}  // namespace quorvex::binding
