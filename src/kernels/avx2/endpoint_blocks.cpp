// The vector endpoint steps, 4 doubles per register (AVX2).
#include "kernels/avx2/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/endpoint_block_loops.hpp"

namespace quorvex::kernels::avx2 {

namespace {

constexpr EndpointBlockKernels kernels() {
  EndpointBlockKernels k = endpoint_loops::table<V>();
  k.rigorous_sqrt_balls = upward_sqrt_balls;
  k.rigorous_square_balls = upward_square_balls;
  return k;
}

}  // namespace

constinit const EndpointBlockKernels endpoint_blocks = kernels();

}  // namespace quorvex::kernels::avx2
