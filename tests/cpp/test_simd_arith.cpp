// Every variant of every arithmetic kernel family in the target table, run
// directly on the same data and compared bit for bit with a scalar model of the
// propagation rules; chunked execution; feature detection from raw words.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "ops/arithmetic_chunks.hpp"
#include "simd/dispatch.hpp"
#include "simd/features.hpp"
#include "support/panic.hpp"
#include "target_variants.hpp"

namespace quorvex::simd {
namespace {

using kernels::BinaryKernel;
using kernels::BroadcastKernel;
using kernels::QuadKernel;
using kernels::UnaryKernel;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kSub = std::numeric_limits<double>::denorm_min();

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}

// Bits must match, except that NaN payloads may differ: which NaN operand the
// hardware passes on depends on operand order, which the compiler may swap.
::testing::AssertionResult same(const std::vector<double>& got, const std::vector<double>& want,
                                std::size_t n, bool exact_nan = false) {
  for (std::size_t i = 0; i < n; ++i) {
    const bool ok =
        std::isnan(want[i]) && !exact_nan ? std::isnan(got[i]) : bits(got[i]) == bits(want[i]);
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
  static const double kSpecial[] = {std::bit_cast<double>(0xFFF4'0000'0000'0ABCull),
                                    0.0,
                                    -0.0,
                                    kInf,
                                    -kInf,
                                    kNaN,
                                    kSub,
                                    -kSub,
                                    1e-310,
                                    kMax,
                                    -kMax,
                                    1e308,
                                    3.0,
                                    -1.0,
                                    0.1,
                                    1.0 / 3.0,
                                    2.5e-300};
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-60, 60), pick(0, 9);
  std::uniform_int_distribution<std::size_t> special(0, std::size(kSpecial) - 1);
  auto value = [&](bool radius) {
    if (pick(rng) == 0) return kSpecial[special(rng)];
    if (radius && pick(rng) < 3) return 0.0;  // plenty of exact elements
    const double v = std::ldexp(mant(rng), expo(rng));
    return radius ? std::fabs(v) : v;
  };
  Data d;
  for (auto* v : {&d.ma, &d.ra, &d.mb, &d.rb}) v->resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    d.ma[i] = value(false), d.ra[i] = value(true), d.mb[i] = value(false), d.rb[i] = value(true);
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

enum Family {
  kSum,
  kDiff,
  kProd,
  kMSum,
  kMDiff,
  kMProd,
  kMQuot,
  kAbsProd,
  kBSum,
  kBProd,
  kQuot,
  kRoundedProd,
  kFlip
};

struct KernelCase {
  std::string name;
  Family family;
  CpuFeatures needs;
  void* kernel;
  std::size_t fused_width;  // product variants: full vectors of this width are fused
};

// The rules, element by element; the broadcast constant is mb[0] so it hits special values too.
void reference(const KernelCase& c, const Data& d, std::size_t n, std::vector<double>& o1,
               std::vector<double>& o2) {
  const std::size_t fused = c.fused_width ? n - n % c.fused_width : 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double a = d.ma[i], r = d.ra[i], b = d.mb[i], s = d.rb[i], k = d.mb[0];
    switch (c.family) {
      case kSum:
        o1[i] = a + b, o2[i] = r + s;
        break;
      case kDiff:
        o1[i] = a - b, o2[i] = r + s;
        break;
      case kProd:
        o1[i] = a * b;
        o2[i] = i < fused ? fused_product_radius(a, r, b, s) : product_radius(a, r, b, s);
        break;
      case kMSum:
        o1[i] = a + b;
        break;
      case kMDiff:
        o1[i] = a - b;
        break;
      case kMProd:
        o1[i] = a * b;
        break;
      case kMQuot:
        o1[i] = a / b;
        break;
      case kAbsProd:
        o1[i] = std::fabs(a) * b;
        break;
      case kBSum:
        o1[i] = a + k;
        break;
      case kBProd:
        o1[i] = a * k;
        break;
      case kFlip:  // NaN payloads included, hence on raw bits
        o1[i] = std::bit_cast<double>(bits(a) ^ 0x8000'0000'0000'0000ull);
        break;
      case kRoundedProd:
        o1[i] = a * b;
        o2[i] = product_radius(a, r, b, s);
        break;
      case kQuot:
        o1[i] = a / b;
        o2[i] = (r + (std::fabs(o1[i]) * s)) / (std::fabs(b) - s);
        break;
    }
  }
}

void run(const KernelCase& c, const Data& d, std::size_t n, std::vector<double>& o1,
         std::vector<double>& o2) {
  const double *ma = d.ma.data(), *ra = d.ra.data(), *mb = d.mb.data(), *rb = d.rb.data();
  switch (c.family) {
    case kSum:
    case kDiff:
    case kProd:
    case kQuot:
    case kRoundedProd:
      reinterpret_cast<QuadKernel>(c.kernel)(ma, ra, mb, rb, o1.data(), o2.data(), n);
      break;
    case kBSum:
    case kBProd:
      reinterpret_cast<BroadcastKernel>(c.kernel)(ma, n ? mb[0] : 0.0, o1.data(), n);
      break;
    case kFlip:
      reinterpret_cast<UnaryKernel>(c.kernel)(ma, o1.data(), n);
      break;
    default:
      reinterpret_cast<BinaryKernel>(c.kernel)(ma, mb, o1.data(), n);
  }
}

// The fused product variants and their vector widths.
std::size_t fused_width(Target target, Family family) {
  if (family != kProd) return 0;
  return target == Target::kAvx512 ? 8 : target == Target::kFma ? 4 : 0;
}

template <class K>
void add_family(std::vector<KernelCase>& cases, const char* name, Family family,
                Slot<K> KernelSlots::* slot) {
  for (const auto& v : test_support::variants_of(slot)) {
    cases.push_back({std::string(name) + "_" + v.name(), family, v.needs,
                     reinterpret_cast<void*>(v.kernel), fused_width(v.target, family)});
  }
}

std::vector<KernelCase> all_cases() {
  std::vector<KernelCase> c;
  add_family(c, "interval_sum", kSum, &KernelSlots::interval_sum);
  add_family(c, "interval_difference", kDiff, &KernelSlots::interval_difference);
  add_family(c, "interval_product", kProd, &KernelSlots::interval_product);
  add_family(c, "midpoint_sum", kMSum, &KernelSlots::midpoint_sum);
  add_family(c, "midpoint_difference", kMDiff, &KernelSlots::midpoint_difference);
  add_family(c, "midpoint_product", kMProd, &KernelSlots::midpoint_product);
  add_family(c, "midpoint_quotient", kMQuot, &KernelSlots::midpoint_quotient);
  add_family(c, "absolute_product", kAbsProd, &KernelSlots::absolute_product);
  add_family(c, "broadcast_sum", kBSum, &KernelSlots::broadcast_sum);
  add_family(c, "broadcast_product", kBProd, &KernelSlots::broadcast_product);
  add_family(c, "interval_product_rounded", kRoundedProd, &KernelSlots::interval_product_rounded);
  add_family(c, "interval_quotient", kQuot, &KernelSlots::interval_quotient);
  add_family(c, "sign_flip", kFlip, &KernelSlots::sign_flip);
  return c;
}

class KernelVariants : public ::testing::TestWithParam<KernelCase> {
 protected:
  void SetUp() override {
    if (!covers(cpu_features(), GetParam().needs)) {
      GTEST_SKIP() << GetParam().name << ": this processor lacks the instruction set";
    }
  }
  void check(std::size_t n, unsigned seed) {
    const Data d = make_data(n, seed);
    std::vector<double> got1(n, -7.0), got2(n, -7.0), want1(n, -7.0), want2(n, -7.0);
    run(GetParam(), d, n, got1, got2);
    reference(GetParam(), d, n, want1, want2);
    EXPECT_TRUE(same(got1, want1, n, GetParam().family == kFlip)) << "first output, n = " << n;
    EXPECT_TRUE(same(got2, want2, n)) << "second output, n = " << n;
  }
};

TEST_P(KernelVariants, MatchesTheRulesAtEveryLengthUpTo40AndAroundChunkSizes) {
  for (std::size_t n = 0; n <= 40; ++n) check(n, static_cast<unsigned>(n) + 1);
  for (std::size_t n : {8191u, 8192u, 8193u, 32767u, 32768u, 32769u}) check(n, 77);
}

TEST_P(KernelVariants, ZeroLengthWritesNothing) {
  const Data d = make_data(16, 3);
  std::vector<double> o1(16, -7.0), o2(16, -7.0);
  run(GetParam(), d, 0, o1, o2);
  EXPECT_EQ(std::count(o1.begin(), o1.end(), -7.0) + std::count(o2.begin(), o2.end(), -7.0), 32);
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, KernelVariants, ::testing::ValuesIn(all_cases()),
                         [](const auto& info) { return info.param.name; });

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
  target_entry(Target::kFma)
      .kernels.interval_product.kernel(ma.data(), ra.data(), mb.data(), rb.data(), om.data(),
                                       orad.data(), 10);
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

// --- Feature detection ----------------------------------------------------

constexpr unsigned kFma = 1u << 12, kXsave = 1u << 26, kOsxsave = 1u << 27, kAvx = 1u << 28,
                   kF16c = 1u << 29;
constexpr unsigned kLeaf1 = kFma | kXsave | kOsxsave | kAvx | kF16c;
constexpr unsigned kLeaf7 = (1u << 5) | (1u << 16) | (1u << 17);  // AVX2, AVX-512F, AVX-512DQ

struct CpuidCase {
  unsigned leaf1_ecx, leaf7_ebx;
  unsigned long long xcr0;
  const char* want;  // as for flags()
};

class FeaturesFromCpuid : public ::testing::TestWithParam<CpuidCase> {};

TEST_P(FeaturesFromCpuid, AppliesTheOsSupportRules) {
  const auto& c = GetParam();
  const CpuFeatures f = features_from_cpuid(c.leaf1_ecx, c.leaf7_ebx, c.xcr0);
  const std::string got = {f.avx ? '1' : '0', f.avx2 ? '1' : '0', f.fma ? '1' : '0',
                           f.avx512f ? '1' : '0', f.avx512dq ? '1' : '0'};
  EXPECT_EQ(got, c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Words, FeaturesFromCpuid,
    ::testing::Values(CpuidCase{kLeaf1, kLeaf7, 0xE7, "11111"},
                      CpuidCase{kLeaf1, kLeaf7, 0x07, "11100"},  // no ZMM state saved
                      CpuidCase{kLeaf1, kLeaf7, 0xC7, "11100"},  // XCR0 bit 5 missing
                      CpuidCase{kLeaf1, kLeaf7, 0xA7, "11100"},  // bit 6
                      CpuidCase{kLeaf1, kLeaf7, 0x67, "11100"},  // bit 7
                      CpuidCase{kLeaf1, kLeaf7, 0xE3, "00000"},  // no YMM state
                      CpuidCase{kLeaf1, kLeaf7, 0xE5, "00000"},  // no XMM state
                      CpuidCase{kLeaf1 & ~kOsxsave, kLeaf7, 0xE7, "00000"},
                      CpuidCase{kLeaf1 & ~kXsave, kLeaf7, 0xE7, "00000"},
                      CpuidCase{kLeaf1 & ~kF16c, kLeaf7, 0xE7, "11100"},
                      CpuidCase{kLeaf1 & ~kFma, kLeaf7, 0xE7, "11000"},
                      CpuidCase{kLeaf1, kLeaf7 & ~(1u << 17), 0xE7, "11110"},
                      CpuidCase{kXsave | kOsxsave | kAvx, 1u << 5, 0x07, "11000"},
                      CpuidCase{0, 0, 0, "00000"}));

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
  if (n < 32768) {
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
