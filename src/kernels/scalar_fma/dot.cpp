// The dot product in element order from +0.0 with the processor's fused
// multiply-add, for processors that have FMA but not AVX2. Built with the FMA
// flag alone, so nothing here needs more than that processor has.
#include "kernels/kernels.hpp"
#include "kernels/loops/dot_terms.hpp"

namespace quorvex::kernels::scalar_fma {

DotSums dot(const DotInputs& in) {
  double m = 0.0;
  double s = 0.0;
  for (std::size_t i = 0; i < in.n; ++i) {
    m = __builtin_fma(in.a_mid[i], in.b_mid[i], m);
    s += loops::dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

}  // namespace quorvex::kernels::scalar_fma
