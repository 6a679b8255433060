// The elementwise operators: + - * / with arrays and plain numbers, negation
// and exact scaling. Called with the interpreter lock released (except negate
// and scale); they touch only array values. Count and shape mismatches panic.
#pragma once

#include <span>

#include "array/interval_array.hpp"

namespace quorvex {

Result<IntervalArray> add(const IntervalArray& a, const IntervalArray& b);
Result<IntervalArray> sub(const IntervalArray& a, const IntervalArray& b);
Result<IntervalArray> mul(const IntervalArray& a, const IntervalArray& b);
Result<IntervalArray> div(const IntervalArray& a, const IntervalArray& b);

// Division whose every element depends on its own operands only: the
// quotient rule where the divisor excludes zero, endpoint division where it
// may contain zero, whatever the other elements hold. No exact fast path.
// (div above sends the whole array to endpoint division when any divisor may
// contain zero.) Leaves the thread in round-to-nearest.
Result<IntervalArray> div_elementwise(const IntervalArray& a, const IntervalArray& b);
// `rigorous` takes the rigorous model's quotient rule (every rounding
// counted); a divisor that may contain zero gives the unbounded ball either way.
void divide_elementwise(std::span<const double> ma, std::span<const double> ra,
                        std::span<const double> mb, std::span<const double> rb,
                        std::span<double> out_mid, std::span<double> out_rad,
                        bool rigorous = false);

// a + s and a - s: the endpoint-sum rule with the point pair (s, s) / (-s, -s).
Result<IntervalArray> add_scalar(const IntervalArray& a, double s);
Result<IntervalArray> sub_scalar(const IntervalArray& a, double s);
// s - a, computed as (-a) + s.
Result<IntervalArray> rsub_scalar(double s, const IntervalArray& a);
// a * s (and s * a, and scale): the scaling rule.
Result<IntervalArray> mul_scalar(const IntervalArray& a, double s);
// a / s: the scaling rule with 1.0 / s.
Result<IntervalArray> div_scalar(const IntervalArray& a, double s);
Result<IntervalArray> negate(const IntervalArray& a);

}  // namespace quorvex
