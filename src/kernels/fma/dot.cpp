// The dot product in the order of AVX2+FMA processors: two 4-lane
// accumulators U (elements 8b..8b+3) and V (8b+4..8b+7); R = V + U, one more
// fused half-block if 4 or more remain, fold (R0 + R2) + (R1 + R3), the last
// n mod 4 elements fused one at a time.
#include <immintrin.h>

#include "kernels/kernels.hpp"
#include "kernels/loops/dot_terms.hpp"

namespace quorvex::kernels::fma {
namespace {

// Four radius terms at once (the same operations as dot_radius_term, lane by
// lane), so only the in-order chain of additions is left scalar.
__m256d radius_terms(const DotInputs& in, std::size_t i) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d a = _mm256_loadu_pd(in.a_mid + i);
  const __m256d ea = _mm256_loadu_pd(in.a_rad + i);
  const __m256d b = _mm256_loadu_pd(in.b_mid + i);
  const __m256d eb = _mm256_loadu_pd(in.b_rad + i);
  const __m256d cross = _mm256_add_pd(_mm256_mul_pd(ea, _mm256_andnot_pd(sign, b)),
                                      _mm256_mul_pd(eb, _mm256_andnot_pd(sign, a)));
  return _mm256_add_pd(_mm256_mul_pd(ea, eb), cross);
}

double add_in_order(double s, __m256d t) {
  const __m128d lo = _mm256_castpd256_pd128(t);
  const __m128d hi = _mm256_extractf128_pd(t, 1);
  s += _mm_cvtsd_f64(lo);
  s += _mm_cvtsd_f64(_mm_unpackhi_pd(lo, lo));
  s += _mm_cvtsd_f64(hi);
  s += _mm_cvtsd_f64(_mm_unpackhi_pd(hi, hi));
  return s;
}

}  // namespace

DotSums dot(const DotInputs& in) {
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
    s = add_in_order(s, radius_terms(in, i));
    s = add_in_order(s, radius_terms(in, i + 4));
  }
  __m256d r = _mm256_add_pd(v, u);
  if (i + 4 <= n) {
    r = _mm256_fmadd_pd(_mm256_loadu_pd(in.a_mid + i), _mm256_loadu_pd(in.b_mid + i), r);
    s = add_in_order(s, radius_terms(in, i));
    i += 4;
  }
  alignas(32) double lane[4];
  _mm256_store_pd(lane, r);
  double m = (lane[0] + lane[2]) + (lane[1] + lane[3]);
  for (; i < n; ++i) {
    m = __builtin_fma(in.a_mid[i], in.b_mid[i], m);
    s += loops::dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

}  // namespace quorvex::kernels::fma
