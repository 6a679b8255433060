// Summation in the order of AVX2 processors: 4 lanes from +0.0; each block of
// 8 adds its halves lane-wise before joining the accumulator; then one more
// half-block if 4 or more remain; fold (l0 + l2) + (l1 + l3); the last n mod 4
// elements one at a time. The order decides the last bits: never reorder it.
#include <immintrin.h>

#include "kernels/avx2/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/sum_columns.hpp"

namespace quorvex::kernels::avx2 {

double sum(const double* p, std::size_t n) {
  __m256d acc = _mm256_setzero_pd();
  std::size_t i = 0;
  // One accumulator addition per 8 elements: the pairing of the two halves is
  // part of the order, so it cannot be split over more accumulators.
  for (; i + 8 <= n; i += 8) {
    const __m256d pair = _mm256_add_pd(_mm256_loadu_pd(p + i), _mm256_loadu_pd(p + i + 4));
    acc = _mm256_add_pd(acc, pair);
  }
  if (i + 4 <= n) {
    acc = _mm256_add_pd(acc, _mm256_loadu_pd(p + i));
    i += 4;
  }
  alignas(32) double lane[4];
  _mm256_store_pd(lane, acc);
  double s = (lane[0] + lane[2]) + (lane[1] + lane[3]);
  for (; i < n; ++i) s += p[i];
  return s;
}

void sum_columns(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols,
                 double* out) {
  loops::sum_columns<V, loops::SumOrder::kPairs4>(x, stride, rows, cols, out);
}

}  // namespace quorvex::kernels::avx2
