// The SSE2 register abstraction V (2 doubles) shared by the kernel files of
// src/kernels/sse2/. V and its members have internal linkage, so no copy
// compiled for a wider instruction set can stand in for it.
#pragma once

#include <emmintrin.h>

#include <cstddef>

#include "kernels/loops/step_up.hpp"

namespace quorvex::kernels {
namespace {

struct V {
  using Reg = __m128d;
  using Mask = Reg;  // comparison results: all-ones or all-zero lanes
  static constexpr std::size_t kWidth = 2;
  static Reg load(const double* p) { return _mm_loadu_pd(p); }
  static void store(double* p, Reg r) { _mm_storeu_pd(p, r); }
  static Reg set1(double c) { return _mm_set1_pd(c); }
  static Reg add(Reg a, Reg b) { return _mm_add_pd(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm_sub_pd(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm_mul_pd(a, b); }
  static Reg div(Reg a, Reg b) { return _mm_div_pd(a, b); }
  static Reg sqrt(Reg a) { return _mm_sqrt_pd(a); }
  static Reg abs(Reg a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
  static Reg flip(Reg a) { return _mm_xor_pd(a, _mm_set1_pd(-0.0)); }
  // a < b ? a : b and a > b ? a : b lane by lane: b on ties and on any NaN.
  static Reg min(Reg a, Reg b) { return _mm_min_pd(a, b); }
  static Reg max(Reg a, Reg b) { return _mm_max_pd(a, b); }
  // Comparisons give all-ones lanes where true; every ordered comparison with
  // a NaN is false.
  static Reg lt(Reg a, Reg b) { return _mm_cmplt_pd(a, b); }
  static Reg le(Reg a, Reg b) { return _mm_cmple_pd(a, b); }
  static Reg gt(Reg a, Reg b) { return _mm_cmpgt_pd(a, b); }
  static Reg ge(Reg a, Reg b) { return _mm_cmpge_pd(a, b); }
  static Reg is_nan(Reg a) { return _mm_cmpunord_pd(a, a); }
  static Reg bit_and(Reg a, Reg b) { return _mm_and_pd(a, b); }
  static Reg bit_or(Reg a, Reg b) { return _mm_or_pd(a, b); }
  static Reg and_not(Reg a, Reg b) { return _mm_andnot_pd(a, b); }  // ~a & b
  // x where m holds, else +0.0; x where m does not hold, else +0.0.
  static Reg zero_unless(Mask m, Reg x) { return bit_and(m, x); }
  static Reg zero_where(Mask m, Reg x) { return and_not(m, x); }
  // Where mask is all ones a, else b (bitwise, so every payload is kept).
  static Reg select(Reg mask, Reg a, Reg b) { return bit_or(bit_and(mask, a), and_not(mask, b)); }
  // Bit i set where lane i of mask is true.
  static unsigned lanes(Reg mask) { return static_cast<unsigned>(_mm_movemask_pd(mask)); }
};

// The lane-wise integer step down of the bit patterns, for the rigorous rounding.
struct Ints {
  static __m128d minus_one(__m128d x) {
    return _mm_castsi128_pd(_mm_sub_epi64(_mm_castpd_si128(x), _mm_set1_epi64x(1)));
  }
};

// V with upward-rounded radius operations (past the nearest result),
// and its one-double form.
using Up = loops::StepUp<V, Ints>;
using S = loops::StepUpScalar;

}  // namespace
}  // namespace quorvex::kernels
