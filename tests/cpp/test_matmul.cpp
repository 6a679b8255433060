// matmul's exactness scan, which Python cannot reach with -0.0 radii (a radius
// is zero when it compares equal to 0.0, in the scan's blocks and in its
// tail), and the pooled product against the serial one.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

#include "array/interval_array.hpp"
#include "ops/matmul.hpp"

namespace quorvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// size x size operands (4 or 144 elements: tail only, or blocks and a tail);
// `odd` is the index of the one radius that is not +0.0 (or -1 for none).
using ScanParam = std::tuple<std::uint64_t, int, double>;

class MatmulExactnessScan : public testing::TestWithParam<ScanParam> {};

TEST_P(MatmulExactnessScan, OnlyNonZeroRadiiMakeAnOperandInexact) {
  const auto [size, odd, value] = GetParam();
  const std::size_t count = size * size;
  if (odd >= static_cast<int>(count)) GTEST_SKIP() << "index past this size";
  std::vector<double> a_mid(count, 1.0), a_rad(count, 0.0), b_mid(count, 1.0);
  if (odd >= 0) a_rad[odd] = value;
  b_mid[0] = kInf;
  const auto a = IntervalArray::from_parts(a_mid, a_rad, {size, size}).value();
  const auto b = IntervalArray::from_parts(b_mid, std::vector<double>(count, 0.0), {size, size});
  const auto c = matmul(a, b.value()).value();
  const bool exact = odd < 0 || value == 0.0;
  // Element (0, 0) sees the inf midpoint through A's radii when A is inexact:
  // 0 * inf = NaN, or a positive radius times inf.
  EXPECT_EQ(c.radii()[0] == 0.0, exact);
  if (exact) {
    for (double r : c.radii()) EXPECT_EQ(std::bit_cast<std::uint64_t>(r), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    BlocksAndTail, MatmulExactnessScan,
    testing::Combine(testing::Values(2u, 12u), testing::Values(-1, 0, 3, 63, 64, 130),
                     testing::Values(-0.0, std::numeric_limits<double>::quiet_NaN(), 1e-300)));

// 300 result rows run as row blocks on the pool; 100 rows alone run on the
// calling thread. Every row must get the same bits either way.
TEST(MatmulOnThePool, RowsMatchTheSerialProductOfTheSameRows) {
  constexpr std::uint64_t m = 300, k = 40, n = 36;
  auto values = [](std::size_t count, double scale, unsigned seed) {
    std::vector<double> v(count);
    for (std::size_t i = 0; i < count; ++i) {
      v[i] = scale * std::ldexp(1.0 + static_cast<double>((i * 2654435761u + seed) % 997) / 997.0,
                                static_cast<int>((i * 40503u + seed) % 21) - 10);
    }
    return v;
  };
  const std::vector<double> am = values(m * k, 1.0, 1), ar = values(m * k, 1e-6, 2);
  const std::vector<double> bm = values(k * n, -1.0, 3), br = values(k * n, 1e-7, 4);
  const auto b = IntervalArray::from_parts(bm, br, {k, n}).value();
  const auto whole = matmul(IntervalArray::from_parts(am, ar, {m, k}).value(), b).value();
  for (std::uint64_t first = 0; first < m; first += 100) {
    const auto rows = [&](const std::vector<double>& v) {
      return std::vector<double>(v.begin() + first * k, v.begin() + (first + 100) * k);
    };
    const auto part = matmul(IntervalArray::from_parts(rows(am), rows(ar), {100, k}).value(), b);
    for (std::size_t i = 0; i < 100 * n; ++i) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(part.value().midpoints()[i]),
                std::bit_cast<std::uint64_t>(whole.midpoints()[first * n + i]));
      ASSERT_EQ(std::bit_cast<std::uint64_t>(part.value().radii()[i]),
                std::bit_cast<std::uint64_t>(whole.radii()[first * n + i]));
    }
  }
}

}  // namespace
}  // namespace quorvex
