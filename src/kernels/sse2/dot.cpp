// The dot product in element order from +0.0, with the software fused
// multiply-add (processors without the instruction).
#include "kernels/kernels.hpp"
#include "kernels/loops/dot_terms.hpp"
#include "kernels/scalar/soft_fma.hpp"

namespace quorvex::kernels::sse2 {

DotSums dot(const DotInputs& in) {
  double m = 0.0;
  double s = 0.0;
  for (std::size_t i = 0; i < in.n; ++i) {
    m = scalar::soft_fma(in.a_mid[i], in.b_mid[i], m);
    s += loops::dot_radius_term(in.a_mid[i], in.a_rad[i], in.b_mid[i], in.b_rad[i]);
  }
  return {m, s};
}

}  // namespace quorvex::kernels::sse2
