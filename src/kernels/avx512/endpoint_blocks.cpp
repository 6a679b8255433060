// The vector endpoint steps, 8 doubles per register (AVX-512F): comparisons
// give bit masks, selections are masked blends. The rigorous square root
// rounds its endpoints and roots by the instructions themselves.
#include "kernels/avx512/vector.hpp"
#include "kernels/kernels.hpp"
#include "kernels/loops/endpoint_block_loops.hpp"

namespace quorvex::kernels::avx512 {
namespace {

// A ball holding the square roots of every point of (mid, rad): its ends
// rounded outward, their roots rounded down and up (the root of 0 where the
// lower end is not positive), and the ball of that pair rounded outward. The
// portable rule moves results rounded to nearest by an ulp's bound instead;
// this one is as tight as directed rounding gives. The roots are at most
// 2^512, so the midpoint's sum cannot overflow; an infinite or NaN upper
// root leaves the ball the whole line (NaN midpoint where it is NaN).
template <class W>
void directed_sqrt_ball(const double* mid, const double* rad, double* out_mid, double* out_rad) {
  const auto m = W::load(mid);
  const auto r = W::load(rad);
  const auto lo = W::sub_down(m, r);
  const auto hi = W::add_up(m, r);
  const auto a = W::sqrt_down(W::zero_unless(W::gt(lo, W::set1(0.0)), lo));
  const auto b = W::sqrt_up(hi);
  const auto centre = W::mul(W::add(a, b), W::set1(0.5));
  const auto up = W::add_up(b, W::flip(centre));
  const auto down = W::add_up(centre, W::flip(a));
  const auto radius = W::select(W::gt(up, down), up, down);
  W::store(out_mid, centre);
  W::store(out_rad,
           W::select(W::lt(b, W::set1(__builtin_inf())), radius, W::set1(__builtin_inf())));
}

std::size_t directed_sqrt_balls(const double* mid, const double* rad, double* out_mid,
                                double* out_rad, std::size_t n) {
  std::size_t i = 0;
  for (; i + V::kWidth <= n; i += V::kWidth) {
    directed_sqrt_ball<V>(mid + i, rad + i, out_mid + i, out_rad + i);
  }
  for (; i < n; ++i) directed_sqrt_ball<S>(mid + i, rad + i, out_mid + i, out_rad + i);
  return n;
}

constexpr EndpointBlockKernels kernels() {
  EndpointBlockKernels k = endpoint_loops::table<V>();
  k.rigorous_sqrt_balls = directed_sqrt_balls;
  return k;
}

}  // namespace

constinit const EndpointBlockKernels endpoint_blocks = kernels();

}  // namespace quorvex::kernels::avx512
