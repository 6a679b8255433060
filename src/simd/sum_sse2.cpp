#include "simd/sum_kernels.hpp"

namespace quorvex::simd {

double sum_scalar(std::span<const double> x) noexcept {
  // -0.0 is the additive identity for every double, -0.0 included.
  double s = -0.0;
  for (const double v : x) s += v;
  return s;
}

}  // namespace quorvex::simd
