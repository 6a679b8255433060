#include "array/render.hpp"

#include <array>
#include <cstring>

#include "array/access.hpp"
#include "array/number_format.hpp"
#include "support/panic.hpp"

namespace quorvex {

namespace {

// Arrays with more elements are summarised instead of listed.
constexpr std::uint64_t kMaxListed = 8;

// One listed element: either a single number or "mid+/-rad".
struct Item {
  char mid[kPlainMaxChars];
  char rad[kPlainMaxChars];
  std::size_t mid_len = 0;
  std::size_t rad_len = 0;  // 0: the element prints as one number
};

std::string render_summary(const IntervalArray& a) {
  char err[kExponent6MaxChars];
  const std::size_t err_len = write_exponent6(max_relative_error(a), err);
  std::string text = "IntervalArray(shape=" + format_dims(a.shape()) + ", max_err=";
  text.append(err, err_len);
  text += ')';
  return text;
}

std::string render_elements(const IntervalArray& a) {
  static constexpr char kHead[] = "IntervalArray([";
  static constexpr char kTail[] = "])";
  const auto mids = a.midpoints();
  const auto rads = a.radii();
  const std::size_t n = mids.size();

  std::array<Item, kMaxListed> items;
  std::size_t total = sizeof kHead - 1 + sizeof kTail - 1 + (n > 0 ? 2 * (n - 1) : 0);
  for (std::size_t k = 0; k < n; ++k) {
    Item& item = items[k];
    const auto [lo, hi] = rules::endpoints_of(mids[k], rads[k]);
    if (lo == hi) {
      item.mid_len = write_plain(lo, item.mid);
    } else {
      // Also taken when a bound is NaN: the ball from the two bounds.
      const Ball ball = rules::ball_from_endpoints(lo, hi);
      item.mid_len = write_plain(ball.mid, item.mid);
      item.rad_len = write_plain(ball.rad, item.rad);
      total += 3;  // "+/-"
    }
    total += item.mid_len + item.rad_len;
  }

  std::string text;
  text.reserve(total);
  text.append(kHead, sizeof kHead - 1);
  for (std::size_t k = 0; k < n; ++k) {
    if (k != 0) text.append(", ", 2);
    text.append(items[k].mid, items[k].mid_len);
    if (items[k].rad_len != 0) {
      text.append("+/-", 3);
      text.append(items[k].rad, items[k].rad_len);
    }
  }
  text.append(kTail, sizeof kTail - 1);
  return text;
}

}  // namespace

std::string render(const IntervalArray& a) {
  return a.size() > kMaxListed ? render_summary(a) : render_elements(a);
}

}  // namespace quorvex
