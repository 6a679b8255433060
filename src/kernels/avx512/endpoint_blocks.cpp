// The vector endpoint steps, 8 doubles per register (AVX-512F): comparisons
// give bit masks, selections are masked blends.
#include "kernels/avx512/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/endpoint_block_loops.hpp"

namespace quorvex::kernels::avx512 {

constinit const EndpointBlockKernels endpoint_blocks = endpoint_loops::table<V>();

}  // namespace quorvex::kernels::avx512
