// Module initialisation: one module object per process, refused in any
// interpreter but the first one that imports it.
#include <atomic>
#include <cstdint>

#include "binding/bridge.hpp"
#include "binding/engine_functions.hpp"
#include "binding/errors.hpp"
#include "binding/methods.hpp"
#include "binding/py.hpp"
#include "binding/storage_buffer.hpp"
#include "binding/target_info.hpp"
#include "binding/type.hpp"
#include "support/panic.hpp"

namespace quorvex::binding {

namespace {

// m_size = 0 rather than -1: with -1 the interpreter would rebuild a removed
// module from a cached copy of its dict without calling the init function,
// which would bypass both the single-module rule and the interpreter check.
PyModuleDef g_definition = {
    PyModuleDef_HEAD_INIT,
    "_quorvex",
    "Python module definition.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

std::atomic<std::int64_t> g_main_interpreter{-1};
PyObject* g_module = nullptr;

// Sets module.<name> = value after appending name to __all__ (created empty
// on first use).
bool add_attribute(PyObject* module, PyObject* name, PyObject* value) {
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) != 0) return false;
  }
  if (!PyList_Check(all.get()) || PyList_Append(all.get(), name) != 0) {
    PyErr_Clear();
    panic("could not append __name__ to __all__");
  }
  return PyObject_SetAttr(module, name, value) == 0;
}

bool add_attribute(PyObject* module, const char* name, PyObject* value) {
  PyRef name_obj = PyRef::steal(PyUnicode_FromString(name));
  return name_obj && add_attribute(module, name_obj.get(), value);
}

// Functions set on the module but kept out of __all__.
bool add_private_functions(PyObject* module, PyObject* module_name, PyMethodDef* def) {
  for (; def->ml_name != nullptr; ++def) {
    PyRef function = PyRef::steal(PyCMethod_New(def, module, module_name, nullptr));
    if (!function || PyObject_SetAttrString(module, def->ml_name, function.get()) != 0) {
      return false;
    }
  }
  return true;
}

// What the quorvex package and the tests build on, kept out of __all__: the
// exception class the package re-exports, the storage buffer type, the
// functions that move data in and out of storages, and those that tell the
// kernel target.
bool add_private_names(PyObject* module, PyObject* module_name) {
  PyObject* panic_type = panic_exception_type();
  if (panic_type == nullptr || PyObject_SetAttrString(module, "_PanicException", panic_type) != 0) {
    return false;
  }
  auto* buffer_type = reinterpret_cast<PyObject*>(storage_buffer_type());
  if (PyObject_SetAttrString(module, "_StorageBuffer", buffer_type) != 0) return false;
  return add_private_functions(module, module_name, bridge_functions()) &&
         add_private_functions(module, module_name, engine_functions()) &&
         add_engine_names(module) && add_private_functions(module, module_name, target_functions());
}

bool populate(PyObject* module) {
  if (!add_attribute(module, "IntervalArray", reinterpret_cast<PyObject*>(interval_array_type()))) {
    return false;
  }
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return false;
  for (PyMethodDef* def = module_functions(); def->ml_name != nullptr; ++def) {
    PyRef function = PyRef::steal(PyCMethod_New(def, module, module_name.get(), nullptr));
    if (!function) return false;
    PyRef name = PyRef::steal(PyObject_GetAttrString(function.get(), "__name__"));
    if (!name || !add_attribute(module, name.get(), function.get())) return false;
  }
  PyRef version = PyRef::steal(PyUnicode_FromString("0.1.0"));
  return version && add_attribute(module, "__version__", version.get()) &&
         add_private_names(module, module_name.get());
}

PyObject* init_module() {
  PyInterpreterState* interpreter = PyInterpreterState_Get();
  const std::int64_t id = PyInterpreterState_GetID(interpreter);
  if (id == -1) {
    ensure_error_set();
    return nullptr;
  }
  std::int64_t expected = -1;
  if (!g_main_interpreter.compare_exchange_strong(expected, id) && expected != id) {
    PyErr_SetString(PyExc_ImportError,
                    "_quorvex does not support sub-interpreters: it can only be imported in "
                    "the interpreter that imported it first");
    return nullptr;
  }
  if (g_module != nullptr) return incref(g_module);

  PyRef module = PyRef::steal(PyModule_Create2(&g_definition, 3));
  if (!module) return nullptr;
  if (!populate(module.get())) {
    ensure_error_set();
    return nullptr;
  }
  // Populating may run Python code (through the allocator's collections), so
  // another import could have finished meanwhile; keep the first module.
  if (g_module != nullptr) return incref(g_module);
  g_module = incref(module.get());
  return module.release();
}

}  // namespace

}  // namespace quorvex::binding

PyMODINIT_FUNC PyInit__quorvex(void) {
  using quorvex::binding::guarded;
  return guarded<PyObject*>(nullptr, [] { return quorvex::binding::init_module(); });
}
