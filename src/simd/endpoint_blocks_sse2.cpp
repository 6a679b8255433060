// The vector endpoint steps, 2 doubles per register (every x86-64 processor).
#include "simd/endpoint_block_loops.hpp"
#include "simd/endpoint_blocks.hpp"
#include "simd/vector_sse2.hpp"

namespace quorvex::simd {

const EndpointBlockKernels& endpoint_blocks_sse2() {
  static constexpr EndpointBlockKernels kernels = endpoint_loops::table<V>("sse2");
  return kernels;
}

}  // namespace quorvex::simd
