// The IntervalArray Python type: instance layout, lazy creation of the heap
// type, and wrapping of core array values into instances.
#pragma once

#include <new>

#include "array/interval_array.hpp"
#include "binding/py.hpp"

namespace quorvex::binding {

// An instance: the object header directly followed by the array value, which
// is constructed in place when the instance is created and never changed.
struct ArrayObject {
  PyObject ob_base;
  alignas(IntervalArray) unsigned char value[sizeof(IntervalArray)];
};

// The type object, created on first use. Panics when the interpreter refuses
// to create it (the next call tries again).
PyTypeObject* interval_array_type();

// The value of an object already checked to be an IntervalArray (or subclass).
inline IntervalArray& array_value(PyObject* obj) {
  auto* object = reinterpret_cast<ArrayObject*>(obj);
  return *std::launder(reinterpret_cast<IntervalArray*>(object->value));
}

// Moves `value` into a new instance of `type` (IntervalArray when null).
PyObject* wrap_array(IntervalArray&& value, PyTypeObject* type = nullptr);

// Wraps the value, or raises the error.
PyObject* wrap_result(Result<IntervalArray>&& result, PyTypeObject* type = nullptr);

}  // namespace quorvex::binding
