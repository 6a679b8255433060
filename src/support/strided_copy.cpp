#include "support/strided_copy.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/backward_copy.hpp"

namespace quorvex {

namespace {

bool c_contiguous(const StridedRun& src) {
  auto expected = static_cast<std::ptrdiff_t>(element_size(src.type));
  for (std::size_t i = src.shape.size(); i-- > 0;) {
    if (src.shape[i] != 1 && src.strides[i] != expected) return false;
    expected *= src.shape[i];
  }
  return true;
}

// Elements are read through memcpy: they need not be aligned, and a float64
// NaN is moved with its payload.
template <class T>
double load(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return static_cast<double>(value);
}

// A bool is read as its byte: any value but 0 is true.
template <>
double load<bool>(const char* p) {
  return static_cast<unsigned char>(*p) != 0 ? 1.0 : 0.0;
}

template <class T>
double* gather(double* dst, const char* p, const std::ptrdiff_t* shape,
               const std::ptrdiff_t* strides, std::size_t ndim) {
  const std::ptrdiff_t n = shape[0];
  const std::ptrdiff_t stride = strides[0];
  if (ndim > 1) {
    for (std::ptrdiff_t i = 0; i < n; ++i) {
      dst = gather<T>(dst, p + i * stride, shape + 1, strides + 1, ndim - 1);
    }
    return dst;
  }
  constexpr auto kSize = static_cast<std::ptrdiff_t>(sizeof(T));
  if (stride == kSize) {
    // The same loop as below with a constant stride, which the compiler
    // turns into a plain copy or a vector conversion.
    for (std::ptrdiff_t i = 0; i < n; ++i) dst[i] = load<T>(p + i * kSize);
  } else if (stride == 0) {
    std::fill(dst, dst + n, load<T>(p));
  } else {
    for (std::ptrdiff_t i = 0; i < n; ++i) dst[i] = load<T>(p + i * stride);
  }
  return dst + n;
}

template <class T>
void gather_all(double* dst, const StridedRun& src) {
  if (src.shape.empty()) {
    *dst = load<T>(src.first);  // a 0-d run: its one element
    return;
  }
  gather<T>(dst, src.first, src.shape.data(), src.strides.data(), src.shape.size());
}

void gather_typed(double* dst, const StridedRun& src) {
  switch (src.type) {
    case ElementType::kFloat64:
      return gather_all<double>(dst, src);
    case ElementType::kFloat32:
      return gather_all<float>(dst, src);
    case ElementType::kInt8:
      return gather_all<std::int8_t>(dst, src);
    case ElementType::kInt16:
      return gather_all<std::int16_t>(dst, src);
    case ElementType::kInt32:
      return gather_all<std::int32_t>(dst, src);
    case ElementType::kInt64:
      return gather_all<std::int64_t>(dst, src);
    case ElementType::kUInt8:
      return gather_all<std::uint8_t>(dst, src);
    case ElementType::kUInt16:
      return gather_all<std::uint16_t>(dst, src);
    case ElementType::kUInt32:
      return gather_all<std::uint32_t>(dst, src);
    case ElementType::kUInt64:
      return gather_all<std::uint64_t>(dst, src);
    case ElementType::kBool:
      return gather_all<bool>(dst, src);
  }
}

}  // namespace

std::size_t element_size(ElementType type) noexcept {
  switch (type) {
    case ElementType::kFloat64:
    case ElementType::kInt64:
    case ElementType::kUInt64:
      return 8;
    case ElementType::kFloat32:
    case ElementType::kInt32:
    case ElementType::kUInt32:
      return 4;
    case ElementType::kInt16:
    case ElementType::kUInt16:
      return 2;
    case ElementType::kInt8:
    case ElementType::kUInt8:
    case ElementType::kBool:
      return 1;
  }
  return 1;
}

void gather_elements(double* dst, const StridedRun& src) {
  std::size_t count = 1;
  for (const std::ptrdiff_t n : src.shape) count *= static_cast<std::size_t>(n);
  if (count == 0) return;
  if (src.type == ElementType::kFloat64 && c_contiguous(src)) {
    move_elements(dst, reinterpret_cast<const double*>(src.first), count);
    return;
  }
  // The bytes src reads, [low, high), against those dst writes. Compared as
  // integers: the two runs may belong to unrelated objects.
  auto low = reinterpret_cast<std::uintptr_t>(src.first);
  auto high = low + element_size(src.type);
  for (std::size_t i = 0; i < src.shape.size(); ++i) {
    const std::ptrdiff_t reach = (src.shape[i] - 1) * src.strides[i];
    if (reach < 0) {
      low -= static_cast<std::uintptr_t>(-reach);
    } else {
      high += static_cast<std::uintptr_t>(reach);
    }
  }
  const auto begin = reinterpret_cast<std::uintptr_t>(dst);
  const std::uintptr_t end = begin + count * sizeof(double);
  if (high <= begin || end <= low) {
    gather_typed(dst, src);
    return;
  }
  std::vector<double> copy(count);
  gather_typed(copy.data(), src);
  std::memcpy(dst, copy.data(), count * sizeof(double));
}

}  // namespace quorvex
