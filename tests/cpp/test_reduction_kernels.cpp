// Every summation and dot variant, called directly, against a plain scalar
// model of its documented order, bit for bit. Variants the processor cannot
// run are skipped at run time; the rest run on every machine.
#include <gtest/gtest.h>

#include <algorithm>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "simd/dispatch.hpp"
#include "target_variants.hpp"

namespace quorvex::simd {
namespace {

using Column = std::vector<double>;

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}

// Magnitudes over 2^-spread..2^spread and both signs, so that any change of
// order changes the last bits of a long sum.
Column spread_values(std::size_t n, std::uint32_t seed, int spread = 40) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> mant(1.0, 2.0);
  std::uniform_int_distribution<int> expo(-spread, spread);
  Column x(n);
  for (double& v : x) v = std::ldexp(mant(rng), expo(rng)) * ((rng() & 1) ? -1.0 : 1.0);
  return x;
}

Column small_radii(std::size_t n, std::uint32_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> r(0.0, 1e-3);
  Column x(n);
  for (double& v : x) v = r(rng);
  return x;
}

double model_sum8(std::span<const double> x) {
  double lane[8] = {};
  std::size_t i = 0;
  for (; i + 8 <= x.size(); i += 8) {
    for (int j = 0; j < 8; ++j) lane[j] = lane[j] + x[i + j];
  }
  double t[4];
  for (int j = 0; j < 4; ++j) t[j] = lane[j] + lane[j + 4];
  double s = (t[0] + t[2]) + (t[1] + t[3]);
  for (; i < x.size(); ++i) s = s + x[i];
  return s;
}

double model_sum4(std::span<const double> x) {
  double lane[4] = {};
  std::size_t i = 0;
  for (; i + 8 <= x.size(); i += 8) {
    for (int j = 0; j < 4; ++j) lane[j] = lane[j] + (x[i + j] + x[i + 4 + j]);
  }
  if (i + 4 <= x.size()) {
    for (int j = 0; j < 4; ++j) lane[j] = lane[j] + x[i + j];
    i += 4;
  }
  double s = (lane[0] + lane[2]) + (lane[1] + lane[3]);
  for (; i < x.size(); ++i) s = s + x[i];
  return s;
}

double model_sum_in_order(std::span<const double> x) {
  double s = -0.0;
  for (const double v : x) s = s + v;
  return s;
}

// The documented order of each target's sum.
double (*sum_model(Target target))(std::span<const double>) {
  switch (target) {
    case Target::kAvx512:
      return model_sum8;
    case Target::kAvx2:
      return model_sum4;
    default:
      return model_sum_in_order;
  }
}

using SumVariant = test_support::Variant<SumKernel>;

std::vector<std::size_t> test_lengths() {
  std::vector<std::size_t> n;
  for (std::size_t i = 0; i <= 40; ++i) n.push_back(i);
  for (std::size_t i : {1000, 1001, 1003, 1004, 1005, 1007, 1023}) n.push_back(i);
  return n;
}

class SumKernelTest : public ::testing::TestWithParam<std::tuple<SumVariant, std::size_t>> {
 protected:
  void SetUp() override { QV_SKIP_UNLESS_RUNS_HERE(std::get<0>(GetParam())); }
};

TEST_P(SumKernelTest, MatchesItsOrderBitForBit) {
  const auto& [v, n] = GetParam();
  const Column x = spread_values(n, static_cast<std::uint32_t>(n) + 7);
  EXPECT_EQ(bits(v.kernel(x.data(), n)), bits(sum_model(v.target)(x))) << v.name() << " n=" << n;
}

TEST_P(SumKernelTest, SignedZerosFollowTheStartingValue) {
  // All -0.0: the in-order sum starts at -0.0 and stays there; the lane sums
  // start at +0.0, and +0.0 + -0.0 is +0.0.
  const auto& [v, n] = GetParam();
  const Column x(n, -0.0);
  EXPECT_EQ(bits(v.kernel(x.data(), n)), bits(sum_model(v.target)(x))) << v.name() << " n=" << n;
}

TEST_P(SumKernelTest, SpecialValuesPropagate) {
  const auto& [v, n] = GetParam();
  if (n == 0) return;
  Column x = spread_values(n, 3);
  x[0] = std::numeric_limits<double>::infinity();
  EXPECT_EQ(v.kernel(x.data(), n), std::numeric_limits<double>::infinity());
  x[n - 1] = -std::numeric_limits<double>::infinity();
  if (n > 1) {
    EXPECT_TRUE(std::isnan(v.kernel(x.data(), n)));
  }
  x[n / 2] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(v.kernel(x.data(), n)));
}

std::string sum_case_name(const ::testing::TestParamInfo<SumKernelTest::ParamType>& info) {
  return std::get<0>(info.param).name() + "_n" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, SumKernelTest,
    ::testing::Combine(::testing::ValuesIn(test_support::variants_of(&KernelSlots::sum)),
                       ::testing::ValuesIn(test_lengths())),
    sum_case_name);

// Every column-sum variant gives each column of a strided block the bits of
// the same target's sum kernel on that column alone, with rows of every
// length and columns covering whole registers and a leftover.
TEST(ColumnSumKernels, EachColumnIsTheTargetsSumOfIt) {
  const auto sums = test_support::variants_of(&KernelSlots::sum);
  for (const auto& v : test_support::variants_of(&KernelSlots::sum_columns)) {
    if (!v.runs_here()) continue;
    const auto same_target =
        std::find_if(sums.begin(), sums.end(), [&](const auto& s) { return s.target == v.target; });
    ASSERT_NE(same_target, sums.end()) << v.name();
    for (std::size_t rows : {0, 1, 3, 4, 7, 8, 9, 12, 17, 40}) {
      for (std::size_t cols : {1, 3, 8, 13, 20}) {
        const std::size_t stride = cols + 5;
        const Column block = spread_values(rows * stride, static_cast<std::uint32_t>(rows + cols));
        Column got(cols, -7.0);
        v.kernel(block.data(), static_cast<std::ptrdiff_t>(stride), rows, cols, got.data());
        for (std::size_t c = 0; c < cols; ++c) {
          Column column(rows);
          for (std::size_t r = 0; r < rows; ++r) column[r] = block[r * stride + c];
          EXPECT_EQ(bits(got[c]), bits(same_target->kernel(column.data(), rows)))
              << v.name() << " rows=" << rows << " cols=" << cols << " column " << c;
        }
      }
    }
  }
}

TEST(SumKernelOrders, TestDataTellsTheOrdersApart) {
  // Guards the test above: with this data a kernel using another variant's
  // order would not pass by accident.
  const Column x = spread_values(1000, 1007);
  EXPECT_NE(bits(model_sum8(x)), bits(model_sum4(x)));
  EXPECT_NE(bits(model_sum8(x)), bits(model_sum_in_order(x)));
  EXPECT_NE(bits(model_sum4(x)), bits(model_sum_in_order(x)));
}

// --- dot ---------------------------------------------------------------------

double model_radius(const DotInputs& in) {
  double s = 0.0;
  for (std::size_t i = 0; i < in.n; ++i) {
    const double a = in.a_mid[i], ea = in.a_rad[i], b = in.b_mid[i], eb = in.b_rad[i];
    s = s + (ea * eb + (ea * std::fabs(b) + eb * std::fabs(a)));
  }
  return s;
}

double model_dot8(const DotInputs& in) {
  double lane[8] = {};
  std::size_t i = 0;
  for (; i + 8 <= in.n; i += 8) {
    for (int j = 0; j < 8; ++j) lane[j] = std::fma(in.a_mid[i + j], in.b_mid[i + j], lane[j]);
  }
  double t[4];
  for (int j = 0; j < 4; ++j) t[j] = lane[j] + lane[j + 4];
  double m = (t[0] + t[2]) + (t[1] + t[3]);
  for (; i < in.n; ++i) m = std::fma(in.a_mid[i], in.b_mid[i], m);
  return m;
}

double model_dot2x4(const DotInputs& in) {
  double u[4] = {}, v[4] = {}, r[4];
  std::size_t i = 0;
  for (; i + 8 <= in.n; i += 8) {
    for (int j = 0; j < 4; ++j) {
      u[j] = std::fma(in.a_mid[i + j], in.b_mid[i + j], u[j]);
      v[j] = std::fma(in.a_mid[i + 4 + j], in.b_mid[i + 4 + j], v[j]);
    }
  }
  for (int j = 0; j < 4; ++j) r[j] = v[j] + u[j];
  if (i + 4 <= in.n) {
    for (int j = 0; j < 4; ++j) r[j] = std::fma(in.a_mid[i + j], in.b_mid[i + j], r[j]);
    i += 4;
  }
  double m = (r[0] + r[2]) + (r[1] + r[3]);
  for (; i < in.n; ++i) m = std::fma(in.a_mid[i], in.b_mid[i], m);
  return m;
}

double model_dot_in_order(const DotInputs& in) {
  double m = 0.0;
  for (std::size_t i = 0; i < in.n; ++i) m = std::fma(in.a_mid[i], in.b_mid[i], m);
  return m;
}

// The documented order of each target's dot (the scalar ones all take the
// elements in order; with or without the instruction, fma rounds once).
double (*dot_model(Target target))(const DotInputs&) {
  switch (target) {
    case Target::kAvx512:
      return model_dot8;
    case Target::kFma:
      return model_dot2x4;
    default:
      return model_dot_in_order;
  }
}

using DotVariant = test_support::Variant<DotKernel>;

struct DotData {
  Column am, ar, bm, br;
  DotInputs inputs() const { return {am.data(), ar.data(), bm.data(), br.data(), am.size()}; }
};

DotData dot_data(std::size_t n, std::uint32_t seed) {
  // Products span 2^-16..2^16: wide enough to round differently in every
  // order, narrow enough that no few terms swamp the rest.
  return {spread_values(n, seed, 8), small_radii(n, seed + 1), spread_values(n, seed + 2, 8),
          small_radii(n, seed + 3)};
}

class DotKernelTest : public ::testing::TestWithParam<std::tuple<DotVariant, std::size_t>> {
 protected:
  void SetUp() override { QV_SKIP_UNLESS_RUNS_HERE(std::get<0>(GetParam())); }
};

TEST_P(DotKernelTest, MidpointsFollowTheirOrderAndRadiiTheScalarOne) {
  const auto& [v, n] = GetParam();
  const DotData d = dot_data(n, static_cast<std::uint32_t>(n) * 3 + 1);
  const DotSums got = v.kernel(d.inputs());
  EXPECT_EQ(bits(got.mid), bits(dot_model(v.target)(d.inputs()))) << v.name() << " n=" << n;
  EXPECT_EQ(bits(got.rad), bits(model_radius(d.inputs()))) << v.name() << " n=" << n;
}

std::string dot_case_name(const ::testing::TestParamInfo<DotKernelTest::ParamType>& info) {
  return std::get<0>(info.param).name() + "_n" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, DotKernelTest,
    ::testing::Combine(::testing::ValuesIn(test_support::variants_of(&KernelSlots::dot)),
                       ::testing::ValuesIn(test_lengths())),
    dot_case_name);

TEST(DotKernelOrders, TestDataTellsTheOrdersApart) {
  // The 8-lane and 2x4-lane orders coincide unless 4 to 7 elements are left
  // over (one more vector step in the 2x4 kernel), and then only differ in
  // how those few products join, so ask only that some data set shows it.
  int differ_8_2x4 = 0, differ_8_scalar = 0, differ_2x4_scalar = 0, differ_unfused = 0;
  for (std::uint32_t seed = 0; seed < 10; ++seed) {
    const DotData d = dot_data(1005, 3001 + seed);
    const DotInputs in = d.inputs();
    differ_8_2x4 += bits(model_dot8(in)) != bits(model_dot2x4(in));
    differ_8_scalar += bits(model_dot8(in)) != bits(model_dot_in_order(in));
    differ_2x4_scalar += bits(model_dot2x4(in)) != bits(model_dot_in_order(in));
    // A kernel rounding each product before adding it would not pass either.
    double unfused = 0.0;
    for (std::size_t i = 0; i < in.n; ++i) unfused = unfused + d.am[i] * d.bm[i];
    differ_unfused += bits(unfused) != bits(model_dot_in_order(in));
  }
  EXPECT_GT(differ_8_2x4, 0);
  EXPECT_GE(differ_8_scalar, 8);
  EXPECT_GE(differ_2x4_scalar, 8);
  EXPECT_GE(differ_unfused, 8);
}

}  // namespace
}  // namespace quorvex::simd
