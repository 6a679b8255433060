// The one place that decides how elementwise and reduction work is cut up:
// whether it runs on the calling thread or on the worker pool, and in which
// chunks. Every operation asks here, with the cost class of its work.
#pragma once

#include <cstddef>

#include "pool/pool.hpp"

namespace quorvex::pool {

enum class Cost {
  // A few floating-point operations per element (+ - * /, gathers, copies):
  // pooled from 32768 elements, in chunks of 8192.
  kArithmetic,
  // Library calls per element (the elementary functions): pooled above
  // 32767 elements, in chunks of 4096.
  kFunction,
};

struct Partition {
  bool pooled;        // run the chunks on the worker pool
  std::size_t chunk;  // elements per chunk (the last one shorter)
};

Partition partition(std::size_t n, Cost cost) noexcept;

// Reductions cut their results, `outputs` of them, each reducing `per_output`
// balls: pooled when the balls add up to the arithmetic threshold, in chunks
// of about one arithmetic chunk's balls (at least one result each).
// Chunks hold at least `min_chunk` results.
Partition partition_outputs(std::size_t outputs, std::size_t per_output,
                            std::size_t min_chunk = 1) noexcept;

// body(begin, end) for consecutive ranges covering [0, n), serially or on
// the pool as partition(n, cost) says; returns when all are done.
void run_partitioned(std::size_t n, Cost cost, FunctionRef<void(std::size_t, std::size_t)> body);

// The same for a partition already made.
void run_partitioned(std::size_t n, Partition p, FunctionRef<void(std::size_t, std::size_t)> body);

}  // namespace quorvex::pool
