// The signatures of every kernel family, shared by the per-target kernel files
// and the target table that calls them. Plain types and constants only: a
// per-target file includes this, so nothing here may carry code that the
// linker could share between files built for different instruction sets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvex::kernels {

// Elementwise arithmetic. Outputs may be the very same buffer as an input
// (in place); partial overlap is not allowed.
using QuadKernel = void (*)(const double* ma, const double* ra, const double* mb, const double* rb,
                            double* out_mid, double* out_rad, std::size_t n);
using BinaryKernel = void (*)(const double* x, const double* y, double* o, std::size_t n);
using BroadcastKernel = void (*)(const double* x, double c, double* o, std::size_t n);
using UnaryKernel = void (*)(const double* x, double* o, std::size_t n);

// The sum of one column in the kernel's fixed order of additions.
using SumKernel = double (*)(const double* x, std::size_t n);
// The sums of the cols columns of a row-major block of rows x cols doubles
// (rows `stride` apart) into out[0 .. cols), each with the bits of the sum
// kernel of the same target applied to that column alone.
using ColumnSumKernel = void (*)(const double* x, std::ptrdiff_t stride, std::size_t rows,
                                 std::size_t cols, double* out);

// The endpoint pair of a product of balls: the product reduction runs the
// pair (lo, hi) through the elements, each step taking the least of the four
// endpoint products rounded down and the greatest rounded up.
struct ProductEnds {
  double lo;
  double hi;
};
// The pair of the product of n >= 1 elements.
using ProductKernel = ProductEnds (*)(const double* mid, const double* rad, std::size_t n);

// Inner product of two interval columns: the midpoint sum with a fused
// multiply-add per element (order fixed per kernel) and the radius sum, always
// in element order.
struct DotInputs {
  const double* a_mid;
  const double* a_rad;
  const double* b_mid;
  const double* b_rad;
  std::size_t n;
};
struct DotSums {
  double mid;  // sum of a_mid * b_mid
  double rad;  // sum of ea*eb + (ea*|b| + eb*|a|)
};
using DotKernel = DotSums (*)(const DotInputs& in);

// The sums behind a rigorous reduction of n terms (c_i, r_i): M = sum c_i and
// A = sum |c_i| rounded to nearest, R = sum r_i rounded upward.
struct RigorousSums {
  double mid;
  double magnitude;
  double rad;
};
// Of the balls themselves, and of the rigorous products of two runs of balls.
using RigorousSumKernel = RigorousSums (*)(const double* mid, const double* rad, std::size_t n);
using RigorousDotKernel = RigorousSums (*)(const DotInputs& in);

// The vector finishing steps of the elementwise functions (see the endpoint
// driver). A block holds the endpoints, the library's values at them and where
// the balls go.
constexpr std::size_t kFinishMax = 64;  // elements per finishing call at most
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
// The functions without library calls, over any length: balls in, balls out.
// Returns how many leading elements were written.
using BallsFn = std::size_t (*)(const double* mid, const double* rad, double* out_mid,
                                double* out_rad, std::size_t n);
// The same over the balls of two operands.
using BallPairsFn = std::size_t (*)(const double* am, const double* ar, const double* bm,
                                    const double* br, double* out_mid, double* out_rad,
                                    std::size_t n);
// The rigorous model's steps around the library calls: the outward endpoints
// of balls, and the outward balls of image pairs each end moved outward by
// `ulps` ulps' bounds. Return how many leading elements were written.
using OutwardFn = std::size_t (*)(const double* mid, const double* rad, double* lo, double* hi,
                                  std::size_t n);
using WidenFn = std::size_t (*)(const double* lo, const double* hi, int ulps, double* out_mid,
                                double* out_rad, std::size_t n);
// The rigorous finishing steps of the binary functions with library calls: a
// block holds both operands' outward endpoints, the library's values at the
// two points of each element, and where the balls go. Returns how many
// leading elements were written.
struct PairFinishBlock {
  const double* alo;
  const double* ahi;
  const double* blo;
  const double* bhi;
  const double* f1;
  const double* f2;
  double* out_mid;
  double* out_rad;
  std::size_t n;  // at most kFinishMax
};
using PairFinishFn = std::size_t (*)(const PairFinishBlock&);
struct EndpointBlockKernels {
  BallsFn sqrt_balls;
  BallsFn abs_balls;
  FinishFn exp_finish;
  FinishFn ln_finish;
  FinishFn log2_finish;
  FinishFn log10_finish;
  FinishFn sin_finish;
  FinishFn cos_finish;
  FinishFn tan_finish;
  // The finishing steps of the functions of ops/function_kernels.hpp with
  // library calls (balls as image_ball forms them; no scans): increasing on
  // the whole line, on [-1, 1] increasing and decreasing, acosh, log1p, cosh.
  FinishFn rising_finish;
  FinishFn unit_rising_finish;
  FinishFn unit_falling_finish;
  FinishFn acosh_finish;
  FinishFn log1p_finish;
  FinishFn cosh_finish;
  // The functions of a few operations of ops/function_kernels.hpp.
  BallsFn square_balls;
  BallsFn reciprocal_balls;
  BallsFn deg2rad_balls;
  BallsFn rad2deg_balls;
  BallsFn sign_balls;
  BallsFn floor_balls;
  BallsFn ceil_balls;
  BallsFn trunc_balls;
  BallsFn rint_balls;
  BallPairsFn maximum_balls;
  BallPairsFn minimum_balls;
  BallPairsFn fmax_balls;
  BallPairsFn fmin_balls;
  // The rigorous model's vector steps: the outward endpoints; exp's, the
  // logarithms', sin's, cos's and tan's finishing steps with the library's
  // error bound, their balls rounded outward (the last three leave to the
  // scalar step the lanes their quick test cannot settle); the widening of
  // image pairs;
  // the square root.
  OutwardFn outward_endpoints;
  FinishFn rigorous_exp_finish;
  FinishFn rigorous_log_finish;
  FinishFn rigorous_sin_finish;
  FinishFn rigorous_cos_finish;
  FinishFn rigorous_tan_finish;
  // The rigorous forms of the finishing steps of ops/function_kernels.hpp
  // above (cbrt's rising step with its own error bound).
  FinishFn rigorous_rising_finish;
  FinishFn rigorous_cbrt_finish;
  FinishFn rigorous_unit_rising_finish;
  FinishFn rigorous_unit_falling_finish;
  FinishFn rigorous_acosh_finish;
  FinishFn rigorous_log1p_finish;
  FinishFn rigorous_cosh_finish;
  WidenFn widened_balls;
  BallsFn rigorous_sqrt_balls;
  // The rigorous forms of the functions of a few operations above.
  BallsFn rigorous_square_balls;
  BallsFn rigorous_reciprocal_balls;
  BallsFn rigorous_deg2rad_balls;
  BallsFn rigorous_rad2deg_balls;
  BallsFn rigorous_sign_balls;
  BallsFn rigorous_floor_balls;
  BallsFn rigorous_ceil_balls;
  BallsFn rigorous_trunc_balls;
  BallsFn rigorous_rint_balls;
  // hypot's and arctan2's rigorous finishing steps.
  PairFinishFn rigorous_hypot_finish;
  PairFinishFn rigorous_arctan2_finish;
  BallsFn rigorous_abs_balls;
  BallPairsFn rigorous_maximum_balls;
  BallPairsFn rigorous_minimum_balls;
  BallPairsFn rigorous_fmax_balls;
  BallPairsFn rigorous_fmin_balls;
};

// One MR x NR tile of C from a packed A strip (kc columns of MR values) and a
// packed B strip (kc rows of NR values): the tile becomes product + beta *
// tile, beta == 0 never reads C, and only its top-left rows x cols are written.
using MicroKernel = void (*)(std::size_t kc, const double* a, const double* b, double beta,
                             double* c, std::size_t ldc, std::size_t rows, std::size_t cols);
struct GemmTile {
  MicroKernel kernel;
  std::size_t mr, nr;
  bool aligned_packing;  // packing buffers 64-byte aligned
  // Optional: the tile and its right neighbour in one call (b at the first of
  // the two consecutive packed strips, nr < cols <= 2 nr), with the bits of
  // two calls of `kernel`; nullptr where the target has none.
  MicroKernel pair;
};

}  // namespace quorvex::kernels
