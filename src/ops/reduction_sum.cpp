#include <cstddef>
#include <limits>

#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {

Endpoints sum_endpoints(const IntervalStorage& storage, std::uint64_t n) {
  if (n == 0) return {0.0, 0.0};
  const auto count = static_cast<std::size_t>(n);
  const simd::SumKernel sum = simd::sum_kernel();
  const double m = sum(storage.midpoints(), count);
  const double r = sum(storage.radii(), count);
  return {m - r, m + r};
}

Ball array_sum(const IntervalArray& a) {
  return ball_from_endpoints(sum_endpoints(*a.storage(), a.size()));
}

Ball array_mean(const IntervalArray& a) {
  const std::uint64_t n = a.size();
  if (n == 0) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  const Endpoints s = sum_endpoints(*a.storage(), n);
  const auto c = static_cast<double>(n);
  const double m = ((s.lo + s.hi) * 0.5) / c;
  const double r = ((s.hi - s.lo) * 0.5) / c;
  return ball_from_endpoints({m - r, r + m});
}

Result<IntervalArray> array_cumsum(const IntervalArray& a) {
  QV_TRY(result, IntervalArray::zeros(a.shape()));
  QV_TRY(out, result.writable());
  const std::span<const double> mids = a.midpoints();
  const std::span<const double> rads = a.radii();
  double m = 0.0;
  double r = 0.0;
  // Strictly sequential: every stored value is a prefix sum in element order.
  for (std::size_t i = 0; i < mids.size(); ++i) {
    m += mids[i];
    r += rads[i];
    out.mid[i] = m;
    out.rad[i] = r;
  }
  return result;
}

}  // namespace quorvex
