// The dot product in the order of AVX-512 processors (loops/dot_loops.hpp).
#include "kernels/avx512/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/dot_loops.hpp"

namespace quorvex::kernels::avx512 {

DotSums dot(const DotInputs& in) {
  return loops::dot<V, loops::DotOrder::kLanes8, loops::hardware_fma>(in);
}

}  // namespace quorvex::kernels::avx512
