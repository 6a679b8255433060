#include "simd/endpoint_blocks.hpp"
#include "simd/features.hpp"

namespace quorvex::simd {

const EndpointBlockKernels& endpoint_blocks() {
  return cpu_features().avx2 ? endpoint_blocks_avx2() : endpoint_blocks_sse2();
}

}  // namespace quorvex::simd
