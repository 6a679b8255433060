#include <cstddef>
#include <limits>

#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {

BallRun run_of(const IntervalArray& a) noexcept {
  return {a.midpoints().data(), a.radii().data(), static_cast<std::size_t>(a.size())};
}

Endpoints sum_endpoints(BallRun run) {
  if (run.n == 0) return {0.0, 0.0};
  const simd::SumKernel sum = simd::sum_kernel();
  const double m = sum(run.mid, run.n);
  const double r = sum(run.rad, run.n);
  return {m - r, m + r};
}

Ball sum_from_sums(double m, double r, std::size_t n) {
  if (n == 0) return {0.0, 0.0};
  return ball_from_endpoints({m - r, m + r});
}

Ball mean_from_sums(double m, double r, std::size_t n) {
  if (n == 0) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  const Endpoints s{m - r, m + r};
  const auto c = static_cast<double>(n);
  const double mid = ((s.lo + s.hi) * 0.5) / c;
  const double rad = ((s.hi - s.lo) * 0.5) / c;
  return ball_from_endpoints({mid - rad, rad + mid});
}

Ball sum_of(BallRun run) {
  return ball_from_endpoints(sum_endpoints(run));
}

Ball mean_of(BallRun run) {
  if (run.n == 0) return mean_from_sums(0.0, 0.0, 0);
  const simd::SumKernel sum = simd::sum_kernel();
  return mean_from_sums(sum(run.mid, run.n), sum(run.rad, run.n), run.n);
}

Ball array_sum(const IntervalArray& a) {
  return sum_of(run_of(a));
}

Ball array_mean(const IntervalArray& a) {
  return mean_of(run_of(a));
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
