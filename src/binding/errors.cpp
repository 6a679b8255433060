#include "binding/errors.hpp"

#include <cstdio>
#include <string>

namespace quorvex::binding {

namespace {

PyObject* exception_class(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::TypeError:
      return PyExc_TypeError;
    case ErrorKind::IndexError:
      return PyExc_IndexError;
    case ErrorKind::ValueError:
      return PyExc_ValueError;
    case ErrorKind::MemoryError:
      return PyExc_MemoryError;
  }
  return PyExc_SystemError;
}

// Creates cls(message) and makes it the current exception.
void raise_with_message(PyObject* cls, std::string_view message) {
  PyRef text = PyRef::steal(
      PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!text) return;
  PyRef exc = PyRef::steal(PyObject_CallFunctionObjArgs(cls, text.get(), nullptr));
  if (!exc) return;
  PyErr_Restore(incref(cls), exc.release(), nullptr);
}

// "src/array/shape_ops.cpp" rather than the build machine's absolute path.
std::string_view short_path(std::string_view path) {
  const std::size_t at = path.rfind("/src/");
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

PyObject* g_panic_type = nullptr;

}  // namespace

void raise_error(const Error& error) {
  raise_with_message(exception_class(error.kind), error.message);
}

PyObject* panic_exception_type() {
  if (g_panic_type == nullptr) {
    g_panic_type = PyErr_NewExceptionWithDoc(
        "_quorvex.PanicException",
        "Raised when an internal assertion of _quorvex fails; the argument is the failure "
        "message.",
        PyExc_BaseException, nullptr);
  }
  return g_panic_type;
}

void raise_panic(std::string_view message, const std::source_location* where) noexcept {
  try {
    std::string diagnostic = "_quorvex: internal failure";
    if (where != nullptr) {
      diagnostic += " at ";
      diagnostic += short_path(where->file_name());
      diagnostic += ':';
      diagnostic += std::to_string(where->line());
      diagnostic += ':';
      diagnostic += std::to_string(where->column());
    }
    diagnostic += ":\n";
    diagnostic += message;
    diagnostic += "\n";
    std::fputs(diagnostic.c_str(), stderr);
    std::fflush(stderr);
    PyObject* cls = panic_exception_type();
    if (cls == nullptr) return;  // its creation error is pending
    raise_with_message(cls, message);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
}

void ensure_error_set() noexcept {
  if (PyErr_Occurred() == nullptr) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
}

void raise_type_error(std::string_view message) noexcept {
  try {
    raise_with_message(PyExc_TypeError, message);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
}

void wrap_argument_error(std::string_view parameter) noexcept {
  ensure_error_set();
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef original_type = PyRef::steal(type);
  PyRef original = PyRef::steal(value);
  PyRef original_tb = PyRef::steal(traceback);
  PyRef text = PyRef::steal(PyObject_Str(original.get()));
  if (!text) return;
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size);
  if (utf8 == nullptr) return;
  try {
    const std::string message = "argument '" + std::string(parameter) +
                                "': " + std::string(utf8, static_cast<std::size_t>(size));
    PyRef message_obj = PyRef::steal(
        PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (!message_obj) return;
    PyRef wrapped =
        PyRef::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message_obj.get(), nullptr));
    if (!wrapped) return;
    // The new error stands in for the conversion error, so it takes over that
    // error's cause rather than chaining to the conversion error itself.
    PyException_SetCause(wrapped.get(), PyException_GetCause(original.get()));
    PyErr_Restore(incref(PyExc_TypeError), wrapped.release(), nullptr);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
}

}  // namespace quorvex::binding
