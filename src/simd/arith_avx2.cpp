// AVX2 arithmetic kernels, 4 doubles per register (no FMA: the product is unfused).
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
  static Reg set1(double c) { return _mm256_set1_pd(c); }
  static Reg add(Reg a, Reg b) { return _mm256_add_pd(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm256_sub_pd(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm256_mul_pd(a, b); }
  static Reg div(Reg a, Reg b) { return _mm256_div_pd(a, b); }
  static Reg abs(Reg a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
  static Reg flip(Reg a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
};

}  // namespace

namespace avx2 {

#define QV_ARITH_BROADCAST_FAMILIES
#include "simd/arith_families.inc"

void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product<V>(ma, ra, mb, rb, om, orad, n);
}

}  // namespace avx2
}  // namespace quorvex::simd
