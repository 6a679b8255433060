// One term of the dot product's radius sum, shared by every dot kernel so they
// agree bit for bit (the build never contracts it into fused operations).
// Internal linkage: each including file keeps its own copy.
#pragma once

namespace quorvex::kernels::loops {
namespace {

inline double dot_radius_term(double a, double ea, double b, double eb) {
  return ea * eb + (ea * __builtin_fabs(b) + eb * __builtin_fabs(a));
}

}  // namespace
}  // namespace quorvex::kernels::loops
