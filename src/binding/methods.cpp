#include "binding/methods.hpp"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "array/access.hpp"
#include "array/constructors.hpp"
#include "array/render.hpp"
#include "array/shape_ops.hpp"
#include "binding/args.hpp"
#include "binding/errors.hpp"
#include "binding/type.hpp"
#include "ops/arithmetic.hpp"
#include "ops/math.hpp"
#include "ops/matmul.hpp"
#include "ops/reduction.hpp"
#include "pool/pool.hpp"

namespace quorvex::binding {

namespace {

// ---- result objects ----

PyObject* ball_tuple(Ball b) {
  PyRef tuple = PyRef::steal(PyTuple_New(2));
  if (!tuple) return nullptr;
  PyObject* mid = PyFloat_FromDouble(b.mid);
  if (mid == nullptr || PyTuple_SetItem(tuple.get(), 0, mid) != 0) return nullptr;
  PyObject* rad = PyFloat_FromDouble(b.rad);
  if (rad == nullptr || PyTuple_SetItem(tuple.get(), 1, rad) != 0) return nullptr;
  return tuple.release();
}

PyObject* ball_result(Result<Ball>&& result) {
  if (!result) {
    raise_error(result.error());
    return nullptr;
  }
  return ball_tuple(*result);
}

PyObject* float_result(Result<double>&& result) {
  if (!result) {
    raise_error(result.error());
    return nullptr;
  }
  return PyFloat_FromDouble(*result);
}

// A list of exactly n items, item i made by make(i).
template <class Make>
PyObject* build_list(std::size_t n, Make&& make) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(n)));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < n; ++i) {
    PyObject* item = make(i);
    if (item == nullptr) return nullptr;
    if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item) != 0) return nullptr;
  }
  return list.release();
}

PyObject* float_list(std::span<const double> run) {
  // The run is copied out first, so no storage is read while Python objects
  // are being allocated.
  const std::vector<double> copy(run.begin(), run.end());
  return build_list(copy.size(), [&](std::size_t i) { return PyFloat_FromDouble(copy[i]); });
}

const IntervalArray* self_array(PyObject* self) {
  return convert_array(self, {});
}

template <class F>
PyObject* entry(F&& body) {
  return guarded<PyObject*>(nullptr, std::forward<F>(body));
}

// ---- method families ----

template <Result<IntervalArray> (*Op)(const IntervalArray&)>
PyObject* array_method(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : wrap_result(Op(*a));
  });
}

template <Ball (*Op)(const IntervalArray&)>
PyObject* ball_method(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : ball_tuple(Op(*a));
  });
}

// Methods taking one argument: parses it and hands it to body(array, arg).
template <class Body>
PyObject* one_arg_method(const Signature& sig, PyObject* self, PyObject* args, PyObject* kwargs,
                         Body&& body) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    if (a == nullptr) return nullptr;
    PyObject* arg = nullptr;
    if (!parse_arguments(sig, args, kwargs, &arg)) return nullptr;
    return body(*a, arg);
  });
}

// ---- inspection ----

PyObject* m_shape(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    if (a == nullptr) return nullptr;
    const Shape& shape = a->shape();
    return build_list(shape.size(),
                      [&](std::size_t i) { return PyLong_FromUnsignedLongLong(shape[i]); });
  });
}

PyObject* m_ndim(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : PyLong_FromUnsignedLongLong(a->ndim());
  });
}

PyObject* m_max_relative_error(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : PyFloat_FromDouble(max_relative_error(*a));
  });
}

PyObject* m_max_radius(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : PyFloat_FromDouble(max_radius(*a));
  });
}

PyObject* m_is_exact(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : PyBool_FromLong(is_exact(*a) ? 1 : 0);
  });
}

PyObject* m_is_empty(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : PyBool_FromLong(a->size() == 0 ? 1 : 0);
  });
}

const Signature kGet{"IntervalArray.get()", {"idx"}, 1};
const Signature kMidpoint{"IntervalArray.midpoint()", {"idx"}, 1};
const Signature kRadius{"IntervalArray.radius()", {"idx"}, 1};

PyObject* m_get(PyObject* self, PyObject* args, PyObject* kwargs) {
  return one_arg_method(kGet, self, args, kwargs, [](const IntervalArray& a, PyObject* arg) {
    std::uint64_t idx = 0;
    return convert_u64(arg, "idx", &idx) ? ball_result(element_ball(a, idx)) : nullptr;
  });
}

PyObject* m_midpoint(PyObject* self, PyObject* args, PyObject* kwargs) {
  return one_arg_method(kMidpoint, self, args, kwargs, [](const IntervalArray& a, PyObject* arg) {
    std::uint64_t idx = 0;
    return convert_u64(arg, "idx", &idx) ? float_result(element_midpoint(a, idx)) : nullptr;
  });
}

PyObject* m_radius(PyObject* self, PyObject* args, PyObject* kwargs) {
  return one_arg_method(kRadius, self, args, kwargs, [](const IntervalArray& a, PyObject* arg) {
    std::uint64_t idx = 0;
    return convert_u64(arg, "idx", &idx) ? float_result(element_radius(a, idx)) : nullptr;
  });
}

// ---- reductions with another array ----

const Signature kDot{"IntervalArray.dot()", {"other"}, 1};
const Signature kMatmul{"IntervalArray.matmul()", {"other"}, 1};

PyObject* m_dot(PyObject* self, PyObject* args, PyObject* kwargs) {
  return one_arg_method(kDot, self, args, kwargs, [](const IntervalArray& a, PyObject* arg) {
    const IntervalArray* b = convert_array(arg, "other");
    return b == nullptr ? nullptr : ball_tuple(array_dot(a, *b));
  });
}

PyObject* m_matmul(PyObject* self, PyObject* args, PyObject* kwargs) {
  return one_arg_method(kMatmul, self, args, kwargs, [](const IntervalArray& a, PyObject* arg) {
    const IntervalArray* b = convert_array(arg, "other");
    return b == nullptr ? nullptr : wrap_result(matmul(a, *b));
  });
}

// ---- exports and shape ----

PyObject* m_tolist(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    if (a == nullptr) return nullptr;
    const std::vector<double> mids(a->midpoints().begin(), a->midpoints().end());
    const std::vector<double> rads(a->radii().begin(), a->radii().end());
    return build_list(mids.size(), [&](std::size_t i) { return ball_tuple({mids[i], rads[i]}); });
  });
}

PyObject* m_values(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : float_list(a->midpoints());
  });
}

PyObject* m_radii(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : float_list(a->radii());
  });
}

PyObject* m_copy(PyObject* self, PyObject*) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    return a == nullptr ? nullptr : wrap_array(IntervalArray(*a));
  });
}

const Signature kReshape{"IntervalArray.reshape()", {"shape"}, 1};
const Signature kScale{"IntervalArray.scale()", {"scalar"}, 1};

PyObject* m_reshape(PyObject* self, PyObject* args, PyObject* kwargs) {
  return one_arg_method(kReshape, self, args, kwargs, [](const IntervalArray& a, PyObject* arg) {
    Shape shape;
    return convert_shape(arg, "shape", &shape) ? wrap_result(reshape(a, shape)) : nullptr;
  });
}

PyObject* m_scale(PyObject* self, PyObject* args, PyObject* kwargs) {
  return one_arg_method(kScale, self, args, kwargs, [](const IntervalArray& a, PyObject* arg) {
    double s = 0.0;
    // Unlike a * s, scale keeps the interpreter lock: it is meant for small,
    // cheap calls where releasing costs more than it saves.
    return convert_double(arg, "scalar", &s) ? wrap_result(mul_scalar(a, s)) : nullptr;
  });
}

PyObject* m_transpose(PyObject* self, PyObject* unused) {
  return array_method<&transpose>(self, unused);
}

// ---- module functions ----

const Signature kArray{"array()", {"values", "error"}, 1};
const Signature kNew{"IntervalArray.__new__()", {"values", "error"}, 1};
const Signature kZeros{"zeros()", {"shape"}, 1};
const Signature kOnes{"ones()", {"shape"}, 1};
const Signature kFull{"full()", {"shape", "value", "error"}, 2};
const Signature kLinspace{"linspace()", {"start", "stop", "num"}, 2};
const Signature kArange{"arange()", {"start", "stop", "step"}, 2};

// array() and IntervalArray(): the list type first, then `error`, then the items.
PyObject* construct_from_list(const Signature& sig, PyObject* args, PyObject* kwargs,
                              PyTypeObject* type) {
  PyObject* argv[2];
  if (!parse_arguments(sig, args, kwargs, argv)) return nullptr;
  if (!check_float_list(argv[0], "values")) return nullptr;
  double error = 0.0;
  if (argv[1] != nullptr && !convert_double(argv[1], "error", &error)) return nullptr;
  std::vector<double> values;
  if (!convert_float_list_items(argv[0], &values)) return nullptr;
  return wrap_result(make_array(values, error), type);
}

PyObject* f_array(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&] { return construct_from_list(kArray, args, kwargs, nullptr); });
}

template <Result<IntervalArray> (*Make)(const Shape&)>
PyObject* from_shape(const Signature& sig, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* arg = nullptr;
    if (!parse_arguments(sig, args, kwargs, &arg)) return nullptr;
    Shape shape;
    return convert_shape(arg, "shape", &shape) ? wrap_result(Make(shape)) : nullptr;
  });
}

PyObject* f_zeros(PyObject*, PyObject* args, PyObject* kwargs) {
  return from_shape<&make_zeros>(kZeros, args, kwargs);
}

PyObject* f_ones(PyObject*, PyObject* args, PyObject* kwargs) {
  return from_shape<&make_ones>(kOnes, args, kwargs);
}

PyObject* f_full(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* argv[3];
    if (!parse_arguments(kFull, args, kwargs, argv)) return nullptr;
    Shape shape;
    double value = 0.0;
    double error = 0.0;
    if (!convert_shape(argv[0], "shape", &shape)) return nullptr;
    if (!convert_double(argv[1], "value", &value)) return nullptr;
    if (argv[2] != nullptr && !convert_double(argv[2], "error", &error)) return nullptr;
    return wrap_result(make_full(shape, value, error));
  });
}

PyObject* f_linspace(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* argv[3];
    if (!parse_arguments(kLinspace, args, kwargs, argv)) return nullptr;
    double start = 0.0;
    double stop = 0.0;
    std::uint64_t num = 50;
    if (!convert_double(argv[0], "start", &start)) return nullptr;
    if (!convert_double(argv[1], "stop", &stop)) return nullptr;
    if (argv[2] != nullptr && !convert_u64(argv[2], "num", &num)) return nullptr;
    return wrap_result(make_linspace(start, stop, num));
  });
}

PyObject* f_arange(PyObject*, PyObject* args, PyObject* kwargs) {
  return entry([&]() -> PyObject* {
    PyObject* argv[3];
    if (!parse_arguments(kArange, args, kwargs, argv)) return nullptr;
    double start = 0.0;
    double stop = 0.0;
    double step = 1.0;
    if (!convert_double(argv[0], "start", &start)) return nullptr;
    if (!convert_double(argv[1], "stop", &stop)) return nullptr;
    if (argv[2] != nullptr && !convert_double(argv[2], "step", &step)) return nullptr;
    return wrap_result(make_arange(start, stop, step));
  });
}

PyObject* f_num_threads(PyObject*, PyObject*) {
  return entry([] { return PyLong_FromUnsignedLongLong(pool::pool_thread_count()); });
}

// ---- tables ----

template <class F>
PyCFunction as_cfunction(F f) {
  // Through void(*)() so the compiler accepts the cast between call signatures.
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

constexpr int kArgs = METH_VARARGS | METH_KEYWORDS;

}  // namespace

PyMethodDef* array_methods() {
  static PyMethodDef table[] = {
      {"shape", as_cfunction(&m_shape), METH_NOARGS, "shape($self)\n--\n\n"},
      {"ndim", as_cfunction(&m_ndim), METH_NOARGS, "ndim($self)\n--\n\n"},
      {"max_relative_error", as_cfunction(&m_max_relative_error), METH_NOARGS,
       "max_relative_error($self)\n--\n\n"},
      {"max_radius", as_cfunction(&m_max_radius), METH_NOARGS, "max_radius($self)\n--\n\n"},
      {"is_exact", as_cfunction(&m_is_exact), METH_NOARGS, "is_exact($self)\n--\n\n"},
      {"is_empty", as_cfunction(&m_is_empty), METH_NOARGS, "is_empty($self)\n--\n\n"},
      {"get", as_cfunction(&m_get), kArgs, "get($self, idx)\n--\n\n"},
      {"midpoint", as_cfunction(&m_midpoint), kArgs, "midpoint($self, idx)\n--\n\n"},
      {"radius", as_cfunction(&m_radius), kArgs, "radius($self, idx)\n--\n\n"},
      {"sin", as_cfunction(&array_method<&array_sin>), METH_NOARGS, "sin($self)\n--\n\n"},
      {"cos", as_cfunction(&array_method<&array_cos>), METH_NOARGS, "cos($self)\n--\n\n"},
      {"tan", as_cfunction(&array_method<&array_tan>), METH_NOARGS, "tan($self)\n--\n\n"},
      {"exp", as_cfunction(&array_method<&array_exp>), METH_NOARGS, "exp($self)\n--\n\n"},
      {"ln", as_cfunction(&array_method<&array_ln>), METH_NOARGS, "ln($self)\n--\n\n"},
      {"log2", as_cfunction(&array_method<&array_log2>), METH_NOARGS, "log2($self)\n--\n\n"},
      {"log10", as_cfunction(&array_method<&array_log10>), METH_NOARGS, "log10($self)\n--\n\n"},
      {"sqrt", as_cfunction(&array_method<&array_sqrt>), METH_NOARGS, "sqrt($self)\n--\n\n"},
      {"abs", as_cfunction(&array_method<&array_abs>), METH_NOARGS, "abs($self)\n--\n\n"},
      {"sum", as_cfunction(&ball_method<&array_sum>), METH_NOARGS, "sum($self)\n--\n\n"},
      {"mean", as_cfunction(&ball_method<&array_mean>), METH_NOARGS, "mean($self)\n--\n\n"},
      {"var", as_cfunction(&ball_method<&array_var>), METH_NOARGS, "var($self)\n--\n\n"},
      {"std", as_cfunction(&ball_method<&array_std>), METH_NOARGS, "std($self)\n--\n\n"},
      {"min_val", as_cfunction(&ball_method<&array_min_val>), METH_NOARGS,
       "min_val($self)\n--\n\n"},
      {"max_val", as_cfunction(&ball_method<&array_max_val>), METH_NOARGS,
       "max_val($self)\n--\n\n"},
      {"dot", as_cfunction(&m_dot), kArgs, "dot($self, other)\n--\n\n"},
      {"matmul", as_cfunction(&m_matmul), kArgs, "matmul($self, other)\n--\n\n"},
      {"cumsum", as_cfunction(&array_method<&array_cumsum>), METH_NOARGS, "cumsum($self)\n--\n\n"},
      {"prod", as_cfunction(&ball_method<&array_prod>), METH_NOARGS, "prod($self)\n--\n\n"},
      {"norm", as_cfunction(&ball_method<&array_norm>), METH_NOARGS, "norm($self)\n--\n\n"},
      {"tolist", as_cfunction(&m_tolist), METH_NOARGS, "tolist($self)\n--\n\n"},
      {"values", as_cfunction(&m_values), METH_NOARGS, "values($self)\n--\n\n"},
      {"radii", as_cfunction(&m_radii), METH_NOARGS, "radii($self)\n--\n\n"},
      {"copy", as_cfunction(&m_copy), METH_NOARGS, "copy($self)\n--\n\n"},
      {"reshape", as_cfunction(&m_reshape), kArgs, "reshape($self, shape)\n--\n\n"},
      {"transpose", as_cfunction(&m_transpose), METH_NOARGS, "transpose($self)\n--\n\n"},
      {"scale", as_cfunction(&m_scale), kArgs,
       "scale($self, scalar)\n--\n\nScale the array by an exact scalar (fast path)."},
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

PyMethodDef* module_functions() {
  static PyMethodDef table[] = {
      {"array", as_cfunction(&f_array), kArgs, "array(values, error=0.0)\n--\n\n"},
      {"zeros", as_cfunction(&f_zeros), kArgs, "zeros(shape)\n--\n\n"},
      {"ones", as_cfunction(&f_ones), kArgs, "ones(shape)\n--\n\n"},
      {"full", as_cfunction(&f_full), kArgs, "full(shape, value, error=0.0)\n--\n\n"},
      {"linspace", as_cfunction(&f_linspace), kArgs, "linspace(start, stop, num=50)\n--\n\n"},
      {"arange", as_cfunction(&f_arange), kArgs, "arange(start, stop, step=1.0)\n--\n\n"},
      {"num_threads", as_cfunction(&f_num_threads), METH_NOARGS,
       "num_threads()\n--\n\nGet the number of Rayon worker threads."},
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

// ---- slots other than arithmetic ----

PyObject* array_new(PyTypeObject* subtype, PyObject* args, PyObject* kwargs) {
  return entry([&] { return construct_from_list(kNew, args, kwargs, subtype); });
}

Py_ssize_t array_length(PyObject* self) {
  return guarded<Py_ssize_t>(-1, [&]() -> Py_ssize_t {
    const IntervalArray* a = self_array(self);
    if (a == nullptr) return -1;
    if (a->size() > static_cast<std::uint64_t>(std::numeric_limits<Py_ssize_t>::max())) {
      PyErr_SetNone(PyExc_OverflowError);
      return -1;
    }
    return static_cast<Py_ssize_t>(a->size());
  });
}

PyObject* array_repr(PyObject* self) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    if (a == nullptr) return nullptr;
    const std::string text = render(*a);
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

PyObject* array_subscript(PyObject* self, PyObject* key) {
  return entry([&]() -> PyObject* {
    const IntervalArray* a = self_array(self);
    if (a == nullptr) return nullptr;
    std::int64_t i = 0;
    return convert_i64(key, "idx", &i) ? ball_result(subscript(*a, i)) : nullptr;
  });
}

PyObject* array_absolute(PyObject* self) {
  return array_method<&array_abs>(self, nullptr);
}

}  // namespace quorvex::binding
