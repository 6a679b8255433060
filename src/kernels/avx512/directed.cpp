// Endpoint division and the product reduction with AVX-512's embedded
// rounding: each product and reciprocal is rounded down or up by the
// instruction itself (static rounding, exceptions suppressed), so no lane
// needs the rounding mode switched.
#include <immintrin.h>

#include "kernels/avx512/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/directed_loops.hpp"
#include "kernels/loops/vector_rules.hpp"

namespace quorvex::kernels::avx512 {
namespace {

// The AVX-512 registers with the directed products the endpoint rules need.
struct Directed : V {
  static constexpr Mask kAll = 0xFF;
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
    return {_mm512_mul_round_pd(x, y, kRoundDown), _mm512_mul_round_pd(x, y, kRoundUp), kAll};
  }
  static Value reciprocal_down(Reg b, Reg one) {
    return {_mm512_div_round_pd(one, b, kRoundDown), kAll};
  }
  static Value reciprocal_up(Reg b, Reg one) {
    return {_mm512_div_round_pd(one, b, kRoundUp), kAll};
  }

  static directed_loops::QuadProducts quad_products(__m256d x, __m256d y) {
    const __m512d wide_x = _mm512_zextpd256_pd512(x);
    const __m512d wide_y = _mm512_zextpd256_pd512(y);
    return {_mm512_castpd512_pd256(_mm512_mul_round_pd(wide_x, wide_y, kRoundDown)),
            _mm512_castpd512_pd256(_mm512_mul_round_pd(wide_x, wide_y, kRoundUp)), 0xF};
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
