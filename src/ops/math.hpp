// Elementwise elementary functions, all through apply_endpoint_kernel.
#pragma once

#include "array/interval_array.hpp"

namespace quorvex {

Result<IntervalArray> array_sqrt(const IntervalArray& a);
Result<IntervalArray> array_exp(const IntervalArray& a);
Result<IntervalArray> array_ln(const IntervalArray& a);
Result<IntervalArray> array_log2(const IntervalArray& a);
Result<IntervalArray> array_log10(const IntervalArray& a);
Result<IntervalArray> array_abs(const IntervalArray& a);
Result<IntervalArray> array_sin(const IntervalArray& a);
Result<IntervalArray> array_cos(const IntervalArray& a);
Result<IntervalArray> array_tan(const IntervalArray& a);

}  // namespace quorvex
