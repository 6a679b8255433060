#include "binding/operators.hpp"

#include <optional>
#include <string>

#include "binding/args.hpp"
#include "binding/errors.hpp"
#include "binding/released_lock.hpp"
#include "binding/type.hpp"
#include "ops/arithmetic.hpp"

namespace quorvex::binding {

namespace {

enum class BinaryOp { kAdd, kSub, kMul, kDiv };

void raise_unsupported(BinaryOp op) {
  static constexpr const char* kSymbols[] = {"+", "-", "*", "/"};
  raise_type_error(std::string("unsupported operand type for ") + kSymbols[static_cast<int>(op)]);
}

// A plain-number operand; its own conversion error is replaced by the
// operator's message.
bool operand_double(PyObject* obj, BinaryOp op, double* out) {
  if (convert_double_raw(obj, out)) return true;
  PyErr_Clear();
  raise_unsupported(op);
  return false;
}

Result<IntervalArray> array_array(BinaryOp op, const IntervalArray& a, const IntervalArray& b) {
  switch (op) {
    case BinaryOp::kAdd:
      return add(a, b);
    case BinaryOp::kSub:
      return sub(a, b);
    case BinaryOp::kMul:
      return mul(a, b);
    case BinaryOp::kDiv:
      break;
  }
  return div(a, b);
}

Result<IntervalArray> array_scalar(BinaryOp op, const IntervalArray& a, double s) {
  switch (op) {
    case BinaryOp::kAdd:
      return add_scalar(a, s);
    case BinaryOp::kSub:
      return sub_scalar(a, s);
    case BinaryOp::kMul:
      return mul_scalar(a, s);
    case BinaryOp::kDiv:
      break;
  }
  return div_scalar(a, s);
}

// s op a with the array on the right (never division).
Result<IntervalArray> scalar_array(BinaryOp op, double s, const IntervalArray& a) {
  switch (op) {
    case BinaryOp::kSub:
      return rsub_scalar(s, a);
    case BinaryOp::kMul:
      return mul_scalar(a, s);
    default:
      break;
  }
  return add_scalar(a, s);
}

PyObject* not_implemented() {
  return incref(Py_NotImplemented);
}

PyObject* binary(BinaryOp op, PyObject* x, PyObject* y) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (is_array(x)) {
      if (is_array(y)) {
        IntervalArray a = array_value(x);
        IntervalArray b = array_value(y);
        return run_released([&] {
          const IntervalArray left = std::move(a);
          const IntervalArray right = std::move(b);
          return array_array(op, left, right);
        });
      }
      double s = 0.0;
      if (!operand_double(y, op, &s)) return nullptr;
      IntervalArray a = array_value(x);
      return run_released([&] {
        const IntervalArray left = std::move(a);
        return array_scalar(op, left, s);
      });
    }
    // Division has no reflected form: a number over an array is left to the
    // interpreter, which reports the unsupported operand types itself.
    if (op == BinaryOp::kDiv || !is_array(y)) return not_implemented();
    double s = 0.0;
    if (!operand_double(x, op, &s)) return nullptr;
    IntervalArray b = array_value(y);
    return run_released([&] {
      const IntervalArray right = std::move(b);
      return scalar_array(op, s, right);
    });
  });
}

}  // namespace

PyObject* array_add(PyObject* x, PyObject* y) {
  return binary(BinaryOp::kAdd, x, y);
}
PyObject* array_subtract(PyObject* x, PyObject* y) {
  return binary(BinaryOp::kSub, x, y);
}
PyObject* array_multiply(PyObject* x, PyObject* y) {
  return binary(BinaryOp::kMul, x, y);
}
PyObject* array_true_divide(PyObject* x, PyObject* y) {
  return binary(BinaryOp::kDiv, x, y);
}

PyObject* array_negative(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    const IntervalArray* a = convert_array(self, {});
    return a == nullptr ? nullptr : wrap_result(negate(*a));
  });
}

}  // namespace quorvex::binding
