// The dot product in element order from +0.0 with the processor's fused
// multiply-add, for processors that have FMA but not AVX2. Built with the FMA
// flag alone, so nothing here needs more than that processor has.
#include "kernels/kernels.hpp"
#include "kernels/loops/dot_loops.hpp"
#include "kernels/sse2/vector.hpp"

namespace quorvex::kernels::scalar_fma {

DotSums dot(const DotInputs& in) {
  return loops::dot<V, loops::DotOrder::kSequential, loops::hardware_fma>(in);
}

}  // namespace quorvex::kernels::scalar_fma
