#include "simd/dot_kernels.hpp"
#include "simd/soft_fma.hpp"

namespace quorvex::simd {

DotSums dot_scalar(const DotInputs& in) noexcept {
  double m = 0.0;
  double s = 0.0;
  for (std::size_t i = 0; i < in.n; ++i) {
    m = soft_fma(in.a_mid[i], in.b_mid[i], m);
    s += dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

}  // namespace quorvex::simd
