// The process-wide pool and the free functions the numeric code calls.
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "pool/pool.hpp"
#include "pool/worker_pool.hpp"
#include "support/panic.hpp"

namespace quorvex::pool {
namespace {

// Plain atomics: constant-initialised and never destroyed, so exit runs no
// destructor that would wait for, or pull memory from under, the workers.
std::atomic<WorkerPool*> the_pool{nullptr};
// The count, fixed when the first pool starts.
std::atomic<std::size_t> the_count{0};

std::optional<std::string_view> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

// A child made by fork() has only the forking thread: the workers the pool
// believes in do not exist there, and work handed to them would wait forever.
// The child therefore starts a fresh pool (same count) on its first use.
void forget_pool_in_child() {
  the_pool.store(nullptr, std::memory_order_relaxed);
}

// Set once the handler above is registered. A plain flag, not a local static
// or std::call_once: a fork may come while another thread is registering, and
// the child would then wait for ever on a guard that thread holds. Two threads
// may both register; the handler then runs twice, which does no harm.
std::atomic<bool> fork_handler_registered{false};

// Registers the handler before any pool can be seen: a child forked after the
// pool is published must find the handler in place, or it inherits a pool
// whose workers do not exist.
void register_fork_handler() {
  if (fork_handler_registered.load(std::memory_order_acquire)) return;
  // ENOMEM is the only failure; without the handler no pool may start, and
  // the call fails as it does when the first worker thread is refused.
  if (pthread_atfork(nullptr, nullptr, &forget_pool_in_child) != 0) {
    panic(
        "The global thread pool has not been initialized. "
        "Its fork handler could not be registered: out of memory");
  }
  fork_handler_registered.store(true, std::memory_order_release);
}

WorkerPool& start_global_pool() {
  register_fork_handler();
  std::size_t count = the_count.load(std::memory_order_acquire);
  if (count == 0) {
    std::size_t fresh_count = thread_count_from(
        environment("RAYON_NUM_THREADS"), environment("RAYON_RS_NUM_CPUS"), default_thread_count());
    count = the_count.compare_exchange_strong(count, fresh_count) ? fresh_count : count;
  }
  // Throws Panic when no thread can be created; the next call tries again.
  auto* fresh = new WorkerPool(count);
  WorkerPool* current = nullptr;
  if (!the_pool.compare_exchange_strong(current, fresh, std::memory_order_acq_rel)) {
    delete fresh;  // another thread started one first
    return *current;
  }
  return *fresh;
}

}  // namespace

WorkerPool& global_pool() {
  if (WorkerPool* pool = the_pool.load(std::memory_order_acquire)) return *pool;
  return start_global_pool();
}

std::size_t pool_thread_count() {
  return global_pool().thread_count();
}

// A pool of one thread runs the items in index order either way; handing
// them to its worker adds only the wake-up there and back (tens of
// microseconds when the worker sleeps, more than 10^5 elements of arithmetic
// cost), so the caller runs them itself.
void parallel_chunk_for_each(std::size_t k, FunctionRef<void(std::size_t)> task) {
  if (k == 0) return;
  WorkerPool& pool = global_pool();
  if (pool.thread_count() == 1) {
    for (std::size_t j = 0; j < k; ++j) task(j);
    return;
  }
  pool.chunk_for_each(k, task);
}

void parallel_ranges(std::size_t n, std::size_t chunk,
                     FunctionRef<void(std::size_t, std::size_t)> body) {
  if (n == 0) return;
  WorkerPool& pool = global_pool();
  if (pool.thread_count() == 1) {
    for (std::size_t begin = 0; begin < n; begin += chunk) body(begin, std::min(n, begin + chunk));
    return;
  }
  pool.range_for_each(n, chunk, body);
}

}  // namespace quorvex::pool
