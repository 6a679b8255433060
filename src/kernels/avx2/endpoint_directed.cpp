// The rigorous square root and square of the AVX2 endpoint steps, 4 doubles
// per register, with directed results: each call runs in a round-upward scope
// of its own.
#include "kernels/avx2/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/upward_scope.hpp"

namespace quorvex::kernels::avx2 {

std::size_t upward_sqrt_balls(const double* mid, const double* rad, double* out_mid,
                              double* out_rad, std::size_t n) {
  return upward_scope::sqrt_balls<V, Ints>(mid, rad, out_mid, out_rad, n);
}

std::size_t upward_square_balls(const double* mid, const double* rad, double* out_mid,
                                double* out_rad, std::size_t n) {
  return upward_scope::square_balls<V, Ints>(mid, rad, out_mid, out_rad, n);
}

}  // namespace quorvex::kernels::avx2
