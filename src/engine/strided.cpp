#include "engine/strided.hpp"

#include <string>

namespace quorvex::engine {

std::int64_t StridedBalls::size() const noexcept {
  std::int64_t n = 1;
  for (std::int64_t d : shape) n *= d;
  return n;
}

Result<StridedBalls> view_of(const IntervalStorage& storage, std::int64_t offset, Extents shape,
                             Extents strides) {
  if (shape.size() != strides.size()) {
    return value_error("a view needs one stride per dimension");
  }
  bool empty = false;
  for (std::int64_t n : shape) {
    if (n < 0) return value_error("a view cannot have a negative dimension");
    if (n == 0) empty = true;
  }
  if (!empty) {
    // The lowest and highest element index the view reaches, checked after
    // every step so that the 128-bit sums cannot overflow.
    const auto len = static_cast<__int128>(storage.len());
    __int128 low = offset;
    __int128 high = offset;
    bool inside = low >= 0 && high < len;
    for (std::size_t d = 0; inside && d < shape.size(); ++d) {
      const __int128 reach = static_cast<__int128>(shape[d] - 1) * strides[d];
      (reach < 0 ? low : high) += reach;
      inside = low >= 0 && high < len;
    }
    if (!inside) {
      return value_error("the view reaches beyond its storage of " + std::to_string(storage.len()) +
                         " elements");
    }
  }
  StridedBalls view;
  // An empty view reads nothing; its pointers only need to be valid to form.
  const std::int64_t at = empty ? 0 : offset;
  view.mid = storage.midpoints() + at;
  view.rad = storage.radii() + at;
  view.shape = std::move(shape);
  view.strides = std::move(strides);
  return view;
}

StridedBalls view_of(const IntervalArray& array) {
  StridedBalls view;
  view.mid = array.midpoints().data();
  view.rad = array.radii().data();
  view.shape.assign(array.shape().begin(), array.shape().end());
  view.strides = row_major(view.shape);
  return view;
}

StridedBalls view_of_number(const double (&cell)[2]) {
  StridedBalls view;
  view.mid = &cell[0];
  view.rad = &cell[1];
  return view;
}

Extents row_major(const Extents& shape) {
  Extents strides(shape.size());
  std::int64_t step = 1;
  for (std::size_t d = shape.size(); d-- > 0;) {
    strides[d] = step;
    step *= shape[d];
  }
  return strides;
}

Shape to_shape(const Extents& shape) {
  return Shape(shape.begin(), shape.end());
}

}  // namespace quorvex::engine
