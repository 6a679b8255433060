#include "array/shape_ops.hpp"

#include <algorithm>
#include <string>

#include "support/panic.hpp"

namespace quorvex {

Result<IntervalArray> reshape(const IntervalArray& a, const Shape& shape) {
  QV_TRY(new_size, element_count(shape));
  if (new_size != a.size()) {
    panic(assertion_message("cannot reshape array of size " + std::to_string(a.size()) +
                                " into shape " + format_dims(shape),
                            std::to_string(a.size()), std::to_string(new_size)));
  }
  return a.with_shape(shape);
}

Result<IntervalArray> transpose(const IntervalArray& a) {
  assert_eq(a.ndim(), std::uint64_t{2}, "transpose only supports 2D arrays");
  const std::uint64_t rows = a.shape()[0];
  const std::uint64_t cols = a.shape()[1];
  QV_TRY(result, IntervalArray::zeros(Shape{cols, rows}));
  if (result.size() == 0) return result;
  QV_TRY(out, result.writable());
  const double* mid = a.midpoints().data();
  const double* rad = a.radii().data();
  // Square tiles keep both the rows read and the columns written in cache;
  // every element is still visited exactly once.
  constexpr std::uint64_t kTile = 32;
  for (std::uint64_t i0 = 0; i0 < rows; i0 += kTile) {
    const std::uint64_t i1 = std::min(rows, i0 + kTile);
    for (std::uint64_t j0 = 0; j0 < cols; j0 += kTile) {
      const std::uint64_t j1 = std::min(cols, j0 + kTile);
      for (std::uint64_t i = i0; i < i1; ++i) {
        for (std::uint64_t j = j0; j < j1; ++j) {
          // Through the bounds, like every element reader.
          const auto [lo, hi] = rules::endpoints_of(mid[i * cols + j], rad[i * cols + j]);
          const Ball ball = rules::ball_from_endpoints(lo, hi);
          out.mid[j * rows + i] = ball.mid;
          out.rad[j * rows + i] = ball.rad;
        }
      }
    }
  }
  return result;
}

}  // namespace quorvex
