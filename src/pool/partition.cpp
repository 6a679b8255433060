#include "pool/partition.hpp"

#include <algorithm>

namespace quorvex::pool {

Partition partition(std::size_t n, Cost cost) noexcept {
  switch (cost) {
    case Cost::kFunction:
      return {n > 32767, 4096};
    case Cost::kArithmetic:
      break;
  }
  return {n >= 32768, 8192};
}

Partition partition_outputs(std::size_t outputs, std::size_t per_output,
                            std::size_t min_chunk) noexcept {
  const Partition elements =
      partition(outputs * std::max<std::size_t>(per_output, 1), Cost::kArithmetic);
  const std::size_t chunk =
      std::max<std::size_t>(1, elements.chunk / std::max<std::size_t>(per_output, 1));
  return {elements.pooled && outputs > 1, std::max(chunk, min_chunk)};
}

void run_partitioned(std::size_t n, Cost cost, FunctionRef<void(std::size_t, std::size_t)> body) {
  run_partitioned(n, partition(n, cost), body);
}

void run_partitioned(std::size_t n, Partition p, FunctionRef<void(std::size_t, std::size_t)> body) {
  if (!p.pooled) {
    if (n != 0) body(0, n);
    return;
  }
  parallel_ranges(n, p.chunk, body);
}

}  // namespace quorvex::pool
