// Running native work with the interpreter lock released.
#pragma once

#include <cxxabi.h>

#include <exception>
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

// Runs compute() without the lock and returns its result once the lock is
// held again. compute moves the operand copies into its own locals, so they
// are dropped before the lock is taken back.
//
// An exception from compute is held until the lock is back and rethrown
// then: were the lock taken back while that exception unwinds, a forced
// unwind started by finalisation would meet the unwind in progress, and the
// runtime would call std::terminate.
// (The forced unwind's handler binds a null reference: see guarded.)
template <class Compute>
[[gnu::no_sanitize_undefined]] auto compute_released(Compute&& compute) -> decltype(compute()) {
  std::optional<decltype(compute())> result;
  std::exception_ptr failure;
  {
    ReleasedLock unlocked;
    try {
      result.emplace(compute());
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
  return std::move(*result);
}

// The same for an IntervalArray Result, wrapped (or its error raised).
template <class Compute>
PyObject* run_released(Compute&& compute) {
  return wrap_result(compute_released(std::forward<Compute>(compute)));
}

}  // namespace quorvex::binding
