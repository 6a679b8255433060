// The dot product in the order of AVX2+FMA processors (loops/dot_loops.hpp).
#include "kernels/fma/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/dot_loops.hpp"

namespace quorvex::kernels::fma {

DotSums dot(const DotInputs& in) {
  return loops::dot<Fused, loops::DotOrder::kPairs4, loops::hardware_fma>(in);
}

}  // namespace quorvex::kernels::fma
