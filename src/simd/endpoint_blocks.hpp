// Vector forms of the elementwise functions' per-element steps, for the
// endpoint driver. The library calls themselves stay scalar (glibc's sin, exp,
// log... are what fixes the values); what runs here is everything around
// them: the finishing step that turns the two call values into the image
// pair, and the ball from that pair. Each step is the same IEEE operation
// as in the scalar kernels, so every variant gives the scalar bits.
//
// A function handles whole registers only and reports how many elements it
// did; the driver does the remaining few with the scalar kernel. Elements of
// sin, cos and tan that may hold a candidate point are reported in `scan`
// for the driver to redo with the scalar kernel, which runs the full scan.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvex::simd {

// Elements per finishing call at most (the width of the scan mask).
inline constexpr std::size_t kFinishMax = 64;

// One block of the two-call kernels: the endpoints, the library's values at
// them, and where the ball goes.
struct FinishBlock {
  const double* lo;
  const double* hi;
  const double* f_lo;
  const double* f_hi;
  double* out_mid;
  double* out_rad;
  std::size_t n;  // at most kFinishMax
};

struct FinishDone {
  std::size_t count;   // elements 0 .. count-1 were written
  std::uint64_t scan;  // of those, the ones still to be redone by the scalar kernel
};

using FinishFn = FinishDone (*)(const FinishBlock&);
// The kernels without library calls, over any length: balls in, balls out.
// Returns how many leading elements were written.
using BallsFn = std::size_t (*)(const double* mid, const double* rad, double* out_mid,
                                double* out_rad, std::size_t n);

struct EndpointBlockKernels {
  const char* variant;
  BallsFn sqrt_balls;
  BallsFn abs_balls;
  FinishFn exp_finish;
  FinishFn ln_finish;
  FinishFn log2_finish;
  FinishFn log10_finish;
  FinishFn sin_finish;
  FinishFn cos_finish;
  FinishFn tan_finish;
};

const EndpointBlockKernels& endpoint_blocks_avx2();  // needs AVX2
const EndpointBlockKernels& endpoint_blocks_sse2();  // baseline

// The widest variant the processor supports.
const EndpointBlockKernels& endpoint_blocks();

}  // namespace quorvex::simd
