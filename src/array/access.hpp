// Reading an array back: precision measures and single elements. Element
// readers re-derive the ball through its bounds; exports return stored values.
#pragma once

#include <cstdint>

#include "array/interval_array.hpp"

namespace quorvex {

inline bool is_exact(const IntervalArray& a) {
  return rules::is_exact(a.radii());
}
double max_radius(const IntervalArray& a);
double max_relative_error(const IntervalArray& a);

// get(idx): IndexError "index {idx} out of range for array of length {size}".
Result<Ball> element_ball(const IntervalArray& a, std::uint64_t idx);
// midpoint(idx) / radius(idx): IndexError "index out of range".
Result<double> element_midpoint(const IntervalArray& a, std::uint64_t idx);
Result<double> element_radius(const IntervalArray& a, std::uint64_t idx);
// a[i]: one wrap-around for negative i, IndexError "index out of range".
Result<Ball> subscript(const IntervalArray& a, std::int64_t i);

}  // namespace quorvex
