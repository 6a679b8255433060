// Summation in the order of AVX-512 processors: 8 lanes from +0.0, element
// 8b+j into lane j; fold lane j + lane j+4, then (t0 + t2) + (t1 + t3); the last
// n mod 8 elements one at a time. The order decides the last bits: never
// reorder it.
#include <immintrin.h>

#include "kernels/kernels.hpp"
#include "kernels/loops/sum_columns.hpp"

namespace quorvex::kernels {
namespace {

struct Columns {
  using Reg = __m512d;
  static constexpr std::size_t kWidth = 8;
  static Reg load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, Reg r) { _mm512_storeu_pd(p, r); }
  static Reg set1(double c) { return _mm512_set1_pd(c); }
  static Reg add(Reg a, Reg b) { return _mm512_add_pd(a, b); }
};

}  // namespace
}  // namespace quorvex::kernels

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

void sum_columns(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols,
                 double* out) {
  loops::sum_columns<Columns, loops::SumOrder::kLanes8>(x, stride, rows, cols, out);
}

}  // namespace quorvex::kernels::avx512
