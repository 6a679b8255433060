// The vector endpoint steps, 8 doubles per register (AVX-512F): comparisons
// give bit masks, selections are masked blends. The rigorous square root and
// square round their endpoints and results by the instructions themselves,
// over the whole run, its tail through S with the same rounding.
#include "kernels/avx512/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/directed_balls.hpp"
#include "kernels/loops/endpoint_block_loops.hpp"

namespace quorvex::kernels::avx512 {
namespace {

using namespace directed_balls;

constexpr EndpointBlockKernels kernels() {
  EndpointBlockKernels k = endpoint_loops::table<V>();
  k.rigorous_sqrt_balls = whole_run<V, directed_sqrt_ball<V>, directed_sqrt_ball<S>>;
  k.rigorous_square_balls = whole_run<V, directed_square_ball<V>, directed_square_ball<S>>;
  return k;
}

}  // namespace

constinit const EndpointBlockKernels endpoint_blocks = kernels();

}  // namespace quorvex::kernels::avx512
