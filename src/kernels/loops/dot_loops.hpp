// The inner product of two interval columns in each target's order, written
// once over the target's register type V (with fmadd) and a scalar fused
// multiply-add F (the instruction, or the software one): the midpoint sum
// with one rounding per multiply-add, in the order of the target, and the
// radius sum of dot_radius_term, always in element order. The orders:
//   kLanes8      8 lanes from +0.0, element 8b+j fused into lane j; fold lane
//                j + lane j+4, then (t0 + t2) + (t1 + t3); the last n mod 8
//                elements fused one at a time;
//   kPairs4      two 4-lane accumulators U (elements 8b..8b+3) and W
//                (8b+4..8b+7); R = W + U, one more fused half-block if 4 or
//                more remain, fold (R0 + R2) + (R1 + R3), the last n mod 4
//                elements fused one at a time;
//   kSequential  from +0.0, element after element.
#pragma once

#include <cstddef>

#include "kernels/kernel_types.hpp"
#include "kernels/loops/dot_terms.hpp"

namespace quorvex::kernels::loops {
namespace {

enum class DotOrder { kSequential, kPairs4, kLanes8 };

// The radius terms of a register's elements, lane by lane (the operations of
// dot_radius_term), added to s in element order.
template <class V>
double add_radius_terms(double s, const DotInputs& in, std::size_t i) {
  const auto a = V::abs(V::load(in.a_mid + i)), ea = V::load(in.a_rad + i);
  const auto b = V::abs(V::load(in.b_mid + i)), eb = V::load(in.b_rad + i);
  alignas(64) double term[V::kWidth];
  V::store(term, V::add(V::mul(ea, eb), V::add(V::mul(ea, b), V::mul(eb, a))));
  for (const double t : term) s += t;
  return s;
}

// acc + a b for the register of elements from i, rounded once per lane.
template <class V>
typename V::Reg fused(const DotInputs& in, std::size_t i, typename V::Reg acc) {
  return V::fmadd(V::load(in.a_mid + i), V::load(in.b_mid + i), acc);
}

template <class V, DotOrder Order, double (*Fma)(double, double, double)>
DotSums dot(const DotInputs& in) {
  const std::size_t n = in.n;
  double m = 0.0;
  double s = 0.0;
  std::size_t i = 0;
  if constexpr (Order == DotOrder::kLanes8) {
    static_assert(V::kWidth == 8);
    auto acc = V::set1(0.0);
    // The radius chain (one dependent addition per element) sets the pace;
    // the midpoint products ride along in the same pass over memory.
    for (; i + 8 <= n; i += 8) {
      acc = fused<V>(in, i, acc);
      s = add_radius_terms<V>(s, in, i);
    }
    alignas(64) double lane[8];
    V::store(lane, acc);
    double t[4];
    for (int j = 0; j < 4; ++j) t[j] = lane[j] + lane[j + 4];
    m = (t[0] + t[2]) + (t[1] + t[3]);
  } else if constexpr (Order == DotOrder::kPairs4) {
    static_assert(V::kWidth == 4);
    auto u = V::set1(0.0), w = V::set1(0.0);
    for (; i + 8 <= n; i += 8) {
      u = fused<V>(in, i, u);
      w = fused<V>(in, i + 4, w);
      s = add_radius_terms<V>(s, in, i);
      s = add_radius_terms<V>(s, in, i + 4);
    }
    auto r = V::add(w, u);
    if (i + 4 <= n) {
      r = fused<V>(in, i, r);
      s = add_radius_terms<V>(s, in, i);
      i += 4;
    }
    alignas(32) double lane[4];
    V::store(lane, r);
    m = (lane[0] + lane[2]) + (lane[1] + lane[3]);
  }
  for (; i < n; ++i) {
    m = Fma(in.a_mid[i], in.b_mid[i], m);
    s += dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

// The fused multiply-add instruction of a target built with it.
inline double hardware_fma(double a, double b, double c) {
  return __builtin_fma(a, b, c);
}

}  // namespace
}  // namespace quorvex::kernels::loops
