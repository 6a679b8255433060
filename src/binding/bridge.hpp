// Private module functions for the quorvex package: moving element data
// between numpy and IntervalArray storages without extra copies. They are
// added to the module without entering __all__.
#pragma once

#include "binding/py.hpp"

namespace quorvex::binding {

// _storage, _storage_for_overwrite, _copy_into, _from_storage, then the sentinel.
PyMethodDef* bridge_functions();

}  // namespace quorvex::binding
