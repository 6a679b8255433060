// Summation in the order of AVX-512 processors: 8 lanes from +0.0, element
// 8b+j into lane j; fold lane j + lane j+4, then (t0 + t2) + (t1 + t3); the last
// n mod 8 elements one at a time. The order decides the last bits: never
// reorder it.
#include <immintrin.h>

#include "kernels/kernels.hpp"

namespace quorvex::kernels::avx512 {

double sum(const double* p, std::size_t n) {
  __m512d acc = _mm512_setzero_pd();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) acc = _mm512_add_pd(acc, _mm512_loadu_pd(p + i));
  alignas(64) double lane[8];
  _mm512_store_pd(lane, acc);
  double t[4];
  for (int j = 0; j < 4; ++j) t[j] = lane[j] + lane[j + 4];
  double s = (t[0] + t[2]) + (t[1] + t[3]);
  for (; i < n; ++i) s += p[i];
  return s;
}

}  // namespace quorvex::kernels::avx512
