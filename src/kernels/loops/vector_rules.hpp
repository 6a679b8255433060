// The NaN-ignoring least / greatest of two registers, lane by lane, for the
// register types of the per-target files (their masks may be registers or
// bits): min(y, x) keeps x on ties and when y is NaN, and a NaN x gives y —
// the scalar rule of rules/ball.hpp in every lane. Internal linkage, like
// every loop header.
#pragma once

namespace quorvex::kernels::vector_rules {
namespace {

template <class V>
typename V::Reg nan_min(typename V::Reg x, typename V::Reg y) {
  return V::select(V::is_nan(x), y, V::min(y, x));
}
template <class V>
typename V::Reg nan_max(typename V::Reg x, typename V::Reg y) {
  return V::select(V::is_nan(x), y, V::max(y, x));
}

}  // namespace
}  // namespace quorvex::kernels::vector_rules
