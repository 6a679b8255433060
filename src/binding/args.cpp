#include "binding/args.hpp"

#include <algorithm>
#include <array>

#include "binding/errors.hpp"
#include "binding/type.hpp"
#include "support/arg_messages.hpp"

namespace quorvex::binding {

namespace {

bool has_flag(PyObject* obj, unsigned long flag) {
  return (PyType_GetFlags(Py_TYPE(obj)) & flag) != 0;
}

bool fail_type_mismatch(PyObject* obj, std::string_view target, std::string_view param) {
  raise_type_error(type_mismatch_message(type_name_of(obj), target));
  if (!param.empty()) wrap_argument_error(param);
  return false;
}

// Unsigned conversion without the argument prefix.
bool u64_raw(PyObject* obj, std::uint64_t* out) {
  PyRef index;
  if (!has_flag(obj, Py_TPFLAGS_LONG_SUBCLASS)) {
    index = PyRef::steal(PyNumber_Index(obj));
    if (!index) return false;
    obj = index.get();
  }
  const unsigned long long v = PyLong_AsUnsignedLongLong(obj);
  if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) return false;
  *out = v;
  return true;
}

// A length from __len__ is only a hint; a lying one must not make us reserve
// absurd amounts, and shapes are short anyway.
constexpr Py_ssize_t kMaxShapeReserve = 64;

}  // namespace

bool parse_arguments(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
  const std::size_t total = sig.params.size();
  std::fill(out, out + total, nullptr);
  const Py_ssize_t n_signed = args == nullptr ? 0 : PyTuple_Size(args);
  if (n_signed < 0) return false;
  const auto n = static_cast<std::size_t>(n_signed);
  if (n > total) {
    raise_type_error(too_many_positional_message(sig.name, sig.required, total, n));
    return false;
  }
  for (std::size_t i = 0; i < n; ++i) out[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));

  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!PyUnicode_Check(key)) {
        raise_type_error(std::string(sig.name) + " keywords must be strings");
        return false;
      }
      Py_ssize_t size = 0;
      const char* utf8 = PyUnicode_AsUTF8AndSize(key, &size);
      if (utf8 == nullptr) return false;
      const std::string_view keyword(utf8, static_cast<std::size_t>(size));
      const auto it = std::find(sig.params.begin(), sig.params.end(), keyword);
      if (it == sig.params.end()) {
        raise_type_error(unexpected_keyword_message(sig.name, keyword));
        return false;
      }
      PyObject*& slot = out[it - sig.params.begin()];
      if (slot != nullptr) {
        raise_type_error(duplicate_argument_message(sig.name, keyword));
        return false;
      }
      slot = value;
    }
  }

  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < sig.required; ++i) {
    if (out[i] == nullptr) missing.push_back(sig.params.begin()[i]);
  }
  if (!missing.empty()) {
    raise_type_error(missing_arguments_message(sig.name, missing));
    return false;
  }
  return true;
}

bool convert_double_raw(PyObject* obj, double* out) {
  const double v = PyFloat_AsDouble(obj);
  if (v == -1.0 && PyErr_Occurred() != nullptr) return false;
  *out = v;
  return true;
}

bool convert_double(PyObject* obj, std::string_view param, double* out) {
  if (convert_double_raw(obj, out)) return true;
  wrap_argument_error(param);
  return false;
}

bool convert_u64(PyObject* obj, std::string_view param, std::uint64_t* out) {
  if (u64_raw(obj, out)) return true;
  wrap_argument_error(param);
  return false;
}

bool convert_i64(PyObject* obj, std::string_view param, std::int64_t* out) {
  const long v = PyLong_AsLong(obj);
  if (v == -1 && PyErr_Occurred() != nullptr) {
    wrap_argument_error(param);
    return false;
  }
  *out = v;
  return true;
}

bool convert_shape(PyObject* obj, std::string_view param, Shape* out) {
  out->clear();
  if (has_flag(obj, Py_TPFLAGS_UNICODE_SUBCLASS)) {
    raise_type_error("Can't extract `str` to `Vec`");
    wrap_argument_error(param);
    return false;
  }
  if (!PySequence_Check(obj)) return fail_type_mismatch(obj, "Sequence", param);
  Py_ssize_t hint = PySequence_Size(obj);
  if (hint < 0) {
    PyErr_Clear();
    hint = 0;
  }
  out->reserve(static_cast<std::size_t>(std::min(hint, kMaxShapeReserve)));
  PyRef iter = PyRef::steal(PyObject_GetIter(obj));
  if (!iter) {
    wrap_argument_error(param);
    return false;
  }
  while (PyRef item = PyRef::steal(PyIter_Next(iter.get()))) {
    std::uint64_t dim = 0;
    if (!u64_raw(item.get(), &dim)) {
      wrap_argument_error(param);
      return false;
    }
    out->push_back(dim);
  }
  if (PyErr_Occurred() != nullptr) {
    wrap_argument_error(param);
    return false;
  }
  return true;
}

bool check_float_list(PyObject* obj, std::string_view param) {
  if (has_flag(obj, Py_TPFLAGS_LIST_SUBCLASS)) return true;
  return fail_type_mismatch(obj, "PyList", param);
}

bool convert_float_list_items(PyObject* list, std::vector<double>* out) {
  out->clear();
  const Py_ssize_t initial = PyList_Size(list);
  if (initial < 0) return false;
  out->reserve(static_cast<std::size_t>(initial));
  // An item's __float__ may change the list, so its length is read afresh and
  // each item is held while it converts.
  for (Py_ssize_t i = 0; i < PyList_Size(list); ++i) {
    PyRef item = PyRef::borrow(PyList_GetItem(list, i));
    if (!item) {
      ensure_error_set();
      return false;
    }
    double v = 0.0;
    if (!convert_double_raw(item.get(), &v)) return false;
    out->push_back(v);
  }
  return PyErr_Occurred() == nullptr;
}

std::string type_name_of(PyObject* obj) {
  static constexpr std::string_view kUnknown = "<failed to extract type name>";
  PyRef name = PyRef::steal(
      PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__qualname__"));
  if (!name || !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    return std::string(kUnknown);
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &size);
  if (utf8 == nullptr) {
    PyErr_Clear();
    return std::string(kUnknown);
  }
  return std::string(utf8, static_cast<std::size_t>(size));
}

bool is_array(PyObject* obj) {
  return PyObject_TypeCheck(obj, interval_array_type()) != 0;
}

const IntervalArray* convert_array(PyObject* obj, std::string_view param) {
  if (is_array(obj)) return &array_value(obj);
  fail_type_mismatch(obj, "IntervalArray", param);
  return nullptr;
}

}  // namespace quorvex::binding
