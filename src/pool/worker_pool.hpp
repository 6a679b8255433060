// A fork-join pool of worker threads with one work-stealing deque per worker.
// The process uses one instance (global_pool); tests build their own with a
// chosen thread count.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "pool/pool.hpp"

namespace quorvex::pool {

class WorkerPool {
 public:
  // Called before the thread for worker slot `index` is created; it may throw
  // std::system_error to play an operating system that refuses threads.
  using SpawnHook = void (*)(std::size_t index);

  // A pool of `threads` workers (at least 1). The first worker starts here;
  // the others start the first time there is work for them, so a large count
  // costs nothing until it is used. Throws Panic when not even the first
  // thread can be created.
  explicit WorkerPool(std::size_t threads, SpawnHook spawn_hook = nullptr);
  // Stops and joins the workers. Only for pools with no operation in flight;
  // the global pool is never destroyed.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  std::size_t thread_count() const noexcept;
  // Worker threads created so far (at most thread_count()).
  std::size_t started_threads() const noexcept;
  // Whether the calling thread is one of this pool's workers.
  bool on_worker_thread() const noexcept;

  // Runs a and b, possibly in parallel, and returns when both are done. A
  // caller outside the pool hands the pair to a worker and sleeps. If a task
  // throws, the exception is rethrown here after both have finished (a's
  // when both throw).
  void fork_join(FunctionRef<void()> a, FunctionRef<void()> b);
  // As fork_join; each task learns whether it runs on another thread than
  // the one that called.
  void fork_join_context(FunctionRef<void(bool)> a, FunctionRef<void(bool)> b);

  // Divides [0, k) by the split-budget rule and calls piece(begin, end) once
  // for each undivided piece; the pieces tile the range.
  void for_each_piece(std::size_t k, FunctionRef<void(std::size_t, std::size_t)> piece);
  // Runs task(j) for every j in [0, k) exactly once.
  void chunk_for_each(std::size_t k, FunctionRef<void(std::size_t)> task);
  // body(begin, end) for each range of `chunk` indices covering [0, n), as
  // parallel_ranges does on the global pool.
  void range_for_each(std::size_t n, std::size_t chunk,
                      FunctionRef<void(std::size_t, std::size_t)> body);

  template <class T, class F>
  std::vector<T> chunk_map(std::size_t k, F&& task) {
    std::vector<std::optional<T>> slots(k);
    chunk_for_each(k, [&](std::size_t j) { slots[j].emplace(task(j)); });
    std::vector<T> results;
    results.reserve(k);
    for (auto& slot : slots) results.push_back(std::move(*slot));
    return results;
  }

  struct Impl;

 private:
  void split(std::size_t begin, std::size_t end, bool migrated, std::size_t budget,
             FunctionRef<void(std::size_t, std::size_t)> piece);

  std::unique_ptr<Impl> impl_;
};

// The process-wide pool, started on first use with thread_count_from the
// environment; deliberately never destroyed, so exit never waits for it.
WorkerPool& global_pool();

}  // namespace quorvex::pool
