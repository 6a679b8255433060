// The dot product in element order from +0.0, with the software fused
// multiply-add (processors without the instruction).
#include "kernels/kernels.hpp"
#include "kernels/loops/dot_loops.hpp"
#include "kernels/scalar/soft_fma.hpp"
#include "kernels/sse2/vector.hpp"

namespace quorvex::kernels::sse2 {

DotSums dot(const DotInputs& in) {
  return loops::dot<V, loops::DotOrder::kSequential, scalar::soft_fma>(in);
}

}  // namespace quorvex::kernels::sse2
