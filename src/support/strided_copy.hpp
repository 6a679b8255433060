// Gathering the elements of a strided n-dimensional run of real numbers, as
// the buffer protocol describes one (any byte strides: negative, zero for a
// broadcast dimension, not even multiples of the element size), into a
// contiguous run of doubles.
#pragma once

#include <cstddef>
#include <span>

namespace quorvex {

// The element types a run may hold, each converted to double as a C cast
// converts it (as numpy's astype(float64) does); a bool byte other than 0
// counts as true.
enum class ElementType {
  kFloat64,
  kFloat32,
  kInt8,
  kInt16,
  kInt32,
  kInt64,
  kUInt8,
  kUInt16,
  kUInt32,
  kUInt64,
  kBool,
};

std::size_t element_size(ElementType type) noexcept;

struct StridedRun {
  const char* first;  // element [0, ..., 0]
  ElementType type;
  std::span<const std::ptrdiff_t> shape;
  std::span<const std::ptrdiff_t> strides;  // in bytes, one per dimension
};

// Writes the elements of `src`, converted, to dst[0, count) in C order, count
// being the product of its shape. src may overlap dst in any way: the result
// is that of reading all of src first, as memmove does. Throws std::bad_alloc
// when an overlapping src needs a temporary copy that cannot be had.
void gather_elements(double* dst, const StridedRun& src);

}  // namespace quorvex
