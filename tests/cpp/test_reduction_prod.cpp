// prod's directed rounding against an fma-based oracle, and the processor
// state it leaves behind. (The documented results of every reduction are
// checked through the module, in tests/python/test_reduction.py.)
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ops/reduction.hpp"

namespace quorvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}

IntervalArray make(const std::vector<double>& mids, const std::vector<double>& rads) {
  return IntervalArray::from_parts(mids, rads, {mids.size()}).value();
}

void expect_ball(Ball got, double mid, double rad, const std::string& what) {
  EXPECT_EQ(bits(got.mid), bits(mid)) << what << " mid " << got.mid << " want " << mid;
  EXPECT_EQ(bits(got.rad), bits(rad)) << what << " rad " << got.rad << " want " << rad;
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
