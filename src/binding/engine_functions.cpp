#include "binding/engine_functions.hpp"

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "binding/args.hpp"
#include "binding/ball_view.hpp"
#include "binding/errors.hpp"
#include "binding/released_lock.hpp"
#include "binding/type.hpp"
#include "engine/elementwise.hpp"
#include "engine/matmul.hpp"
#include "engine/operations.hpp"
#include "engine/reduce.hpp"
#include "ops/reduction.hpp"
#include "ops/rigorous_more_functions.hpp"
#include "pool/pool.hpp"

namespace quorvex::binding {
namespace {

// Like guarded, but a pool that cannot start is the caller's RuntimeError:
// these functions serve the package, whose users never see PanicException.
template <class F>
PyObject* entry(F&& body) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    try {
      return body();
    } catch (const pool::StartFailure& failure) {
      const std::string message =
          std::string("quorvex could not start its worker threads: ") + failure.what();
      PyErr_SetString(PyExc_RuntimeError, message.c_str());
      return nullptr;
    }
  });
}

// One operand of an engine call: a view (whose storage it keeps alive while
// the lock is released) or a plain number taken as an exact ball.
struct Operand {
  engine::StridedBalls balls;
  StorageRef storage;  // empty for a number
  double cell[2] = {0.0, 0.0};
  bool rigorous = false;
  PyTypeObject* type = nullptr;  // the view's type; null for a number
  std::optional<IntervalArray> whole;

  Operand() = default;
  Operand(const Operand&) = delete;
  Operand& operator=(const Operand&) = delete;
};

// Largest integer every smaller one of which a double holds exactly.
constexpr long long kExactInteger = 1LL << 53;

// Fills `op` from `obj`; false (no error raised) when obj is neither a view
// nor a float or an int that a double holds exactly: the package converts
// such operands itself.
bool operand_of(PyObject* obj, Operand& op) {
  if (is_ball_view(obj)) {
    const ViewState& s = view_state(obj);
    op.balls = strided_of(s);
    op.storage = s.storage;
    op.rigorous = s.rigorous;
    op.type = Py_TYPE(obj);
    if (is_whole_storage(s))
      op.whole = IntervalArray::of_storage(s.storage, engine::to_shape(s.shape));
    return true;
  }
  double value = 0.0;
  if (PyFloat_Check(obj)) {
    value = PyFloat_AsDouble(obj);
  } else if (PyLong_Check(obj)) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (v == -1 && overflow == 0 && PyErr_Occurred() != nullptr) {
      PyErr_Clear();
      return false;
    }
    if (overflow != 0 || v > kExactInteger || v < -kExactInteger) return false;
    value = static_cast<double>(v);
  } else {
    return false;
  }
  op.cell[0] = value;
  op.balls = engine::view_of_number(op.cell);
  return true;
}

bool code_of(PyObject* obj, int* code) {
  const long v = PyLong_AsLong(obj);
  if (v == -1 && PyErr_Occurred() != nullptr) return false;
  *code = v < INT_MIN || v > INT_MAX ? -1 : static_cast<int>(v);
  return true;
}

PyObject* unknown_code(const char* what) {
  PyErr_Format(PyExc_ValueError, "unknown %s code", what);
  return nullptr;
}

engine::Model model_of(bool rigorous) {
  return rigorous ? engine::Model::kRigorous : engine::Model::kFirstOrder;
}

PyObject* bad_operand(const char* function) {
  PyErr_Format(PyExc_TypeError, "%s takes a _BallView", function);
  return nullptr;
}

// Computes with the lock released and wraps the result as a view of `type`.
template <class Compute>
PyObject* released(PyTypeObject* type, bool rigorous, Compute&& compute) {
  Result<IntervalArray> result = compute_released(std::forward<Compute>(compute));
  if (!result) {
    raise_error(result.error());
    return nullptr;
  }
  return wrap_view(type, std::move(result).value(), rigorous);
}

// _unary(code, x)
PyObject* f_unary(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return entry([&]() -> PyObject* {
    if (nargs != 2) return bad_operand("_unary()");
    int code = 0;
    if (!code_of(args[0], &code)) return nullptr;
    Operand x;
    if (!is_ball_view(args[1]) || !operand_of(args[1], x)) return bad_operand("_unary()");
    const std::optional<engine::UnaryOp> op = engine::unary_op(code, model_of(x.rigorous));
    if (!op) return unknown_code("unary operation");
    return released(x.type, x.rigorous, [&] { return engine::apply(*op, x.balls); });
  });
}

// _binary(code, x, y): NotImplemented unless each operand is a view or a
// plain number and one of them is a view.
PyObject* f_binary(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return entry([&]() -> PyObject* {
    if (nargs != 3) return bad_operand("_binary()");
    int code = 0;
    if (!code_of(args[0], &code)) return nullptr;
    if (!engine::binary_op(code)) return unknown_code("binary operation");
    Operand x, y;
    if (!operand_of(args[1], x) || !operand_of(args[2], y) ||
        (x.type == nullptr && y.type == nullptr)) {
      return incref(Py_NotImplemented);
    }
    const std::optional<engine::BinaryOp> op =
        engine::binary_op(code, model_of(x.rigorous || y.rigorous));
    PyTypeObject* type = x.type != nullptr ? x.type : y.type;
    return released(type, x.rigorous || y.rigorous,
                    [&] { return engine::apply(*op, x.balls, y.balls); });
  });
}

bool axes_of(PyObject* obj, std::size_t ndim, std::vector<std::int64_t>* axes) {
  PyRef tuple = PyRef::steal(PySequence_Tuple(obj));
  if (!tuple) return false;
  std::vector<bool> seen(ndim, false);
  for (Py_ssize_t i = 0; i < PyTuple_Size(tuple.get()); ++i) {
    const long long a = PyLong_AsLongLong(PyTuple_GetItem(tuple.get(), i));
    if (a == -1 && PyErr_Occurred() != nullptr) return false;
    if (a < 0 || static_cast<std::size_t>(a) >= ndim || seen[static_cast<std::size_t>(a)]) {
      PyErr_SetString(PyExc_ValueError, "axes must be distinct and within the dimensions");
      return false;
    }
    seen[static_cast<std::size_t>(a)] = true;
    axes->push_back(a);
  }
  return true;
}

// _reduce(code, x, axes, ddof)
PyObject* f_reduce(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return entry([&]() -> PyObject* {
    if (nargs != 4) return bad_operand("_reduce()");
    int code = 0;
    if (!code_of(args[0], &code)) return nullptr;
    if (code < 0 || static_cast<std::size_t>(code) >= engine::reduction_names().size()) {
      return unknown_code("reduction");
    }
    Operand x;
    if (!is_ball_view(args[1]) || !operand_of(args[1], x)) return bad_operand("_reduce()");
    std::vector<std::int64_t> axes;
    if (!axes_of(args[2], x.balls.ndim(), &axes)) return nullptr;
    const double ddof = PyFloat_AsDouble(args[3]);
    if (ddof == -1.0 && PyErr_Occurred() != nullptr) return nullptr;
    return released(x.type, x.rigorous, [&] {
      return engine::reduce(static_cast<engine::Reduction>(code), x.balls, axes, ddof,
                            model_of(x.rigorous));
    });
  });
}

// _accumulate(code, x, axis)
PyObject* f_accumulate(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return entry([&]() -> PyObject* {
    if (nargs != 3) return bad_operand("_accumulate()");
    int code = 0;
    if (!code_of(args[0], &code)) return nullptr;
    if (code < 0 || static_cast<std::size_t>(code) >= engine::accumulation_names().size()) {
      return unknown_code("accumulation");
    }
    Operand x;
    if (!is_ball_view(args[1]) || !operand_of(args[1], x)) return bad_operand("_accumulate()");
    const long long axis = PyLong_AsLongLong(args[2]);
    if (axis == -1 && PyErr_Occurred() != nullptr) return nullptr;
    if (axis < 0 || static_cast<std::size_t>(axis) >= x.balls.ndim()) {
      PyErr_SetString(PyExc_ValueError, "the axis is not within the dimensions");
      return nullptr;
    }
    return released(x.type, x.rigorous, [&] {
      return engine::accumulate(static_cast<engine::Accumulation>(code), x.balls, axis,
                                model_of(x.rigorous));
    });
  });
}

// _matmul(x, y) for views of 2 dimensions or more.
PyObject* f_matmul(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return entry([&]() -> PyObject* {
    Operand x, y;
    if (nargs != 2 || !is_ball_view(args[0]) || !is_ball_view(args[1]) || !operand_of(args[0], x) ||
        !operand_of(args[1], y)) {
      return bad_operand("_matmul()");
    }
    return released(x.type, x.rigorous || y.rigorous, [&] {
      const engine::MatrixOperand a{x.balls, x.whole ? &*x.whole : nullptr};
      const engine::MatrixOperand b{y.balls, y.whole ? &*y.whole : nullptr};
      return engine::matmul(a, b, model_of(x.rigorous || y.rigorous));
    });
  });
}

// _dot(x, y): the inner product of two 1-D views of one length, as a 0-d
// view: the core's dot (its order of fused multiply-adds) in the first-order
// model, the rigorous inner product in the rigorous one.
PyObject* f_dot(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return entry([&]() -> PyObject* {
    Operand x, y;
    if (nargs != 2 || !is_ball_view(args[0]) || !is_ball_view(args[1]) || !operand_of(args[0], x) ||
        !operand_of(args[1], y)) {
      return bad_operand("_dot()");
    }
    if (x.balls.ndim() != 1 || y.balls.ndim() != 1 || x.balls.shape != y.balls.shape) {
      PyErr_SetString(PyExc_ValueError, "_dot() takes two 1-D views of one length");
      return nullptr;
    }
    const bool rigorous = x.rigorous || y.rigorous;
    return released(x.type, rigorous, [&]() -> Result<IntervalArray> {
      const auto copy = *engine::unary_op(static_cast<int>(engine::Unary::kCopy));
      QV_TRY(a, x.whole ? *x.whole : engine::apply(copy, x.balls));
      QV_TRY(b, y.whole ? *y.whole : engine::apply(copy, y.balls));
      const Ball d = rigorous ? rigorous_dot_of(run_of(a), run_of(b)) : array_dot(a, b);
      const double mid[1] = {d.mid}, rad[1] = {d.rad};
      return IntervalArray::from_parts(mid, rad, Shape{});
    });
  });
}

// _core(x): an IntervalArray of x's elements, sharing x's storage when x is
// all of it in row-major order.
PyObject* f_core(PyObject*, PyObject* x_obj) {
  return entry([&]() -> PyObject* {
    Operand x;
    if (!is_ball_view(x_obj) || !operand_of(x_obj, x)) return bad_operand("_core()");
    if (x.whole) return wrap_array(std::move(*x.whole));
    return run_released([&] {
      return engine::apply(*engine::unary_op(static_cast<int>(engine::Unary::kCopy)), x.balls);
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
      {"_unary", as_cfunction(&f_unary), METH_FASTCALL,
       "_unary(code, x, /)\n--\n\nThe unary operation `code` of _UNARY on every ball of x."},
      {"_binary", as_cfunction(&f_binary), METH_FASTCALL,
       "_binary(code, x, y, /)\n--\n\nThe binary operation `code` of _BINARY, broadcasting x "
       "and y (views or plain numbers) as numpy does."},
      {"_reduce", as_cfunction(&f_reduce), METH_FASTCALL,
       "_reduce(code, x, axes, ddof, /)\n--\n\nThe reduction `code` of _REDUCTIONS over the "
       "given axes of x."},
      {"_accumulate", as_cfunction(&f_accumulate), METH_FASTCALL,
       "_accumulate(code, x, axis, /)\n--\n\nThe running reduction `code` of _ACCUMULATIONS "
       "along one axis of x."},
      {"_matmul", as_cfunction(&f_matmul), METH_FASTCALL,
       "_matmul(x, y, /)\n--\n\nMatrix products of the stacks of matrices x and y."},
      {"_dot", as_cfunction(&f_dot), METH_FASTCALL,
       "_dot(x, y, /)\n--\n\nThe inner product of two 1-D views of one length, as a 0-d view."},
      {"_core", f_core, METH_O,
       "_core(x, /)\n--\n\nAn IntervalArray of the viewed elements, sharing the storage when it "
       "can."},
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

bool add_engine_names(PyObject* module) {
  const auto add_table = [&](const char* name, std::span<const std::string_view> names) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      PyRef key = PyRef::steal(
          PyUnicode_FromStringAndSize(names[i].data(), static_cast<Py_ssize_t>(names[i].size())));
      PyRef value = PyRef::steal(PyLong_FromSize_t(i));
      if (!key || !value || PyDict_SetItem(dict.get(), key.get(), value.get()) != 0) return false;
    }
    return PyObject_SetAttrString(module, name, dict.get()) == 0;
  };
  auto* view_type = reinterpret_cast<PyObject*>(ball_view_type());
  // The C library's functions the rigorous model calls, and the error bound
  // in ulps it assumes of each.
  PyRef ulps = PyRef::steal(PyDict_New());
  if (!ulps) return false;
  for (const char* name : {"exp",   "log",   "log2",  "log10", "sin",   "cos",  "tan",  "exp2",
                           "expm1", "log1p", "sinh",  "cosh",  "tanh",  "asin", "acos", "atan",
                           "asinh", "acosh", "atanh", "hypot", "atan2", "pow"}) {
    PyRef bound = PyRef::steal(PyLong_FromLong(kLibraryUlps));
    if (!bound || PyDict_SetItemString(ulps.get(), name, bound.get()) != 0) return false;
  }
  PyRef cbrt = PyRef::steal(PyLong_FromLong(rigorous_detail::kCbrtUlps));
  if (!cbrt || PyDict_SetItemString(ulps.get(), "cbrt", cbrt.get()) != 0) return false;
  return PyObject_SetAttrString(module, "_LIBRARY_ULPS", ulps.get()) == 0 &&
         PyObject_SetAttrString(module, "_BallView", view_type) == 0 &&
         add_table("_UNARY", engine::unary_names()) &&
         add_table("_BINARY", engine::binary_names()) &&
         add_table("_REDUCTIONS", engine::reduction_names()) &&
         add_table("_ACCUMULATIONS", engine::accumulation_names());
}

}  // namespace quorvex::binding
