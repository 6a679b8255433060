#include "binding/engine_functions.hpp"

#include "binding/args.hpp"
#include "binding/errors.hpp"
#include "binding/released_lock.hpp"
#include "ops/arithmetic.hpp"

namespace quorvex::binding {
namespace {

// _divide(a, b): a / b elementwise for two IntervalArrays of one shape.
PyObject* f_divide(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (nargs != 2) {
      raise_type_error("_divide() takes 2 arguments");
      return nullptr;
    }
    const IntervalArray* a = convert_array(args[0], "a");
    if (a == nullptr) return nullptr;
    const IntervalArray* b = convert_array(args[1], "b");
    if (b == nullptr) return nullptr;
    IntervalArray left = *a;
    IntervalArray right = *b;
    return run_released([&] {
      const IntervalArray x = std::move(left);
      const IntervalArray y = std::move(right);
      return div_elementwise(x, y);
    });
  });
}

template <class F>
PyCFunction as_cfunction(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

PyMethodDef* engine_functions() {
  static PyMethodDef table[] = {
      {"_divide", as_cfunction(&f_divide), METH_FASTCALL,
       "_divide(a, b)\n--\n\na / b for arrays of one shape, each element by its own operands: "
       "the quotient rule, or endpoint division where the divisor may contain zero."},
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

}  // namespace quorvex::binding
