#include "array/constructors.hpp"

#include <sys/sysinfo.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "support/panic.hpp"

namespace quorvex {

namespace {

// "1e-300", "0.1", "inf": shortest round-trip text for messages.
std::string short_text(double x) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

// The most points a range constructor will try to store: no more than the
// largest storage layout, and no more than the machine's memory and swap
// could hold at 16 bytes per point (beyond that the pages could never all be
// written).
std::uint64_t max_range_points() {
  std::uint64_t limit = kMaxStorageBytes / 16;
  struct sysinfo info{};
  if (sysinfo(&info) == 0) {
    const unsigned __int128 bytes =
        (static_cast<unsigned __int128>(info.totalram) + info.totalswap) * info.mem_unit;
    const unsigned __int128 points = bytes / 16;
    if (points < limit) limit = static_cast<std::uint64_t>(points);
  }
  return limit;
}

Error too_many_points(const char* name, long double count, std::uint64_t limit) {
  char buf[64];
  const double approx = static_cast<double>(count);
  const auto end = std::to_chars(buf, buf + sizeof buf, approx, std::chars_format::general, 6).ptr;
  return memory_error(std::string(name) + ": " + std::string(buf, end) +
                      " points cannot be stored (at most " + std::to_string(limit) +
                      " points of 16 bytes fit in memory)");
}

Error never_ends(double x, double step) {
  if (std::isinf(x)) {
    return value_error("arange: the range never ends: the running value starts at " +
                       short_text(x) + " and a finite step cannot move it");
  }
  return value_error("arange: the range never ends: adding the step " + short_text(step) + " to " +
                     short_text(x) + " no longer changes the running value");
}

// The running-sum loop shared by the counting and the filling pass. `emit` is
// called with each point; returns false as soon as the value stops advancing
// inside the range (the loop could then never end).
template <class Emit>
bool run_arange(double start, double stop, double step, std::uint64_t limit, double* stuck_at,
                std::uint64_t* count, Emit emit) {
  std::uint64_t k = 0;
  double x = start;
  const bool up = step > 0;
  while (up ? stop > x : stop < x) {
    if (k == limit) {
      *count = k + 1;  // at least this many
      return true;
    }
    emit(k, x);
    ++k;
    const double next = x + step;
    if (next == x) {
      *stuck_at = x;
      return false;
    }
    x = next;
  }
  *count = k;
  return true;
}

}  // namespace

Result<IntervalArray> make_array(std::span<const double> values, double error) {
  QV_TRY(result, IntervalArray::zeros(Shape{values.size()}));
  if (values.empty()) return result;
  QV_TRY(runs, result.writable());
  std::memcpy(runs.mid.data(), values.data(), values.size_bytes());
  // An error equal to zero (either sign) leaves the allocator's +0.0 radii.
  if (error != 0.0) std::fill(runs.rad.begin(), runs.rad.end(), error);
  return result;
}

Result<IntervalArray> make_zeros(const Shape& shape) {
  return IntervalArray::zeros(shape);
}

Result<IntervalArray> make_ones(const Shape& shape) {
  return make_full(shape, 1.0, 0.0);
}

Result<IntervalArray> make_full(const Shape& shape, double value, double error) {
  // The ball from the bounds: the midpoint is not `value` when the rounding of
  // lo and hi does not cancel (or lo + hi overflows).
  const rules::Endpoints e = rules::endpoints_of(value, error);
  const Ball b = rules::ball_from_endpoints(e.lo, e.hi);
  if (std::bit_cast<std::uint64_t>(b.mid) == 0 && std::bit_cast<std::uint64_t>(b.rad) == 0) {
    return IntervalArray::zeros(shape);  // already all +0.0
  }
  return IntervalArray::uniform(shape, b.mid, b.rad);
}

Result<IntervalArray> make_arange(double start, double stop, double step) {
  if (step == 0.0) panic("arange: step cannot be zero");
  const bool up = step > 0;  // NaN steps go the downward way, at most one point
  const bool in_range = up ? stop > start : stop < start;
  if (!in_range) return IntervalArray::zeros(Shape{0});

  // Estimate the point count before looping, so a range that could never be
  // stored is refused at once. An infinite stop is replaced by the largest
  // finite value: the loop can only pass it by overflowing to infinity.
  const std::uint64_t limit = max_range_points();
  if (std::isfinite(step)) {
    const double far = std::isinf(stop) ? std::copysign(DBL_MAX, stop) : stop;
    const long double estimate =
        (static_cast<long double>(far) - static_cast<long double>(start)) / step;
    if (!(estimate <= static_cast<long double>(limit))) {
      // Too many points either way; say whether the loop could even end. The
      // value stops advancing where step is below half a unit in the last
      // place, and the largest magnitudes of the range are at its two ends.
      const double last = std::nextafter(far, start);
      if (start + step == start) return never_ends(start, step);
      if (std::isinf(stop)) {
        return value_error("arange: the range never ends: the step " + short_text(step) +
                           " is too small to reach an infinite stop");
      }
      if (last + step == last) return never_ends(last, step);
      return too_many_points("arange", estimate, limit);
    }
  }

  // Count with the loop itself, then fill a storage of exactly that size by
  // running the same sums again: no point list, no copy of the result.
  double stuck_at = 0.0;
  std::uint64_t count = 0;
  if (!run_arange(start, stop, step, limit, &stuck_at, &count, [](std::uint64_t, double) {})) {
    return never_ends(stuck_at, step);
  }
  if (count > limit) return too_many_points("arange", count, limit);
  QV_TRY(result, IntervalArray::zeros(Shape{count}));
  QV_TRY(runs, result.writable());
  double* out = runs.mid.data();
  (void)run_arange(start, stop, step, limit, &stuck_at, &count,
                   [out](std::uint64_t k, double x) { out[k] = x; });
  return result;
}

Result<IntervalArray> make_linspace(double start, double stop, std::uint64_t num) {
  if (num == 0) return IntervalArray::zeros(Shape{0});
  const std::uint64_t limit = max_range_points();
  if (num > limit) return too_many_points("linspace", num, limit);
  QV_TRY(result, IntervalArray::zeros(Shape{num}));
  QV_TRY(runs, result.writable());
  double* out = runs.mid.data();
  if (num == 1) {
    out[0] = start;
    return result;
  }
  const double d = (stop - start) / static_cast<double>(num - 1);
  // num is below 2^63 here, so the signed conversion (one instruction) is exact
  // wherever the unsigned one would be.
  const auto n = static_cast<std::int64_t>(num);
  for (std::int64_t i = 0; i < n; ++i) {
    // A product and a sum, each rounded; never fused.
    const double scaled = static_cast<double>(i) * d;
    out[i] = scaled + start;
  }
  return result;
}

}  // namespace quorvex
