#include "support/backward_copy.hpp"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace quorvex {

// SSE2 loads and stores, so the compiler cannot turn the loop back into a
// (forward) memcpy call.
void backward_copy(double* dst, const double* src, std::size_t n) noexcept {
  std::size_t i = n;
  for (; i >= 8; i -= 8) {
    const __m128d a = _mm_loadu_pd(src + i - 8);
    const __m128d b = _mm_loadu_pd(src + i - 6);
    const __m128d c = _mm_loadu_pd(src + i - 4);
    const __m128d d = _mm_loadu_pd(src + i - 2);
    _mm_storeu_pd(dst + i - 2, d);
    _mm_storeu_pd(dst + i - 4, c);
    _mm_storeu_pd(dst + i - 6, b);
    _mm_storeu_pd(dst + i - 8, a);
  }
  while (i > 0) {
    --i;
    dst[i] = src[i];
  }
}

void move_elements(double* dst, const double* src, std::size_t n) noexcept {
  // Compared as integers: the two pointers may come from unrelated objects.
  const auto to = reinterpret_cast<std::uintptr_t>(dst);
  const auto from = reinterpret_cast<std::uintptr_t>(src);
  if (to < from && from - to < n * sizeof(double)) {
    std::memmove(dst, src, n * sizeof(double));
    return;
  }
  backward_copy(dst, src, n);
}

}  // namespace quorvex
