// The vector endpoint steps, 2 doubles per register (every x86-64 processor).
#include "kernels/kernels.hpp"
#include "kernels/loops/endpoint_block_loops.hpp"
#include "kernels/sse2/vector.hpp"

namespace quorvex::kernels::sse2 {

namespace {

constexpr EndpointBlockKernels kernels() {
  EndpointBlockKernels k = endpoint_loops::table<V>();
  k.rigorous_sqrt_balls = upward_sqrt_balls;
  k.rigorous_square_balls = upward_square_balls;
  return k;
}

}  // namespace

constinit const EndpointBlockKernels endpoint_blocks = kernels();

}  // namespace quorvex::kernels::sse2
