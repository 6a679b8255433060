#include "array/access.hpp"

#include <cmath>
#include <string>

namespace quorvex {

namespace {

// The element passed through its bounds; lo + hi may overflow to an infinite
// midpoint, which is what every element reader reports.
Ball rederive(const IntervalArray& a, std::uint64_t idx) {
  const rules::Endpoints e = rules::endpoints_of(a.midpoints()[idx], a.radii()[idx]);
  return rules::ball_from_endpoints(e.lo, e.hi);
}

}  // namespace

double max_radius(const IntervalArray& a) {
  double best = 0.0;
  for (double r : a.radii()) {
    if (r > best) best = r;  // false for NaN, so NaN radii never show
  }
  return best;
}

double max_relative_error(const IntervalArray& a) {
  const auto mids = a.midpoints();
  const auto rads = a.radii();
  double best = 0.0;
  // Midpoints are read only where the radius is non-zero, and the scan ends at
  // the first element without a finite ratio.
  for (std::size_t k = 0; k < rads.size(); ++k) {
    const double r = rads[k];
    if (r == 0.0) continue;
    const double m = mids[k];
    if (m == 0.0 || std::isnan(m)) return INFINITY;
    const double q = r / std::fabs(m);
    if (q > best) best = q;
  }
  return best;
}

Result<Ball> element_ball(const IntervalArray& a, std::uint64_t idx) {
  if (idx >= a.size()) {
    return index_error("index " + std::to_string(idx) + " out of range for array of length " +
                       std::to_string(a.size()));
  }
  return rederive(a, idx);
}

Result<double> element_midpoint(const IntervalArray& a, std::uint64_t idx) {
  if (idx >= a.size()) return index_error("index out of range");
  const double m = a.midpoints()[idx];
  const double r = a.radii()[idx];
  return ((m + r) + (m - r)) * 0.5;
}

Result<double> element_radius(const IntervalArray& a, std::uint64_t idx) {
  if (idx >= a.size()) return index_error("index out of range");
  const double m = a.midpoints()[idx];
  const double r = a.radii()[idx];
  return ((m + r) - (m - r)) * 0.5;
}

Result<Ball> subscript(const IntervalArray& a, std::int64_t i) {
  const std::uint64_t size = a.size();
  std::uint64_t idx;
  if (i < 0) {
    // One wrap-around; the magnitude is taken without negating INT64_MIN.
    const std::uint64_t back = std::uint64_t{0} - static_cast<std::uint64_t>(i);
    if (back > size) return index_error("index out of range");
    idx = size - back;
  } else {
    idx = static_cast<std::uint64_t>(i);
  }
  if (idx >= size) return index_error("index out of range");
  return rederive(a, idx);
}

}  // namespace quorvex
