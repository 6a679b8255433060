#include <cmath>
#include <cstddef>
#include <limits>

#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"

namespace quorvex {

Endpoints variance_endpoints(BallRun run, double ddof) {
  if (run.n == 0) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  const auto c = static_cast<double>(run.n);
  // With ddof 0 the divisor is c itself, so the population variance keeps its bits.
  const double divisor = ddof == 0.0 ? c : c - ddof;
  const Endpoints s = sum_endpoints(run);
  // The mean ball, computed exactly as mean() does.
  const double m = ((s.lo + s.hi) * 0.5) / c;
  const double r = ((s.hi - s.lo) * 0.5) / c;
  const Ball mean = ball_from_endpoints({m - r, r + m});
  const double mu = mean.mid;
  const double rho = mean.rad;
  // With the element in x +- e and the mean in mu +- rho, the square of their
  // difference lies within d^2 +- (f^2 + 2|d| f).
  double t = 0.0;
  double spread = 0.0;
  for (std::size_t i = 0; i < run.n; ++i) {
    const double d = run.mid[i] - mu;
    const double f = run.rad[i] + rho;
    const double ad = std::fabs(d);
    t = t + d * d;
    spread = spread + (f * f + (ad + ad) * f);
  }
  const double g = positive_or_zero(t / divisor);
  const double sp = spread / divisor;
  return {g - sp, sp + g};
}

Ball var_of(BallRun run, double ddof) {
  return ball_from_endpoints(variance_endpoints(run, ddof));
}

Ball std_of(BallRun run, double ddof) {
  const Endpoints v = variance_endpoints(run, ddof);
  const double lo = std::sqrt(positive_or_zero(v.lo));
  const double hi = std::sqrt(positive_or_zero(v.hi));
  const double rad = hi < lo ? (lo - hi) * 0.5 : (hi - lo) * 0.5;
  return {(lo + hi) * 0.5, rad};
}

Ball array_var(const IntervalArray& a) {
  return var_of(run_of(a), 0.0);
}

Ball array_std(const IntervalArray& a) {
  return std_of(run_of(a), 0.0);
}

}  // namespace quorvex
