// Every variant the target table holds for a family, so that the per-variant
// tests run each of them directly, whatever targets the table has.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simd/features.hpp"
#include "simd/targets.hpp"

namespace quorvex::test_support {

template <class K>
struct Variant {
  simd::Target target;
  K kernel;
  simd::CpuFeatures needs;  // the entry's needs and the variant's extra ones
  std::string name() const { return simd::target_name(target); }
  bool runs_here() const { return simd::covers(simd::cpu_features(), needs); }
};

// The variants of `slot`, best target first.
template <class K>
std::vector<Variant<K>> variants_of(simd::Slot<K> simd::KernelSlots::* slot) {
  std::vector<Variant<K>> out;
  for (const simd::TargetEntry& entry : simd::target_table()) {
    const simd::Slot<K>& s = entry.kernels.*slot;
    if (simd::has_kernel(s.kernel)) out.push_back({entry.target, s.kernel, entry.needs | s.extra});
  }
  return out;
}

// For a parameterised test over variants: skips those this processor lacks.
#define QV_SKIP_UNLESS_RUNS_HERE(variant)                                                 \
  do {                                                                                    \
    if (!(variant).runs_here()) {                                                         \
      GTEST_SKIP() << "this processor lacks the instructions of the " << (variant).name() \
                   << " variant";                                                         \
    }                                                                                     \
  } while (false)

}  // namespace quorvex::test_support
