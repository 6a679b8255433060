// The vector endpoint steps, 4 doubles per register (AVX2).
#include "kernels/avx2/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/endpoint_block_loops.hpp"

namespace quorvex::kernels::avx2 {

constinit const EndpointBlockKernels endpoint_blocks =
    endpoint_loops::table<V>(upward_sqrt_balls, upward_square_balls);

}  // namespace quorvex::kernels::avx2
