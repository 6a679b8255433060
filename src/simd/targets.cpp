// The target table. Each entry lists the kernels of its target directory;
// a family the target has no variant of stays empty and falls through to the
// next entry.
#include "simd/targets.hpp"

#include <cstdlib>

#include "kernels/kernels.hpp"

namespace quorvex::simd {
namespace {

namespace k = kernels;

constexpr CpuFeatures kWithAvx512{
    .avx = true, .avx2 = true, .fma = true, .avx512f = true, .avx512dq = true};
constexpr CpuFeatures kWithFma{.avx = true, .avx2 = true, .fma = true};
constexpr CpuFeatures kWithAvx2{.avx = true, .avx2 = true};
constexpr CpuFeatures kWithAvx{.avx = true};

// An entry names only the families its target has a variant of; the others
// stay empty on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
constexpr TargetEntry kTable[] = {
    {.target = Target::kAvx512,
     .features = kWithAvx512,
     .needs = {.avx512f = true},
     .kernels = {.interval_sum = {k::avx512::interval_sum},
                 .interval_difference = {k::avx512::interval_difference},
                 .interval_product = {k::avx512::interval_product, {.avx512dq = true}},
                 .interval_product_rounded = {k::avx512::interval_product_rounded},
                 .interval_quotient = {k::avx512::interval_quotient},
                 .rigorous_sum = {k::avx512::rigorous_sum},
                 .rigorous_difference = {k::avx512::rigorous_difference},
                 .rigorous_product = {k::avx512::rigorous_product},
                 .rigorous_quotient = {k::avx512::rigorous_quotient},
                 .midpoint_sum = {k::avx512::midpoint_sum},
                 .midpoint_difference = {k::avx512::midpoint_difference},
                 .midpoint_product = {k::avx512::midpoint_product},
                 .midpoint_quotient = {k::avx512::midpoint_quotient},
                 .endpoint_division = {k::avx512::endpoint_division},
                 .product = {k::avx512::product},
                 .sqrt = {k::avx512::sqrt},
                 .sum = {k::avx512::sum},
                 .rigorous_sums = {k::avx512::rigorous_sums},
                 .rigorous_dot = {k::avx512::rigorous_dot},
                 .sum_columns = {k::avx512::sum_columns},
                 .dot = {k::avx512::dot},
                 .endpoint_blocks = {&k::avx512::endpoint_blocks},
                 .gemm = {{k::avx512::gemm_8x8, 8, 8, true, k::avx512::gemm_8x16}}}},
    {.target = Target::kFma,
     .features = kWithFma,
     .needs = {.avx2 = true, .fma = true},
     .kernels = {.interval_product = {k::fma::interval_product},
                 .endpoint_division = {k::fma::endpoint_division},
                 .product = {k::fma::product},
                 .dot = {k::fma::dot},
                 .gemm = {{k::fma::gemm_8x4, 8, 4, true, nullptr}}}},
    {.target = Target::kAvx2,
     .features = kWithAvx2,
     .needs = {.avx2 = true},
     .kernels = {.interval_sum = {k::avx2::interval_sum},
                 .interval_difference = {k::avx2::interval_difference},
                 .interval_product = {k::avx2::interval_product},
                 .interval_product_rounded = {k::avx2::interval_product_rounded},
                 .interval_quotient = {k::avx2::interval_quotient},
                 .rigorous_sum = {k::avx2::rigorous_sum},
                 .rigorous_difference = {k::avx2::rigorous_difference},
                 .rigorous_product = {k::avx2::rigorous_product},
                 .rigorous_quotient = {k::avx2::rigorous_quotient},
                 .midpoint_sum = {k::avx2::midpoint_sum},
                 .midpoint_difference = {k::avx2::midpoint_difference},
                 .midpoint_product = {k::avx2::midpoint_product},
                 .midpoint_quotient = {k::avx2::midpoint_quotient},
                 .absolute_product = {k::avx2::absolute_product},
                 .broadcast_sum = {k::avx2::broadcast_sum},
                 .broadcast_product = {k::avx2::broadcast_product},
                 .sign_flip = {k::avx2::sign_flip},
                 .sqrt = {k::avx2::sqrt},
                 .sum = {k::avx2::sum},
                 .rigorous_sums = {k::avx2::rigorous_sums},
                 .rigorous_dot = {k::avx2::rigorous_dot},
                 .sum_columns = {k::avx2::sum_columns},
                 .endpoint_blocks = {&k::avx2::endpoint_blocks}}},
    {.target = Target::kAvx,
     .features = kWithAvx,
     .needs = {.avx = true},
     // The scalar dot with the FMA instruction serves processors with FMA but
     // without AVX2 (the fma entry has the rest of them).
     .kernels = {.dot = {k::scalar_fma::dot, {.fma = true}},
                 .gemm = {{k::avx::gemm_8x4, 8, 4, true, nullptr}}}},
    {.target = Target::kSse2,
     .features = {},
     .needs = {},
     .kernels = {.interval_sum = {k::sse2::interval_sum},
                 .interval_difference = {k::sse2::interval_difference},
                 .interval_product = {k::sse2::interval_product},
                 .interval_product_rounded = {k::sse2::interval_product_rounded},
                 .interval_quotient = {k::sse2::interval_quotient},
                 .rigorous_sum = {k::sse2::rigorous_sum},
                 .rigorous_difference = {k::sse2::rigorous_difference},
                 .rigorous_product = {k::sse2::rigorous_product},
                 .rigorous_quotient = {k::sse2::rigorous_quotient},
                 .midpoint_sum = {k::sse2::midpoint_sum},
                 .midpoint_difference = {k::sse2::midpoint_difference},
                 .midpoint_product = {k::sse2::midpoint_product},
                 .midpoint_quotient = {k::sse2::midpoint_quotient},
                 .absolute_product = {k::sse2::absolute_product},
                 .broadcast_sum = {k::sse2::broadcast_sum},
                 .broadcast_product = {k::sse2::broadcast_product},
                 .sign_flip = {k::sse2::sign_flip},
                 .endpoint_division = {k::scalar::endpoint_division},
                 .product = {k::scalar::product},
                 .sqrt = {k::sse2::sqrt},
                 .sum = {k::sse2::sum},
                 .rigorous_sums = {k::sse2::rigorous_sums},
                 .rigorous_dot = {k::sse2::rigorous_dot},
                 .sum_columns = {k::sse2::sum_columns},
                 .dot = {k::sse2::dot},
                 .endpoint_blocks = {&k::sse2::endpoint_blocks},
                 .gemm = {{k::sse2::gemm_4x4, 4, 4, false, nullptr}}}},
};
#pragma GCC diagnostic pop

// One family: the first entry that has a variant of it the features can run.
template <class K>
void choose(Slot<K> KernelSlots::* slot, Chosen<K> Kernels::* chosen, const CpuFeatures& features,
            Kernels& out) {
  for (const TargetEntry& entry : kTable) {
    const Slot<K>& s = entry.kernels.*slot;
    if (has_kernel(s.kernel) && covers(features, entry.needs | s.extra)) {
      out.*chosen = {s.kernel, entry.target};
      return;
    }
  }
}

}  // namespace

const char* target_name(Target target) noexcept {
  switch (target) {
    case Target::kAvx512:
      return "avx512";
    case Target::kFma:
      return "fma";
    case Target::kAvx2:
      return "avx2";
    case Target::kAvx:
      return "avx";
    case Target::kSse2:
      return "sse2";
  }
  return "unknown";
}

std::optional<Target> target_named(std::string_view name) noexcept {
  for (const TargetEntry& entry : kTable) {
    if (name == target_name(entry.target)) return entry.target;
  }
  return std::nullopt;
}

std::span<const TargetEntry> target_table() noexcept {
  return kTable;
}

const TargetEntry& target_entry(Target target) noexcept {
  for (const TargetEntry& entry : kTable) {
    if (entry.target == target) return entry;
  }
  return kTable[std::size(kTable) - 1];
}

Kernels resolve_kernels(const CpuFeatures& f) noexcept {
  Kernels out;
#define QV_CHOOSE(K, family) choose(&KernelSlots::family, &Kernels::family, f, out);
  QUORVEX_KERNEL_FAMILIES(QV_CHOOSE)
#undef QV_CHOOSE
  return out;
}

CpuFeatures capped_features(const CpuFeatures& processor, const char* value) noexcept {
  if (value == nullptr) return processor;
  const std::optional<Target> target = target_named(value);
  if (!target) return processor;
  const CpuFeatures& kept = target_entry(*target).features;
  return covers(processor, kept) ? kept : processor;
}

Target best_target(const CpuFeatures& features) noexcept {
  for (const TargetEntry& entry : kTable) {
    if (covers(features, entry.features)) return entry.target;
  }
  return Target::kSse2;
}

const CpuFeatures& active_features() noexcept {
  static const CpuFeatures features =
      capped_features(cpu_features(), std::getenv("QUORVEX_TARGET"));
  return features;
}

const Kernels& active_kernels() noexcept {
  static const Kernels kernels = resolve_kernels(active_features());
  return kernels;
}

Target active_target() noexcept {
  return best_target(active_features());
}

}  // namespace quorvex::simd
