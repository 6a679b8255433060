// Directed operations for the targets below AVX-512, inside a round-upward
// scope of the calling thread, entered and left once per call (never per
// element). Every operation rounds upward; the downward ones negate operands:
// a - b rounded down is -(b - a) rounded up, and a b rounded down is
// -((-a) b) rounded up. The square root rounded down is the upward one, or
// its lower neighbour where its square exceeds the argument; that square is
// rounded upward and compared with a double, so the test is exact.
//
// Only *_directed.cpp files include this: they are built with
// -frounding-math, so the compiler moves no floating-point operation across
// the switches. The helpers have internal linkage (see rules/rounding_mode.hpp
// for the baseline scope), so no copy compiled for a wider instruction set
// can stand in for a baseline one.
#pragma once

#include <xmmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "kernels/loops/directed_balls.hpp"

namespace quorvex::kernels::upward_scope {
namespace {

constexpr unsigned kRoundingFieldClear = 0xFFFF9FFFu;
constexpr unsigned kRoundUpward = 0x4000u;

// W over the target's register type B, with I's integer step down.
template <class B, class I>
struct Upward : B {
  using Reg = typename B::Reg;
  static Reg add_up(Reg a, Reg b) { return B::add(a, b); }
  static Reg mul_up(Reg a, Reg b) { return B::mul(a, b); }
  static Reg sqrt_up(Reg a) { return B::sqrt(a); }
  static Reg sub_down(Reg a, Reg b) { return B::flip(B::sub(b, a)); }
  static Reg mul_down(Reg a, Reg b) { return B::flip(B::mul(B::flip(a), b)); }
  static Reg sqrt_down(Reg a) {
    const Reg s = B::sqrt(a);
    return B::select(B::le(B::mul(s, s), a), s, I::minus_one(s));
  }
};

// Its one-double form, for the elements the vectors leave over.
struct UpwardScalar {
  using Reg = double;
  static constexpr std::size_t kWidth = 1;
  static Reg load(const double* p) { return *p; }
  static void store(double* p, Reg r) { *p = r; }
  static Reg set1(double c) { return c; }
  static Reg add(Reg a, Reg b) { return a + b; }
  static Reg mul(Reg a, Reg b) { return a * b; }
  static Reg abs(Reg a) { return __builtin_fabs(a); }
  static Reg flip(Reg a) { return -a; }
  static Reg max(Reg a, Reg b) { return a > b ? a : b; }  // as the vectors' max: b on ties and NaN
  static bool lt(Reg a, Reg b) { return a < b; }
  static bool gt(Reg a, Reg b) { return a > b; }
  static bool ge(Reg a, Reg b) { return a >= b; }
  static bool is_nan(Reg a) { return a != a; }
  static bool bit_and(bool a, bool b) { return a && b; }
  static Reg select(bool m, Reg a, Reg b) { return m ? a : b; }
  static Reg zero_unless(bool m, Reg x) { return m ? x : 0.0; }
  static Reg add_up(Reg a, Reg b) { return a + b; }
  static Reg mul_up(Reg a, Reg b) { return a * b; }
  static Reg sqrt_up(Reg a) { return __builtin_sqrt(a); }
  static Reg sub_down(Reg a, Reg b) { return -(b - a); }
  static Reg mul_down(Reg a, Reg b) { return -((-a) * b); }
  static Reg sqrt_down(Reg a) {
    const double s = __builtin_sqrt(a);
    return s * s <= a ? s : std::bit_cast<double>(std::bit_cast<std::uint64_t>(s) - 1);
  }
};

// Run over a whole run of balls in a round-upward scope; leaving selects
// round-to-nearest again and keeps every other MXCSR bit.
template <std::size_t (*Run)(const double*, const double*, double*, double*, std::size_t)>
std::size_t upward_run(const double* mid, const double* rad, double* out_mid, double* out_rad,
                       std::size_t n) {
  asm volatile("" ::: "memory");
  _mm_setcsr((_mm_getcsr() & kRoundingFieldClear) | kRoundUpward);
  asm volatile("" ::: "memory");
  const std::size_t done = Run(mid, rad, out_mid, out_rad, n);
  asm volatile("" ::: "memory");
  _mm_setcsr(_mm_getcsr() & kRoundingFieldClear);
  asm volatile("" ::: "memory");
  return done;
}

// The directed square root and square over the target's register type B (with
// I's integer step down), each call in a scope of its own.
template <class B, class I>
std::size_t sqrt_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                       std::size_t n) {
  using W = Upward<B, I>;
  using namespace directed_balls;
  return upward_run<whole_run<W, directed_sqrt_ball<W>, directed_sqrt_ball<UpwardScalar>>>(
      mid, rad, out_mid, out_rad, n);
}
template <class B, class I>
std::size_t square_balls(const double* mid, const double* rad, double* out_mid, double* out_rad,
                         std::size_t n) {
  using W = Upward<B, I>;
  using namespace directed_balls;
  return upward_run<whole_run<W, directed_square_ball<W>, directed_square_ball<UpwardScalar>>>(
      mid, rad, out_mid, out_rad, n);
}

}  // namespace
}  // namespace quorvex::kernels::upward_scope
