// The AVX-512 register abstraction V (8 doubles, AVX-512F instructions only)
// shared by the kernel files of src/kernels/avx512/, and S, one double with
// the same rounding. Comparisons give masks. V and S have internal linkage, so
// no copy compiled for AVX-512 can stand in for code built for another target.
//
// GCC 12's unmasked AVX-512 intrinsics pass an undefined register through
// their masked builtins, which -Wmaybe-uninitialized reports at every use
// (and -Wuninitialized where the sanitizers' builds inline them).
#pragma once
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace quorvex::kernels {
namespace {

// Static rounding of one instruction, exceptions suppressed.
constexpr int kRoundDown = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC;
constexpr int kRoundUp = _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC;

struct V {
  using Reg = __m512d;
  using Mask = __mmask8;
  static constexpr std::size_t kWidth = 8;
  static Reg load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, Reg r) { _mm512_storeu_pd(p, r); }
  static Reg set1(double c) { return _mm512_set1_pd(c); }
  static Reg add(Reg a, Reg b) { return _mm512_add_pd(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm512_sub_pd(a, b); }
  static Reg mul(Reg a, Reg b) { return _mm512_mul_pd(a, b); }
  static Reg div(Reg a, Reg b) { return _mm512_div_pd(a, b); }
  // All lanes selected: the masked form avoids GCC 12's uninitialised
  // pass-through operand in _mm512_sqrt_pd.
  static Reg sqrt(Reg a) { return _mm512_mask_sqrt_pd(a, 0xFF, a); }
  static Reg fmadd(Reg a, Reg b, Reg c) { return _mm512_fmadd_pd(a, b, c); }
  // Sign masks through integer AND and XOR, which AVX-512F has (the
  // floating-point forms need AVX-512DQ).
  static Reg abs(Reg a) { return _mm512_abs_pd(a); }
  static Reg flip(Reg a) {
    return _mm512_castsi512_pd(
        _mm512_xor_si512(_mm512_castpd_si512(a), _mm512_set1_epi64(INT64_MIN)));
  }
  // a < b ? a : b and a > b ? a : b lane by lane: b on ties and on any NaN.
  static Reg min(Reg a, Reg b) { return _mm512_min_pd(a, b); }
  static Reg max(Reg a, Reg b) { return _mm512_max_pd(a, b); }
  static Mask lt(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static Mask le(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
  static Mask gt(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
  static Mask ge(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
  static Mask is_nan(Reg a) { return _mm512_cmp_pd_mask(a, a, _CMP_UNORD_Q); }
  static Mask is_number(Reg a) { return _mm512_cmp_pd_mask(a, a, _CMP_ORD_Q); }
  static Mask mask_and(Mask a, Mask b) { return static_cast<Mask>(a & b); }
  static Mask mask_not(Mask a) { return static_cast<Mask>(~a); }
  // The bitwise operations of the shared loops, on masks and on registers
  // (the latter through the integer forms, which AVX-512F has).
  static Mask bit_and(Mask a, Mask b) { return static_cast<Mask>(a & b); }
  static Mask bit_or(Mask a, Mask b) { return static_cast<Mask>(a | b); }
  static Mask and_not(Mask a, Mask b) { return static_cast<Mask>(~a & b); }  // ~a & b
  static Reg bit_and(Reg a, Reg b) { return ints(_mm512_and_si512(bits(a), bits(b))); }
  static Reg bit_or(Reg a, Reg b) { return ints(_mm512_or_si512(bits(a), bits(b))); }
  static Reg and_not(Reg a, Reg b) { return ints(_mm512_andnot_si512(bits(a), bits(b))); }
  // x where m holds, else +0.0; x where m does not hold, else +0.0.
  static Reg zero_unless(Mask m, Reg x) { return _mm512_maskz_mov_pd(m, x); }
  static Reg zero_where(Mask m, Reg x) { return _mm512_maskz_mov_pd(mask_not(m), x); }
  // Where m is set a, else b.
  static Reg select(Mask m, Reg a, Reg b) { return _mm512_mask_blend_pd(m, b, a); }
  static unsigned lanes(Mask m) { return m; }

  // Directed rounding by the instructions themselves.
  static Reg add_up(Reg a, Reg b) { return _mm512_add_round_pd(a, b, kRoundUp); }
  static Reg mul_up(Reg a, Reg b) { return _mm512_mul_round_pd(a, b, kRoundUp); }
  static Reg div_up(Reg a, Reg b) { return _mm512_div_round_pd(a, b, kRoundUp); }
  static Reg sub_down(Reg a, Reg b) { return _mm512_sub_round_pd(a, b, kRoundDown); }
  static Reg mul_down(Reg a, Reg b) { return _mm512_mul_round_pd(a, b, kRoundDown); }
  static Reg div_down(Reg a, Reg b) { return _mm512_div_round_pd(a, b, kRoundDown); }
  static Reg sqrt_up(Reg a) { return _mm512_mask_sqrt_round_pd(a, 0xFF, a, kRoundUp); }
  static Reg sqrt_down(Reg a) { return _mm512_mask_sqrt_round_pd(a, 0xFF, a, kRoundDown); }

 private:
  static __m512i bits(Reg a) { return _mm512_castpd_si512(a); }
  static Reg ints(__m512i a) { return _mm512_castsi512_pd(a); }
};

// One double, rounded as V rounds: the leftover elements of V's loops.
struct S {
  using Reg = double;
  static constexpr std::size_t kWidth = 1;
  static Reg load(const double* p) { return *p; }
  static void store(double* p, Reg r) { *p = r; }
  static Reg set1(double c) { return c; }
  static Reg add(Reg a, Reg b) { return a + b; }
  static Reg sub(Reg a, Reg b) { return a - b; }
  static Reg mul(Reg a, Reg b) { return a * b; }
  static Reg div(Reg a, Reg b) { return a / b; }
  static Reg abs(Reg a) { return __builtin_fabs(a); }
  static bool lt(Reg a, Reg b) { return a < b; }
  static Reg select(bool m, Reg a, Reg b) { return m ? a : b; }
  static Reg add_up(Reg a, Reg b) { return round(_mm_add_round_sd(wide(a), wide(b), kRoundUp)); }
  static Reg mul_up(Reg a, Reg b) { return round(_mm_mul_round_sd(wide(a), wide(b), kRoundUp)); }
  static Reg div_up(Reg a, Reg b) { return round(_mm_div_round_sd(wide(a), wide(b), kRoundUp)); }
  static Reg sub_down(Reg a, Reg b) {
    return round(_mm_sub_round_sd(wide(a), wide(b), kRoundDown));
  }
  static Reg mul_down(Reg a, Reg b) {
    return round(_mm_mul_round_sd(wide(a), wide(b), kRoundDown));
  }
  static Reg sqrt_up(Reg a) { return round(_mm_sqrt_round_sd(wide(a), wide(a), kRoundUp)); }
  static Reg sqrt_down(Reg a) { return round(_mm_sqrt_round_sd(wide(a), wide(a), kRoundDown)); }
  static Reg flip(Reg a) { return -a; }
  static Reg max(Reg a, Reg b) { return a > b ? a : b; }  // as V::max: b on ties and NaN
  static bool gt(Reg a, Reg b) { return a > b; }
  static bool ge(Reg a, Reg b) { return a >= b; }
  static bool is_nan(Reg a) { return a != a; }
  static bool bit_and(bool a, bool b) { return a && b; }
  static Reg zero_unless(bool m, Reg x) { return m ? x : 0.0; }

 private:
  static __m128d wide(double x) { return _mm_set_sd(x); }
  static double round(__m128d x) { return _mm_cvtsd_f64(x); }
};

// The radius operations round by the instructions themselves.
using Up = V;

}  // namespace
}  // namespace quorvex::kernels
