// The directed kernels of every target against the scalar rounding-mode code,
// bit for bit, on random and adversarial inputs: signed zeros, subnormals,
// values near overflow, infinities, NaN, divisors with a zero endpoint and
// divisors whose reciprocals leave the normal range. And the rounding mode
// they leave behind, which must be what the scalar code leaves.
#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "kernels/kernels.hpp"
#include "target_variants.hpp"

namespace quorvex::kernels {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr unsigned kRoundingBits = 0x6000;

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}

// Ordinary values of very different magnitudes, and now and then a special one.
std::vector<double> values(std::size_t n, unsigned seed, bool radius) {
  static const double kSpecial[] = {0.0,
                                    -0.0,
                                    kInf,
                                    -kInf,
                                    kNaN,
                                    5e-324,
                                    -5e-324,
                                    2.2e-308,
                                    1e308,
                                    -1e308,
                                    1.7976931348623157e308,
                                    0x1p-1010,
                                    -0x1p1010,
                                    0x1p-540,
                                    1.0,
                                    3.0};
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> wide(-1074, 1023), narrow(-30, 30), pick(0, 15);
  std::vector<double> out(n);
  for (double& v : out) {
    const int kind = pick(rng);
    if (kind == 0) {
      v = kSpecial[rng() % std::size(kSpecial)];
    } else {
      v = std::ldexp(mant(rng), kind < 4 ? wide(rng) : narrow(rng));
    }
    if (radius) v = kind == 1 ? 0.0 : std::fabs(v);
  }
  return out;
}

class DirectedDivision : public ::testing::TestWithParam<test_support::Variant<QuadKernel>> {
 protected:
  void SetUp() override { QV_SKIP_UNLESS_RUNS_HERE(GetParam()); }
};

TEST_P(DirectedDivision, GivesTheScalarBits) {
  for (const std::size_t n : {std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{20003}}) {
    const auto ma = values(n, 1 + n, false), ra = values(n, 2 + n, true);
    auto mb = values(n, 3 + n, false);
    auto rb = values(n, 4 + n, true);
    // Divisors with a zero endpoint, and some just clear of zero.
    for (std::size_t i = 0; i < n; i += 11) rb[i] = std::fabs(mb[i]);
    for (std::size_t i = 5; i < n; i += 13) rb[i] = std::nextafter(std::fabs(mb[i]), 0.0);
    std::vector<double> got_mid(n), got_rad(n), want_mid(n), want_rad(n);
    GetParam().kernel(ma.data(), ra.data(), mb.data(), rb.data(), got_mid.data(), got_rad.data(),
                      n);
    scalar::endpoint_division(ma.data(), ra.data(), mb.data(), rb.data(), want_mid.data(),
                              want_rad.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_EQ(bits(got_mid[i]), bits(want_mid[i]))
          << "mid " << i << ": " << ma[i] << "+/-" << ra[i] << " / " << mb[i] << "+/-" << rb[i];
      ASSERT_EQ(bits(got_rad[i]), bits(want_rad[i]))
          << "rad " << i << ": " << ma[i] << "+/-" << ra[i] << " / " << mb[i] << "+/-" << rb[i];
    }
  }
}

TEST_P(DirectedDivision, LeavesTheRoundingModeAsTheScalarCodeDoes) {
  const unsigned saved = _mm_getcsr();
  const double a[9] = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0};
  const double quarter[9] = {0.25, 0.25, 0.25, 0.25, 0.25, 0.25, 0.25, 0.25, 0.25};
  const double half[9] = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
  double mid[9], rad[9];
  // Every divisor (0.25 +/- 0.5) contains zero: no scope opens, the caller's mode stays.
  _mm_setcsr((saved & ~kRoundingBits) | 0x4000);
  GetParam().kernel(a, half, quarter, half, mid, rad, 9);
  EXPECT_EQ(_mm_getcsr() & kRoundingBits, 0x4000u);
  // Divisors without zero: round-to-nearest afterwards, every other bit kept.
  GetParam().kernel(a, half, a, half, mid, rad, 9);
  EXPECT_EQ(_mm_getcsr() & kRoundingBits, 0u);
  EXPECT_EQ(_mm_getcsr() & ~kRoundingBits & 0xFF80u, saved & ~kRoundingBits & 0xFF80u);
  _mm_setcsr(saved);
}

TEST_P(DirectedDivision, WorksInPlace) {
  const std::size_t n = 19;
  auto ma = values(n, 7, false), ra = values(n, 8, true), mb = values(n, 9, false);
  const auto rb = values(n, 10, true);
  std::vector<double> want_mid(n), want_rad(n);
  scalar::endpoint_division(ma.data(), ra.data(), mb.data(), rb.data(), want_mid.data(),
                            want_rad.data(), n);
  GetParam().kernel(ma.data(), ra.data(), mb.data(), rb.data(), ma.data(), mb.data(), n);
  for (std::size_t i = 0; i < n; ++i) {
    ASSERT_EQ(bits(ma[i]), bits(want_mid[i])) << i;
    ASSERT_EQ(bits(mb[i]), bits(want_rad[i])) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, DirectedDivision,
    ::testing::ValuesIn(test_support::variants_of(&simd::KernelSlots::endpoint_division)),
    [](const auto& info) { return info.param.name(); });

class DirectedProduct : public ::testing::TestWithParam<test_support::Variant<ProductKernel>> {
 protected:
  void SetUp() override { QV_SKIP_UNLESS_RUNS_HERE(GetParam()); }
};

TEST_P(DirectedProduct, GivesTheScalarEnds) {
  for (unsigned seed = 0; seed < 400; ++seed) {
    const std::size_t n = 2 + seed % 37;
    std::vector<double> mid = values(n, 100 + seed, false), rad = values(n, 200 + seed, true);
    if (seed % 2 == 0) {
      // Moderate factors keep long chains finite, so the steps see every sign
      // pattern rather than an early NaN or infinity.
      std::mt19937_64 rng(seed);
      std::uniform_real_distribution<double> m(-2.0, 2.0), r(0.0, 0.5);
      for (std::size_t i = 0; i < n; ++i) mid[i] = m(rng), rad[i] = seed % 4 == 0 ? 0.0 : r(rng);
    }
    const ProductEnds got = GetParam().kernel(mid.data(), rad.data(), n);
    const ProductEnds want = scalar::product(mid.data(), rad.data(), n);
    ASSERT_EQ(bits(got.lo), bits(want.lo)) << "seed " << seed << " n " << n;
    ASSERT_EQ(bits(got.hi), bits(want.hi)) << "seed " << seed << " n " << n;
  }
}

TEST_P(DirectedProduct, LeavesRoundToNearestFromTwoElementsOn) {
  const unsigned saved = _mm_getcsr();
  const double mid[2] = {1.0 / 3.0, 3.0}, rad[2] = {0.125, 0.0};
  _mm_setcsr((saved & ~kRoundingBits) | 0x4000);
  GetParam().kernel(mid, rad, 1);  // one element: nothing to multiply, the mode stays
  EXPECT_EQ(_mm_getcsr() & kRoundingBits, 0x4000u);
  GetParam().kernel(mid, rad, 2);
  EXPECT_EQ(_mm_getcsr() & kRoundingBits, 0u);
  EXPECT_EQ(_mm_getcsr() & ~kRoundingBits & 0xFF80u, saved & ~kRoundingBits & 0xFF80u);
  _mm_setcsr(saved);
}

// An element whose midpoint and radius are NaNs of different payloads: its
// lower endpoint carries the midpoint's, its upper endpoint the radius's
// (quieted), and with every product NaN the ends take the last one, the
// upper endpoint's. The compiler's choice of operand order must not matter.
TEST_P(DirectedProduct, TwoNaNOperandsPassOnTheRadiusNaN) {
  const double a = std::bit_cast<double>(0x7FF8'0000'0000'0001ull);
  const double b = std::bit_cast<double>(0x7FF4'0000'0000'0003ull);  // signalling
  const double mid[3] = {1.5, a, 2.0}, rad[3] = {0.25, b, 0.0};
  const ProductEnds got = GetParam().kernel(mid, rad, 3);
  EXPECT_EQ(bits(got.lo), 0x7FFC'0000'0000'0003ull);
  EXPECT_EQ(bits(got.hi), 0x7FFC'0000'0000'0003ull);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, DirectedProduct,
    ::testing::ValuesIn(test_support::variants_of(&simd::KernelSlots::product)),
    [](const auto& info) { return info.param.name(); });

}  // namespace
}  // namespace quorvex::kernels
