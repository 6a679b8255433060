#include <emmintrin.h>

#include "rules/ball.hpp"

namespace quorvex::rules {

bool is_exact(std::span<const double> radii) noexcept {
  // -0.0 compares equal to zero; NaN does not (cmpneq is true for it). The
  // scan tests blocks of radii with vector compares and one branch per block:
  // stopping at the end of the block holding the first inexact radius gives
  // the same answer as stopping at that radius, at memory speed.
  constexpr std::size_t kBlock = 16;
  const double* r = radii.data();
  const std::size_t n = radii.size();
  const __m128d zero = _mm_setzero_pd();
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    __m128d inexact = _mm_cmpneq_pd(_mm_loadu_pd(r + i), zero);
    for (std::size_t j = 2; j < kBlock; j += 2) {
      inexact = _mm_or_pd(inexact, _mm_cmpneq_pd(_mm_loadu_pd(r + i + j), zero));
    }
    if (_mm_movemask_pd(inexact) != 0) return false;
  }
  for (; i < n; ++i) {
    if (!(r[i] == 0.0)) return false;
  }
  return true;
}

}  // namespace quorvex::rules
