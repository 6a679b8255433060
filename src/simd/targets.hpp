// The processor targets and their kernels: one table with one entry per
// target, each naming the features it stands for and the kernels it has.
// The kernel of every family is chosen from the table once per process, for
// the processor's features capped by QUORVEX_TARGET, and every kernel call
// reads it from there.
//
// Choosing a family's kernel: the first entry, best first, that has a
// variant of the family and whose needs (plus the variant's own extra needs)
// the features meet. Adding a target means a directory src/kernels/<name>/,
// its flags in CMakeLists.txt, its entry points in kernels/kernels.hpp and
// one entry here.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "kernels/kernel_types.hpp"
#include "simd/features.hpp"

namespace quorvex::simd {

enum class Target { kAvx512, kFma, kAvx2, kAvx, kSse2 };

// "avx512", "fma", "avx2", "avx" or "sse2".
const char* target_name(Target target) noexcept;
std::optional<Target> target_named(std::string_view name) noexcept;

// A variant in a target entry: absent when kernel is empty; `extra` are the
// features it needs beyond those of its entry.
template <class K>
struct Slot {
  K kernel{};
  CpuFeatures extra{};
};

template <class K>
constexpr bool has_kernel(const K& kernel) noexcept {
  return kernel != nullptr;
}
constexpr bool has_kernel(const kernels::GemmTile& tile) noexcept {
  return tile.kernel != nullptr;
}

// The variant chosen for a family, and the target whose entry it came from.
template <class K>
struct Chosen {
  K kernel{};
  Target target = Target::kSse2;
};

// Every kernel family, as X(kernel type, name): the one list the table's
// entries, the resolution and the tests walk.
#define QUORVEX_KERNEL_FAMILIES(X)                         \
  X(kernels::QuadKernel, interval_sum)                     \
  X(kernels::QuadKernel, interval_difference)              \
  X(kernels::QuadKernel, interval_product)                 \
  X(kernels::QuadKernel, interval_product_rounded)         \
  X(kernels::QuadKernel, interval_quotient)                \
  X(kernels::QuadKernel, rigorous_sum)                     \
  X(kernels::QuadKernel, rigorous_difference)              \
  X(kernels::QuadKernel, rigorous_product)                 \
  X(kernels::QuadKernel, rigorous_quotient)                \
  X(kernels::BinaryKernel, midpoint_sum)                   \
  X(kernels::BinaryKernel, midpoint_difference)            \
  X(kernels::BinaryKernel, midpoint_product)               \
  X(kernels::BinaryKernel, midpoint_quotient)              \
  X(kernels::BinaryKernel, absolute_product)               \
  X(kernels::BroadcastKernel, broadcast_sum)               \
  X(kernels::BroadcastKernel, broadcast_product)           \
  X(kernels::UnaryKernel, sign_flip)                       \
  X(kernels::QuadKernel, endpoint_division)                \
  X(kernels::ProductKernel, product)                       \
  X(kernels::UnaryKernel, sqrt)                            \
  X(kernels::SumKernel, sum)                               \
  X(kernels::RigorousSumKernel, rigorous_sums)             \
  X(kernels::RigorousDotKernel, rigorous_dot)              \
  X(kernels::ColumnSumKernel, sum_columns)                 \
  X(kernels::DotKernel, dot)                               \
  X(const kernels::EndpointBlockKernels*, endpoint_blocks) \
  X(kernels::GemmTile, gemm)

// One member per kernel family; S is Slot in the table, Chosen once resolved.
template <template <class> class S>
struct Families {
#define QV_FAMILY_MEMBER(K, name) S<K> name;
  QUORVEX_KERNEL_FAMILIES(QV_FAMILY_MEMBER)
#undef QV_FAMILY_MEMBER
};

using KernelSlots = Families<Slot>;
using Kernels = Families<Chosen>;

struct TargetEntry {
  Target target;
  // What the target stands for: the features QUORVEX_TARGET keeps when it
  // names this target, and what a processor must have to count as one.
  CpuFeatures features;
  // What the entry's kernels need (a subset of `features`).
  CpuFeatures needs;
  KernelSlots kernels;
};

// The table, best target first; the last entry (sse2) has every family.
std::span<const TargetEntry> target_table() noexcept;
const TargetEntry& target_entry(Target target) noexcept;

// The kernels for a processor with `features`; every family gets one, since
// the last entry (sse2) has them all.
Kernels resolve_kernels(const CpuFeatures& features) noexcept;

// The features kept by the override `value` (QUORVEX_TARGET): those of the
// named target, when the processor has them all; `processor` itself when
// the value is null, empty, unknown or names a target above the processor.
CpuFeatures capped_features(const CpuFeatures& processor, const char* value) noexcept;

// The best target whose features `features` has.
Target best_target(const CpuFeatures& features) noexcept;

// This process: the processor's features capped by QUORVEX_TARGET (read once,
// with the detection), the kernels chosen for them and the best target.
const CpuFeatures& active_features() noexcept;
const Kernels& active_kernels() noexcept;
Target active_target() noexcept;

}  // namespace quorvex::simd
