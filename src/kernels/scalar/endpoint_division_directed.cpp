// Division by endpoints, for quotients where some divisor may be zero. The
// reciprocal of the divisor and the four endpoint products are each computed
// once rounded down and once rounded up, so the result encloses the exact
// quotient of the two balls. Built with -frounding-math; every operand enters
// a scope through fp_barrier and every result leaves through one, so the
// compiler can neither evaluate a product before its mode is set nor share one
// evaluation between the downward and the upward scope.
#include "kernels/kernels.hpp"
#include "rules/ball.hpp"
#include "rules/rounding_mode.hpp"

namespace quorvex::kernels::scalar {

void endpoint_division(const double* ma, const double* ra, const double* mb, const double* rb,
                       double* out_mid, double* out_rad, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const double a = ma[i], r = ra[i], b = mb[i], s = rb[i];
    // Nearest-mode values are pinned before any scope opens, so they cannot be
    // sunk into one and recomputed under a directed mode.
    const double blo = fp_barrier(b - s);
    const double bhi = fp_barrier(b + s);
    if (!(0.0 < blo) && bhi >= 0.0) {
      out_mid[i] = rules::kNaN;
      out_rad[i] = rules::kInf;
      continue;
    }
    const double alo = fp_barrier(a - r);
    const double ahi = fp_barrier(a + r);

    enter_downward();
    const double rlo = fp_barrier(1.0 / fp_barrier(bhi));
    leave_rounding();
    enter_upward();
    const double rhi = fp_barrier(1.0 / fp_barrier(blo));
    leave_rounding();

    enter_downward();
    const double lo = lowest_product(alo, ahi, rlo, rhi);
    enter_upward();
    const double hi = highest_product(alo, ahi, rlo, rhi);
    leave_rounding();

    // The ball from the endpoints, back in round-to-nearest.
    const Ball ball = rules::ball_from_endpoints(fp_barrier(lo), fp_barrier(hi));
    out_mid[i] = ball.mid;
    out_rad[i] = ball.rad;
  }
}

}  // namespace quorvex::kernels::scalar
