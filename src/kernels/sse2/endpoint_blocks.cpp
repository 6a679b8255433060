// The vector endpoint steps, 2 doubles per register (every x86-64 processor).
#include "kernels/kernels.hpp"
#include "kernels/loops/endpoint_block_loops.hpp"
#include "kernels/sse2/vector.hpp"

namespace quorvex::kernels::sse2 {

constinit const EndpointBlockKernels endpoint_blocks =
    endpoint_loops::table<V>(upward_sqrt_balls, upward_square_balls);

}  // namespace quorvex::kernels::sse2
