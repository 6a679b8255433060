// The vector endpoint steps, 8 doubles per register (AVX-512F): comparisons
// give bit masks, selections are masked blends. The rigorous square root and
// square round their endpoints and results by the instructions themselves,
// over the whole run, its tail through S with the same rounding.
#include "kernels/avx512/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/directed_balls.hpp"
#include "kernels/loops/endpoint_block_loops.hpp"

namespace quorvex::kernels::avx512 {
namespace d = directed_balls;

constinit const EndpointBlockKernels endpoint_blocks = endpoint_loops::table<V>(
    d::whole_run<V, d::directed_sqrt_ball<V>, d::directed_sqrt_ball<S>>,
    d::whole_run<V, d::directed_square_ball<V>, d::directed_square_ball<S>>);

}  // namespace quorvex::kernels::avx512
