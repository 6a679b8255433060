// Upward rounding without directed instructions, for the targets below
// AVX-512. A result y rounded to nearest is off by half an ulp at most, so
// anything at least one ulp above y lies above the exact result; a positive
// result stepped down one ulp lies at or below it. No rounding mode is
// switched. The operands of the rigorous radius formulas are radii,
// magnitudes and positive differences, so steps are taken on values that are
// +-0.0, positive, +inf or NaN only.
//
// Up is rules::up_from_nearest; down takes +inf to the largest finite double
// and keeps NaN.
//
// StepUp<V> adds these operations to a register type V built for one target
// (internal linkage, as V); StepUpScalar is its one-double form, with the
// same operations.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "rules/outward.hpp"

namespace quorvex::kernels::loops {
namespace {

using rules::kUpFactor;
using rules::kUpTiniest;

// rules::up_from_nearest, written out: an inline function of the rules
// compiled here would carry this file's instruction set to its other callers.
inline double step_up(double x) {
  return x * kUpFactor + kUpTiniest;
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
  static Reg up(Reg x) { return V::add(V::mul(x, V::set1(kUpFactor)), V::set1(kUpTiniest)); }
  static Reg down(Reg x) { return V::select(V::gt(x, V::set1(0.0)), Ints::minus_one(x), x); }
  static Reg add_up(Reg a, Reg b) { return up(V::add(a, b)); }
  static Reg mul_up(Reg a, Reg b) { return up(V::mul(a, b)); }
  static Reg div_up(Reg a, Reg b) { return up(V::div(a, b)); }
  static Reg sub_down(Reg a, Reg b) { return down(V::sub(a, b)); }
};

}  // namespace
}  // namespace quorvex::kernels::loops
