#include <cmath>
#include <cstddef>
#include <utility>

#include "ops/reduction.hpp"
#include "ops/reduction_internal.hpp"

namespace quorvex {

Ball norm_of(BallRun run) {
  if (run.n == 0) return {0.0, 0.0};
  const std::span<const double> x{run.mid, run.n};
  const std::span<const double> e{run.rad, run.n};
  // Q is the squared norm of the midpoints; P bounds how far the radii can
  // move it: (x +- e)^2 lies within x^2 +- (e^2 + 2|x| e).
  double q = 0.0;
  double p = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double ax = std::fabs(x[i]);
    q = q + x[i] * x[i];
    p = p + (e[i] * e[i] + (ax + ax) * e[i]);
  }
  double u = std::sqrt(positive_or_zero(p + q));
  double w = std::sqrt(positive_or_zero(q - p));
  if (!(u >= w)) std::swap(u, w);
  return rules::ball_from_endpoints(w, u);
}

Ball array_norm(const IntervalArray& a) {
  return norm_of(run_of(a));
}

}  // namespace quorvex
