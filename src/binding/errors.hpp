// Turning failures into raised Python exceptions: core Error values, internal
// panics and C++ exceptions. No C++ exception may cross into the interpreter,
// so every entry point runs its body through `guarded`.
#pragma once

#include <cxxabi.h>

#include <new>
#include <source_location>
#include <string_view>

#include "binding/py.hpp"
#include "support/error.hpp"
#include "support/panic.hpp"

namespace quorvex::binding {

// Raises a deferred exception: the class of `error.kind` with its message.
void raise_error(const Error& error);

// The internal-error exception class (a direct subclass of BaseException),
// created on first use; null with a Python error set if that failed.
PyObject* panic_exception_type();

// Writes the diagnostic to standard error and raises PanicException(message).
// `where` may be null when the failure has no source location.
void raise_panic(std::string_view message, const std::source_location* where) noexcept;

// For a C-API call that reported failure: makes sure an exception is pending,
// so a failure never reaches the interpreter without one.
void ensure_error_set() noexcept;

// Replaces a pending TypeError from converting argument `parameter` by
// TypeError("argument '<parameter>': <text>") keeping its __cause__; any other
// pending exception stays as it is.
void wrap_argument_error(std::string_view parameter) noexcept;

// Raises TypeError with `message`.
void raise_type_error(std::string_view message) noexcept;

// Runs `body` and converts every escaping C++ exception into a Python one,
// returning `failure` (NULL, or -1 for slots that return a size) in that case.
//
// The one thing let through is a forced unwind. When the interpreter is
// finalising, a daemon thread that takes the lock back (PyEval_RestoreThread
// after a released section) is ended by pthread_exit, which unwinds the whole
// stack of the thread up to its start. That unwind must not be caught (glibc
// aborts when it is not rethrown, and a handler here would call the C API
// without the lock), and no frame on its way may be noexcept, which would
// call std::terminate: hence this function is not noexcept either, although
// nothing else ever leaves it.
//
// A forced unwind carries no C++ object, so its handler binds a null
// reference; that is how the runtime hands it over, and the null-reference
// check of the undefined-behaviour sanitizer is off for this one function.
template <class R, class F>
[[gnu::no_sanitize_undefined]] R guarded(R failure, F&& body) {
  try {
    return body();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (const Panic& p) {
    raise_panic(p.message(), &p.where());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_panic(e.what(), nullptr);
  } catch (...) {
    raise_panic("unknown internal failure", nullptr);
  }
  return failure;
}

}  // namespace quorvex::binding
