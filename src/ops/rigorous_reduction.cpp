// Reductions of the rigorous model: each result ball contains the exact
// reduction of every choice of reals inside the balls, all rounding counted.
// Sums and inner products add the a priori bound gamma_n sum |c| on the
// rounding of a sum of n terms to radii summed upward; the others work on
// outward endpoints with each step rounded away from the exact value.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "ops/reduction.hpp"
#include "rules/outward.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {
namespace {

using rules::ball_outward;
using rules::Endpoints;
using rules::kInf;
using rules::next_down;
using rules::next_up;

constexpr double kUnitRoundoff = 0x1p-53;
constexpr double kTiniest = 0x1p-1074;

// The sum's ball from the kernel's sums of n terms; the lanes and folds of a
// kernel add a few more roundings than n, which the margin covers.
Ball ball_of_sums(const kernels::RigorousSums& s, std::size_t n) {
  const double gamma = rules::gamma_up(static_cast<std::uint64_t>(n) + 16);
  const double magnitude = next_up(next_up(gamma * s.magnitude) / next_down(1.0 - gamma));
  double rad = next_up(s.rad + magnitude);
  if (!(s.mid > -kInf && s.mid < kInf)) rad = kInf;
  return {s.mid, rad};
}

// The ball divided by the exact count c.
Ball divided(Ball b, double c) {
  const double q = b.mid / c;
  double rad =
      next_up(next_up(b.rad / c) + next_up(next_up(std::fabs(q) * kUnitRoundoff) + kTiniest));
  if (!(q > -kInf && q < kInf)) rad = kInf;
  return {q, rad};
}

// [lo, hi] of the squares of [a, b], rounded outward.
Endpoints square_of(Endpoints e) {
  const double lo2 = e.lo * e.lo, hi2 = e.hi * e.hi;
  if (e.lo >= 0.0) return {next_down(lo2), next_up(hi2)};
  if (e.hi <= 0.0) return {next_down(hi2), next_up(lo2)};
  if (e.lo != e.lo || e.hi != e.hi) return {rules::kNaN, rules::kNaN};
  return {0.0, next_up(std::max(lo2, hi2))};
}

// The sum of the squares of (x_i - centre) over the run, as an endpoint pair
// summed downward and upward; centre (c, rc) is a ball.
Endpoints squares_about(BallRun run, Ball centre) {
  double lo = 0.0, hi = 0.0;
  for (std::size_t i = 0; i < run.n; ++i) {
    // x_i - c as a rigorous difference, then its square's range.
    const double d = run.mid[i] - centre.mid;
    const double rd =
        next_up(next_up(run.rad[i] + centre.rad) + next_up(std::fabs(d) * kUnitRoundoff));
    const Endpoints sq = square_of(rules::outward_endpoints(d, rd));
    lo = next_down(lo + sq.lo);
    hi = next_up(hi + sq.hi);
  }
  return {lo, hi};
}

}  // namespace

Ball rigorous_sum_of(BallRun run) {
  if (run.n == 0) return {0.0, 0.0};
  return ball_of_sums(simd::rigorous_sum_kernel()(run.mid, run.rad, run.n), run.n);
}

Ball rigorous_mean_of(BallRun run) {
  if (run.n == 0) return {rules::kNaN, rules::kNaN};
  return divided(rigorous_sum_of(run), static_cast<double>(run.n));
}

Ball rigorous_dot_of(BallRun a, BallRun b) {
  if (a.n == 0) return {0.0, 0.0};
  const kernels::DotInputs in{a.mid, a.rad, b.mid, b.rad, a.n};
  return ball_of_sums(simd::rigorous_dot_kernel()(in), a.n);
}

// About the mean ball: every (x_i - mean(x))^2 lies in the square of x_i's
// ball minus the mean's ball.
static Endpoints rigorous_variance(BallRun run, double ddof) {
  if (run.n == 0) return {rules::kNaN, rules::kNaN};
  const Endpoints t = squares_about(run, rigorous_mean_of(run));
  const double divisor = static_cast<double>(run.n) - ddof;  // exact for counts below 2^53
  if (!(divisor > 0.0)) return {-kInf, kInf};
  return {next_down(t.lo / divisor), next_up(t.hi / divisor)};
}

Ball rigorous_var_of(BallRun run, double ddof) {
  const Endpoints v = rigorous_variance(run, ddof);
  return ball_outward(v.lo, v.hi);
}

Ball rigorous_std_of(BallRun run, double ddof) {
  const Endpoints v = rigorous_variance(run, ddof);
  return ball_outward(next_down(std::sqrt(std::max(v.lo, 0.0))), next_up(std::sqrt(v.hi)));
}

Ball rigorous_norm_of(BallRun run) {
  if (run.n == 0) return {0.0, 0.0};
  const Endpoints q = squares_about(run, {0.0, 0.0});
  return ball_outward(next_down(std::sqrt(std::max(q.lo, 0.0))), next_up(std::sqrt(q.hi)));
}

Endpoints rigorous_product_step(Endpoints run, Endpoints e) {
  const double p[4] = {run.lo * e.lo, run.lo * e.hi, run.hi * e.lo, run.hi * e.hi};
  double lo = rules::kNaN, hi = rules::kNaN;
  for (const double x : p) {
    // A NaN product is 0 times an unbounded end, and 0 is what it stands for
    // among the others; NaN only when every product is.
    lo = rules::nan_min(lo, next_down(x));
    hi = rules::nan_max(hi, next_up(x));
  }
  return {lo, hi};
}

Ball rigorous_prod_of(BallRun run) {
  if (run.n == 0) return {1.0, 0.0};
  Endpoints p = rules::outward_endpoints(run.mid[0], run.rad[0]);
  for (std::size_t i = 1; i < run.n; ++i) {
    p = rigorous_product_step(p, rules::outward_endpoints(run.mid[i], run.rad[i]));
  }
  return ball_outward(p.lo, p.hi);
}

Ball rigorous_min_of(BallRun run) {
  double low = kInf, high = kInf;
  for (std::size_t i = 0; i < run.n; ++i) {
    const Endpoints e = rules::outward_endpoints(run.mid[i], run.rad[i]);
    if (e.lo < low) low = e.lo;
    if (e.hi < high) high = e.hi;
  }
  return ball_outward(std::min(low, high), std::max(low, high));
}

Ball rigorous_max_of(BallRun run) {
  double low = -kInf, high = -kInf;
  for (std::size_t i = 0; i < run.n; ++i) {
    const Endpoints e = rules::outward_endpoints(run.mid[i], run.rad[i]);
    if (e.lo > low) low = e.lo;
    if (e.hi > high) high = e.hi;
  }
  return ball_outward(std::min(low, high), std::max(low, high));
}

}  // namespace quorvex
