// The AVX2 register abstraction V (4 doubles) shared by the kernel files of
// src/kernels/avx2/ and src/kernels/fma/ (which add the fused multiply-add).
// V and its members have internal linkage, so no copy compiled for another
// instruction set can stand in for it.
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "kernels/loops/step_up.hpp"

namespace quorvex::kernels {
namespace {

struct V {
  using Reg = __m256d;
  using Mask = Reg;  // comparison results: all-ones or all-zero lanes
  static constexpr std::size_t kWidth = 4;
  static Reg load(const double* p) { return _mm256_loadu_pd(p); }
  static void store(double* p, Reg r) { _mm256_storeu_pd(p, r); }
  static Reg set1(double c) { return _mm256_set1_pd(c); }
  static Reg add(Reg a, Reg b) { return _mm256_add_pd(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm256_sub_pd(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm256_mul_pd(a, b); }
  static Reg div(Reg a, Reg b) { return _mm256_div_pd(a, b); }
  static Reg sqrt(Reg a) { return _mm256_sqrt_pd(a); }
  static Reg abs(Reg a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
  static Reg flip(Reg a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
  // a < b ? a : b and a > b ? a : b lane by lane: b on ties and on any NaN.
  static Reg min(Reg a, Reg b) { return _mm256_min_pd(a, b); }
  static Reg max(Reg a, Reg b) { return _mm256_max_pd(a, b); }
  // Comparisons give all-ones lanes where true; every ordered comparison with
  // a NaN is false.
  static Reg lt(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static Reg le(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
  static Reg gt(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
  static Reg ge(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
  static Reg is_nan(Reg a) { return _mm256_cmp_pd(a, a, _CMP_UNORD_Q); }
  static Reg bit_and(Reg a, Reg b) { return _mm256_and_pd(a, b); }
  static Reg bit_or(Reg a, Reg b) { return _mm256_or_pd(a, b); }
  static Reg and_not(Reg a, Reg b) { return _mm256_andnot_pd(a, b); }  // ~a & b
  // x where m holds, else +0.0; x where m does not hold, else +0.0.
  static Reg zero_unless(Mask m, Reg x) { return bit_and(m, x); }
  static Reg zero_where(Mask m, Reg x) { return and_not(m, x); }
  // Where mask is all ones a, else b, whole lanes (so every payload is kept).
  // Masks are comparison results, all ones or all zeros per lane, so the
  // blend's test of the sign bit is the same choice in one instruction.
  static Reg select(Reg mask, Reg a, Reg b) { return _mm256_blendv_pd(b, a, mask); }
  // Bit i set where lane i of mask is true.
  static unsigned lanes(Reg mask) { return static_cast<unsigned>(_mm256_movemask_pd(mask)); }
};

// The lane-wise integer step down of the bit patterns, for the rigorous rounding.
struct Ints {
  static __m256d minus_one(__m256d x) {
    return _mm256_castsi256_pd(_mm256_sub_epi64(_mm256_castpd_si256(x), _mm256_set1_epi64x(1)));
  }
};

// V with upward-rounded radius operations (past the nearest result),
// and its one-double form.
using Up = loops::StepUp<V, Ints>;
using S = loops::StepUpScalar;

}  // namespace
}  // namespace quorvex::kernels
