// Private module functions the quorvex package computes with: the engine's
// elementwise operations, reductions and matrix products on views, each
// element computed from its own operands only, run with the interpreter lock
// released. They are added to the module without
// entering __all__.
#pragma once

#include "binding/py.hpp"

namespace quorvex::binding {

// The table, ending with the sentinel.
PyMethodDef* engine_functions();

// Sets the view type _BallView and the operation tables _UNARY, _BINARY,
// _REDUCTIONS and _ACCUMULATIONS (name -> code) on the module, and
// _LIBRARY_ULPS, the C library's error bounds the rigorous model assumes.
bool add_engine_names(PyObject* module);

}  // namespace quorvex::binding
