// Reductions and running reductions along axes of a strided view. Each
// result element reduces its run of balls (the reduced axes, in row-major
// order) exactly as the whole-array reduction reduces a contiguous array, so
// reducing a 1-D array along its axis gives the whole-array bits.
#pragma once

#include <span>

#include "engine/operations.hpp"
#include "engine/strided.hpp"

namespace quorvex::engine {

// X(code, "name")
#define QUORVEX_REDUCTIONS(X) \
  X(kSum, "sum")              \
  X(kMean, "mean")            \
  X(kVar, "var")              \
  X(kStd, "std")              \
  X(kProd, "prod")            \
  X(kMin, "min")              \
  X(kMax, "max")              \
  X(kNorm, "norm")

#define QUORVEX_ACCUMULATIONS(X) \
  X(kCumsum, "cumsum")           \
  X(kCumprod, "cumprod")

#define QV_CODE(code, name) code,
enum class Reduction { QUORVEX_REDUCTIONS(QV_CODE) };
enum class Accumulation { QUORVEX_ACCUMULATIONS(QV_CODE) };
#undef QV_CODE

std::span<const std::string_view> reduction_names() noexcept;
std::span<const std::string_view> accumulation_names() noexcept;

// Reduces `axes` (distinct, in range, any order) away: the result has the
// shape of x without them. `ddof` is for var and std. min and max of no
// ball fail with numpy's ValueError.
Result<IntervalArray> reduce(Reduction reduction, const StridedBalls& x,
                             std::span<const std::int64_t> axes, double ddof,
                             Model model = Model::kFirstOrder);

// Running reduction along `axis`; the result has x's shape.
Result<IntervalArray> accumulate(Accumulation accumulation, const StridedBalls& x,
                                 std::int64_t axis, Model model = Model::kFirstOrder);

}  // namespace quorvex::engine
