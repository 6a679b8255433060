// The reductions on small arrays whose results are known exactly, the
// directed rounding of prod against an fma-based oracle, and the panics.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <utility>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ops/reduction.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

IntervalArray make(std::vector<double> mids, std::vector<double> rads, Shape shape = {}) {
  if (shape.empty()) shape = {mids.size()};
  return IntervalArray::from_parts(mids, rads, shape).value();
}

// NaNs compare as "any NaN"; everything else bit for bit (signed zeros too).
void expect_ball(Ball got, double mid, double rad, const std::string& what) {
  if (std::isnan(mid)) {
    EXPECT_TRUE(std::isnan(got.mid)) << what << " mid " << got.mid;
  } else {
    EXPECT_EQ(bits(got.mid), bits(mid)) << what << " mid " << got.mid << " want " << mid;
  }
  if (std::isnan(rad)) {
    EXPECT_TRUE(std::isnan(got.rad)) << what << " rad " << got.rad;
  } else {
    EXPECT_EQ(bits(got.rad), bits(rad)) << what << " rad " << got.rad << " want " << rad;
  }
}

struct KnownCase {
  const char* name;
  Ball (*op)(const IntervalArray&);
  std::vector<double> mids, rads;
  double mid, rad;
};

class KnownReduction : public ::testing::TestWithParam<KnownCase> {};

TEST_P(KnownReduction, GivesTheKnownBall) {
  const KnownCase& c = GetParam();
  expect_ball(c.op(make(c.mids, c.rads)), c.mid, c.rad, c.name);
}

const double kSqrt2 = std::sqrt(2.0);

INSTANTIATE_TEST_SUITE_P(
    Cases, KnownReduction,
    ::testing::Values(
        KnownCase{"sum_empty", array_sum, {}, {}, 0.0, 0.0},
        KnownCase{"mean_empty", array_mean, {}, {}, kNaN, kNaN},
        KnownCase{"var_empty", array_var, {}, {}, kNaN, kNaN},
        KnownCase{"std_empty", array_std, {}, {}, 0.0, 0.0},
        KnownCase{"norm_empty", array_norm, {}, {}, 0.0, 0.0},
        KnownCase{"prod_empty", array_prod, {}, {}, 1.0, 0.0},
        KnownCase{"sum_exact_integers", array_sum, {1, 2, 3, 4, 5}, {0, 0, 0, 0, 0}, 15.0, 0.0},
        KnownCase{"sum_infinite_radius", array_sum, {1, 2}, {kInf, 0}, kNaN, kInf},
        KnownCase{"mean_of_balls", array_mean, {1, 2}, {0.5, 0.25}, 1.5, 0.375},
        KnownCase{"var_divides_by_n", array_var, {1, 2, 3, 4}, {0, 0, 0, 0}, 1.25, 0.0},
        KnownCase{"std_exact", array_std, {1, 2, 3, 4}, {0, 0, 0, 0}, 1.118033988749895, 0.0},
        KnownCase{"var_lower_end_negative", array_var, {0}, {1}, 0.0, 4.0},
        KnownCase{"std_clamps_negative_end", array_std, {0}, {1}, 1.0, 1.0},
        KnownCase{"norm_exact", array_norm, {3, 4}, {0, 0}, 5.0, 0.0},
        KnownCase{"norm_of_ball", array_norm, {3}, {1}, (kSqrt2 + 4.0) * 0.5,
                  (4.0 - kSqrt2) * 0.5},
        KnownCase{"prod_single_element", array_prod, {3}, {0.5}, 3.0, 0.5},
        KnownCase{"prod_exact", array_prod, {2, 3, 4}, {0, 0, 0}, 24.0, 0.0},
        KnownCase{"prod_through_zero", array_prod, {-1, 2}, {1, 0}, -2.0, 2.0},
        // 0.1 * 3 lies strictly between two doubles, which become the ends.
        KnownCase{"prod_inexact_gets_radius", array_prod, {0.1, 3}, {0, 0}, 0.30000000000000004,
                  2.7755575615628914e-17},
        // Rounded down the overflowing end stays finite, so the radius is
        // infinite rather than inf - inf.
        KnownCase{"prod_overflow_lower_end_finite", array_prod, {1e300, 1e300}, {0, 0}, kInf,
                  kInf},
        KnownCase{"prod_skips_nan_products", array_prod, {1, kInf}, {1, 0}, kInf, kNaN},
        KnownCase{"min_smallest_ends", array_min_val, {3, 1}, {1, 5}, 0.0, 4.0},
        KnownCase{"max_largest_ends", array_max_val, {3, 1}, {1, 5}, 4.0, 2.0},
        KnownCase{"min_passes_over_nan", array_min_val, {kNaN, 2}, {0, 1}, 2.0, 1.0},
        KnownCase{"max_passes_over_nan", array_max_val, {2, kNaN}, {1, 0}, 2.0, 1.0},
        KnownCase{"min_all_nan", array_min_val, {kNaN, kNaN}, {0, 0}, kInf, kNaN},
        KnownCase{"max_all_nan", array_max_val, {kNaN}, {0}, -kInf, kNaN}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DotReduction, KnownBalls) {
  expect_ball(array_dot(make({1, 2, 3}, {0, 0, 0}), make({4, 5, 6}, {0, 0, 0})), 32.0, 0.0,
              "exact");
  expect_ball(array_dot(make({1}, {0.5}), make({2}, {0.25})), 2.0, 1.375, "balls");
  expect_ball(array_dot(make({}, {}), make({}, {})), 0.0, 0.0, "empty");
  // Shapes are ignored: [2, 3] against [3, 2] pairs elements in storage order.
  const IntervalArray a = make({1, 2, 3, 4, 5, 6}, {0, 0, 0, 0, 0, 0}, {2, 3});
  const IntervalArray b = make({1, 1, 1, 1, 1, 2}, {0, 0, 0, 0, 0, 0}, {3, 2});
  expect_ball(array_dot(a, b), 27.0, 0.0, "shapes");
}

TEST(DotReduction, LengthMismatchPanicsWithBothLengths) {
  try {
    array_dot(make({1, 2, 3}, {0, 0, 0}), make({1, 2}, {0, 0}));
    FAIL() << "no panic";
  } catch (const Panic& p) {
    EXPECT_EQ(p.message(),
              "assertion `left == right` failed: dot: length mismatch\n  left: 3\n right: 2");
  }
}

TEST(Extrema, EmptyArraysPanicWithPlainText) {
  const IntervalArray empty = make({}, {});
  using Op = Ball (*)(const IntervalArray&);
  const std::pair<Op, std::string> cases[] = {{array_min_val, "min of empty array"},
                                              {array_max_val, "max of empty array"}};
  for (const auto& [op, text] : cases) {
    try {
      op(empty);
      FAIL() << "no panic for " << text;
    } catch (const Panic& p) {
      EXPECT_EQ(p.message(), text);
    }
  }
}

TEST(SumShapes, FlatOrderIgnoresShape) {
  std::vector<double> mids = {0.1, 0.2, 0.3, 1e16, -1e16, 0.7};
  std::vector<double> rads = {1e-3, 0, 2e-3, 0, 0.5, 0};
  const Ball flat = array_sum(make(mids, rads));
  const Ball grid = array_sum(make(mids, rads, {2, 3}));
  EXPECT_EQ(bits(flat.mid), bits(grid.mid));
  EXPECT_EQ(bits(flat.rad), bits(grid.rad));
}

TEST(Cumsum, RunningSumsKeepTheShape) {
  const IntervalArray a = make({1, 2, 3, 4, 5, 6}, {0.5, 0.25, 0, 0, 0, 1}, {2, 3});
  const IntervalArray c = array_cumsum(a).value();
  EXPECT_EQ(c.shape(), (Shape{2, 3}));
  const std::vector<double> want_mid = {1, 3, 6, 10, 15, 21};
  const std::vector<double> want_rad = {0.5, 0.75, 0.75, 0.75, 0.75, 1.75};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(c.midpoints()[i], want_mid[i]) << i;
    EXPECT_EQ(c.radii()[i], want_rad[i]) << i;
  }
  EXPECT_NE(c.storage().get(), a.storage().get());  // a fresh result, the input untouched
  EXPECT_EQ(a.midpoints()[1], 2.0);
}

TEST(Cumsum, EmptyKeepsShapeZero) {
  const IntervalArray c = array_cumsum(make({}, {})).value();
  EXPECT_EQ(c.shape(), (Shape{0}));
  EXPECT_EQ(c.size(), 0u);
}

TEST(Cumsum, StartsFromPlusZero) {
  // +0.0 + -0.0 is +0.0: the first running value is never -0.0.
  const IntervalArray c = array_cumsum(make({-0.0}, {-0.0})).value();
  EXPECT_EQ(bits(c.midpoints()[0]), bits(0.0));
  EXPECT_EQ(bits(c.radii()[0]), bits(0.0));
}

// --- prod against an oracle for directed products -------------------------------

// a*b rounded down / up, from the exact error fma(a, b, -p) of the nearest
// product p (valid while p is finite and normal).
double product_down(double a, double b) {
  const double p = a * b;
  return std::fma(a, b, -p) < 0 ? std::nextafter(p, -kInf) : p;
}
double product_up(double a, double b) {
  const double p = a * b;
  return std::fma(a, b, -p) > 0 ? std::nextafter(p, kInf) : p;
}

class ProdDirected : public ::testing::TestWithParam<int> {};

TEST_P(ProdDirected, EndsAreDirectedProductsAndModeReturnsToNearest) {
  const int n = GetParam();
  std::mt19937_64 rng(static_cast<unsigned>(n));
  std::uniform_real_distribution<double> mid(0.5, 2.0), rad(0.0, 0.1);
  std::vector<double> mids(n), rads(n);
  for (int i = 0; i < n; ++i) {
    mids[i] = (rng() % 4 == 0) ? -mid(rng) : mid(rng);
    rads[i] = rng() % 3 == 0 ? 0.0 : rad(rng);
  }
  double lo = mids[0] - rads[0], hi = mids[0] + rads[0];
  for (int i = 1; i < n; ++i) {
    const double blo = mids[i] - rads[i], bhi = mids[i] + rads[i];
    const double d[] = {product_down(lo, blo), product_down(lo, bhi), product_down(hi, blo),
                        product_down(hi, bhi)};
    const double u[] = {product_up(lo, blo), product_up(lo, bhi), product_up(hi, blo),
                        product_up(hi, bhi)};
    lo = std::min({d[0], d[1], d[2], d[3]});
    hi = std::max({u[0], u[1], u[2], u[3]});
  }
  const unsigned before = _mm_getcsr();
  const Ball got = array_prod(make(mids, rads));
  const unsigned after = _mm_getcsr();
  expect_ball(got, (lo + hi) * 0.5, (hi - lo) * 0.5, "n=" + std::to_string(n));
  EXPECT_EQ(after & 0x6000u, 0u) << "rounding control left at " << std::hex << after;
  EXPECT_EQ(after & 0xFF80u & ~0x6000u, before & 0xFF80u & ~0x6000u) << "masks/FTZ/DAZ changed";
  // Ordinary arithmetic afterwards rounds to nearest.
  volatile double one = 1.0, three = 3.0;
  EXPECT_EQ(bits(one / three), bits(1.0 / 3.0));
}

INSTANTIATE_TEST_SUITE_P(Lengths, ProdDirected, ::testing::Values(2, 3, 5, 17, 64, 200));

}  // namespace
}  // namespace quorvex
