// The two decimal formats of rendered arrays; no locale is involved.
#pragma once

#include <cstddef>
#include <string>

namespace quorvex {

// Longest plain text: a sign, "0.", 323 zeros and one digit (5e-324), or a
// sign and 309 integer digits; rounded up.
inline constexpr std::size_t kPlainMaxChars = 336;
// Sign, "d.dddddd", "e-" and three exponent digits, or "-inf".
inline constexpr std::size_t kExponent6MaxChars = 16;

// Shortest round-trip digits written positionally: 1 -> "1", 1e-7 -> "0.0000001",
// -0.0 -> "-0", "inf", "-inf", "NaN".
std::string format_plain(double x);
// Seven significant digits, correctly rounded: 0.25 -> "2.500000e-1", "inf", "NaN".
std::string format_exponent6(double x);

// The same texts written into `out` (at least kPlainMaxChars / kExponent6MaxChars
// bytes, not terminated); return the number of bytes written. They let callers
// size a joined text before allocating it.
std::size_t write_plain(double x, char* out);
std::size_t write_exponent6(double x, char* out);

}  // namespace quorvex
