// Running an interval kernel over a whole array: serially or in fixed chunks
// on the worker pool, as the partitioner decides for arithmetic. Every chunk but the
// last has 8192 elements, a multiple of every vector width, so the fused/unfused
// split of the product falls on the same elements as in a serial run.
#pragma once

#include <cstddef>
#include <span>

namespace quorvex::arith {

using IntervalKernel = void (*)(std::span<const double> ma, std::span<const double> ra,
                                std::span<const double> mb, std::span<const double> rb,
                                std::span<double> out_mid, std::span<double> out_rad);

// Runs `kernel` on chunk after chunk of the six slices (all of length n).
void run_chunked(IntervalKernel kernel, std::span<const double> ma, std::span<const double> ra,
                 std::span<const double> mb, std::span<const double> rb, std::span<double> out_mid,
                 std::span<double> out_rad);

// Serial or chunked on the pool, as pool::partition decides.
void run_interval_kernel(IntervalKernel kernel, std::span<const double> ma,
                         std::span<const double> ra, std::span<const double> mb,
                         std::span<const double> rb, std::span<double> out_mid,
                         std::span<double> out_rad);

}  // namespace quorvex::arith
