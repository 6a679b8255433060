// The one place Python.h comes in, plus an owning reference that changes
// counts only through the stable-ABI functions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace quorvex::binding {

inline PyObject* incref(PyObject* o) {
  Py_IncRef(o);
  return o;
}
inline void decref(PyObject* o) {
  Py_DecRef(o);
}

// An owned (strong) reference; null when empty.
class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference (null allowed: a failed call).
  static PyRef steal(PyObject* o) noexcept { return PyRef(o); }
  // Adds a reference to a borrowed object.
  static PyRef borrow(PyObject* o) noexcept {
    Py_IncRef(o);
    return PyRef(o);
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : o_(std::exchange(other.o_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    std::swap(o_, other.o_);
    return *this;
  }
  ~PyRef() { Py_DecRef(o_); }

  PyObject* get() const noexcept { return o_; }
  // Hands the reference to the caller.
  PyObject* release() noexcept { return std::exchange(o_, nullptr); }
  explicit operator bool() const noexcept { return o_ != nullptr; }

 private:
  explicit PyRef(PyObject* o) noexcept : o_(o) {}
  PyObject* o_ = nullptr;
};

}  // namespace quorvex::binding
