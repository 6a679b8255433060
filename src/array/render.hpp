#pragma once

#include <string>

#include "array/interval_array.hpp"

namespace quorvex {

// The text of repr() and str().
std::string render(const IntervalArray& a);

}  // namespace quorvex
