// Strided views of interval data: what the engine computes on. A view reads
// the balls of one storage (or one plain number) at an element offset, with
// any shape and any strides in elements: negative ones for reversed axes, 0
// for broadcast ones. Midpoints and radii share the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "array/interval_array.hpp"
#include "support/error.hpp"

namespace quorvex::engine {

using Extents = std::vector<std::int64_t>;

struct StridedBalls {
  const double* mid = nullptr;  // the element at index (0, ..., 0)
  const double* rad = nullptr;
  Extents shape;
  Extents strides;  // in elements; 0 along broadcast axes

  std::int64_t size() const noexcept;
  std::size_t ndim() const noexcept { return shape.size(); }
};

// The view of `storage` at `offset`; fails with ValueError unless every
// element it can reach lies inside the storage (an empty view reaches none).
Result<StridedBalls> view_of(const IntervalStorage& storage, std::int64_t offset, Extents shape,
                             Extents strides);

// The whole array, row-major.
StridedBalls view_of(const IntervalArray& array);

// A plain number as a 0-d exact ball; `cell` holds (s, 0.0) and must outlive the view.
StridedBalls view_of_number(const double (&cell)[2]);

// Row-major strides of `shape`.
Extents row_major(const Extents& shape);

// The shape as the array value's type, for results.
Shape to_shape(const Extents& shape);

}  // namespace quorvex::engine
