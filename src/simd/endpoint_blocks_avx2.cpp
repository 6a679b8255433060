// The vector endpoint steps, 4 doubles per register (AVX2).
#include "simd/endpoint_block_loops.hpp"
#include "simd/endpoint_blocks.hpp"
#include "simd/vector_avx2.hpp"

namespace quorvex::simd {

const EndpointBlockKernels& endpoint_blocks_avx2() {
  static constexpr EndpointBlockKernels kernels = endpoint_loops::table<V>("avx2");
  return kernels;
}

}  // namespace quorvex::simd
