// The elementwise elementary functions. sqrt, exp, ln and sin map only the
// midpoints of an exact array (the radii of the zero-filled result stay 0.0);
// everything else goes through the endpoint driver.
#include "ops/math.hpp"

#include <cmath>
#include <limits>

#include "array/access.hpp"
#include "ops/endpoint_driver.hpp"
#include "ops/endpoint_kernels.hpp"
#include "simd/dispatch.hpp"

namespace quorvex {
namespace {

// The exact fast path: out_mid[i] = f(mid[i]) on the calling thread; radii +0.0.
template <class F>
Result<IntervalArray> map_exact_midpoints(const IntervalArray& a, F&& f) {
  QV_TRY(result, IntervalArray::for_midpoints(a.shape()));
  if (a.size() == 0) return result;
  QV_TRY(out, result.writable());
  f(a.midpoints(), out.mid);
  return result;
}

}  // namespace

Result<IntervalArray> array_sqrt(const IntervalArray& a) {
  if (is_exact(a)) {
    return map_exact_midpoints(
        a, [](std::span<const double> m, std::span<double> o) { simd::sqrt_exact(m, o); });
  }
  return apply_endpoint_kernel<sqrt_endpoints>(a);
}

Result<IntervalArray> array_exp(const IntervalArray& a) {
  if (is_exact(a)) {
    return map_exact_midpoints(a, [](std::span<const double> m, std::span<double> o) {
      for (std::size_t i = 0; i < m.size(); ++i) o[i] = std::exp(m[i]);
    });
  }
  return apply_endpoint_kernel<exp_endpoints>(a);
}

Result<IntervalArray> array_ln(const IntervalArray& a) {
  if (is_exact(a)) {
    return map_exact_midpoints(a, [](std::span<const double> m, std::span<double> o) {
      constexpr double kMinusInf = -std::numeric_limits<double>::infinity();
      // Zero, negative and NaN midpoints all give -inf here (the kernel path
      // gives NaN for them instead).
      for (std::size_t i = 0; i < m.size(); ++i) o[i] = m[i] > 0.0 ? std::log(m[i]) : kMinusInf;
    });
  }
  return apply_endpoint_kernel<ln_endpoints>(a);
}

Result<IntervalArray> array_log2(const IntervalArray& a) {
  return apply_endpoint_kernel<log2_endpoints>(a);
}

Result<IntervalArray> array_log10(const IntervalArray& a) {
  return apply_endpoint_kernel<log10_endpoints>(a);
}

Result<IntervalArray> array_abs(const IntervalArray& a) {
  return apply_endpoint_kernel<abs_endpoints>(a);
}

Result<IntervalArray> array_sin(const IntervalArray& a) {
  if (is_exact(a)) {
    return map_exact_midpoints(a, [](std::span<const double> m, std::span<double> o) {
      for (std::size_t i = 0; i < m.size(); ++i) o[i] = std::sin(m[i]);
    });
  }
  return apply_endpoint_kernel<sin_endpoints>(a);
}

Result<IntervalArray> array_cos(const IntervalArray& a) {
  return apply_endpoint_kernel<cos_endpoints>(a);
}

Result<IntervalArray> array_tan(const IntervalArray& a) {
  return apply_endpoint_kernel<tan_endpoints>(a);
}

}  // namespace quorvex
