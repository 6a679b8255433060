// The operators on whole arrays: mismatch panics, exact fast paths, the
// right-exact product, the choice between quotient rule and endpoint
// division, and the plain-number forms.
#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ops/arithmetic.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

IntervalArray make(std::vector<double> m, std::vector<double> r, Shape shape) {
  return IntervalArray::from_parts(m, r, std::move(shape)).value();
}
IntervalArray make(std::vector<double> m, std::vector<double> r) {
  const std::uint64_t n = m.size();
  return make(std::move(m), std::move(r), {n});
}

using BinaryOp = Result<IntervalArray> (*)(const IntervalArray&, const IntervalArray&);

struct MismatchCase {
  BinaryOp op;
  const char* name;
  Shape left, right;
  std::string want;
};

class OperandMismatch : public ::testing::TestWithParam<MismatchCase> {};

TEST_P(OperandMismatch, PanicsWithCountBeforeShape) {
  const auto& c = GetParam();
  const auto a = IntervalArray::zeros(c.left).value();
  const auto b = IntervalArray::zeros(c.right).value();
  try {
    (void)c.op(a, b);
    FAIL() << "no panic";
  } catch (const Panic& p) {
    EXPECT_EQ(p.message(), c.want);
  }
}

std::string counts(const char* op, int l, int r) {
  return std::string("assertion `left == right` failed: array lengths must match for ") + op +
         "\n  left: " + std::to_string(l) + "\n right: " + std::to_string(r);
}
std::string shapes(const char* op, const char* l, const char* r) {
  return std::string("assertion `left == right` failed: shapes must match for ") + op +
         "\n  left: " + l + "\n right: " + r;
}

INSTANTIATE_TEST_SUITE_P(
    AllOps, OperandMismatch,
    ::testing::Values(MismatchCase{add, "add", {2, 3}, {3, 2}, shapes("add", "[2, 3]", "[3, 2]")},
                      MismatchCase{add, "add", {2, 3}, {4}, counts("add", 6, 4)},
                      MismatchCase{add, "add", {0}, {0, 3}, shapes("add", "[0]", "[0, 3]")},
                      MismatchCase{sub, "sub", {5}, {4}, counts("sub", 5, 4)},
                      MismatchCase{sub, "sub", {}, {1}, shapes("sub", "[]", "[1]")},
                      MismatchCase{mul, "mul", {1, 2}, {2, 2}, counts("mul", 2, 4)},
                      MismatchCase{mul, "mul", {4, 1}, {1, 4}, shapes("mul", "[4, 1]", "[1, 4]")},
                      MismatchCase{div, "div", {3}, {2}, counts("div", 3, 2)},
                      MismatchCase{div, "div", {2, 2}, {4}, shapes("div", "[2, 2]", "[4]")}));

TEST(ExactFastPath, NegativeZeroRadiiStayExactEvenWhenTheMidpointRounds) {
  const auto a = make({0.1, 1e16, 3.0}, {-0.0, 0.0, -0.0});
  const auto b = make({0.2, 1.0, 7.0}, {0.0, -0.0, 0.0});
  for (BinaryOp op : {add, sub, mul, div}) {
    const auto c = op(a, b).value();
    for (double r : c.radii()) EXPECT_EQ(bits(r), 0u);  // +0.0, not a rounding error bound
  }
  EXPECT_EQ(bits(add(a, b)->midpoints()[0]), bits(0.1 + 0.2));
}

TEST(Product, RightExactUsesOnlyAbsMbTimesRa) {
  const auto a = make({kInf, -2.0, 3.0}, {1.0, 0.5, 0.25});
  const auto b = make({-3.0, 0.0, 5.0}, {0.0, 0.0, 0.0});
  const auto c = mul(a, b).value();
  // The full rule would add |ma| * rb = inf * 0 = NaN for the first element.
  EXPECT_EQ(c.radii()[0], 3.0);
  EXPECT_EQ(bits(c.radii()[1]), bits(0.0));
  EXPECT_EQ(c.radii()[2], 1.25);
  // Exact left, inexact right runs the full rule: |mb| * ra = inf * 0 gives NaN.
  const auto d = mul(b, a).value();
  EXPECT_TRUE(std::isnan(d.radii()[0]));
}

TEST(Quotient, OneZeroDivisorSendsEveryElementThroughEndpoints) {
  const auto a = make({1.0, 1.0, 1.0}, {0.0, 0.0, 0.0});
  const auto b = make({3.0, 0.0, 2.0}, {0.0, 0.0, 0.0});
  const auto c = div(a, b).value();
  EXPECT_GT(c.radii()[0], 0.0) << "1/3 gets half the gap of its directed roundings";
  EXPECT_TRUE(std::isnan(c.midpoints()[1]));
  EXPECT_EQ(c.radii()[1], kInf);
  EXPECT_EQ(c.midpoints()[2], 0.5);
  EXPECT_EQ(bits(c.radii()[2]), bits(0.0));
  EXPECT_EQ(_mm_getcsr() & 0x6000u, 0u);
  // Without the zero divisor the exact fast path leaves 1/3 exact.
  const auto d = div(make({1.0}, {0.0}), make({3.0}, {0.0})).value();
  EXPECT_EQ(bits(d.radii()[0]), 0u);
  EXPECT_EQ(bits(d.midpoints()[0]), bits(1.0 / 3.0));
}

TEST(ScalarForms, EndpointSumScalingAndNegation) {
  const auto a = make({0.0, 1.5, -2.0}, {-0.0, 0.5, 1.0}, {3});
  const auto big = add_scalar(a, 1e308).value();
  EXPECT_EQ(big.midpoints()[0], kInf) << "(s + s) * 0.5 overflows";
  EXPECT_EQ(bits(big.radii()[0]), 0u) << "a -0.0 radius becomes +0.0";
  const auto inf = add_scalar(a, kInf).value();
  for (double r : inf.radii()) EXPECT_TRUE(std::isnan(r));
  const auto rs = rsub_scalar(2.0, a).value();
  const auto na = add_scalar(negate(a).value(), 2.0).value();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(bits(rs.midpoints()[i]), bits(na.midpoints()[i]));
    EXPECT_EQ(bits(rs.radii()[i]), bits(na.radii()[i]));
  }
  const auto neg = negate(a).value();
  EXPECT_EQ(bits(neg.midpoints()[0]), bits(-0.0));
  EXPECT_EQ(bits(neg.radii()[0]), bits(-0.0)) << "radii are copied bit for bit";
  const auto scaled = mul_scalar(a, -2.0).value();
  EXPECT_EQ(scaled.radii()[2], 2.0);
  const auto quarter = div_scalar(a, 4.0).value();
  const auto times = mul_scalar(a, 0.25).value();
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(bits(quarter.midpoints()[i]), bits(times.midpoints()[i]));
}

}  // namespace
}  // namespace quorvex
