// Argument parsing and conversion for every entry point that takes arguments.
// Each function returns false with a Python exception pending on failure.
// Conversions that take a parameter name wrap their TypeErrors as
// "argument '<name>': ..."; other error classes pass through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "array/interval_array.hpp"
#include "binding/py.hpp"

namespace quorvex::binding {

// The parameter list of an entry point. `name` is how messages call it
// ("full()", "IntervalArray.get()"); the first `required` parameters are
// required, the rest take their defaults when absent.
struct Signature {
  std::string_view name;
  std::initializer_list<std::string_view> params;
  std::size_t required;
};

// Assigns positional and keyword arguments to `out` (one borrowed reference
// per parameter, null for an absent optional one). `out` has params.size() slots.
bool parse_arguments(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

// PyFloat_AsDouble, with -1.0 a valid value unless an exception is pending.
bool convert_double_raw(PyObject* obj, double* out);
bool convert_double(PyObject* obj, std::string_view param, double* out);
bool convert_u64(PyObject* obj, std::string_view param, std::uint64_t* out);
bool convert_i64(PyObject* obj, std::string_view param, std::int64_t* out);
bool convert_shape(PyObject* obj, std::string_view param, Shape* out);

// Float lists are checked and converted in two steps because the other
// arguments of the call are converted in between.
bool check_float_list(PyObject* obj, std::string_view param);
// Items of a checked list; their errors are raised as the interpreter reported them.
bool convert_float_list_items(PyObject* list, std::vector<double>* out);

// "__qualname__" of the object's type, or "<failed to extract type name>".
std::string type_name_of(PyObject* obj);

// True when obj is an IntervalArray or an instance of a subclass.
bool is_array(PyObject* obj);
// The array behind obj, or null with the type-mismatch TypeError raised
// (wrapped with `param` unless it is empty).
const IntervalArray* convert_array(PyObject* obj, std::string_view param);

}  // namespace quorvex::binding
