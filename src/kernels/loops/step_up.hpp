// Upward rounding without directed instructions, for the targets below
// AVX-512: a result rounded to nearest, stepped up one ulp, lies at or above
// the exact result (rounding to nearest is off by half an ulp at most), and
// a positive result stepped down one ulp lies at or below it. No rounding
// mode is switched. The operands of the rigorous radius formulas are radii,
// magnitudes and positive differences, so steps are taken on values that are
// +-0.0, positive, +inf or NaN only: up keeps +inf and NaN, down takes +inf
// to the largest finite double and keeps NaN.
//
// StepUp<V> adds these operations to a register type V built for one target
// (internal linkage, as V); StepUpScalar is its one-double form.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace quorvex::kernels::loops {
namespace {

inline double step_up(double x) {
  const double y = x + 0.0;  // -0.0 becomes +0.0
  if (!(y < __builtin_inf())) return y;
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(y) + 1);
}
// Positive values (+inf included, which becomes the largest finite double)
// step down; the others are kept.
inline double step_down(double x) {
  if (!(x > 0.0)) return x;
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) - 1);
}

struct StepUpScalar {
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
  static Reg add_up(Reg a, Reg b) { return step_up(a + b); }
  static Reg mul_up(Reg a, Reg b) { return step_up(a * b); }
  static Reg div_up(Reg a, Reg b) { return step_up(a / b); }
  static Reg sub_down(Reg a, Reg b) { return step_down(a - b); }
};

template <class V, class Ints>
struct StepUp : V {
  using Reg = typename V::Reg;
  static Reg up(Reg x) {
    const Reg y = V::add(x, V::set1(0.0));
    return V::select(V::lt(y, V::set1(__builtin_inf())), Ints::plus_one(y), y);
  }
  static Reg down(Reg x) { return V::select(V::gt(x, V::set1(0.0)), Ints::minus_one(x), x); }
  static Reg add_up(Reg a, Reg b) { return up(V::add(a, b)); }
  static Reg mul_up(Reg a, Reg b) { return up(V::mul(a, b)); }
  static Reg div_up(Reg a, Reg b) { return up(V::div(a, b)); }
  static Reg sub_down(Reg a, Reg b) { return down(V::sub(a, b)); }
};

}  // namespace
}  // namespace quorvex::kernels::loops
