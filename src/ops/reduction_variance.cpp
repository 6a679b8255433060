#include <cmath>
#include <cstddef>
#include <limits>

#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"

namespace quorvex {

Endpoints variance_endpoints(const IntervalStorage& storage, std::uint64_t n) {
  if (n == 0) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  const auto c = static_cast<double>(n);
  const Endpoints s = sum_endpoints(storage, n);
  // The mean ball, computed exactly as mean() does.
  const double m = ((s.lo + s.hi) * 0.5) / c;
  const double r = ((s.hi - s.lo) * 0.5) / c;
  const Ball mean = ball_from_endpoints({m - r, r + m});
  const double mu = mean.mid;
  const double rho = mean.rad;

  // With the element in x +- e and the mean in mu +- rho, the square of their
  // difference lies within d^2 +- (f^2 + 2|d| f).
  const double* x = storage.midpoints();
  const double* e = storage.radii();
  double t = 0.0;
  double spread = 0.0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
    const double d = x[i] - mu;
    const double f = e[i] + rho;
    const double ad = std::fabs(d);
    t = t + d * d;
    spread = spread + (f * f + (ad + ad) * f);
  }
  const double g = positive_or_zero(t / c);
  const double sp = spread / c;
  return {g - sp, sp + g};
}

Ball array_var(const IntervalArray& a) {
  return ball_from_endpoints(variance_endpoints(*a.storage(), a.size()));
}

Ball array_std(const IntervalArray& a) {
  const Endpoints v = variance_endpoints(*a.storage(), a.size());
  const double lo = std::sqrt(positive_or_zero(v.lo));
  const double hi = std::sqrt(positive_or_zero(v.hi));
  const double rad = hi < lo ? (lo - hi) * 0.5 : (hi - lo) * 0.5;
  return {(lo + hi) * 0.5, rad};
}

}  // namespace quorvex
