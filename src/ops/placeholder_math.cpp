// Temporary: replaced by the elementary-function implementation.
#include "ops/math.hpp"
#include "support/panic.hpp"

namespace quorvex {
Result<IntervalArray> array_sqrt(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_exp(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_ln(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_log2(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_log10(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_abs(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_sin(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_cos(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_tan(const IntervalArray&) { panic("not implemented"); }
}  // namespace quorvex
