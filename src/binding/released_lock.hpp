// Running native work with the interpreter lock released.
#pragma once

#include <optional>
#include <utility>

#include "binding/py.hpp"
#include "binding/type.hpp"

namespace quorvex::binding {

// Releases the interpreter lock for its lifetime. Being a guard, it also takes
// the lock back when a panic unwinds through the released section, so the
// exception is raised with the lock held.
//
// The destructor is not noexcept: when the interpreter is finalising, taking
// the lock back ends a daemon thread with a forced unwind (pthread_exit), and
// that unwind must pass through this frame; a noexcept frame in its way would
// call std::terminate.
class ReleasedLock {
 public:
  ReleasedLock() : state_(PyEval_SaveThread()) {}
  ~ReleasedLock() noexcept(false) { PyEval_RestoreThread(state_); }
  ReleasedLock(const ReleasedLock&) = delete;
  ReleasedLock& operator=(const ReleasedLock&) = delete;

 private:
  PyThreadState* state_;
};

// Runs compute() without the lock and wraps its result (an IntervalArray
// Result) once the lock is held again. compute moves the operand copies into
// its own locals, so they are dropped before the lock is taken back.
template <class Compute>
PyObject* run_released(Compute&& compute) {
  std::optional<decltype(compute())> result;
  {
    ReleasedLock unlocked;
    result.emplace(compute());
  }
  return wrap_result(std::move(*result));
}

}  // namespace quorvex::binding
