#include <cstddef>

#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"
#include "simd/dispatch.hpp"
#include "support/panic.hpp"

namespace quorvex {

Ball array_dot(const IntervalArray& a, const IntervalArray& b) {
  // Shapes are not compared: elements pair up in storage order.
  assert_eq(a.size(), b.size(), "dot: length mismatch");
  if (a.size() == 0) return {0.0, 0.0};
  const simd::DotInputs in{a.midpoints().data(), a.radii().data(), b.midpoints().data(),
                           b.radii().data(), static_cast<std::size_t>(a.size())};
  const simd::DotSums s = simd::dot_kernel()(in);
  return ball_from_endpoints({s.mid - s.rad, s.mid + s.rad});
}

}  // namespace quorvex
