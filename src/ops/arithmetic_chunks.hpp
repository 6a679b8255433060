// Running an interval kernel over a whole array: serially below the parallel
// threshold, otherwise in fixed chunks on the worker pool. Every chunk but the
// last has 8192 elements, a multiple of every vector width, so the fused/unfused
// split of the product falls on the same elements as in a serial run.
#pragma once

#include <cstddef>
#include <span>

namespace quorvex::arith {

inline constexpr std::size_t kParallelThreshold = 32768;
inline constexpr std::size_t kChunkLength = 8192;

using IntervalKernel = void (*)(std::span<const double> ma, std::span<const double> ra,
                                std::span<const double> mb, std::span<const double> rb,
                                std::span<double> out_mid, std::span<double> out_rad);

// Runs `kernel` on chunk after chunk of the six slices (all of length n).
void run_chunked(IntervalKernel kernel, std::span<const double> ma, std::span<const double> ra,
                 std::span<const double> mb, std::span<const double> rb, std::span<double> out_mid,
                 std::span<double> out_rad);

// Serial for n < kParallelThreshold, chunked on the pool from there on.
void run_interval_kernel(IntervalKernel kernel, std::span<const double> ma,
                         std::span<const double> ra, std::span<const double> mb,
                         std::span<const double> rb, std::span<double> out_mid,
                         std::span<double> out_rad);

}  // namespace quorvex::arith
