// The elementwise operators. Array-array forms check element counts before
// shapes (so a count mismatch is what gets reported when both differ). Every
// result is written in place without a zero fill first: paths that compute
// midpoints and radii allocate it for overwriting, the exact fast paths as an
// exact array whose midpoints they write. Nothing is copied after it is
// computed.
#include "ops/arithmetic.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "ops/arithmetic_chunks.hpp"
#include "rules/ball.hpp"
#include "simd/dispatch.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

// The assertion texts of one operator, fixed so the check costs no allocation.
struct Checks {
  std::string_view lengths;
  std::string_view shapes;
};
constexpr Checks kAdd{"array lengths must match for add", "shapes must match for add"};
constexpr Checks kSub{"array lengths must match for sub", "shapes must match for sub"};
constexpr Checks kMul{"array lengths must match for mul", "shapes must match for mul"};
constexpr Checks kDiv{"array lengths must match for div", "shapes must match for div"};

void check_operands(const IntervalArray& a, const IntervalArray& b, const Checks& checks) {
  assert_eq(a.size(), b.size(), checks.lengths);
  assert_eq(a.shape(), b.shape(), checks.shapes);
}

// Quotients go block by block: the divisor scan and the kernel read each
// block from memory once.
constexpr std::size_t kDivisionBlock = 4096;

// Index of the first divisor that may be zero, or the length when none does.
std::size_t first_zero_divisor(std::span<const double> mb, std::span<const double> rb) {
  for (std::size_t i = 0; i < mb.size(); ++i) {
    if (rules::contains_zero(mb[i], rb[i])) return i;
  }
  return mb.size();
}

// Sum or difference of two arrays.
template <class MidpointKernel>
Result<IntervalArray> sum_like(const IntervalArray& a, const IntervalArray& b, const Checks& op,
                               MidpointKernel midpoint_kernel,
                               arith::IntervalKernel interval_kernel) {
  check_operands(a, b, op);
  if (rules::is_exact(a.radii()) && rules::is_exact(b.radii())) {
    QV_TRY(out, IntervalArray::for_midpoints(a.shape()));
    QV_TRY(runs, out.writable());
    midpoint_kernel(a.midpoints(), b.midpoints(), runs.mid);
    return out;
  }
  QV_TRY(out, IntervalArray::for_overwrite(a.shape()));
  QV_TRY(runs, out.writable());
  arith::run_interval_kernel(interval_kernel, a.midpoints(), a.radii(), b.midpoints(), b.radii(),
                             runs.mid, runs.rad);
  return out;
}

// The endpoint-sum rule with the point pair (p, p): one pass per run.
Result<IntervalArray> add_point_pair(const IntervalArray& a, double p, bool negate_first) {
  const double cm = (p + p) * 0.5;
  const double cr = (p - p) * 0.5;
  QV_TRY(out, IntervalArray::for_overwrite(a.shape()));
  QV_TRY(runs, out.writable());
  if (negate_first) {
    simd::sign_flip(a.midpoints(), runs.mid);
    simd::broadcast_sum(runs.mid, cm, runs.mid);
  } else {
    simd::broadcast_sum(a.midpoints(), cm, runs.mid);
  }
  simd::broadcast_sum(a.radii(), cr, runs.rad);
  return out;
}

}  // namespace

Result<IntervalArray> add(const IntervalArray& a, const IntervalArray& b) {
  return sum_like(a, b, kAdd, simd::midpoint_sum, simd::interval_sum);
}

Result<IntervalArray> sub(const IntervalArray& a, const IntervalArray& b) {
  return sum_like(a, b, kSub, simd::midpoint_difference, simd::interval_difference);
}

Result<IntervalArray> mul(const IntervalArray& a, const IntervalArray& b) {
  check_operands(a, b, kMul);
  const bool a_exact = rules::is_exact(a.radii());
  const bool b_exact = rules::is_exact(b.radii());
  QV_TRY(out, a_exact && b_exact ? IntervalArray::for_midpoints(a.shape())
                                 : IntervalArray::for_overwrite(a.shape()));
  QV_TRY(runs, out.writable());
  if (b_exact) {
    // With rb = 0 the product radius reduces to |mb| * ra (zero when a is exact too).
    simd::midpoint_product(a.midpoints(), b.midpoints(), runs.mid);
    if (!a_exact) simd::absolute_product(b.midpoints(), a.radii(), runs.rad);
  } else {
    arith::run_interval_kernel(simd::interval_product, a.midpoints(), a.radii(), b.midpoints(),
                               b.radii(), runs.mid, runs.rad);
  }
  return out;
}

Result<IntervalArray> div(const IntervalArray& a, const IntervalArray& b) {
  check_operands(a, b, kDiv);
  // The divisor scan and the quotients go block by block, so each block is
  // read from memory once. A divisor that may be zero, found in any block,
  // discards what earlier blocks wrote: the whole array then goes through
  // endpoint division (which writes midpoints and radii), leaving the thread
  // in round-to-nearest.
  const bool exact = rules::is_exact(a.radii()) && rules::is_exact(b.radii());
  QV_TRY(out,
         exact ? IntervalArray::for_midpoints(a.shape()) : IntervalArray::for_overwrite(a.shape()));
  QV_TRY(runs, out.writable());
  const auto ma = a.midpoints(), ra = a.radii(), mb = b.midpoints(), rb = b.radii();
  const std::size_t n = ma.size();
  for (std::size_t start = 0; start < n; start += kDivisionBlock) {
    const std::size_t len = std::min(kDivisionBlock, n - start);
    if (first_zero_divisor(mb.subspan(start, len), rb.subspan(start, len)) < len) {
      simd::endpoint_division(ma, ra, mb, rb, runs.mid, runs.rad);
      return out;
    }
    if (exact) {
      simd::midpoint_quotient(ma.subspan(start, len), mb.subspan(start, len),
                              runs.mid.subspan(start, len));
    } else {
      simd::interval_quotient(ma.subspan(start, len), ra.subspan(start, len),
                              mb.subspan(start, len), rb.subspan(start, len),
                              runs.mid.subspan(start, len), runs.rad.subspan(start, len));
    }
  }
  return out;
}

void divide_elementwise(std::span<const double> ma, std::span<const double> ra,
                        std::span<const double> mb, std::span<const double> rb,
                        std::span<double> out_mid, std::span<double> out_rad, bool rigorous) {
  const std::size_t n = ma.size();
  const auto quotient = rigorous ? simd::rigorous_quotient : simd::interval_quotient;
  for (std::size_t start = 0; start < n; start += kDivisionBlock) {
    const std::size_t len = std::min(kDivisionBlock, n - start);
    const auto bm = mb.subspan(start, len), br = rb.subspan(start, len);
    quotient(ma.subspan(start, len), ra.subspan(start, len), bm, br, out_mid.subspan(start, len),
             out_rad.subspan(start, len));
    // The rare divisors that may be zero are redone one by one by endpoints.
    for (std::size_t i = first_zero_divisor(bm, br); i < len;
         i += 1 + first_zero_divisor(bm.subspan(i + 1), br.subspan(i + 1))) {
      const std::size_t at = start + i;
      simd::endpoint_division(ma.subspan(at, 1), ra.subspan(at, 1), mb.subspan(at, 1),
                              rb.subspan(at, 1), out_mid.subspan(at, 1), out_rad.subspan(at, 1));
    }
  }
}

Result<IntervalArray> div_elementwise(const IntervalArray& a, const IntervalArray& b) {
  check_operands(a, b, kDiv);
  QV_TRY(out, IntervalArray::for_overwrite(a.shape()));
  QV_TRY(runs, out.writable());
  divide_elementwise(a.midpoints(), a.radii(), b.midpoints(), b.radii(), runs.mid, runs.rad);
  return out;
}

Result<IntervalArray> add_scalar(const IntervalArray& a, double s) {
  return add_point_pair(a, s, false);
}

Result<IntervalArray> sub_scalar(const IntervalArray& a, double s) {
  return add_point_pair(a, rules::flip_sign(s), false);
}

Result<IntervalArray> rsub_scalar(double s, const IntervalArray& a) {
  return add_point_pair(a, s, true);
}

Result<IntervalArray> mul_scalar(const IntervalArray& a, double s) {
  QV_TRY(out, IntervalArray::for_overwrite(a.shape()));
  QV_TRY(runs, out.writable());
  simd::broadcast_product(a.midpoints(), s, runs.mid);
  simd::broadcast_product(a.radii(), rules::abs_bits(s), runs.rad);
  return out;
}

Result<IntervalArray> div_scalar(const IntervalArray& a, double s) {
  return mul_scalar(a, 1.0 / s);
}

Result<IntervalArray> negate(const IntervalArray& a) {
  QV_TRY(out, IntervalArray::for_overwrite(a.shape()));
  QV_TRY(runs, out.writable());
  simd::sign_flip(a.midpoints(), runs.mid);
  if (a.size() != 0) std::memcpy(runs.rad.data(), a.radii().data(), a.size() * sizeof(double));
  return out;
}

}  // namespace quorvex
