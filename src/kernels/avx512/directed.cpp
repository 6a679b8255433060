// Endpoint division and the product reduction with AVX-512's embedded
// rounding: each product and reciprocal is rounded down or up by the
// instruction itself (static rounding, exceptions suppressed), so no lane
// needs the rounding mode switched.
//
// GCC 12's unmasked AVX-512 intrinsics pass an undefined register through
// their masked builtins, which -Wmaybe-uninitialized reports at every use.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "kernels/kernels.hpp"
#include "kernels/loops/directed_loops.hpp"
#include "kernels/loops/vector_rules.hpp"

namespace quorvex::kernels::avx512 {
namespace {

constexpr int kDown = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC;
constexpr int kUp = _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC;

struct Directed {
  using Reg = __m512d;
  using Mask = __mmask8;
  static constexpr std::size_t kWidth = 8;
  static constexpr Mask kAll = 0xFF;

  static Reg load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, Reg r) { _mm512_storeu_pd(p, r); }
  static Reg set1(double c) { return _mm512_set1_pd(c); }
  static Reg add(Reg a, Reg b) { return _mm512_add_pd(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm512_sub_pd(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm512_mul_pd(a, b); }
  static Mask lt(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static Mask ge(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
  static Mask is_number(Reg a) { return _mm512_cmp_pd_mask(a, a, _CMP_ORD_Q); }
  static Mask mask_and(Mask a, Mask b) { return static_cast<Mask>(a & b); }
  static Mask mask_not(Mask a) { return static_cast<Mask>(~a); }
  static unsigned lanes(Mask m) { return m; }
  // Where m is set a, else b.
  static Reg select(Mask m, Reg a, Reg b) { return _mm512_mask_blend_pd(m, b, a); }
  static Mask is_nan(Reg a) { return _mm512_cmp_pd_mask(a, a, _CMP_UNORD_Q); }
  static Reg min(Reg a, Reg b) { return _mm512_min_pd(a, b); }
  static Reg max(Reg a, Reg b) { return _mm512_max_pd(a, b); }
  static Reg nan_min(Reg x, Reg y) { return vector_rules::nan_min<Directed>(x, y); }
  static Reg nan_max(Reg x, Reg y) { return vector_rules::nan_max<Directed>(x, y); }

  struct Product {
    Reg down, up;
    Mask ok;
  };
  struct Value {
    Reg value;
    Mask ok;
  };
  static Product product(Reg x, Reg y) {
    return {_mm512_mul_round_pd(x, y, kDown), _mm512_mul_round_pd(x, y, kUp), kAll};
  }
  static Value reciprocal_down(Reg b, Reg one) {
    return {_mm512_div_round_pd(one, b, kDown), kAll};
  }
  static Value reciprocal_up(Reg b, Reg one) { return {_mm512_div_round_pd(one, b, kUp), kAll}; }

  static directed_loops::QuadProducts quad_products(__m256d x, __m256d y) {
    const __m512d wide_x = _mm512_zextpd256_pd512(x);
    const __m512d wide_y = _mm512_zextpd256_pd512(y);
    return {_mm512_castpd512_pd256(_mm512_mul_round_pd(wide_x, wide_y, kDown)),
            _mm512_castpd512_pd256(_mm512_mul_round_pd(wide_x, wide_y, kUp)), 0xF};
  }
};

}  // namespace

void endpoint_division(const double* ma, const double* ra, const double* mb, const double* rb,
                       double* out_mid, double* out_rad, std::size_t n) {
  directed_loops::endpoint_division<Directed>(ma, ra, mb, rb, out_mid, out_rad, n);
}

ProductEnds product(const double* mid, const double* rad, std::size_t n) {
  return directed_loops::product<Directed>(mid, rad, n);
}

}  // namespace quorvex::kernels::avx512
