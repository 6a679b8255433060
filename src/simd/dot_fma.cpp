#include <immintrin.h>

#include <cmath>

#include "simd/dot_kernels.hpp"

namespace quorvex::simd {

DotSums dot_fma(const DotInputs& in) noexcept {
  const std::size_t n = in.n;
  __m256d u = _mm256_setzero_pd();
  __m256d v = _mm256_setzero_pd();
  double s = 0.0;
  std::size_t i = 0;
  // The radius chain (one dependent addition per element) sets the pace; the
  // midpoint products ride along in the same pass over memory.
  for (; i + 8 <= n; i += 8) {
    u = _mm256_fmadd_pd(_mm256_loadu_pd(in.a_mid + i), _mm256_loadu_pd(in.b_mid + i), u);
    v = _mm256_fmadd_pd(_mm256_loadu_pd(in.a_mid + i + 4), _mm256_loadu_pd(in.b_mid + i + 4), v);
    for (std::size_t k = i; k < i + 8; ++k) {
      s += dot_radius_term(in.a_mid[k], in.a_rad[k], in.b_mid[k], in.b_rad[k]);
    }
  }
  __m256d r = _mm256_add_pd(v, u);
  if (i + 4 <= n) {
    r = _mm256_fmadd_pd(_mm256_loadu_pd(in.a_mid + i), _mm256_loadu_pd(in.b_mid + i), r);
    for (std::size_t k = i; k < i + 4; ++k) {
      s += dot_radius_term(in.a_mid[k], in.a_rad[k], in.b_mid[k], in.b_rad[k]);
    }
    i += 4;
  }
  alignas(32) double lane[4];
  _mm256_store_pd(lane, r);
  double m = (lane[0] + lane[2]) + (lane[1] + lane[3]);
  for (; i < n; ++i) {
    m = std::fma(in.a_mid[i], in.b_mid[i], m);
    s += dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

// Scalar order for a processor with the fma instruction but without AVX2.
DotSums dot_scalar_fma(const DotInputs& in) noexcept {
  double m = 0.0;
  double s = 0.0;
  for (std::size_t i = 0; i < in.n; ++i) {
    m = std::fma(in.a_mid[i], in.b_mid[i], m);
    s += dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

}  // namespace quorvex::simd
