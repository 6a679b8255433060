// AVX2 + FMA interval product: full vectors get the fused radius
// fma(ra, rb, fma(ra, |mb|, |ma| * rb)); the n mod 4 tail stays unfused.
#include <immintrin.h>

#include "simd/arith_kernels.hpp"
#include "simd/arith_loops.hpp"

namespace quorvex::simd {
namespace {

struct V {
  using Reg = __m256d;
  static constexpr std::size_t kWidth = 4;
  static Reg load(const double* p) { return _mm256_loadu_pd(p); }
  static void store(double* p, Reg r) { _mm256_storeu_pd(p, r); }
  static Reg mul(Reg a, Reg b) { return _mm256_mul_pd(a, b); }
  static Reg abs(Reg a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
  static Reg fmadd(Reg a, Reg b, Reg c) { return _mm256_fmadd_pd(a, b, c); }
};

}  // namespace

namespace avx2_fma {
void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product_fused<V>(ma, ra, mb, rb, om, orad, n);
}
}  // namespace avx2_fma
}  // namespace quorvex::simd
