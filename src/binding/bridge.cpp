#include "binding/bridge.hpp"

#include <cstdint>
#include <string>

#include "binding/args.hpp"
#include "binding/errors.hpp"
#include "binding/storage_buffer.hpp"
#include "binding/type.hpp"

namespace quorvex::binding {

namespace {

const Signature kStorage{"_storage()", {"array"}, 1};
const Signature kForOverwrite{"_storage_for_overwrite()", {"size"}, 1};
const Signature kCopyInto{"_copy_into()", {"storage", "start", "source"}, 3};
const Signature kFromStorage{"_from_storage()", {"storage", "shape"}, 2};
const Signature kAsType{"_as_type()", {"array", "cls"}, 2};

template <class F>
PyObject* entry(F&& body) {
  return guarded<PyObject*>(nullptr, std::forward<F>(body));
}

PyObject* f_storage(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* arg = nullptr;
    if (!parse_arguments(kStorage, args, kwargs, &arg)) return nullptr;
    const IntervalArray* a = convert_array(arg, "array");
    return a == nullptr ? nullptr : shared_storage_buffer(*a);
  });
}

PyObject* f_storage_for_overwrite(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* arg = nullptr;
    if (!parse_arguments(kForOverwrite, args, kwargs, &arg)) return nullptr;
    std::uint64_t size = 0;
    if (!convert_u64(arg, "size", &size)) return nullptr;
    Result<IntervalArray> fresh = IntervalArray::for_overwrite(Shape{size});
    if (!fresh) {
      raise_error(fresh.error());
      return nullptr;
    }
    return fresh_storage_buffer(std::move(fresh).value());
  });
}

PyObject* f_copy_into(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* argv[3];
    if (!parse_arguments(kCopyInto, args, kwargs, argv)) return nullptr;
    std::uint64_t start = 0;
    if (!convert_u64(argv[1], "start", &start)) return nullptr;
    return copy_into_storage_buffer(argv[0], start, argv[2]);
  });
}

PyObject* f_from_storage(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* argv[2];
    if (!parse_arguments(kFromStorage, args, kwargs, argv)) return nullptr;
    Shape shape;
    if (!convert_shape(argv[1], "shape", &shape)) return nullptr;
    return array_from_storage_buffer(argv[0], shape);
  });
}

// The value of `array` as an instance of `cls`, IntervalArray or a subclass
// of it, sharing its storage: how the package rebuilds a pickled instance of
// a subclass. Neither cls.__new__ nor cls.__init__ runs, as for any object
// pickle rebuilds; the instance's own state is restored after.
PyObject* f_as_type(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* argv[2];
    if (!parse_arguments(kAsType, args, kwargs, argv)) return nullptr;
    const IntervalArray* a = convert_array(argv[0], "array");
    if (a == nullptr) return nullptr;
    PyObject* cls = argv[1];
    if (PyType_Check(cls) == 0 ||
        PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls), interval_array_type()) == 0) {
      PyRef text = PyRef::steal(PyObject_Repr(cls));
      const char* given = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
      if (given == nullptr) return nullptr;
      raise_type_error(std::string("_as_type() needs IntervalArray or a subclass of it, not ") +
                       given);
      wrap_argument_error("cls");
      return nullptr;
    }
    return wrap_array(IntervalArray(*a), reinterpret_cast<PyTypeObject*>(cls));
  });
}

template <class F>
PyCFunction as_cfunction(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

constexpr int kArgs = METH_VARARGS | METH_KEYWORDS;

}  // namespace

PyMethodDef* bridge_functions() {
  static PyMethodDef table[] = {
      {"_storage", as_cfunction(&f_storage), kArgs,
       "_storage(array)\n--\n\nA read-only buffer sharing the array's storage: its midpoints, "
       "then its radii."},
      {"_storage_for_overwrite", as_cfunction(&f_storage_for_overwrite), kArgs,
       "_storage_for_overwrite(size)\n--\n\nA writable buffer over a new storage of size "
       "elements, to be written completely before _from_storage wraps it."},
      {"_copy_into", as_cfunction(&f_copy_into), kArgs,
       "_copy_into(storage, start, source)\n--\n\nCopies a buffer of real numbers of any "
       "strides, in C order and converted to float64, into a fresh storage from element start "
       "on."},
      {"_from_storage", as_cfunction(&f_from_storage), kArgs,
       "_from_storage(storage, shape)\n--\n\nAn IntervalArray of the given shape over the "
       "storage: shared if read-only, taken over if writable."},
      {"_as_type", as_cfunction(&f_as_type), kArgs,
       "_as_type(array, cls)\n--\n\nThe array as an instance of cls, IntervalArray or a "
       "subclass of it, sharing its storage."},
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

}  // namespace quorvex::binding
