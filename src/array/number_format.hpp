// The two decimal formats of rendered arrays; no locale is involved.
#pragma once

#include <string>

namespace quorvex {

// Shortest round-trip digits written positionally: 1 -> "1", 1e-7 -> "0.0000001",
// -0.0 -> "-0", "inf", "-inf", "NaN".
std::string format_plain(double x);
// Seven significant digits, correctly rounded: 0.25 -> "2.500000e-1", "inf", "NaN".
std::string format_exponent6(double x);

}  // namespace quorvex
