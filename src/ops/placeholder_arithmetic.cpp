// Temporary: replaced by the arithmetic implementation.
#include "ops/arithmetic.hpp"
#include "support/panic.hpp"

namespace quorvex {
Result<IntervalArray> add(const IntervalArray&, const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> sub(const IntervalArray&, const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> mul(const IntervalArray&, const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> div(const IntervalArray&, const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> add_scalar(const IntervalArray&, double) { panic("not implemented"); }
Result<IntervalArray> sub_scalar(const IntervalArray&, double) { panic("not implemented"); }
Result<IntervalArray> rsub_scalar(double, const IntervalArray&) { panic("not implemented"); }
Result<IntervalArray> mul_scalar(const IntervalArray&, double) { panic("not implemented"); }
Result<IntervalArray> div_scalar(const IntervalArray&, double) { panic("not implemented"); }
Result<IntervalArray> negate(const IntervalArray&) { panic("not implemented"); }
}  // namespace quorvex
