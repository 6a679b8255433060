// The array-building entry points: exact bits of every element, the running
// sums of arange, unfused linspace points, and the refusals of ranges that
// could never be stored or never end.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "array/access.hpp"
#include "array/constructors.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}

std::vector<std::uint64_t> bit_list(std::span<const double> xs) {
  std::vector<std::uint64_t> out;
  for (double x : xs) out.push_back(bits(x));
  return out;
}

IntervalArray ok(Result<IntervalArray> r) {
  EXPECT_TRUE(r.has_value()) << (r ? "" : r.error().message);
  return std::move(r).value();
}

class ArrayError : public ::testing::TestWithParam<double> {};

TEST_P(ArrayError, IsStoredAsGivenUnlessItComparesEqualToZero) {
  const double error = GetParam();
  const std::vector<double> values{1.0, -2.5, 1e308};
  IntervalArray a = ok(make_array(values, error));
  EXPECT_EQ(a.shape(), Shape{3});
  EXPECT_EQ(bit_list(a.midpoints()), bit_list(values));
  const double expected = error == 0.0 ? 0.0 : error;  // -0.0 becomes +0.0
  for (double r : a.radii()) EXPECT_EQ(bits(r), bits(expected));
  EXPECT_EQ(is_exact(a), error == 0.0);
}

INSTANTIATE_TEST_SUITE_P(Errors, ArrayError,
                         ::testing::Values(0.0, -0.0, 0.25, -1.0, INFINITY, NAN, 5e-324));

struct FullCase {
  double value;
  double error;
};

class MakeFull : public ::testing::TestWithParam<FullCase> {};

TEST_P(MakeFull, StoresTheBallOfTheRoundedBounds) {
  const auto [value, error] = GetParam();
  const double lo = value - error, hi = value + error;
  const double m = (lo + hi) * 0.5, r = (hi - lo) * 0.5;
  IntervalArray a = ok(make_full({2, 3}, value, error));
  EXPECT_EQ(a.shape(), (Shape{2, 3}));
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(bits(a.midpoints()[k]), bits(m));
    EXPECT_EQ(bits(a.radii()[k]), bits(r));
  }
}

INSTANTIATE_TEST_SUITE_P(Balls, MakeFull,
                         ::testing::Values(FullCase{3.0, 0.5}, FullCase{0.1, 0.0},
                                           FullCase{1e308, 0.0},  // lo + hi overflows
                                           FullCase{-0.0, 0.0}, FullCase{0.1, 0.2},
                                           FullCase{1.0, -2.0}, FullCase{NAN, 1.0},
                                           FullCase{1.0, INFINITY}, FullCase{0.0, 0.0}));

struct RangeCase {
  double start, stop, step;
};

// The points as the running sum of the step, compared bit for bit.
std::vector<std::uint64_t> running_sum(RangeCase c) {
  std::vector<std::uint64_t> out;
  for (double x = c.start; c.step > 0 ? c.stop > x : c.stop < x; x += c.step) {
    out.push_back(bits(x));
  }
  return out;
}

class Arange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(Arange, IsTheRunningSumOfTheStep) {
  const RangeCase c = GetParam();
  IntervalArray a = ok(make_arange(c.start, c.stop, c.step));
  EXPECT_EQ(a.ndim(), 1u);
  EXPECT_EQ(bit_list(a.midpoints()), running_sum(c));
  EXPECT_TRUE(is_exact(a));
}

INSTANTIATE_TEST_SUITE_P(Ranges, Arange,
                         ::testing::Values(RangeCase{0, 1, 0.25}, RangeCase{0, 3, 1},
                                           RangeCase{3, 0, -1}, RangeCase{1, 0, 1},
                                           RangeCase{0, 1, -1}, RangeCase{0, 1, 0.1},
                                           RangeCase{-1, 1, 0.3}, RangeCase{0.1, 7.3, 0.7},
                                           RangeCase{1, 1, 1}, RangeCase{1e16, 1e16 + 64, 3},
                                           RangeCase{0, 1e5, 0.5}));

// Non-finite inputs that still give a loop of at most a few steps.
struct SpecialRange {
  RangeCase range;
  std::vector<double> points;
};

class ArangeSpecial : public ::testing::TestWithParam<SpecialRange> {};

TEST_P(ArangeSpecial, EndsAfterTheStatedPoints) {
  const auto& [c, points] = GetParam();
  IntervalArray a = ok(make_arange(c.start, c.stop, c.step));
  EXPECT_EQ(bit_list(a.midpoints()), bit_list(points));
}

INSTANTIATE_TEST_SUITE_P(
    Specials, ArangeSpecial,
    ::testing::Values(SpecialRange{{NAN, 1, 1}, {}}, SpecialRange{{0, NAN, 1}, {}},
                      SpecialRange{{1, 0, NAN}, {1.0}},  // NaN steps count downwards
                      SpecialRange{{0, 1, NAN}, {}}, SpecialRange{{0, 5, INFINITY}, {0.0}},
                      SpecialRange{{-INFINITY, 0, INFINITY}, {-INFINITY}},
                      SpecialRange{{0, -INFINITY, -INFINITY}, {0.0}},
                      // An infinite stop is passed only by overflowing.
                      SpecialRange{{0, INFINITY, 1e308}, {0.0, 1e308}},
                      SpecialRange{{0, -INFINITY, -1e308}, {0.0, -1e308}}));

TEST(Arange, ZeroStepPanics) {
  for (double zero : {0.0, -0.0}) {
    try {
      (void)make_arange(0, 1, zero);
      FAIL() << "expected a panic";
    } catch (const Panic& p) {
      EXPECT_EQ(p.message(), "arange: step cannot be zero");
    }
  }
}

// Ranges whose running value stops advancing before the stop: ValueError,
// found either by the estimate or by the loop itself.
struct EndlessCase {
  RangeCase range;
  std::string message;
};

class ArangeEndless : public ::testing::TestWithParam<EndlessCase> {};

TEST_P(ArangeEndless, IsAValueError) {
  const auto& [c, message] = GetParam();
  auto a = make_arange(c.start, c.stop, c.step);
  ASSERT_FALSE(a.has_value());
  EXPECT_EQ(a.error().kind, ErrorKind::ValueError);
  EXPECT_EQ(a.error().message, message);
}

INSTANTIATE_TEST_SUITE_P(
    Endless, ArangeEndless,
    ::testing::Values(
        // Found by the loop: 2^53 + 1 rounds back to 2^53 after a few steps.
        EndlessCase{{9007199254740980.0, 9007199254741000.0, 1},
                    "arange: the range never ends: adding the step 1 to 9007199254740992 no "
                    "longer changes the running value"},
        // Found by the estimate at either end of the range.
        EndlessCase{{0, 1e300, 1},
                    "arange: the range never ends: adding the step 1 to 9.999999999999999e+299 "
                    "no longer changes the running value"},
        EndlessCase{{-1e300, 0, 1},
                    "arange: the range never ends: adding the step 1 to -1e+300 no longer "
                    "changes the running value"},
        EndlessCase{{0, INFINITY, 1},
                    "arange: the range never ends: the step 1 is too small to reach an infinite "
                    "stop"},
        EndlessCase{{0, -INFINITY, -2.5},
                    "arange: the range never ends: the step -2.5 is too small to reach an "
                    "infinite stop"},
        EndlessCase{{-INFINITY, 0, 1},
                    "arange: the range never ends: the running value starts at -inf and a finite "
                    "step cannot move it"},
        EndlessCase{{INFINITY, 0, -1e300},
                    "arange: the range never ends: the running value starts at inf and a finite "
                    "step cannot move it"}));

TEST(Arange, MoreFinitePointsThanMemoryIsAMemoryError) {
  // 10^15 integers are all distinct doubles; 16 petabytes cannot be stored.
  auto a = make_arange(0, 1e15, 1);
  ASSERT_FALSE(a.has_value());
  EXPECT_EQ(a.error().kind, ErrorKind::MemoryError);
  EXPECT_EQ(a.error().message.rfind("arange: 1e+15 points cannot be stored (at most ", 0), 0u)
      << a.error().message;
}

struct LinspaceCase {
  double start, stop;
  std::uint64_t num;
};

class Linspace : public ::testing::TestWithParam<LinspaceCase> {};

TEST_P(Linspace, IsAProductThenASumEachRounded) {
  const auto [start, stop, num] = GetParam();
  IntervalArray a = ok(make_linspace(start, stop, num));
  ASSERT_EQ(a.shape(), Shape{num});
  EXPECT_TRUE(is_exact(a));
  if (num == 1) {
    EXPECT_EQ(bits(a.midpoints()[0]), bits(start));
    return;
  }
  const double d = (stop - start) / static_cast<double>(num - 1);
  for (std::uint64_t i = 0; i < num; ++i) {
    const double product = static_cast<double>(i) * d;
    ASSERT_EQ(bits(a.midpoints()[i]), bits(product + start)) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, Linspace,
                         ::testing::Values(LinspaceCase{0, 1, 5}, LinspaceCase{0, 1, 50},
                                           LinspaceCase{2, 5, 1}, LinspaceCase{0, 1, 0},
                                           LinspaceCase{0.1, 0.7, 7}, LinspaceCase{5, -3, 9},
                                           LinspaceCase{0, INFINITY, 3}, LinspaceCase{1, NAN, 2},
                                           LinspaceCase{-1e308, 1e308, 4}));

TEST(Linspace, NeverFusesTheMultiplyAndAdd) {
  // 0.1 .. 0.7 in 7 points has points where a fused multiply-add rounds
  // differently; they must come out as the two-rounding values.
  IntervalArray a = ok(make_linspace(0.1, 0.7, 7));
  const double d = (0.7 - 0.1) / 6.0;
  int fused_differs = 0;
  for (int i = 0; i < 7; ++i) {
    const double product = i * d;
    const double unfused = product + 0.1;
    if (std::fma(i, d, 0.1) != unfused) {
      ++fused_differs;
      EXPECT_EQ(bits(a.midpoints()[i]), bits(unfused));
    }
  }
  EXPECT_GT(fused_differs, 0) << "pick inputs where fma and two roundings differ";
}

TEST(Linspace, ACountBeyondMemoryIsAMemoryErrorBeforeAllocating) {
  for (std::uint64_t num : {std::uint64_t{1} << 58, std::uint64_t{1} << 62, UINT64_MAX}) {
    auto a = make_linspace(0, 1, num);
    ASSERT_FALSE(a.has_value());
    EXPECT_EQ(a.error().kind, ErrorKind::MemoryError);
    EXPECT_NE(a.error().message.find("linspace: "), std::string::npos);
  }
}

// The exact-array test reads radii a block at a time: one inexact radius
// (positive, negative, tiny, NaN) anywhere, in a block or in the tail, makes
// the array inexact, and -0.0 counts as zero wherever it sits.
TEST(IsExact, FindsOneInexactRadiusAtAnyPosition) {
  const double inexact[] = {1.0, -1.0, 5e-324, std::nan(""), INFINITY};
  for (const std::size_t n : {1, 15, 16, 17, 33, 200}) {
    std::vector<double> radii(n, 0.0);
    for (std::size_t k = 0; k < n; k += 3) radii[k] = -0.0;
    EXPECT_TRUE(rules::is_exact(radii)) << "n=" << n;
    for (std::size_t at = 0; at < n; ++at) {
      for (const double r : inexact) {
        std::vector<double> one = radii;
        one[at] = r;
        EXPECT_FALSE(rules::is_exact(one)) << "n=" << n << " at=" << at << " r=" << r;
      }
    }
  }
  EXPECT_TRUE(rules::is_exact(std::span<const double>{}));
}

}  // namespace
}  // namespace quorvex
