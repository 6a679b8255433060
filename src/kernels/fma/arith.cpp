// AVX2 + FMA interval product: full vectors get the fused radius
// fma(ra, rb, fma(ra, |mb|, |ma| * rb)); the n mod 4 tail stays unfused.
#include "kernels/fma/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/arith_loops.hpp"

namespace quorvex::kernels {

namespace fma {
void interval_product(const double* ma, const double* ra, const double* mb, const double* rb,
                      double* om, double* orad, std::size_t n) {
  loops::interval_product_fused<Fused>(ma, ra, mb, rb, om, orad, n);
}
}  // namespace fma
}  // namespace quorvex::kernels
