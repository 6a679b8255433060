// The dot product in the order of AVX-512 processors: 8 lanes from +0.0,
// element 8b+j fused into lane j; fold lane j + lane j+4, then
// (t0 + t2) + (t1 + t3); the last n mod 8 elements fused one at a time.
#include <immintrin.h>

#include "kernels/kernels.hpp"
#include "kernels/loops/dot_terms.hpp"

namespace quorvex::kernels::avx512 {
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

DotSums dot(const DotInputs& in) {
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
    m = __builtin_fma(in.a_mid[i], in.b_mid[i], m);
    s += loops::dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

}  // namespace quorvex::kernels::avx512
