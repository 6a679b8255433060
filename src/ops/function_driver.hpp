// The loops of the functions in function_kernels.hpp over contiguous runs of
// balls, in the engine's kernel form (balls in, balls out, n elements).
//
// Functions that cost library calls make them for a block of elements in a
// loop that holds nothing else, then finish the block: a call clobbers every
// floating-point register, and a loop that mixes the calls with the finishing
// work runs well below the speed of the calls alone. Every element takes the
// same steps wherever it sits in a block, so the bits never depend on the
// layout.
#pragma once

#include <algorithm>
#include <cstddef>

#include "ops/function_kernels.hpp"
#include "simd/dispatch.hpp"

namespace quorvex::functions {

// Elements per block of library calls: their endpoints and values wait on the
// stack until the block is finished.
inline constexpr std::size_t kCallBlock = 32;

inline void store(double* out_mid, double* out_rad, std::size_t i, Ball b) {
  out_mid[i] = b.mid;
  out_rad[i] = b.rad;
}

// A unary function of Calls form: the calls of a block, then the vector form
// of its finishing step on whole registers and the scalar one on the rest.
template <class Form>
void map_calls(const double* mid, const double* rad, double* out_mid, double* out_rad,
               std::size_t n) {
  double lo[kCallBlock];
  double hi[kCallBlock];
  double f_lo[kCallBlock];
  double f_hi[kCallBlock];
  for (std::size_t base = 0; base < n; base += kCallBlock) {
    const std::size_t len = std::min(kCallBlock, n - base);
    for (std::size_t i = 0; i < len; ++i) {
      lo[i] = mid[base + i] - rad[base + i];
      hi[i] = mid[base + i] + rad[base + i];
      f_lo[i] = Form::call(lo[i]);
      f_hi[i] = Form::call(hi[i]);
    }
    const simd::FinishDone done = (simd::endpoint_blocks().*Form::block)(
        {lo, hi, f_lo, f_hi, out_mid + base, out_rad + base, len});
    for (std::size_t i = done.count; i < len; ++i) {
      store(out_mid, out_rad, base + i, image_ball(Form::finish(lo[i], hi[i], f_lo[i], f_hi[i])));
    }
  }
}

// A unary function of a few operations: Image(lo, hi) is the image pair, and
// Vector the same in the vector form of this process's target, which does the
// whole registers (with the bits of Image); the rest one by one.
template <EndpointPair (*Image)(double, double), simd::BallsFn simd::EndpointBlockKernels::* Vector>
void map_images(const double* mid, const double* rad, double* out_mid, double* out_rad,
                std::size_t n) {
  const std::size_t done = (simd::endpoint_blocks().*Vector)(mid, rad, out_mid, out_rad, n);
  for (std::size_t i = done; i < n; ++i) {
    store(out_mid, out_rad, i, image_ball(Image(mid[i] - rad[i], mid[i] + rad[i])));
  }
}

// A binary function of a few operations: Rule(operands) is the ball, Vector
// its vector form as above.
template <Ball (*Rule)(const Operands&), simd::BallPairsFn simd::EndpointBlockKernels::* Vector>
void map_rule(const double* am, const double* ar, const double* bm, const double* br,
              double* out_mid, double* out_rad, std::size_t n) {
  const std::size_t done = (simd::endpoint_blocks().*Vector)(am, ar, bm, br, out_mid, out_rad, n);
  for (std::size_t i = done; i < n; ++i) {
    store(out_mid, out_rad, i, Rule(operands_of(am[i], ar[i], bm[i], br[i])));
  }
}

// A binary function with two library calls per element (points, call, finish).
template <class Form>
void map_binary_calls(const double* am, const double* ar, const double* bm, const double* br,
                      double* out_mid, double* out_rad, std::size_t n) {
  Operands o[kCallBlock];
  Points p[kCallBlock];
  double f1[kCallBlock];
  double f2[kCallBlock];
  for (std::size_t base = 0; base < n; base += kCallBlock) {
    const std::size_t len = std::min(kCallBlock, n - base);
    for (std::size_t i = 0; i < len; ++i) {
      o[i] = operands_of(am[base + i], ar[base + i], bm[base + i], br[base + i]);
      p[i] = Form::points(o[i]);
    }
    for (std::size_t i = 0; i < len; ++i) {
      f1[i] = Form::call(p[i].u1, p[i].v1);
      f2[i] = Form::call(p[i].u2, p[i].v2);
    }
    for (std::size_t i = 0; i < len; ++i) {
      store(out_mid, out_rad, base + i, image_ball(Form::finish(o[i], f1[i], f2[i])));
    }
  }
}

}  // namespace quorvex::functions
