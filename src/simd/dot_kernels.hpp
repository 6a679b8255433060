// Inner product of two interval columns in one pass: the midpoint sum M with a
// fused multiply-add per element (order fixed per variant, it decides the last
// bits), and the radius sum S, always scalar and in element order.
#pragma once

#include <cmath>
#include <cstddef>

#include "simd/features.hpp"

namespace quorvex::simd {

struct DotInputs {
  const double* a_mid;
  const double* a_rad;
  const double* b_mid;
  const double* b_rad;
  std::size_t n;
};

struct DotSums {
  double mid;  // sum of a_mid * b_mid
  double rad;  // sum of ea*eb + (ea*|b| + eb*|a|)
};

using DotKernel = DotSums (*)(const DotInputs& in) noexcept;

// 8 lanes from +0.0, element 8b+j fused into lane j; fold lane j + lane j+4,
// then (t0 + t2) + (t1 + t3); the last n mod 8 elements fused one at a time.
DotSums dot_avx512(const DotInputs& in) noexcept;

// Two 4-lane accumulators U (elements 8b..8b+3) and V (8b+4..8b+7); R = V + U,
// one more fused half-block if 4 or more remain, fold (R0 + R2) + (R1 + R3),
// the last n mod 4 elements fused one at a time.
DotSums dot_fma(const DotInputs& in) noexcept;

// From +0.0, M = fma(a, b, M) in order: with the processor's fma instruction
// (dot_scalar_fma, needs FMA) or the software one (dot_scalar).
DotSums dot_scalar_fma(const DotInputs& in) noexcept;
DotSums dot_scalar(const DotInputs& in) noexcept;

DotKernel select_dot_kernel(const CpuFeatures& features) noexcept;
DotKernel dot_kernel() noexcept;

// One term of the radius sum. Shared by every variant so they agree bit for
// bit; the build never contracts it into fused operations.
inline double dot_radius_term(double a, double ea, double b, double eb) noexcept {
  return ea * eb + (ea * std::fabs(b) + eb * std::fabs(a));
}

}  // namespace quorvex::simd
