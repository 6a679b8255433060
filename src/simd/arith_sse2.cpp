// Baseline (SSE2, every x86-64 processor) arithmetic kernels, 2 doubles per register.
#include "simd/arith_kernels.hpp"
#include "simd/arith_loops.hpp"
#include "simd/vector_sse2.hpp"

namespace quorvex::simd {

namespace sse2 {

#define QV_ARITH_BROADCAST_FAMILIES
#include "simd/arith_families.inc"

void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product<V>(ma, ra, mb, rb, om, orad, n);
}
void quotient_radius(const double* ma, const double* ra, const double* mb, const double* rb,
                     double* orad, std::size_t n) {
  loops::quotient_radius<V>(ma, ra, mb, rb, orad, n);
}

}  // namespace sse2
}  // namespace quorvex::simd
