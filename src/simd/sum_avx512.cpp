#include <immintrin.h>

#include "simd/sum_kernels.hpp"

namespace quorvex::simd {

double sum_avx512(std::span<const double> x) noexcept {
  const double* p = x.data();
  const std::size_t n = x.size();
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

}  // namespace quorvex::simd
