// Private module functions that tell which kernels this process runs: the
// test suite follows the active target's orders of operations with them, and
// scripts/test.sh finds the targets the machine supports.
#include "binding/target_info.hpp"

#include "binding/errors.hpp"
#include "simd/targets.hpp"

namespace quorvex::binding {
namespace {

// _target(): the best target of the active (QUORVEX_TARGET-capped) features.
PyObject* f_target(PyObject*, PyObject*) {
  return guarded<PyObject*>(
      nullptr, [] { return PyUnicode_FromString(simd::target_name(simd::active_target())); });
}

// _features(): the active feature flags, e.g. ("avx", "avx2", "fma").
PyObject* f_features(PyObject*, PyObject*) {
  return guarded<PyObject*>(nullptr, []() -> PyObject* {
    const simd::CpuFeatures& f = simd::active_features();
    const std::pair<bool, const char*> flags[] = {{f.avx, "avx"},
                                                  {f.avx2, "avx2"},
                                                  {f.fma, "fma"},
                                                  {f.avx512f, "avx512f"},
                                                  {f.avx512dq, "avx512dq"}};
    PyRef tuple = PyRef::steal(PyTuple_New(0));
    for (const auto& [set, name] : flags) {
      if (!tuple) return nullptr;
      if (!set) continue;
      PyRef item = PyRef::steal(Py_BuildValue("(s)", name));
      if (!item) return nullptr;
      tuple = PyRef::steal(PySequence_Concat(tuple.get(), item.get()));
    }
    return tuple.release();
  });
}

}  // namespace

PyMethodDef* target_functions() {
  static PyMethodDef table[] = {
      {"_target", f_target, METH_NOARGS, "_target()\n--\n\nThe kernel target this process runs."},
      {"_features", f_features, METH_NOARGS,
       "_features()\n--\n\nThe processor features the kernels are chosen for."},
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

}  // namespace quorvex::binding
