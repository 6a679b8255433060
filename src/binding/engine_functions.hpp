// Private module functions the quorvex package computes with: operations on
// arrays whose results depend on each element's own operands only, run with
// the interpreter lock released. They are added to the module without
// entering __all__.
#pragma once

#include "binding/py.hpp"

namespace quorvex::binding {

// The table, ending with the sentinel.
PyMethodDef* engine_functions();

}  // namespace quorvex::binding
