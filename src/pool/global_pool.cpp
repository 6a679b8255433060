// The process-wide pool and the free functions the numeric code calls.
#include <cstdlib>
#include <optional>
#include <string_view>

#include "pool/pool.hpp"
#include "pool/worker_pool.hpp"

namespace quorvex::pool {
namespace {

std::optional<std::string_view> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

WorkerPool* start_global_pool() {
  const std::size_t threads = thread_count_from(
      environment("RAYON_NUM_THREADS"), environment("RAYON_RS_NUM_CPUS"), default_thread_count());
  return new WorkerPool(threads);
}

}  // namespace

WorkerPool& global_pool() {
  // A leaked pointer rather than a static object: exit runs no destructor
  // that would wait for, or pull memory from under, the worker threads. If
  // starting throws, the next call tries again.
  static WorkerPool* const pool = start_global_pool();
  return *pool;
}

std::size_t pool_thread_count() { return global_pool().thread_count(); }

void fork_join(FunctionRef<void()> a, FunctionRef<void()> b) { global_pool().fork_join(a, b); }

void parallel_chunk_for_each(std::size_t k, FunctionRef<void(std::size_t)> task) {
  if (k == 0) return;
  global_pool().chunk_for_each(k, task);
}

}  // namespace quorvex::pool
