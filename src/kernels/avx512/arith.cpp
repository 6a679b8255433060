// AVX-512 arithmetic kernels, 8 doubles per register. Only AVX-512F
// instructions are used (sign masks go through integer AND), so every family
// but the fused product runs with AVX-512F alone; the dispatcher still asks
// for AVX-512DQ before choosing the product, as the feature rule requires.
#include <immintrin.h>

#include "kernels/kernels.hpp"
#include "kernels/loops/arith_loops.hpp"

namespace quorvex::kernels {
namespace {

struct V {
  using Reg = __m512d;
  static constexpr std::size_t kWidth = 8;
  static Reg load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, Reg r) { _mm512_storeu_pd(p, r); }
  static Reg add(Reg a, Reg b) { return _mm512_add_pd(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm512_sub_pd(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm512_mul_pd(a, b); }
  static Reg div(Reg a, Reg b) { return _mm512_div_pd(a, b); }
  static Reg abs(Reg a) { return _mm512_abs_pd(a); }
  static Reg fmadd(Reg a, Reg b, Reg c) { return _mm512_fmadd_pd(a, b, c); }
};

}  // namespace

namespace avx512 {

#include "kernels/loops/arith_families.inc"

void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product_fused<V>(ma, ra, mb, rb, om, orad, n);
}

}  // namespace avx512
}  // namespace quorvex::kernels
