// The sum of one column in each target's order of additions, written once
// over the target's register type V. The order decides the last bits:
//   kLanes8      8 lanes from +0.0, element 8b+j into lane j; fold lane j +
//                lane j+4, then (t0 + t2) + (t1 + t3); the last n mod 8
//                elements one at a time;
//   kPairs4      4 lanes from +0.0; each block of 8 adds its halves lane-wise
//                before joining the accumulator; one more half-block if 4 or
//                more remain; fold (l0 + l2) + (l1 + l3); the rest one at a time;
//   kSequential  from -0.0, element after element.
// Never reorder them: each is a promise about the bits.
#pragma once

#include <cstddef>

#include "kernels/loops/sum_columns.hpp"

namespace quorvex::kernels::loops {
namespace {

template <class V, SumOrder Order>
double sum(const double* p, std::size_t n) {
  using Reg = typename V::Reg;
  constexpr std::size_t w = V::kWidth;
  std::size_t i = 0;
  if constexpr (Order == SumOrder::kSequential) {
    double s = -0.0;
    for (; i < n; ++i) s += p[i];
    return s;
  } else if constexpr (Order == SumOrder::kPairs4) {
    static_assert(4 % w == 0);
    constexpr std::size_t regs = 4 / w;
    Reg acc[regs];
    for (Reg& a : acc) a = V::set1(0.0);
    // One accumulator addition per 8 elements: the pairing of the two halves
    // is part of the order, so it cannot be split over more accumulators.
    for (; i + 8 <= n; i += 8) {
      for (std::size_t r = 0; r < regs; ++r) {
        acc[r] = V::add(acc[r], V::add(V::load(p + i + r * w), V::load(p + i + 4 + r * w)));
      }
    }
    if (i + 4 <= n) {
      for (std::size_t r = 0; r < regs; ++r) acc[r] = V::add(acc[r], V::load(p + i + r * w));
      i += 4;
    }
    alignas(64) double lane[4];
    for (std::size_t r = 0; r < regs; ++r) V::store(lane + r * w, acc[r]);
    double s = (lane[0] + lane[2]) + (lane[1] + lane[3]);
    for (; i < n; ++i) s += p[i];
    return s;
  } else {
    static_assert(8 % w == 0);
    constexpr std::size_t regs = 8 / w;
    Reg acc[regs];
    for (Reg& a : acc) a = V::set1(0.0);
    for (; i + 8 <= n; i += 8) {
      for (std::size_t r = 0; r < regs; ++r) acc[r] = V::add(acc[r], V::load(p + i + r * w));
    }
    alignas(64) double lane[8];
    for (std::size_t r = 0; r < regs; ++r) V::store(lane + r * w, acc[r]);
    double t[4];
    for (int j = 0; j < 4; ++j) t[j] = lane[j] + lane[j + 4];
    double s = (t[0] + t[2]) + (t[1] + t[3]);
    for (; i < n; ++i) s += p[i];
    return s;
  }
}

}  // namespace
}  // namespace quorvex::kernels::loops
