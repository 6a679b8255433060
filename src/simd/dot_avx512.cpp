#include <immintrin.h>

#include <cmath>

#include "simd/dot_kernels.hpp"

namespace quorvex::simd {
namespace {

// Eight radius terms at once (the same operations as dot_radius_term, lane by
// lane), so only the in-order chain of additions is left scalar.
__m512d radius_terms(const DotInputs& in, std::size_t i) {
  const __m512d a = _mm512_abs_pd(_mm512_loadu_pd(in.a_mid + i));
  const __m512d ea = _mm512_loadu_pd(in.a_rad + i);
  const __m512d b = _mm512_abs_pd(_mm512_loadu_pd(in.b_mid + i));
  const __m512d eb = _mm512_loadu_pd(in.b_rad + i);
  const __m512d cross = _mm512_add_pd(_mm512_mul_pd(ea, b), _mm512_mul_pd(eb, a));
  return _mm512_add_pd(_mm512_mul_pd(ea, eb), cross);
}

}  // namespace

DotSums dot_avx512(const DotInputs& in) noexcept {
  const std::size_t n = in.n;
  __m512d acc = _mm512_setzero_pd();
  double s = 0.0;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    acc = _mm512_fmadd_pd(_mm512_loadu_pd(in.a_mid + i), _mm512_loadu_pd(in.b_mid + i), acc);
    alignas(64) double term[8];
    _mm512_store_pd(term, radius_terms(in, i));
    for (const double t : term) s += t;
  }
  alignas(64) double lane[8];
  _mm512_store_pd(lane, acc);
  double t[4];
  for (int j = 0; j < 4; ++j) t[j] = lane[j] + lane[j + 4];
  double m = (t[0] + t[2]) + (t[1] + t[3]);
  for (; i < n; ++i) {
    m = std::fma(in.a_mid[i], in.b_mid[i], m);
    s += dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

}  // namespace quorvex::simd
