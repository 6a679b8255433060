// Entry points of the IntervalArray methods, its non-arithmetic slots and
// the module functions.
#pragma once

#include "binding/py.hpp"

namespace quorvex::binding {

// The 36 methods in table order, then the sentinel; lives for the process.
PyMethodDef* array_methods();
// array, zeros, ones, full, linspace, arange, num_threads, then the sentinel.
PyMethodDef* module_functions();

PyObject* array_new(PyTypeObject* subtype, PyObject* args, PyObject* kwargs);
Py_ssize_t array_length(PyObject* self);
PyObject* array_repr(PyObject* self);
PyObject* array_subscript(PyObject* self, PyObject* key);
PyObject* array_absolute(PyObject* self);

}  // namespace quorvex::binding
