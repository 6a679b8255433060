// Baseline (SSE2, every x86-64 processor) arithmetic kernels, 2 doubles per register.
#include "kernels/kernels.hpp"
#include "kernels/loops/arith_loops.hpp"
#include "kernels/loops/ball_rules.hpp"
#include "kernels/loops/rigorous_sums.hpp"
#include "kernels/sse2/vector.hpp"

namespace quorvex::kernels::sse2 {

#define QV_ARITH_BROADCAST_FAMILIES
#include "kernels/loops/arith_families.inc"

void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product<V>(ma, ra, mb, rb, om, orad, n);
}

}  // namespace quorvex::kernels::sse2
