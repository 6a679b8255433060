#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "simd/sqrt_kernels.hpp"
#include "support/panic.hpp"

namespace quorvex::simd {

void sqrt_avx2(std::span<const double> x, std::span<double> out) {
  assert_eq(std::uint64_t{out.size()}, std::uint64_t{x.size()}, "sqrt output length");
  const std::size_t n = x.size();
  const double* in = x.data();
  double* o = out.data();
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(o + i, _mm256_sqrt_pd(_mm256_loadu_pd(in + i)));
  for (; i < n; ++i) o[i] = std::sqrt(in[i]);
}

}  // namespace quorvex::simd
