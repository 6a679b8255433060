// Summation of one column of doubles. Each variant has its own fixed order of
// additions, and that order decides the last bits of the result, so the
// variants differ in the last bits on purpose; none of them may be reordered.
#pragma once

#include <cstddef>
#include <span>

#include "simd/features.hpp"

namespace quorvex::simd {

using SumKernel = double (*)(std::span<const double> x) noexcept;

// 8 lanes from +0.0, element 8b+j into lane j; fold lane j + lane j+4, then
// (t0 + t2) + (t1 + t3); the last n mod 8 elements one at a time.
double sum_avx512(std::span<const double> x) noexcept;

// 4 lanes from +0.0; each block of 8 adds its halves lane-wise before joining
// the accumulator; then one more half-block if 4 or more remain; fold
// (l0 + l2) + (l1 + l3); the last n mod 4 elements one at a time.
double sum_avx2(std::span<const double> x) noexcept;

// From -0.0, every element in order.
double sum_scalar(std::span<const double> x) noexcept;

// The variant for a feature set; sum_kernel() reads the cached features on
// every call, so callers that sum several columns use one kernel for all.
SumKernel select_sum_kernel(const CpuFeatures& features) noexcept;
SumKernel sum_kernel() noexcept;

}  // namespace quorvex::simd
