// The arithmetic slots: operand dispatch for + - * / and unary minus.
#pragma once

#include "binding/py.hpp"

namespace quorvex::binding {

PyObject* array_add(PyObject* x, PyObject* y);
PyObject* array_subtract(PyObject* x, PyObject* y);
PyObject* array_multiply(PyObject* x, PyObject* y);
PyObject* array_true_divide(PyObject* x, PyObject* y);
PyObject* array_negative(PyObject* self);

}  // namespace quorvex::binding
