// Temporary: replaced by the reduction implementation.
#include "ops/reduction.hpp"
#include "support/panic.hpp"

namespace quorvex {
Ball array_sum(const IntervalArray&) { panic("not implemented"); }
Ball array_mean(const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> array_cumsum(const IntervalArray&) { panic("not implemented"); }
Ball array_var(const IntervalArray&) { panic("not implemented"); }
Ball array_std(const IntervalArray&) { panic("not implemented"); }
Ball array_norm(const IntervalArray&) { panic("not implemented"); }
Ball array_dot(const IntervalArray&, const IntervalArray&) { panic("not implemented"); }
Ball array_prod(const IntervalArray&) { panic("not implemented"); }
Ball array_min_val(const IntervalArray&) { panic("not implemented"); }
Ball array_max_val(const IntervalArray&) { panic("not implemented"); }
}  // namespace quorvex
