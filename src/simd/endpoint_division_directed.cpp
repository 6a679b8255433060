// Division by endpoints, for quotients where some divisor may be zero. The
// reciprocal of the divisor and the four endpoint products are each computed
// once rounded down and once rounded up, so the result encloses the exact
// quotient of the two balls. Built with -frounding-math; every operand enters
// a scope through fp_barrier and every result leaves through one, so the
// compiler can neither evaluate a product before its mode is set nor share one
// evaluation between the downward and the upward scope.
#include "ops/arithmetic_rules.hpp"
#include "ops/rounding_mode.hpp"
#include "simd/arith_kernels.hpp"

namespace quorvex::simd::scalar {
namespace {

using rules::nan_max;
using rules::nan_min;

// The four products alo*rlo, alo*rhi, ahi*rlo, ahi*rhi in the mode in force, reduced in that order.
template <class Pick>
double endpoint_products(double alo, double ahi, double rlo, double rhi, Pick pick) {
  alo = fp_barrier(alo);
  ahi = fp_barrier(ahi);
  rlo = fp_barrier(rlo);
  rhi = fp_barrier(rhi);
  const double p1 = alo * rlo;
  const double p2 = alo * rhi;
  const double p3 = ahi * rlo;
  const double p4 = ahi * rhi;
  return fp_barrier(pick(pick(pick(p1, p2), p3), p4));
}

}  // namespace

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
    double lo = endpoint_products(alo, ahi, rlo, rhi, nan_min);
    enter_upward();
    double hi = endpoint_products(alo, ahi, rlo, rhi, nan_max);
    leave_rounding();

    // The ball from the endpoints, back in round-to-nearest.
    lo = fp_barrier(lo);
    hi = fp_barrier(hi);
    out_mid[i] = (lo + hi) * 0.5;
    out_rad[i] = (hi - lo) * 0.5;
  }
}

}  // namespace quorvex::simd::scalar
