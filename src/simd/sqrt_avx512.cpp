#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "simd/sqrt_kernels.hpp"
#include "support/panic.hpp"

namespace quorvex::simd {

void sqrt_avx512(std::span<const double> x, std::span<double> out) {
  assert_eq(std::uint64_t{out.size()}, std::uint64_t{x.size()}, "sqrt output length");
  const std::size_t n = x.size();
  const double* in = x.data();
  double* o = out.data();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // All eight lanes selected; the masked form avoids GCC 12's uninitialised
    // pass-through operand in _mm512_sqrt_pd, which -Werror rejects.
    const __m512d v = _mm512_loadu_pd(in + i);
    _mm512_storeu_pd(o + i, _mm512_mask_sqrt_pd(v, 0xFF, v));
  }
  for (; i < n; ++i) o[i] = std::sqrt(in[i]);
}

}  // namespace quorvex::simd
