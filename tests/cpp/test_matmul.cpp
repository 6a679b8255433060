// matmul: the argument checks and their panic texts, the capacity guard, the
// radius formula under each exactness combination, and the empty cases.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "array/interval_array.hpp"
#include "ops/reduction.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

IntervalArray make(Shape shape, std::vector<double> mids, std::vector<double> rads) {
  auto r = IntervalArray::from_parts(mids, rads, std::move(shape));
  EXPECT_TRUE(r.has_value());
  return std::move(r).value();
}

IntervalArray make_uniform(Shape shape, double mid, double rad) {
  auto r = IntervalArray::uniform(std::move(shape), mid, rad);
  EXPECT_TRUE(r.has_value());
  return std::move(r).value();
}

std::string panic_text(const IntervalArray& a, const IntervalArray& b) {
  try {
    auto r = matmul(a, b);
    return "no panic";
  } catch (const Panic& p) {
    return p.message();
  }
}

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

struct CheckCase {
  Shape a, b;
  std::string message;
};

class MatmulChecks : public testing::TestWithParam<CheckCase> {};

TEST_P(MatmulChecks, PanicWithTheAssertionText) {
  const auto& c = GetParam();
  EXPECT_EQ(panic_text(make_uniform(c.a, 1.0, 0.0), make_uniform(c.b, 1.0, 0.0)), c.message);
}

const std::string kNot2d = "assertion `left == right` failed: matmul requires 2D arrays\n  left: ";
const std::string kInner =
    "assertion `left == right` failed: matmul: inner dimensions must match\n  left: ";

INSTANTIATE_TEST_SUITE_P(
    InOrder, MatmulChecks,
    testing::Values(CheckCase{{3}, {3, 2}, kNot2d + "1\n right: 2"},
                    CheckCase{{2, 2, 2}, {2, 2}, kNot2d + "3\n right: 2"},
                    CheckCase{{}, {1, 1}, kNot2d + "0\n right: 2"},
                    CheckCase{{2, 3}, {3}, kNot2d + "1\n right: 2"},
                    // A is checked before B, and both before the inner sizes.
                    CheckCase{{4}, {5, 6, 7}, kNot2d + "1\n right: 2"},
                    CheckCase{{2, 3}, {2, 2, 1}, kNot2d + "3\n right: 2"},
                    CheckCase{{2, 3}, {2, 2}, kInner + "3\n right: 2"},
                    CheckCase{{2, 0}, {1, 2}, kInner + "0\n right: 1"}));

// m * n * 8 bytes beyond the address space: a panic before anything is allocated.
TEST(Matmul, HugeEmptyOperandsOverflowCapacity) {
  for (const auto& [m, n] : {std::pair<std::uint64_t, std::uint64_t>{1ull << 32, 1ull << 32},
                             {1ull << 30, 1ull << 30},
                             {~0ull, 2}}) {
    EXPECT_EQ(panic_text(make_uniform({m, 0}, 0, 0), make_uniform({0, n}, 0, 0)),
              "capacity overflow")
        << m << " x " << n;
  }
}

// Dyadic data (small integers, radii in quarters) make every product and
// partial sum exact, so any summation order must give these very bits.
struct Dyadic {
  std::vector<double> mid, rad;
};

Dyadic dyadic(std::size_t count, unsigned seed, bool exact) {
  Dyadic d{std::vector<double>(count), std::vector<double>(count)};
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned h = (i + 1) * 2654435761u ^ seed * 40503u;
    d.mid[i] = static_cast<double>(static_cast<int>(h % 9) - 4);
    d.rad[i] = exact ? 0.0 : 0.25 * static_cast<double>((h >> 8) % 3);
  }
  return d;
}

using FormulaParam = std::tuple<std::size_t, bool, bool>;  // m, A exact, B exact

class MatmulFormula : public testing::TestWithParam<FormulaParam> {};

// Row counts on both sides of the row-block split (255 serial, 256 and 300 in
// blocks of 64, the last one short).
TEST_P(MatmulFormula, RadiiFollowTheExactnessOfEachOperand) {
  const auto [m, a_exact, b_exact] = GetParam();
  const std::size_t k = 37, n = 23;
  const Dyadic a = dyadic(m * k, 1, a_exact), b = dyadic(k * n, 2, b_exact);
  auto r = matmul(make({m, k}, a.mid, a.rad), make({k, n}, b.mid, b.rad));
  ASSERT_TRUE(r.has_value());
  ASSERT_EQ(r->shape(), (Shape{m, n}));
  const auto mid = r->midpoints(), rad = r->radii();
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      double want_mid = 0, want_rad = 0;
      for (std::size_t l = 0; l < k; ++l) {
        const double am = a.mid[i * k + l], ar = a.rad[i * k + l];
        const double bm = b.mid[l * n + j], br = b.rad[l * n + j];
        want_mid += am * bm;
        want_rad += std::fabs(am) * br + ar * (std::fabs(bm) + br);
      }
      ASSERT_EQ(bits(mid[i * n + j]), bits(want_mid)) << i << "," << j;
      ASSERT_EQ(bits(rad[i * n + j]), bits(want_rad)) << i << "," << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RowsAndFlags, MatmulFormula,
                         testing::Combine(testing::Values(1, 255, 256, 300),
                                          testing::Bool(), testing::Bool()));

// A NaN radius makes its operand inexact; a -0.0 radius does not. An exact A
// never multiplies its radii into B's infinite midpoints (0 * inf = NaN).
TEST(Matmul, ExactnessFlagsFollowIeeeComparison) {
  auto b = make({2, 2}, {kInf, 1, 2, 3}, {0, 0, 0, 0});
  auto r = matmul(make({2, 2}, {0, 1, 1, 0}, {-0.0, -0.0, -0.0, -0.0}), b);
  ASSERT_TRUE(r.has_value());
  for (double x : r->radii()) EXPECT_EQ(bits(x), 0u);

  r = matmul(make({2, 2}, {1, 1, 1, 1}, {0, 0, 0, kNaN}), make({2, 2}, {1, 2, 3, 4}, {0, 0, 0, 0}));
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(bits(r->radii()[0]), 0u);
  EXPECT_EQ(bits(r->radii()[1]), 0u);
  EXPECT_TRUE(std::isnan(r->radii()[2]));
  EXPECT_TRUE(std::isnan(r->radii()[3]));
}

// k == 0 gives zero balls and n == 0 / m == 0 empty results, also past the
// row-block threshold.
TEST(Matmul, EmptyDimensions) {
  for (std::uint64_t m : {3u, 300u}) {
    auto r = matmul(make_uniform({m, 0}, 0, 0), make_uniform({0, 5}, 0, 0));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->shape(), (Shape{m, 5}));
    for (double x : r->midpoints()) EXPECT_EQ(bits(x), 0u);
    for (double x : r->radii()) EXPECT_EQ(bits(x), 0u);

    r = matmul(make_uniform({m, 4}, 1.5, 0.5), make_uniform({4, 0}, 0, 0));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->shape(), (Shape{m, 0}));
    EXPECT_EQ(r->size(), 0u);
  }
  auto r = matmul(make_uniform({0, 4}, 1, 1), make_uniform({4, 3}, 1, 1));
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->shape(), (Shape{0, 3}));
}

}  // namespace
}  // namespace quorvex
