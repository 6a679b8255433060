#include "array/interval_array.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "support/panic.hpp"

namespace quorvex {

Result<std::uint64_t> element_count(std::span<const std::uint64_t> shape) {
  std::uint64_t count = 1;
  bool overflow = false;
  // Strides are suffix products, so checking every suffix product covers both
  // the element count and every stride.
  for (std::size_t j = shape.size(); j-- > 0;) {
    if (__builtin_mul_overflow(count, shape[j], &count)) overflow = true;
    if (overflow) break;
  }
  if (overflow) {
    return value_error("shape " + format_dims(shape) +
                       " is too large: its element count does not fit in 64 bits");
  }
  return count;
}

Shape row_major_strides(std::span<const std::uint64_t> shape) {
  Shape strides(shape.size());
  if (!shape.empty()) {
    strides.back() = 1;
    for (std::size_t j = shape.size() - 1; j-- > 0;) strides[j] = strides[j + 1] * shape[j + 1];
  }
  return strides;
}

Result<IntervalArray> IntervalArray::allocate(Shape shape,
                                              Result<StorageRef> (*storage_of)(std::uint64_t)) {
  QV_TRY(size, element_count(shape));
  QV_TRY(storage, storage_of(size));
  Shape strides = row_major_strides(shape);
  return IntervalArray(std::move(shape), std::move(strides), std::move(storage), size);
}

IntervalArray IntervalArray::of_storage(StorageRef storage, Shape shape) {
  const std::uint64_t size = storage->len();
  Shape strides = row_major_strides(shape);
  return IntervalArray(std::move(shape), std::move(strides), std::move(storage), size);
}

Result<IntervalArray> IntervalArray::zeros(Shape shape) {
  return allocate(std::move(shape), StorageRef::zeroed);
}

Result<IntervalArray> IntervalArray::for_overwrite(Shape shape) {
  return allocate(std::move(shape), StorageRef::for_overwrite);
}

Result<IntervalArray> IntervalArray::for_midpoints(Shape shape) {
  return allocate(std::move(shape), StorageRef::for_midpoints);
}

Result<IntervalArray> IntervalArray::uniform(Shape shape, double m, double r) {
  QV_TRY(array, zeros(std::move(shape)));
  QV_TRY(runs, array.writable());
  std::fill(runs.mid.begin(), runs.mid.end(), m);
  std::fill(runs.rad.begin(), runs.rad.end(), r);
  return array;
}

Result<IntervalArray> IntervalArray::exact_1d(std::span<const double> mids) {
  QV_TRY(array, zeros(Shape{mids.size()}));
  if (!mids.empty()) {
    QV_TRY(runs, array.writable());
    std::memcpy(runs.mid.data(), mids.data(), mids.size_bytes());
  }
  return array;
}

Result<IntervalArray> IntervalArray::from_parts(std::span<const double> mids,
                                                std::span<const double> rads, Shape shape) {
  QV_TRY(size, element_count(shape));
  assert_eq(std::uint64_t{mids.size()}, size, "");
  assert_eq(std::uint64_t{rads.size()}, size, "");
  QV_TRY(storage, StorageRef::from_parts(mids, rads));
  Shape strides = row_major_strides(shape);
  return IntervalArray(std::move(shape), std::move(strides), std::move(storage), size);
}

Result<WritableRuns> IntervalArray::writable() {
  if (size_ != 0 && !storage_.is_unique()) {
    QV_TRY(fresh, StorageRef::zeroed(size_));
    std::memcpy(fresh->mutable_midpoints(), storage_->midpoints(), 16 * size_);
    storage_ = std::move(fresh);
  }
  if (size_ == 0) return WritableRuns{};
  return WritableRuns{{storage_->mutable_midpoints(), static_cast<std::size_t>(size_)},
                      {storage_->mutable_radii(), static_cast<std::size_t>(size_)}};
}

IntervalArray IntervalArray::with_shape(Shape shape) const {
  Shape strides = row_major_strides(shape);
  return IntervalArray(std::move(shape), std::move(strides), storage_, size_);
}

}  // namespace quorvex
