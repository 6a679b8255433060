// Every variant of every arithmetic kernel family, run directly on the same
// data and compared bit for bit with a scalar model of the propagation rules;
// the variant choice; chunked execution; feature detection from raw words.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "ops/arithmetic_chunks.hpp"
#include "simd/arith_kernels.hpp"
#include "simd/features.hpp"
#include "support/panic.hpp"

namespace quorvex::simd {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kSub = std::numeric_limits<double>::denorm_min();

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Bits must match, except that NaN payloads may differ: which NaN operand the
// hardware passes on depends on operand order, which the compiler may swap.
::testing::AssertionResult same(const std::vector<double>& got, const std::vector<double>& want,
                                std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const bool ok = std::isnan(want[i]) ? std::isnan(got[i]) : bits(got[i]) == bits(want[i]);
    if (!ok) {
      return ::testing::AssertionFailure()
             << "element " << i << " of " << n << ": got " << got[i] << " (0x" << std::hex
             << bits(got[i]) << "), want " << want[i] << " (0x" << bits(want[i]) << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

// Operands mixing ordinary values of many magnitudes with the special ones.
struct Data {
  std::vector<double> ma, ra, mb, rb;
};

Data make_data(std::size_t n, unsigned seed) {
  static const double kSpecial[] = {0.0,  -0.0,  kInf,       -kInf,      kNaN,  kSub,
                                    -kSub, 1e-310, kMax,      -kMax,      1e308, 3.0,
                                    1.0,  -1.0,  0.1,        1.0 / 3.0,  2.5e-300};
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-60, 60);
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_int_distribution<std::size_t> special(0, std::size(kSpecial) - 1);
  auto value = [&](bool radius) {
    if (pick(rng) == 0) return kSpecial[special(rng)];
    const double v = std::ldexp(mant(rng), expo(rng));
    if (radius && pick(rng) < 3) return 0.0;  // plenty of exact elements
    return radius ? std::fabs(v) : v;
  };
  Data d;
  for (auto* v : {&d.ma, &d.ra, &d.mb, &d.rb}) v->resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    d.ma[i] = value(false);
    d.ra[i] = value(true);
    d.mb[i] = value(false);
    d.rb[i] = value(true);
  }
  return d;
}

// The product radius with every operation rounded, and its fused form.
double product_radius(double ma, double ra, double mb, double rb) {
  return ((std::fabs(mb) * ra) + (std::fabs(ma) * rb)) + (ra * rb);
}
double fused_product_radius(double ma, double ra, double mb, double rb) {
  return std::fma(ra, rb, std::fma(ra, std::fabs(mb), std::fabs(ma) * rb));
}

struct Outputs {
  std::vector<double> mid, rad;
  explicit Outputs(std::size_t n) : mid(n, -7.0), rad(n, -7.0) {}
};

using Runner = std::function<void(const Data&, std::size_t, Outputs&)>;

struct KernelCase {
  std::string name;
  bool (*available)(const CpuFeatures&);
  Runner run;
  Runner reference;
  bool has_radius;  // second output to compare
};

bool always(const CpuFeatures&) { return true; }
bool needs_avx2(const CpuFeatures& f) { return f.avx2; }
bool needs_avx2_fma(const CpuFeatures& f) { return f.avx2 && f.fma; }
bool needs_avx512f(const CpuFeatures& f) { return f.avx512f; }
bool needs_avx512dq(const CpuFeatures& f) { return f.avx512f && f.avx512dq; }

// Element i of the reference of a quad family.
template <class F>
Runner quad_reference(F f) {
  return [f](const Data& d, std::size_t n, Outputs& o) {
    for (std::size_t i = 0; i < n; ++i) f(d.ma[i], d.ra[i], d.mb[i], d.rb[i], o.mid[i], o.rad[i]);
  };
}
Runner quad_runner(QuadKernel k) {
  return [k](const Data& d, std::size_t n, Outputs& o) {
    k(d.ma.data(), d.ra.data(), d.mb.data(), d.rb.data(), o.mid.data(), o.rad.data(), n);
  };
}
template <class F>
Runner binary_reference(F f) {
  return [f](const Data& d, std::size_t n, Outputs& o) {
    for (std::size_t i = 0; i < n; ++i) o.mid[i] = f(d.ma[i], d.mb[i]);
  };
}
Runner binary_runner(BinaryKernel k) {
  return [k](const Data& d, std::size_t n, Outputs& o) {
    k(d.ma.data(), d.mb.data(), o.mid.data(), n);
  };
}

// The broadcast constant is taken from the data so that special values occur.
template <class F>
Runner broadcast_reference(F f) {
  return [f](const Data& d, std::size_t n, Outputs& o) {
    const double c = d.mb.empty() ? 0.5 : d.mb[0];
    for (std::size_t i = 0; i < n; ++i) o.mid[i] = f(d.ma[i], c);
  };
}
Runner broadcast_runner(BroadcastKernel k) {
  return [k](const Data& d, std::size_t n, Outputs& o) {
    k(d.ma.data(), d.mb.empty() ? 0.5 : d.mb[0], o.mid.data(), n);
  };
}

// The product reference for a variant that fuses the first n - n % width elements.
Runner product_reference(std::size_t width) {
  return [width](const Data& d, std::size_t n, Outputs& o) {
    const std::size_t fused = width == 0 ? 0 : n - n % width;
    for (std::size_t i = 0; i < n; ++i) {
      o.mid[i] = d.ma[i] * d.mb[i];
      o.rad[i] = i < fused ? fused_product_radius(d.ma[i], d.ra[i], d.mb[i], d.rb[i])
                           : product_radius(d.ma[i], d.ra[i], d.mb[i], d.rb[i]);
    }
  };
}

const auto kSumRef = quad_reference([](double a, double r, double b, double s, double& m,
                                       double& rad) {
  m = a + b;
  rad = r + s;
});
const auto kDiffRef = quad_reference([](double a, double r, double b, double s, double& m,
                                        double& rad) {
  m = a - b;
  rad = r + s;
});
const auto kAdd = binary_reference([](double x, double y) { return x + y; });
const auto kSub2 = binary_reference([](double x, double y) { return x - y; });
const auto kMul = binary_reference([](double x, double y) { return x * y; });
const auto kDiv = binary_reference([](double x, double y) { return x / y; });
const auto kAbsMul = binary_reference([](double x, double y) { return std::fabs(x) * y; });
const auto kBcastAdd = broadcast_reference([](double x, double c) { return x + c; });
const auto kBcastMul = broadcast_reference([](double x, double c) { return x * c; });

std::vector<KernelCase> all_cases() {
  std::vector<KernelCase> c;
  auto quad = [&](std::string name, auto avail, QuadKernel k, Runner ref) {
    c.push_back({std::move(name), avail, quad_runner(k), std::move(ref), true});
  };
  auto binary = [&](std::string name, auto avail, BinaryKernel k, Runner ref) {
    c.push_back({std::move(name), avail, binary_runner(k), std::move(ref), false});
  };
  auto bcast = [&](std::string name, auto avail, BroadcastKernel k, Runner ref) {
    c.push_back({std::move(name), avail, broadcast_runner(k), std::move(ref), false});
  };
  quad("interval_sum_avx512", needs_avx512f, avx512::interval_sum, kSumRef);
  quad("interval_sum_avx2", needs_avx2, avx2::interval_sum, kSumRef);
  quad("interval_sum_sse2", always, sse2::interval_sum, kSumRef);
  quad("interval_difference_avx512", needs_avx512f, avx512::interval_difference, kDiffRef);
  quad("interval_difference_avx2", needs_avx2, avx2::interval_difference, kDiffRef);
  quad("interval_difference_sse2", always, sse2::interval_difference, kDiffRef);
  quad("interval_product_avx512", needs_avx512dq, avx512::interval_product, product_reference(8));
  quad("interval_product_avx2_fma", needs_avx2_fma, avx2_fma::interval_product,
       product_reference(4));
  quad("interval_product_avx2", needs_avx2, avx2::interval_product, product_reference(0));
  quad("interval_product_sse2", always, sse2::interval_product, product_reference(0));
  binary("midpoint_sum_avx512", needs_avx512f, avx512::midpoint_sum, kAdd);
  binary("midpoint_sum_avx2", needs_avx2, avx2::midpoint_sum, kAdd);
  binary("midpoint_sum_sse2", always, sse2::midpoint_sum, kAdd);
  binary("midpoint_difference_avx512", needs_avx512f, avx512::midpoint_difference, kSub2);
  binary("midpoint_difference_avx2", needs_avx2, avx2::midpoint_difference, kSub2);
  binary("midpoint_difference_sse2", always, sse2::midpoint_difference, kSub2);
  binary("midpoint_product_avx512", needs_avx512f, avx512::midpoint_product, kMul);
  binary("midpoint_product_avx2", needs_avx2, avx2::midpoint_product, kMul);
  binary("midpoint_product_sse2", always, sse2::midpoint_product, kMul);
  binary("midpoint_quotient_avx512", needs_avx512f, avx512::midpoint_quotient, kDiv);
  binary("midpoint_quotient_avx2", needs_avx2, avx2::midpoint_quotient, kDiv);
  binary("midpoint_quotient_sse2", always, sse2::midpoint_quotient, kDiv);
  binary("absolute_product_avx2", needs_avx2, avx2::absolute_product, kAbsMul);
  binary("absolute_product_sse2", always, sse2::absolute_product, kAbsMul);
  bcast("broadcast_sum_avx2", needs_avx2, avx2::broadcast_sum, kBcastAdd);
  bcast("broadcast_sum_sse2", always, sse2::broadcast_sum, kBcastAdd);
  bcast("broadcast_product_avx2", needs_avx2, avx2::broadcast_product, kBcastMul);
  bcast("broadcast_product_sse2", always, sse2::broadcast_product, kBcastMul);
  c.push_back({"quotient_radius_sse2", always,
               [](const Data& d, std::size_t n, Outputs& o) {
                 sse2::quotient_radius(d.ma.data(), d.ra.data(), d.mb.data(), d.rb.data(),
                                       o.mid.data(), n);
               },
               [](const Data& d, std::size_t n, Outputs& o) {
                 for (std::size_t i = 0; i < n; ++i) {
                   const double ma = d.ma[i], ra = d.ra[i], mb = d.mb[i], rb = d.rb[i];
                   o.mid[i] = ((ra * rb) + ((std::fabs(mb) * ra) + (std::fabs(ma) * rb))) /
                              std::fabs((mb * mb) - (rb * rb));
                 }
               },
               false});
  return c;
}

class KernelVariants : public ::testing::TestWithParam<KernelCase> {
 protected:
  void SetUp() override {
    if (!GetParam().available(cpu_features())) {
      GTEST_SKIP() << GetParam().name << ": this processor lacks the instruction set";
    }
  }
  void check(std::size_t n, unsigned seed) {
    const Data d = make_data(n, seed);
    Outputs got(n), want(n);
    GetParam().run(d, n, got);
    GetParam().reference(d, n, want);
    EXPECT_TRUE(same(got.mid, want.mid, n)) << GetParam().name << " first output, n = " << n;
    if (GetParam().has_radius) {
      EXPECT_TRUE(same(got.rad, want.rad, n)) << GetParam().name << " radius, n = " << n;
    }
  }
};

TEST_P(KernelVariants, MatchesRulesForEveryShortLength) {
  for (std::size_t n = 0; n <= 40; ++n) check(n, static_cast<unsigned>(n) + 1);
}

TEST_P(KernelVariants, MatchesRulesAroundChunkAndThresholdLengths) {
  for (std::size_t n : {8191u, 8192u, 8193u, 32767u, 32768u, 32769u}) check(n, 77);
}

TEST_P(KernelVariants, ZeroLengthWritesNothing) {
  const Data d = make_data(16, 3);
  Outputs out(16);
  GetParam().run(d, 0, out);
  for (std::size_t i = 0; i < 16; ++i) {
    ASSERT_EQ(out.mid[i], -7.0);
    ASSERT_EQ(out.rad[i], -7.0);
  }
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, KernelVariants, ::testing::ValuesIn(all_cases()),
                         [](const auto& info) { return info.param.name; });

// Sign flip must keep NaN payloads, so it is compared on raw bits.
class SignFlipVariants : public ::testing::TestWithParam<std::pair<const char*, UnaryKernel>> {};

TEST_P(SignFlipVariants, InvertsOnlyBit63) {
  if (std::string(GetParam().first) == "avx2" && !cpu_features().avx2) GTEST_SKIP();
  std::vector<std::uint64_t> patterns = {0x0000000000000000ull, 0x8000000000000000ull,
                                         0x7FF8000000000001ull, 0xFFF4000000000abcull,
                                         0x7FF0000000000000ull, 0x0000000000000001ull};
  for (std::uint64_t i = 0; i < 35; ++i) patterns.push_back(0x3FF0000000000000ull + i * 977);
  for (std::size_t n = 0; n <= patterns.size(); ++n) {
    std::vector<double> x(n), o(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = std::bit_cast<double>(patterns[i]);
    GetParam().second(x.data(), o.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_EQ(bits(o[i]), patterns[i] ^ 0x8000000000000000ull) << "n = " << n << ", i = " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, SignFlipVariants,
                         ::testing::Values(std::pair{"avx2", &avx2::sign_flip},
                                           std::pair{"sse2", &sse2::sign_flip}));

// Ten elements on the fused AVX2 variant: 0-7 fused, 8-9 unfused. Elements
// are drawn until each one is rounded differently by the two formulas.
TEST(FusedProductSplit, TenElementsOnAvx2Fma) {
  if (!(cpu_features().avx2 && cpu_features().fma)) GTEST_SKIP() << "no AVX2+FMA";
  std::vector<double> ma, ra, mb, rb;
  std::mt19937_64 rng(2024);
  std::uniform_real_distribution<double> u(0.5, 2.0);
  while (ma.size() < 10) {
    const double a = u(rng), r = u(rng) * 0x1p-3, b = -u(rng), s = u(rng) * 0x1p-2;
    if (bits(fused_product_radius(a, r, b, s)) == bits(product_radius(a, r, b, s))) continue;
    ma.push_back(a);
    ra.push_back(r);
    mb.push_back(b);
    rb.push_back(s);
  }
  std::vector<double> om(10), orad(10);
  avx2_fma::interval_product(ma.data(), ra.data(), mb.data(), rb.data(), om.data(), orad.data(),
                             10);
  for (int i = 0; i < 10; ++i) {
    const double fused = fused_product_radius(ma[i], ra[i], mb[i], rb[i]);
    const double unfused = product_radius(ma[i], ra[i], mb[i], rb[i]);
    EXPECT_EQ(bits(orad[i]), bits(i < 8 ? fused : unfused)) << "element " << i;
    EXPECT_EQ(bits(om[i]), bits(ma[i] * mb[i]));
  }
}

TEST(KernelInPlace, OutputMayBeAnInput) {
  std::vector<double> x = {1.5, -2.0, 0.0, 3.25, -0.0, 7.0, 1e300};
  const std::vector<double> original = x;
  broadcast_sum(x, 0.25, x);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(bits(x[i]), bits(original[i] + 0.25));
  sign_flip(x, x);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(bits(x[i]), bits(-(original[i] + 0.25)));
}

TEST(KernelDispatch, ShorterSliceIsAnAssertionFailure) {
  std::vector<double> a(4, 1.0), b(3, 1.0), o(4);
  try {
    midpoint_sum(a, b, o);
    FAIL() << "no panic";
  } catch (const Panic& p) {
    EXPECT_EQ(p.message(),
              "assertion `left == right` failed: kernel slices must have equal lengths\n"
              "  left: 3\n right: 4");
  }
}

// --- Variant choice ---------------------------------------------------------

CpuFeatures features(bool avx2, bool fma, bool f512, bool dq512) {
  return CpuFeatures{avx2, avx2, fma, f512, dq512};
}

struct ChoiceCase {
  ArithFamily family;
  CpuFeatures f;
  Variant want;
};

class VariantChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(VariantChoice, FollowsTheFeatureOrder) {
  EXPECT_EQ(variant_name(select_variant(GetParam().family, GetParam().f)),
            std::string(variant_name(GetParam().want)));
}

INSTANTIATE_TEST_SUITE_P(
    Table, VariantChoice,
    ::testing::Values(
        ChoiceCase{ArithFamily::kIntervalProduct, features(true, false, false, false),
                   Variant::kAvx2},
        ChoiceCase{ArithFamily::kIntervalProduct, features(true, true, true, false),
                   Variant::kAvx2Fma},
        ChoiceCase{ArithFamily::kIntervalProduct, features(true, true, true, true),
                   Variant::kAvx512},
        ChoiceCase{ArithFamily::kIntervalProduct, features(false, true, false, false),
                   Variant::kSse2},
        ChoiceCase{ArithFamily::kIntervalSum, features(true, true, true, false), Variant::kAvx512},
        ChoiceCase{ArithFamily::kMidpointQuotient, features(true, false, true, false),
                   Variant::kAvx512},
        ChoiceCase{ArithFamily::kIntervalSum, features(true, false, false, false),
                   Variant::kAvx2},
        ChoiceCase{ArithFamily::kIntervalDifference, features(false, false, false, false),
                   Variant::kSse2},
        ChoiceCase{ArithFamily::kAbsoluteProduct, features(true, true, true, true),
                   Variant::kAvx2},
        ChoiceCase{ArithFamily::kSignFlip, features(true, true, true, true), Variant::kAvx2},
        ChoiceCase{ArithFamily::kBroadcastSum, features(false, false, false, false),
                   Variant::kSse2},
        ChoiceCase{ArithFamily::kQuotientRadius, features(true, true, true, true),
                   Variant::kSse2},
        ChoiceCase{ArithFamily::kEndpointDivision, features(true, true, true, true),
                   Variant::kScalar}));

TEST(VariantChoice, ThisMachinePicksItsBestVariant) {
  __builtin_cpu_init();
  const bool f512 = __builtin_cpu_supports("avx512f");
  const bool dq = __builtin_cpu_supports("avx512dq");
  const bool avx2 = __builtin_cpu_supports("avx2");
  const bool fma = __builtin_cpu_supports("fma");
  const std::string product = f512 && dq ? "avx512" : avx2 && fma ? "avx2_fma" : avx2 ? "avx2" : "sse2";
  const std::string wide = f512 ? "avx512" : avx2 ? "avx2" : "sse2";
  EXPECT_EQ(selected_variant_name(ArithFamily::kIntervalProduct), product);
  EXPECT_EQ(selected_variant_name(ArithFamily::kIntervalSum), wide);
  EXPECT_EQ(selected_variant_name(ArithFamily::kMidpointQuotient), wide);
  EXPECT_EQ(selected_variant_name(ArithFamily::kBroadcastProduct),
            std::string(avx2 ? "avx2" : "sse2"));
  EXPECT_EQ(selected_variant_name(ArithFamily::kQuotientRadius), std::string("sse2"));
  EXPECT_EQ(selected_variant_name(ArithFamily::kEndpointDivision), std::string("scalar"));
}

// --- Feature detection from raw CPUID / XCR0 words --------------------------

constexpr unsigned kFma = 1u << 12, kXsave = 1u << 26, kOsxsave = 1u << 27, kAvx = 1u << 28,
                   kF16c = 1u << 29;
constexpr unsigned kAvx2 = 1u << 5, kAvx512F = 1u << 16, kAvx512DQ = 1u << 17;
constexpr unsigned long long kYmmState = 0x7, kZmmState = 0xE7;
constexpr unsigned kAllLeaf1 = kFma | kXsave | kOsxsave | kAvx | kF16c;
constexpr unsigned kAllLeaf7 = kAvx2 | kAvx512F | kAvx512DQ;

struct CpuidCase {
  const char* what;
  unsigned leaf1_ecx;
  unsigned leaf7_ebx;
  unsigned long long xcr0;
  CpuFeatures want;
};

class FeaturesFromCpuid : public ::testing::TestWithParam<CpuidCase> {};

TEST_P(FeaturesFromCpuid, AppliesTheOsSupportRules) {
  const auto& c = GetParam();
  const CpuFeatures f = features_from_cpuid(c.leaf1_ecx, c.leaf7_ebx, c.xcr0);
  EXPECT_EQ(f.avx, c.want.avx) << c.what;
  EXPECT_EQ(f.avx2, c.want.avx2) << c.what;
  EXPECT_EQ(f.fma, c.want.fma) << c.what;
  EXPECT_EQ(f.avx512f, c.want.avx512f) << c.what;
  EXPECT_EQ(f.avx512dq, c.want.avx512dq) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Words, FeaturesFromCpuid,
    ::testing::Values(
        CpuidCase{"everything", kAllLeaf1, kAllLeaf7, kZmmState, {true, true, true, true, true}},
        CpuidCase{"no AVX-512 state saved", kAllLeaf1, kAllLeaf7, kYmmState,
                  {true, true, true, false, false}},
        CpuidCase{"XCR0 bit 5 missing", kAllLeaf1, kAllLeaf7, 0xC7,
                  {true, true, true, false, false}},
        CpuidCase{"XCR0 bit 6 missing", kAllLeaf1, kAllLeaf7, 0xA7,
                  {true, true, true, false, false}},
        CpuidCase{"XCR0 bit 7 missing", kAllLeaf1, kAllLeaf7, 0x67,
                  {true, true, true, false, false}},
        CpuidCase{"no YMM state", kAllLeaf1, kAllLeaf7, 0xE3, {false, false, false, false, false}},
        CpuidCase{"no XMM state", kAllLeaf1, kAllLeaf7, 0xE5, {false, false, false, false, false}},
        CpuidCase{"no OSXSAVE", kAllLeaf1 & ~kOsxsave, kAllLeaf7, kZmmState,
                  {false, false, false, false, false}},
        CpuidCase{"no XSAVE", kAllLeaf1 & ~kXsave, kAllLeaf7, kZmmState,
                  {false, false, false, false, false}},
        CpuidCase{"AVX-512 without F16C", kAllLeaf1 & ~kF16c, kAllLeaf7, kZmmState,
                  {true, true, true, false, false}},
        CpuidCase{"AVX-512 without FMA", kAllLeaf1 & ~kFma, kAllLeaf7, kZmmState,
                  {true, true, false, false, false}},
        CpuidCase{"AVX-512F without DQ", kAllLeaf1, kAvx2 | kAvx512F, kZmmState,
                  {true, true, true, true, false}},
        CpuidCase{"AVX2 without FMA", kXsave | kOsxsave | kAvx, kAvx2, kYmmState,
                  {true, true, false, false, false}},
        CpuidCase{"AVX only", kXsave | kOsxsave | kAvx, 0, kYmmState,
                  {true, false, false, false, false}},
        CpuidCase{"nothing", 0, 0, 0, {false, false, false, false, false}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(CpuFeatures, CachedDetectionAgreesWithTheCompilerQuery) {
  __builtin_cpu_init();
  const CpuFeatures& f = cpu_features();
  EXPECT_EQ(f.avx, static_cast<bool>(__builtin_cpu_supports("avx")));
  EXPECT_EQ(f.avx2, static_cast<bool>(__builtin_cpu_supports("avx2")));
  EXPECT_EQ(f.fma, static_cast<bool>(__builtin_cpu_supports("fma")));
  EXPECT_EQ(f.avx512f, static_cast<bool>(__builtin_cpu_supports("avx512f")));
  EXPECT_EQ(f.avx512dq, static_cast<bool>(__builtin_cpu_supports("avx512dq")));
  EXPECT_EQ(&cpu_features(), &f) << "the cached set is handed out again";
}

// --- Chunked execution --------------------------------------------------------

std::mutex chunk_mutex;
std::vector<std::pair<std::size_t, std::size_t>> chunk_log;  // (offset, length)
const double* chunk_base = nullptr;

void record_chunk(In ma, In, In, In, Out, Out) {
  std::lock_guard lock(chunk_mutex);
  chunk_log.emplace_back(static_cast<std::size_t>(ma.data() - chunk_base), ma.size());
}

class ChunkedExecution : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ChunkedExecution, SplitsIntoFullChunksAndOneShortOne) {
  const std::size_t n = GetParam();
  std::vector<double> x(n), o1(n), o2(n);
  chunk_log.clear();
  chunk_base = x.data();
  arith::run_interval_kernel(record_chunk, x, x, x, x, o1, o2);
  std::sort(chunk_log.begin(), chunk_log.end());
  if (n < arith::kParallelThreshold) {
    ASSERT_EQ(chunk_log.size(), 1u);
    EXPECT_EQ(chunk_log[0], std::make_pair(std::size_t{0}, n));
    return;
  }
  ASSERT_EQ(chunk_log.size(), (n + 8191) / 8192);
  for (std::size_t k = 0; k < chunk_log.size(); ++k) {
    EXPECT_EQ(chunk_log[k].first, k * 8192);
    EXPECT_EQ(chunk_log[k].second, std::min<std::size_t>(8192, n - k * 8192));
  }
}

TEST_P(ChunkedExecution, GivesTheSerialResultBitForBit) {
  const std::size_t n = GetParam();
  const Data d = make_data(n, 5);
  for (auto kernel : {&interval_sum, &interval_difference, &interval_product}) {
    std::vector<double> m1(n), r1(n), m2(n), r2(n);
    kernel(d.ma, d.ra, d.mb, d.rb, m1, r1);
    arith::run_interval_kernel(kernel, d.ma, d.ra, d.mb, d.rb, m2, r2);
    ASSERT_TRUE(same(m2, m1, n));
    ASSERT_TRUE(same(r2, r1, n));
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ChunkedExecution,
                         ::testing::Values(32767, 32768, 32769, 5 * 8192 + 4093, 100003));

}  // namespace
}  // namespace quorvex::simd
