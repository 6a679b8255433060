// Sums of many columns at once, each in the order of one target's sum kernel:
// the columns of a row-major block (rows x cols, rows row_stride apart) are
// summed side by side, a register of neighbouring columns at a time, so a
// reduction along a leading axis reads whole rows; every column gets the bits
// the target's sum kernel gives it alone, since each lane of a register
// follows that kernel's order of additions for its own column.
//
// V is the including file's register type (internal linkage, as for
// arith_loops.hpp); the leftover columns go through Scalar, one at a time.
#pragma once

#include <cstddef>

namespace quorvex::kernels::loops {
namespace {

// One double as a register of width 1.
struct Scalar {
  using Reg = double;
  static constexpr std::size_t kWidth = 1;
  static Reg load(const double* p) { return *p; }
  static void store(double* p, Reg r) { *p = r; }
  static Reg set1(double c) { return c; }
  static Reg add(Reg a, Reg b) { return a + b; }
};

// The orders of the sum kernels.
enum class SumOrder {
  kSequential,  // from -0.0, element after element
  kPairs4,      // 4 lanes from +0.0; blocks of 8 add their halves first; fold (0+2)+(1+3)
  kLanes8,      // 8 lanes from +0.0; fold lane j + lane j+4, then (t0+t2)+(t1+t3)
};

template <class V, SumOrder Order>
typename V::Reg sum_column_block(const double* x, std::ptrdiff_t stride, std::size_t rows) {
  using Reg = typename V::Reg;
  const auto row = [&](std::size_t r) {
    return V::load(x + static_cast<std::ptrdiff_t>(r) * stride);
  };
  std::size_t r = 0;
  Reg s;
  if constexpr (Order == SumOrder::kSequential) {
    s = V::set1(-0.0);
  } else if constexpr (Order == SumOrder::kPairs4) {
    Reg acc[4] = {V::set1(0.0), V::set1(0.0), V::set1(0.0), V::set1(0.0)};
    for (; r + 8 <= rows; r += 8) {
      for (std::size_t j = 0; j < 4; ++j)
        acc[j] = V::add(acc[j], V::add(row(r + j), row(r + 4 + j)));
    }
    if (r + 4 <= rows) {
      for (std::size_t j = 0; j < 4; ++j) acc[j] = V::add(acc[j], row(r + j));
      r += 4;
    }
    s = V::add(V::add(acc[0], acc[2]), V::add(acc[1], acc[3]));
  } else {
    Reg acc[8];
    for (Reg& a : acc) a = V::set1(0.0);
    for (; r + 8 <= rows; r += 8) {
      for (std::size_t j = 0; j < 8; ++j) acc[j] = V::add(acc[j], row(r + j));
    }
    Reg t[4];
    for (std::size_t j = 0; j < 4; ++j) t[j] = V::add(acc[j], acc[j + 4]);
    s = V::add(V::add(t[0], t[2]), V::add(t[1], t[3]));
  }
  for (; r < rows; ++r) s = V::add(s, row(r));
  return s;
}

template <class V, SumOrder Order>
void sum_columns(const double* x, std::ptrdiff_t stride, std::size_t rows, std::size_t cols,
                 double* out) {
  std::size_t c = 0;
  for (; c + V::kWidth <= cols; c += V::kWidth) {
    V::store(out + c, sum_column_block<V, Order>(x + c, stride, rows));
  }
  for (; c < cols; ++c) out[c] = sum_column_block<Scalar, Order>(x + c, stride, rows);
}

}  // namespace
}  // namespace quorvex::kernels::loops
