// The interval array value: a row-major shape over one shared IntervalStorage.
// Values are immutable once wrapped into a Python object; results are built in
// a fresh storage (zero-filled, or for overwriting where every element gets
// written) that the operation fills while it holds it alone.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "array/storage.hpp"
#include "rules/ball.hpp"
#include "support/error.hpp"

namespace quorvex {

using Shape = std::vector<std::uint64_t>;

// Element count of a shape (1 for the empty shape); ValueError when the product
// or any row-major stride does not fit in 64 bits.
Result<std::uint64_t> element_count(std::span<const std::uint64_t> shape);

// Row-major strides; the caller has checked the shape with element_count.
Shape row_major_strides(std::span<const std::uint64_t> shape);

// Mutable runs of a storage being filled.
struct WritableRuns {
  std::span<double> mid;
  std::span<double> rad;
};

class IntervalArray {
 public:
  // The zero array of `shape`: every midpoint and radius +0.0, straight from the allocator.
  static Result<IntervalArray> zeros(Shape shape);
  // An array of `shape` whose elements are unspecified until the caller has
  // written every one of them (through writable()), before anyone else sees it.
  static Result<IntervalArray> for_overwrite(Shape shape);
  // An exact array of `shape` (radii +0.0) whose midpoints are unspecified
  // until the caller has written every one of them.
  static Result<IntervalArray> for_midpoints(Shape shape);
  // Every element (m, r).
  static Result<IntervalArray> uniform(Shape shape, double m, double r);
  // Shape [n], radii 0.
  static Result<IntervalArray> exact_1d(std::span<const double> mids);
  // Panics when a vector's length differs from the shape's element count.
  static Result<IntervalArray> from_parts(std::span<const double> mids,
                                          std::span<const double> rads, Shape shape);

  // The whole of `storage` under `shape`, whose element count must be the
  // storage's length (checked by the caller).
  static IntervalArray of_storage(StorageRef storage, Shape shape);

  // Copying an array value is the shared copy: the storage gains a share.
  IntervalArray(const IntervalArray&) = default;
  IntervalArray(IntervalArray&&) noexcept = default;
  IntervalArray& operator=(const IntervalArray&) = default;
  IntervalArray& operator=(IntervalArray&&) noexcept = default;

  const Shape& shape() const noexcept { return shape_; }
  const Shape& strides() const noexcept { return strides_; }
  std::uint64_t size() const noexcept { return size_; }
  std::uint64_t ndim() const noexcept { return shape_.size(); }
  const StorageRef& storage() const noexcept { return storage_; }

  std::span<const double> midpoints() const noexcept {
    return {storage_->midpoints(), static_cast<std::size_t>(size_)};
  }
  std::span<const double> radii() const noexcept {
    return {storage_->radii(), static_cast<std::size_t>(size_)};
  }

  // Copy on write: an exclusive storage to fill. A freshly built result is
  // always exclusive, so this is then free.
  Result<WritableRuns> writable();

  // The same elements under another shape of equal element count (checked by the caller).
  IntervalArray with_shape(Shape shape) const;

 private:
  static Result<IntervalArray> allocate(Shape shape,
                                        Result<StorageRef> (*storage_of)(std::uint64_t));
  IntervalArray(Shape shape, Shape strides, StorageRef storage, std::uint64_t size)
      : shape_(std::move(shape)),
        strides_(std::move(strides)),
        storage_(std::move(storage)),
        size_(size) {}

  Shape shape_;
  Shape strides_;
  StorageRef storage_;
  std::uint64_t size_;
};

}  // namespace quorvex
