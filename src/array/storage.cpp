#include "array/storage.hpp"

#include <cstring>
#include <new>
#include <string>

#include "support/panic.hpp"

namespace quorvex {

void StorageRef::release() noexcept {
  if (p_ == nullptr) return;
  if (p_->shares_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete p_;
  p_ = nullptr;
}

Result<StorageRef> StorageRef::allocate(std::uint64_t len,
                                        AlignedBuffer (*buffer_of)(std::size_t)) {
  if (len > UINT64_MAX / 16) {
    return value_error("array of " + std::to_string(len) +
                       " elements is too large: its byte size overflows 64 bits");
  }
  const std::uint64_t bytes = 16 * len;
  if (bytes > kMaxStorageBytes) panic("invalid layout: LayoutError");
  AlignedBuffer buffer = buffer_of(bytes);
  if (bytes != 0 && buffer.data() == nullptr) {
    return memory_error("memory allocation of " + std::to_string(bytes) + " bytes failed");
  }
  auto* storage = new (std::nothrow) IntervalStorage(len, std::move(buffer));
  if (storage == nullptr) return memory_error("memory allocation of storage failed");
  return StorageRef(storage);
}

Result<StorageRef> StorageRef::zeroed(std::uint64_t len) {
  return allocate(len, AlignedBuffer::zeroed);
}

Result<StorageRef> StorageRef::for_overwrite(std::uint64_t len) {
  return allocate(len, AlignedBuffer::for_overwrite);
}

Result<StorageRef> StorageRef::for_midpoints(std::uint64_t len) {
  QV_TRY(storage, for_overwrite(len));
  if (len != 0 && !storage->buffer_.fresh_pages()) {
    std::memset(storage->mutable_radii(), 0, len * sizeof(double));
  }
  return storage;
}

Result<StorageRef> StorageRef::from_parts(std::span<const double> mids,
                                          std::span<const double> rads) {
  if (mids.size() != rads.size()) panic("midpoints and radii must have same length");
  QV_TRY(storage, zeroed(mids.size()));
  if (!mids.empty()) {
    std::memcpy(storage->mutable_midpoints(), mids.data(), mids.size_bytes());
    std::memcpy(storage->mutable_radii(), rads.data(), rads.size_bytes());
  }
  return storage;
}

}  // namespace quorvex
