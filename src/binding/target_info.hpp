// Private module functions (not in __all__) about the kernel target.
#pragma once

#include "binding/py.hpp"

namespace quorvex::binding {

// _target, _features, then the sentinel; lives for the process.
PyMethodDef* target_functions();

}  // namespace quorvex::binding
