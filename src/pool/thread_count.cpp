// How many threads the pool gets: the two environment variables, then the
// processor count, capped.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "pool/pool.hpp"

namespace quorvex::pool {

std::optional<std::uint64_t> parse_count(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  std::string_view digits = *text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (char c : digits) {
    // Only ASCII digits: bytes of other encodings, signs and spaces all fail.
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::size_t thread_count_from(std::optional<std::string_view> num_threads,
                              std::optional<std::string_view> rs_num_cpus,
                              std::size_t default_count) {
  const auto capped = [](std::uint64_t n) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(n, kMaxThreads));
  };
  const std::size_t fallback = capped(std::max<std::size_t>(default_count, 1));
  if (const auto n = parse_count(num_threads)) {
    // An explicit 0 asks for the default and settles the question.
    return *n > 0 ? capped(*n) : fallback;
  }
  if (const auto n = parse_count(rs_num_cpus); n && *n > 0) return capped(*n);
  return fallback;
}

}  // namespace quorvex::pool
