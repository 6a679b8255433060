// The target table: which variant every family runs on every processor class,
// and the QUORVEX_TARGET cap.
#include <gtest/gtest.h>

#include <string>

#include "simd/targets.hpp"

namespace quorvex::simd {
namespace {

// Features as "avx avx2 fma avx512f avx512dq" flags, e.g. "11110".
CpuFeatures flags(const char* f) {
  return CpuFeatures{f[0] == '1', f[1] == '1', f[2] == '1', f[3] == '1', f[4] == '1'};
}

std::string flag_text(const CpuFeatures& f) {
  return {f.avx ? '1' : '0', f.avx2 ? '1' : '0', f.fma ? '1' : '0', f.avx512f ? '1' : '0',
          f.avx512dq ? '1' : '0'};
}

// The target each family's variant comes from, in the order of the family
// list; "none" where resolution left a family without a kernel.
std::string choices(const CpuFeatures& features) {
  const Kernels k = resolve_kernels(features);
  std::string out;
  const auto add = [&out](bool found, Target t) {
    if (!out.empty()) out += ' ';
    out += found ? target_name(t) : "none";
  };
#define QV_ADD(K, family) add(has_kernel(k.family.kernel), k.family.target);
  QUORVEX_KERNEL_FAMILIES(QV_ADD)
#undef QV_ADD
  return out;
}

struct ClassCase {
  const char* features;
  const char* want;
};

class FamilyChoice : public ::testing::TestWithParam<ClassCase> {};

// Columns: interval sum, difference, product, rounded product, quotient;
// rigorous sum, difference, product, quotient; midpoint sum,
// difference, product, quotient; absolute product; broadcast sum, product;
// sign flip; endpoint division; product; sqrt; sum; rigorous sums, dot;
// column sums; dot; endpoint blocks;
// gemm.
TEST_P(FamilyChoice, EveryFamilyOnEveryProcessorClass) {
  EXPECT_EQ(choices(flags(GetParam().features)), GetParam().want) << GetParam().features;
}

INSTANTIATE_TEST_SUITE_P(
    Classes, FamilyChoice,
    ::testing::Values(
        // AVX-512F and DQ (every AVX-512 server).
        ClassCase{"11111",
                  "avx512 avx512 avx512 avx512 avx512 avx512 avx512 avx512 avx512 avx512 avx512 "
                  "avx512 avx512 avx2 avx2 avx2 avx2 avx512 avx512 avx512 avx512 avx512 avx512 "
                  "avx512 avx512 avx512 avx512"},
        // AVX-512F without DQ: the fused product falls back to AVX2+FMA.
        ClassCase{"11110",
                  "avx512 avx512 fma avx512 avx512 avx512 avx512 avx512 avx512 avx512 avx512 "
                  "avx512 avx512 avx2 avx2 avx2 avx2 avx512 avx512 avx512 avx512 avx512 avx512 "
                  "avx512 avx512 avx512 avx512"},
        ClassCase{"11100",
                  "avx2 avx2 fma avx2 avx2 avx2 avx2 avx2 avx2 avx2 avx2 "
                  "avx2 avx2 avx2 avx2 avx2 avx2 fma fma avx2 avx2 avx2 avx2 avx2 fma avx2 fma"},
        // AVX2 without FMA: unfused product, scalar dot with the software fma.
        ClassCase{"11000",
                  "avx2 avx2 avx2 avx2 avx2 avx2 avx2 avx2 avx2 avx2 avx2 "
                  "avx2 avx2 avx2 avx2 avx2 avx2 sse2 sse2 avx2 avx2 avx2 avx2 avx2 sse2 avx2 avx"},
        // AVX and FMA without AVX2: scalar dot with the instruction.
        ClassCase{"10100",
                  "sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 "
                  "sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 avx sse2 avx"},
        ClassCase{"10000",
                  "sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 "
                  "sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 avx"},
        ClassCase{
            "00000",
            "sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 "
            "sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2 sse2"}));

struct CapCase {
  const char* processor;
  const char* value;  // nullptr: the variable is not set
  const char* want;
};

class TargetCap : public ::testing::TestWithParam<CapCase> {};

TEST_P(TargetCap, KeepsTheNamedTargetsFeaturesOrIgnoresTheValue) {
  const auto& c = GetParam();
  EXPECT_EQ(flag_text(capped_features(flags(c.processor), c.value)), c.want)
      << c.processor << " with " << (c.value ? c.value : "(unset)");
}

INSTANTIATE_TEST_SUITE_P(
    Values, TargetCap,
    ::testing::Values(CapCase{"11111", nullptr, "11111"}, CapCase{"11111", "avx512", "11111"},
                      CapCase{"11111", "fma", "11100"}, CapCase{"11111", "avx2", "11000"},
                      CapCase{"11111", "avx", "10000"}, CapCase{"11111", "sse2", "00000"},
                      CapCase{"11100", "avx512", "11100"},  // above the processor: ignored
                      CapCase{"11110", "avx512", "11110"},  // F without DQ is no avx512 target
                      CapCase{"11000", "fma", "11000"}, CapCase{"11100", "AVX2", "11100"},
                      CapCase{"11100", "", "11100"}, CapCase{"11100", "avx2 ", "11100"},
                      CapCase{"11100", "sse", "11100"}));

TEST(TargetCap, CappedMachinesOfMixedClassesChooseTheSameKernels) {
  for (const char* value : {"fma", "avx2", "avx", "sse2"}) {
    EXPECT_EQ(choices(capped_features(flags("11111"), value)),
              choices(capped_features(flags("11100"), value)))
        << value;
  }
}

TEST(BestTarget, IsTheFirstEntryTheFeaturesCover) {
  EXPECT_EQ(best_target(flags("11111")), Target::kAvx512);
  EXPECT_EQ(best_target(flags("11110")), Target::kFma);
  EXPECT_EQ(best_target(flags("11000")), Target::kAvx2);
  EXPECT_EQ(best_target(flags("10100")), Target::kAvx);
  EXPECT_EQ(best_target(flags("00000")), Target::kSse2);
  for (const TargetEntry& e : target_table()) {
    EXPECT_EQ(target_named(target_name(e.target)), e.target);
  }
  EXPECT_FALSE(target_named("scalar").has_value());
}

}  // namespace
}  // namespace quorvex::simd
