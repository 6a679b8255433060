// The process-wide fork-join worker pool. It starts lazily on first use and
// lives until the process ends. Tasks never touch Python objects.
//
// A caller outside the pool hands its work to the workers and sleeps until
// it is done; a caller that is itself a worker takes part. An exception
// thrown by a task (Panic or any other) is rethrown on the calling thread
// once every task of the call has finished. If the pool cannot start, the
// call throws StartFailure, a Panic whose message begins "The global thread
// pool has not been initialized.".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#include "support/panic.hpp"

namespace quorvex::pool {

// The operating system refused the pool's first thread.
class StartFailure : public Panic {
 public:
  using Panic::Panic;
};

// A non-owning reference to a callable; the callable must outlive the call.
template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
 public:
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
  FunctionRef(F&& f) noexcept  // NOLINT: implicit by design
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* o, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<Args>(args)...);
        }) {}
  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_;
  R (*call_)(void*, Args...);
};

// The number of pool threads (starts the pool).
std::size_t pool_thread_count();

// Runs task(j) for j in [0, k) exactly once each, dividing the range by the
// split-budget rule; returns when all are done. k = 0 returns at once. An
// undivided piece of the range runs in index order on one thread; with k = 1,
// or when the pool has one thread, that is the calling thread.
void parallel_chunk_for_each(std::size_t k, FunctionRef<void(std::size_t)> task);

// How the numeric code splits elementwise work: body(begin, end) once for
// each of the consecutive ranges of `chunk` indices that cover [0, n) (the
// last one shorter), each range a task of parallel_chunk_for_each.
void parallel_ranges(std::size_t n, std::size_t chunk,
                     FunctionRef<void(std::size_t, std::size_t)> body);

// Thread-count rules, exposed for tests. `parse_count` accepts one optional
// '+' and one or more ASCII digits up to 2^64 - 1.
std::optional<std::uint64_t> parse_count(std::optional<std::string_view> text);
// RAYON_NUM_THREADS, then RAYON_RS_NUM_CPUS, then the default; capped at 65,535.
std::size_t thread_count_from(std::optional<std::string_view> num_threads,
                              std::optional<std::string_view> rs_num_cpus,
                              std::size_t default_count);
// Processors available to this process: affinity set (else online count),
// lowered to a cgroup CPU quota, at least 1.
std::size_t default_thread_count();

inline constexpr std::size_t kMaxThreads = 65535;

}  // namespace quorvex::pool
