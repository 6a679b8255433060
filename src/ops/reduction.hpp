// Whole-array reductions to one ball and running sums. Shapes are ignored
// (flat storage order) except by cumsum.
#pragma once

#include "array/interval_array.hpp"

namespace quorvex {

Ball array_sum(const IntervalArray& a);
Ball array_mean(const IntervalArray& a);
Result<IntervalArray> array_cumsum(const IntervalArray& a);
Ball array_var(const IntervalArray& a);
Ball array_std(const IntervalArray& a);
Ball array_norm(const IntervalArray& a);
// Panics "dot: length mismatch" for unequal element counts.
Ball array_dot(const IntervalArray& a, const IntervalArray& b);
Ball array_prod(const IntervalArray& a);
// Panic "min of empty array" / "max of empty array".
Ball array_min_val(const IntervalArray& a);
Ball array_max_val(const IntervalArray& a);

}  // namespace quorvex
