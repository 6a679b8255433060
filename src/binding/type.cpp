#include "binding/type.hpp"

#include <cstring>
#include <string_view>

#include "binding/errors.hpp"
#include "binding/methods.hpp"
#include "binding/operators.hpp"
#include "support/panic.hpp"

namespace quorvex::binding {

namespace {

constexpr std::string_view kClassDoc =
    "IntervalArray(values, error=0.0)\n--\n\n"
    "An n-dimensional array of real intervals in midpoint-radius form whose radii carry input "
    "errors through each operation to first order, without adding the rounding error of the "
    "computation itself.";

PyTypeObject* g_type = nullptr;

void array_dealloc(PyObject* self) {
  // The instance may be of a Python subclass: free through its own type, and
  // drop the reference every heap-type instance holds on its type.
  PyTypeObject* type = Py_TYPE(self);
  array_value(self).~IntervalArray();
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  decref(reinterpret_cast<PyObject*>(type));
}

template <class F>
void* slot_fn(F f) {
  return reinterpret_cast<void*>(f);
}

PyTypeObject* create_type() {
  if (std::memchr(kClassDoc.data(), '\0', kClassDoc.size()) != nullptr) {
    panic("class doc cannot contain nul bytes");
  }
  // PyType_FromSpec copies the doc, so the literal's lifetime is not an issue;
  // the method table must live forever and does (static storage).
  PyType_Slot slots[] = {
      {Py_tp_new, slot_fn(&array_new)},
      {Py_mp_length, slot_fn(&array_length)},
      {Py_tp_repr, slot_fn(&array_repr)},
      {Py_tp_str, slot_fn(&array_repr)},
      {Py_mp_subscript, slot_fn(&array_subscript)},
      {Py_nb_negative, slot_fn(&array_negative)},
      {Py_nb_absolute, slot_fn(&array_absolute)},
      {Py_nb_add, slot_fn(&array_add)},
      {Py_nb_subtract, slot_fn(&array_subtract)},
      {Py_nb_multiply, slot_fn(&array_multiply)},
      {Py_nb_true_divide, slot_fn(&array_true_divide)},
      {Py_tp_methods, array_methods()},
      {Py_tp_dealloc, slot_fn(&array_dealloc)},
      {Py_tp_doc, const_cast<char*>(kClassDoc.data())},
      {0, nullptr},
  };
  PyType_Spec type_spec = {
      "_quorvex.IntervalArray",
      static_cast<int>(sizeof(ArrayObject)),
      0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
      slots,
  };
  PyObject* type = PyType_FromSpec(&type_spec);
  if (type == nullptr) {
    PyErr_Print();
    panic("failed to create type object for IntervalArray");
  }
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace

PyTypeObject* interval_array_type() {
  if (g_type == nullptr) g_type = create_type();
  return g_type;
}

PyObject* wrap_array(IntervalArray&& value, PyTypeObject* type) {
  if (type == nullptr) type = interval_array_type();
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* obj = alloc(type, 0);
  if (obj == nullptr) {
    ensure_error_set();
    return nullptr;
  }
  new (reinterpret_cast<ArrayObject*>(obj)->value) IntervalArray(std::move(value));
  return obj;
}

PyObject* wrap_result(Result<IntervalArray>&& result, PyTypeObject* type) {
  if (!result) {
    raise_error(result.error());
    return nullptr;
  }
  return wrap_array(std::move(result).value(), type);
}

}  // namespace quorvex::binding
