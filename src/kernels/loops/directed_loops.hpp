// Endpoint division and the product reduction with directed results but no
// rounding-mode switch, shared by the per-target files. Each supplies a
// policy D that gives, lane by lane, a product or a reciprocal rounded down
// and up, and a mask of the lanes where it could (all of them with AVX-512's
// embedded rounding; with FMA those where the exact error term settles the
// direction). Lanes it could not are finished by the scalar rounding-mode
// code, and everything else takes the scalar code's operations in its order,
// so the bits are the scalar bits.
//
// D provides: kWidth, Reg, Mask, load, store, set1, add, sub, mul, nan_min,
// nan_max (the NaN-ignoring rules), lt, ge, is_number (masks), mask_and,
// mask_not, select(Mask, a, b), lanes(Mask) (bit i for lane i); and for the
// directed steps, product(x, y) -> {down, up, ok}, reciprocal_down(b, one)
// and reciprocal_up(b, one) -> {value, ok}. For the product reduction also
// quad_products(x, y) -> {down, up, settled}: the lane products of two
// 256-bit registers rounded down and up, and a bit per lane whose products
// are settled. Both including targets have AVX2.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/kernel_types.hpp"
#include "kernels/kernels.hpp"

namespace quorvex::kernels::directed_loops {
namespace {

// What D::quad_products returns.
struct QuadProducts {
  __m256d down, up;
  unsigned settled;
};

// The scalar code leaves the thread in round-to-nearest whenever it has
// switched the mode; so do these kernels, keeping every other MXCSR bit.
inline void select_round_to_nearest() {
  _mm_setcsr(_mm_getcsr() & 0xFFFF9FFFu);
}

// The NaN-ignoring least / greatest of four lanes, taken in lane order as
// the scalar rule does: keeping the first of equal values and passing over
// NaNs, ((p0, p1), (p2, p3)) picks the same lane as (((p0, p1), p2), p3).
inline __m128d nan_min2(__m128d x, __m128d y) {
  return _mm_blendv_pd(_mm_min_pd(y, x), y, _mm_cmpunord_pd(x, x));
}
inline __m128d nan_max2(__m128d x, __m128d y) {
  return _mm_blendv_pd(_mm_max_pd(y, x), y, _mm_cmpunord_pd(x, x));
}
template <__m128d (*Pick)(__m128d, __m128d)>
double pick_of_four(__m256d p) {
  const __m128d low = _mm256_castpd256_pd128(p);     // p0, p1
  const __m128d high = _mm256_extractf128_pd(p, 1);  // p2, p3
  const __m128d pairs = Pick(_mm_unpacklo_pd(low, high), _mm_unpackhi_pd(low, high));
  return _mm_cvtsd_f64(Pick(pairs, _mm_unpackhi_pd(pairs, pairs)));
}

template <class D>
void endpoint_division(const double* ma, const double* ra, const double* mb, const double* rb,
                       double* out_mid, double* out_rad, std::size_t n) {
  using Reg = typename D::Reg;
  constexpr std::size_t w = D::kWidth;
  const Reg zero = D::set1(0.0), one = D::set1(1.0), half = D::set1(0.5);
  bool directed = false;  // a divisor without zero: the scalar code would have switched modes
  std::size_t i = 0;
  for (; i + w <= n; i += w) {
    const Reg a = D::load(ma + i), r = D::load(ra + i), b = D::load(mb + i), s = D::load(rb + i);
    const Reg blo = D::sub(b, s), bhi = D::add(b, s);
    // !(0 < blo) && bhi >= 0, false for NaN bounds as in the scalar test.
    const auto has_zero = D::mask_and(D::mask_not(D::lt(zero, blo)), D::ge(bhi, zero));
    const Reg alo = D::sub(a, r), ahi = D::add(a, r);
    const auto rlo = D::reciprocal_down(bhi, one);
    const auto rhi = D::reciprocal_up(blo, one);
    const auto p1 = D::product(alo, rlo.value), p2 = D::product(alo, rhi.value);
    const auto p3 = D::product(ahi, rlo.value), p4 = D::product(ahi, rhi.value);
    const Reg lo = D::nan_min(D::nan_min(D::nan_min(p1.down, p2.down), p3.down), p4.down);
    const Reg hi = D::nan_max(D::nan_max(D::nan_max(p1.up, p2.up), p3.up), p4.up);
    alignas(64) double mid[w], rad[w];
    D::store(mid, D::select(has_zero, D::set1(__builtin_nan("")), D::mul(D::add(lo, hi), half)));
    D::store(rad, D::select(has_zero, D::set1(__builtin_inf()), D::mul(D::sub(hi, lo), half)));
    const auto no_nan_input = D::mask_and(D::mask_and(D::is_number(a), D::is_number(r)),
                                          D::mask_and(D::is_number(b), D::is_number(s)));
    const auto exact =
        D::mask_and(D::mask_and(D::mask_and(rlo.ok, rhi.ok), D::mask_and(p1.ok, p2.ok)),
                    D::mask_and(D::mask_and(p3.ok, p4.ok), no_nan_input));
    const auto finite_divisor = D::mask_not(has_zero);
    directed = directed || D::lanes(finite_divisor) != 0;
    // The inputs are still intact here (an output may be an input).
    for (unsigned rest = D::lanes(D::mask_and(finite_divisor, D::mask_not(exact))); rest != 0;
         rest &= rest - 1) {
      const std::size_t j = static_cast<std::size_t>(__builtin_ctz(rest));
      scalar::endpoint_division(ma + i + j, ra + i + j, mb + i + j, rb + i + j, mid + j, rad + j,
                                1);
    }
    for (std::size_t j = 0; j < w; ++j) {
      out_mid[i + j] = mid[j];
      out_rad[i + j] = rad[j];
    }
  }
  if (i < n)
    scalar::endpoint_division(ma + i, ra + i, mb + i, rb + i, out_mid + i, out_rad + i, n - i);
  if (directed) select_round_to_nearest();
}

// The least / greatest of four lanes in every lane, for lanes without NaN
// or zero: then equal values are the same double, and any order of
// comparisons picks the same bits.
inline __m256d min_in_all_lanes(__m256d p) {
  const __m256d m = _mm256_min_pd(p, _mm256_permute2f128_pd(p, p, 0x01));
  return _mm256_min_pd(m, _mm256_permute_pd(m, 0x5));
}
inline __m256d max_in_all_lanes(__m256d p) {
  const __m256d m = _mm256_max_pd(p, _mm256_permute2f128_pd(p, p, 0x01));
  return _mm256_max_pd(m, _mm256_permute_pd(m, 0x5));
}

// The product reduction with the running pair held as (lo, lo, hi, hi), so
// that one register product gives lo*blo, lo*bhi, hi*blo, hi*bhi. A step
// whose eight directed products are all settled, numbers and not zero takes
// the short way; one with a zero product (the sign of zero then depends on
// which is picked) the ordered pick. Which of two NaN operands an operation
// passes on depends on the order the compiler gives them, so a step with a
// NaN anywhere goes the scalar way, and so does the first element's pair.
template <class D>
ProductEnds product(const double* mid, const double* rad, std::size_t n) {
  const ProductEnds first = scalar::product_start(mid[0], rad[0]);
  __m256d pair = _mm256_set_pd(first.hi, first.hi, first.lo, first.lo);
  const __m256d zero = _mm256_setzero_pd();
  for (std::size_t i = 1; i < n; ++i) {
    const double blo = mid[i] - rad[i];
    const double bhi = mid[i] + rad[i];
    const auto p = D::quad_products(pair, _mm256_set_pd(bhi, blo, bhi, blo));
    // Lanes that are numbers and not zero, in the down and the up products.
    const unsigned plain = static_cast<unsigned>(_mm256_movemask_pd(_mm256_and_pd(
        _mm256_cmp_pd(p.down, zero, _CMP_NEQ_OQ), _mm256_cmp_pd(p.up, zero, _CMP_NEQ_OQ))));
    if (p.settled == 0xF && plain == 0xF) {
      pair = _mm256_blend_pd(min_in_all_lanes(p.down), max_in_all_lanes(p.up), 0xC);
      continue;
    }
    const double lo = _mm256_cvtsd_f64(pair);
    const double hi = _mm_cvtsd_f64(_mm256_extractf128_pd(pair, 1));
    ProductEnds next;
    if (p.settled == 0xF && lo == lo && hi == hi && blo == blo && bhi == bhi) {
      next = {pick_of_four<nan_min2>(p.down), pick_of_four<nan_max2>(p.up)};
    } else {
      next = scalar::product_step(lo, hi, mid[i], rad[i]);
    }
    pair = _mm256_set_pd(next.hi, next.hi, next.lo, next.lo);
  }
  if (n >= 2) select_round_to_nearest();
  return {_mm256_cvtsd_f64(pair), _mm_cvtsd_f64(_mm256_extractf128_pd(pair, 1))};
}

}  // namespace
}  // namespace quorvex::kernels::directed_loops
