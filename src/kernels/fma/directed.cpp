// Endpoint division and the product reduction on AVX2 + FMA without switching
// the rounding mode. A product p = x*y rounded to nearest has the exact error
// e = fma(x, y, -p) when it does not underflow; the exact product lies below
// p when e < 0, so rounded down it is p one ulp lower (above p when e > 0:
// one ulp higher). An overflow works the same way: p = +inf gives e = -inf,
// and one ulp below +inf is the largest double, the product rounded down. A reciprocal q of b has
// the exact remainder r = fma(-q, b, 1) for b well inside the exponent range, and 1/b = q + r/b.
// Lanes outside those conditions are left to the scalar code.
#include <immintrin.h>

#include "kernels/avx2/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/directed_loops.hpp"
#include "kernels/loops/vector_rules.hpp"

namespace quorvex::kernels::fma {
namespace {

// Products at least this large keep their error term exact.
constexpr double kExactProductMin = 0x1p-969;
constexpr double kMaxFinite = 1.7976931348623157e308;
// Reciprocals of divisors in [2^-1000, 2^1000] are normal and keep an exact remainder.
constexpr double kReciprocalMin = 0x1p-1000;
constexpr double kReciprocalMax = 0x1p1000;

struct Directed : V {
  using Mask = Reg;

  static Mask mask_and(Mask a, Mask b) { return bit_and(a, b); }
  static Mask is_number(Reg a) { return _mm256_cmp_pd(a, a, _CMP_ORD_Q); }
  static Mask mask_not(Mask a) {
    return _mm256_xor_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)));
  }
  static Reg nan_min(Reg x, Reg y) { return vector_rules::nan_min<V>(x, y); }
  static Reg nan_max(Reg x, Reg y) { return vector_rules::nan_max<V>(x, y); }

  // One ulp toward -inf / +inf, for finite non-zero lanes: the magnitude's
  // bits move by one, down for a positive p, up for a negative one.
  static Reg toward(Reg p, bool up) {
    const __m256i bits = _mm256_castpd_si256(p);
    const __m256i negative = _mm256_castpd_si256(lt(p, set1(0.0)));
    const __m256i step = _mm256_or_si256(negative, _mm256_set1_epi64x(1));  // -1 or +1
    return _mm256_castsi256_pd(up ? _mm256_add_epi64(bits, step) : _mm256_sub_epi64(bits, step));
  }
  static Mask finite(Reg x) { return _mm256_cmp_pd(abs(x), set1(kMaxFinite), _CMP_LE_OQ); }
  static Mask is_zero(Reg x) { return _mm256_cmp_pd(x, set1(0.0), _CMP_EQ_OQ); }

  struct Product {
    Reg down, up;
    Mask ok;
  };
  struct Value {
    Reg value;
    Mask ok;
  };
  static Product product(Reg x, Reg y) {
    const Reg zero = set1(0.0);
    const Reg p = mul(x, y);
    const Reg e = _mm256_fmsub_pd(x, y, p);
    // A zero or non-finite factor makes p exact in every rounding mode (its
    // error term is then zero or NaN, so nothing moves); otherwise p must be
    // large enough for e to be exact (or have overflowed).
    const Mask ok =
        bit_or(bit_or(bit_or(is_zero(x), is_zero(y)), mask_not(bit_and(finite(x), finite(y)))),
               ge(abs(p), set1(kExactProductMin)));
    return {select(lt(e, zero), toward(p, false), p), select(gt(e, zero), toward(p, true), p), ok};
  }
  // The side of q on which 1/b lies: below when r/b < 0, above when r/b > 0.
  static Mask in_range(Reg b) {
    const Reg m = abs(b);
    return bit_and(ge(m, set1(kReciprocalMin)), le(m, set1(kReciprocalMax)));
  }
  static Value reciprocal_down(Reg b, Reg one) {
    const Reg zero = set1(0.0);
    const Reg q = div(one, b);
    const Reg r = _mm256_fnmadd_pd(q, b, one);
    const Mask below = bit_or(bit_and(lt(r, zero), gt(b, zero)), bit_and(gt(r, zero), lt(b, zero)));
    return {select(below, toward(q, false), q), in_range(b)};
  }
  static Value reciprocal_up(Reg b, Reg one) {
    const Reg zero = set1(0.0);
    const Reg q = div(one, b);
    const Reg r = _mm256_fnmadd_pd(q, b, one);
    const Mask above = bit_or(bit_and(gt(r, zero), gt(b, zero)), bit_and(lt(r, zero), lt(b, zero)));
    return {select(above, toward(q, true), q), in_range(b)};
  }

  static directed_loops::QuadProducts quad_products(__m256d x, __m256d y) {
    const Product p = product(x, y);
    return {p.down, p.up, lanes(p.ok)};
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

}  // namespace quorvex::kernels::fma
