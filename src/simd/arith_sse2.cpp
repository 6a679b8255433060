// Baseline (SSE2, every x86-64 processor) arithmetic kernels, 2 doubles per register.
#include <emmintrin.h>

#include "simd/arith_kernels.hpp"
#include "simd/arith_loops.hpp"

namespace quorvex::simd {
namespace {

struct V {
  using Reg = __m128d;
  static constexpr std::size_t kWidth = 2;
  static Reg load(const double* p) { return _mm_loadu_pd(p); }
  static void store(double* p, Reg r) { _mm_storeu_pd(p, r); }
  static Reg set1(double c) { return _mm_set1_pd(c); }
  static Reg add(Reg a, Reg b) { return _mm_add_pd(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm_sub_pd(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm_mul_pd(a, b); }
  static Reg div(Reg a, Reg b) { return _mm_div_pd(a, b); }
  static Reg abs(Reg a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
  static Reg flip(Reg a) { return _mm_xor_pd(a, _mm_set1_pd(-0.0)); }
};

}  // namespace

namespace sse2 {

#define QV_ARITH_BROADCAST_FAMILIES
#include "simd/arith_families.inc"

void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product<V>(ma, ra, mb, rb, om, orad, n);
}
void quotient_radius(const double* ma, const double* ra, const double* mb, const double* rb,
                     double* orad, std::size_t n) {
  loops::quotient_radius<V>(ma, ra, mb, rb, orad, n);
}

}  // namespace sse2
}  // namespace quorvex::simd
