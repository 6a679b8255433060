// Directed rounding: the rounding-mode scope and endpoint division. Built with
// -frounding-math like the code under test. The reference rounds through
// exact __float128 products: a double d is the downward-rounded value of an
// exact x exactly when d <= x < next(d), which needs no mode switch to check.
#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "kernels/kernels.hpp"
#include "rules/rounding_mode.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {
namespace {

using Quad = __float128;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr unsigned kRoundingBits = 0x6000;

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}
unsigned rounding_bits() {
  return _mm_getcsr() & kRoundingBits;
}

// Values the optimizer cannot see through, so divisions happen at run time.
double opaque(double x) {
  volatile double v = x;
  return v;
}

// Rounds the exact product x * y of two doubles down or up.
double product_down(double x, double y) {
  const double d = x * y;  // nearest
  if (std::isnan(d)) return d;
  const Quad exact = static_cast<Quad>(x) * static_cast<Quad>(y);
  return static_cast<Quad>(d) > exact ? std::nextafter(d, -kInf) : d;
}
double product_up(double x, double y) {
  const double d = x * y;
  if (std::isnan(d)) return d;
  const Quad exact = static_cast<Quad>(x) * static_cast<Quad>(y);
  return static_cast<Quad>(d) < exact ? std::nextafter(d, kInf) : d;
}
// 1 / y rounded down or up, for y not zero: d <= 1/y  <=>  d*y <= 1 when y > 0.
double reciprocal_down(double y) {
  const double d = 1.0 / y;
  if (std::isnan(d) || std::isinf(y)) return d;
  const Quad dy = static_cast<Quad>(d) * static_cast<Quad>(y);
  const bool too_big = y > 0 ? dy > 1 : dy < 1;
  return too_big ? std::nextafter(d, -kInf) : d;
}
double reciprocal_up(double y) {
  const double d = 1.0 / y;
  if (std::isnan(d) || std::isinf(y)) return d;
  const Quad dy = static_cast<Quad>(d) * static_cast<Quad>(y);
  const bool too_small = y > 0 ? dy < 1 : dy > 1;
  return too_small ? std::nextafter(d, kInf) : d;
}

double nan_min(double x, double y) {
  return std::isnan(x) ? y : std::isnan(y) ? x : y < x ? y : x;
}
double nan_max(double x, double y) {
  return std::isnan(x) ? y : std::isnan(y) ? x : y > x ? y : x;
}

// Endpoint division of one element, from the rules.
std::pair<double, double> divide_by_endpoints(double ma, double ra, double mb, double rb) {
  const double blo = mb - rb, bhi = mb + rb;
  if (!(0.0 < blo) && bhi >= 0.0) return {kNaN, kInf};
  const double alo = ma - ra, ahi = ma + ra;
  const double rlo = reciprocal_down(bhi), rhi = reciprocal_up(blo);
  const double lo = nan_min(
      nan_min(nan_min(product_down(alo, rlo), product_down(alo, rhi)), product_down(ahi, rlo)),
      product_down(ahi, rhi));
  const double hi =
      nan_max(nan_max(nan_max(product_up(alo, rlo), product_up(alo, rhi)), product_up(ahi, rlo)),
              product_up(ahi, rhi));
  return {(lo + hi) * 0.5, (hi - lo) * 0.5};
}

bool same(double x, double y) {
  return std::isnan(y) ? std::isnan(x) : bits(x) == bits(y);
}

// --- The scope itself ----------------------------------------------------------

TEST(RoundingScope, DirectedModesChangeAnInexactQuotient) {
  const double one = opaque(1.0), three = opaque(3.0);
  const double nearest = one / three;
  enter_downward();
  const double down = fp_barrier(fp_barrier(one) / fp_barrier(three));
  enter_upward();
  const double up = fp_barrier(fp_barrier(one) / fp_barrier(three));
  leave_rounding();
  const double after = fp_barrier(fp_barrier(one) / fp_barrier(three));
  EXPECT_LT(down, up);
  EXPECT_EQ(std::nextafter(down, kInf), up);
  EXPECT_TRUE(down == nearest || up == nearest);
  EXPECT_EQ(bits(after), bits(nearest));
  EXPECT_EQ(rounding_bits(), 0u);
}

TEST(RoundingScope, LeavingSelectsNearestAndKeepsEveryOtherBit) {
  const unsigned saved = _mm_getcsr();
  // Toward zero (both bits), flush-to-zero (bit 15) and a sticky inexact flag (bit 5).
  _mm_setcsr((saved & kRoundingFieldClear) | 0x6000 | 0x8000 | 0x20);
  enter_upward();
  EXPECT_EQ(rounding_bits(), kRoundUpward);
  EXPECT_EQ(_mm_getcsr() & 0x8000u, 0x8000u);
  enter_downward();  // scopes are not stacked: this just overwrites the field
  EXPECT_EQ(rounding_bits(), kRoundDownward);
  leave_rounding();
  const unsigned now = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(now & kRoundingBits, 0u) << "leave does not restore the earlier mode";
  EXPECT_EQ(now & 0x8000u, 0x8000u);
  EXPECT_EQ(now & 0x20u, 0x20u);
}

// --- Endpoint division ---------------------------------------------------------

struct Element {
  double ma, ra, mb, rb;
};

class EndpointDivisionCases : public ::testing::TestWithParam<Element> {};

TEST_P(EndpointDivisionCases, MatchesTheExactReference) {
  const Element e = GetParam();
  double mid = -7.0, rad = -7.0;
  kernels::scalar::endpoint_division(&e.ma, &e.ra, &e.mb, &e.rb, &mid, &rad, 1);
  const auto [want_mid, want_rad] = divide_by_endpoints(e.ma, e.ra, e.mb, e.rb);
  EXPECT_TRUE(same(mid, want_mid)) << mid << " vs " << want_mid;
  EXPECT_TRUE(same(rad, want_rad)) << rad << " vs " << want_rad;
  EXPECT_EQ(rounding_bits(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Special, EndpointDivisionCases,
    ::testing::Values(Element{1, 0, 3, 0}, Element{1, 0, 2, 0}, Element{-1, 0, 3, 0},
                      Element{1, 0.5, -2, 1}, Element{5, 1, 0.1, 0.05}, Element{0, 1, 7, 1},
                      Element{1e308, 1e308, 1e-300, 0}, Element{1, 0, 4.9e-324, 0},
                      Element{kInf, 0, 2, 0}, Element{1, kInf, 3, 1}, Element{kNaN, 0, 2, 0},
                      Element{1, 0, kNaN, 0}, Element{1, 0, 2, kNaN}, Element{1, 0, -kInf, 0},
                      Element{-0.0, 0, 5, 0}, Element{1, 0, 1e-310, 1e-311}));

TEST(EndpointDivision, OneThirdGetsTheGapBetweenItsDirectedRoundings) {
  // Only correct if each product really runs under its own mode.
  const double ma = opaque(1.0), ra = 0, mb = opaque(3.0), rb = 0;
  double mid, rad;
  simd::endpoint_division({&ma, 1}, {&ra, 1}, {&mb, 1}, {&rb, 1}, {&mid, 1}, {&rad, 1});
  const double down = reciprocal_down(3.0), up = reciprocal_up(3.0);
  ASSERT_EQ(std::nextafter(down, kInf), up);
  EXPECT_EQ(bits(rad), bits((up - down) * 0.5));
  EXPECT_GT(rad, 0.0);
  EXPECT_EQ(bits(mid), bits((down + up) * 0.5));
}

TEST(EndpointDivision, ZeroContainingDivisorsGiveTheUnboundedBall) {
  const std::vector<Element> cases = {{1, 0, 0, 0},   {1, 0, -0.0, 0}, {1, 2, 1, 1},
                                      {1, 0, -1, 1},  {1, 0, 5, kInf}, {1, 0, kInf, kInf},
                                      {kNaN, 0, 0, 0}};
  for (const Element& e : cases) {
    double mid = 0, rad = 0;
    kernels::scalar::endpoint_division(&e.ma, &e.ra, &e.mb, &e.rb, &mid, &rad, 1);
    EXPECT_TRUE(std::isnan(mid)) << e.mb << " +- " << e.rb;
    EXPECT_EQ(rad, kInf) << e.mb << " +- " << e.rb;
  }
}

TEST(EndpointDivision, RandomArraysMatchTheReferenceAndEndInNearest) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-1040, 1020);
  const std::size_t n = 4000;
  std::vector<double> ma(n), ra(n), mb(n), rb(n), om(n), orad(n);
  for (std::size_t i = 0; i < n; ++i) {
    ma[i] = std::ldexp(mant(rng), expo(rng));
    ra[i] = std::fabs(std::ldexp(mant(rng), expo(rng)));
    mb[i] = std::ldexp(mant(rng), expo(rng) / 8);
    rb[i] = i % 3 == 0 ? 0.0 : std::fabs(mb[i]) * std::fabs(mant(rng));
  }
  simd::endpoint_division(ma, ra, mb, rb, om, orad);
  EXPECT_EQ(rounding_bits(), 0u);
  for (std::size_t i = 0; i < n; ++i) {
    const auto [m, r] = divide_by_endpoints(ma[i], ra[i], mb[i], rb[i]);
    ASSERT_TRUE(same(om[i], m)) << "element " << i;
    ASSERT_TRUE(same(orad[i], r)) << "element " << i;
  }
}

}  // namespace
}  // namespace quorvex
