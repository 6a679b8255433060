// Array-building entry points behind array(), zeros(), ones(), full(),
// arange() and linspace(). Arguments arrive already converted.
#pragma once

#include <cstdint>
#include <span>

#include "array/interval_array.hpp"

namespace quorvex {

Result<IntervalArray> make_array(std::span<const double> values, double error);
Result<IntervalArray> make_zeros(const Shape& shape);
Result<IntervalArray> make_ones(const Shape& shape);
Result<IntervalArray> make_full(const Shape& shape, double value, double error);
// Panics "arange: step cannot be zero"; ValueError when the loop could not end,
// MemoryError when the point count cannot be stored.
Result<IntervalArray> make_arange(double start, double stop, double step);
Result<IntervalArray> make_linspace(double start, double stop, std::uint64_t num);

}  // namespace quorvex
