// Sums of many columns at once, each in the order of one target's sum kernel:
// the columns of a row-major block (rows x cols, rows `stride` apart) are
// summed row by row into per-column lane accumulators kept in the first-level
// cache, so a reduction along a leading axis streams through whole rows. Each
// column's lane accumulator receives exactly the additions the target's sum
// kernel makes in that lane for the column alone, in the same order, so every
// column gets that kernel's bits.
//
// V is the including file's register type (internal linkage, as for
// arith_loops.hpp); the columns a register does not fill go one at a time.
#pragma once

#include <cstddef>

namespace quorvex::kernels::loops {
namespace {

// The orders of the sum kernels.
enum class SumOrder {
  kSequential,  // from -0.0, element after element
  kPairs4,      // 4 lanes from +0.0; blocks of 8 add their halves first; fold (0+2)+(1+3)
  kLanes8,      // 8 lanes from +0.0; fold lane j + lane j+4, then (t0+t2)+(t1+t3)
};

// Columns per pass: the lane accumulators (at most 8 rows of them) stay in cache.
constexpr std::size_t kColumnBlock = 256;

// dst[c] = op(dst[c], src[c]) over n columns, a register at a time.
template <class V, class Op>
void columns(double* dst, const double* src, std::size_t n, Op op) {
  std::size_t c = 0;
  for (; c + V::kWidth <= n; c += V::kWidth)
    V::store(dst + c, op(V::load(dst + c), V::load(src + c)));
  for (; c < n; ++c) dst[c] = op(dst[c], src[c]);
}

template <class V, SumOrder Order>
void sum_column_block(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t n,
                      double* out) {
  const auto row = [&](std::size_t r) { return x + static_cast<std::ptrdiff_t>(r) * stride; };
  const auto add = [](auto a, auto b) {
    if constexpr (requires { a + b; }) {
      return a + b;
    } else {
      return V::add(a, b);
    }
  };
  constexpr std::size_t kLanes = Order == SumOrder::kLanes8   ? 8
                                 : Order == SumOrder::kPairs4 ? 4
                                                              : 1;
  double acc[kLanes][kColumnBlock];
  std::size_t r = 0;
  if constexpr (Order == SumOrder::kSequential) {
    for (std::size_t c = 0; c < n; ++c) out[c] = -0.0;
  } else {
    for (auto& lane : acc) {
      for (std::size_t c = 0; c < n; ++c) lane[c] = 0.0;
    }
    if constexpr (Order == SumOrder::kPairs4) {
      double pair[kColumnBlock];
      for (; r + 8 <= rows; r += 8) {
        for (std::size_t j = 0; j < 4; ++j) {
          const double* low = row(r + j);
          const double* high = row(r + 4 + j);
          for (std::size_t c = 0; c < n; ++c) pair[c] = low[c];
          columns<V>(pair, high, n, add);
          columns<V>(acc[j], pair, n, add);
        }
      }
      if (r + 4 <= rows) {
        for (std::size_t j = 0; j < 4; ++j) columns<V>(acc[j], row(r + j), n, add);
        r += 4;
      }
      // (lane 0 + lane 2) + (lane 1 + lane 3)
      columns<V>(acc[0], acc[2], n, add);
      columns<V>(acc[1], acc[3], n, add);
      columns<V>(acc[0], acc[1], n, add);
    } else {
      for (; r + 8 <= rows; r += 8) {
        for (std::size_t j = 0; j < 8; ++j) columns<V>(acc[j], row(r + j), n, add);
      }
      // t_j = lane j + lane j+4, then (t0 + t2) + (t1 + t3)
      for (std::size_t j = 0; j < 4; ++j) columns<V>(acc[j], acc[j + 4], n, add);
      columns<V>(acc[0], acc[2], n, add);
      columns<V>(acc[1], acc[3], n, add);
      columns<V>(acc[0], acc[1], n, add);
    }
    for (std::size_t c = 0; c < n; ++c) out[c] = acc[0][c];
  }
  for (; r < rows; ++r) columns<V>(out, row(r), n, add);
}

template <class V, SumOrder Order>
void sum_columns(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols,
                 double* out) {
  for (std::size_t c = 0; c < cols; c += kColumnBlock) {
    const std::size_t n = cols - c < kColumnBlock ? cols - c : kColumnBlock;
    sum_column_block<V, Order>(x + c, stride, rows, n, out + c);
  }
}

}  // namespace
}  // namespace quorvex::kernels::loops
