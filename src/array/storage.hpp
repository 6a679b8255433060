// IntervalStorage: the shared element buffer of interval arrays. One 64-byte
// aligned allocation holds the len midpoints followed by the len radii. Array
// values share a storage through StorageRef, an atomically counted handle;
// shares are dropped on threads that do not hold the interpreter lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <utility>

#include "support/aligned_buffer.hpp"
#include "support/error.hpp"

namespace quorvex {

class IntervalStorage {
 public:
  IntervalStorage(const IntervalStorage&) = delete;
  IntervalStorage& operator=(const IntervalStorage&) = delete;

  std::uint64_t len() const noexcept { return len_; }
  std::uint64_t share_count() const noexcept { return shares_.load(std::memory_order_acquire); }

  const double* midpoints() const noexcept { return base(); }
  const double* radii() const noexcept { return base() + len_; }
  double* mutable_midpoints() noexcept { return base(); }
  double* mutable_radii() noexcept { return base() + len_; }

 private:
  friend class StorageRef;
  explicit IntervalStorage(std::uint64_t len, AlignedBuffer buffer)
      : len_(len), buffer_(std::move(buffer)) {}
  double* base() const noexcept { return static_cast<double*>(buffer_.data()); }

  std::atomic<std::uint64_t> shares_{1};
  std::uint64_t len_;
  AlignedBuffer buffer_;
};

// Largest byte size for which a 64-byte-aligned layout exists, in multiples of 16.
inline constexpr std::uint64_t kMaxStorageBytes = (std::uint64_t{1} << 63) - 49;

class StorageRef {
 public:
  StorageRef() = default;
  StorageRef(const StorageRef& other) noexcept : p_(other.p_) { acquire(); }
  StorageRef(StorageRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  StorageRef& operator=(StorageRef other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~StorageRef() { release(); }

  // len zero-filled elements (midpoints and radii +0.0). Errors: ValueError when
  // 16 * len overflows 64 bits, MemoryError when the system refuses. Panics
  // with "invalid layout: LayoutError" above the largest aligned layout.
  static Result<StorageRef> zeroed(std::uint64_t len);
  // As zeroed, with unspecified contents that the caller overwrites completely
  // before the storage is shared or read.
  static Result<StorageRef> for_overwrite(std::uint64_t len);
  // Radii +0.0, midpoints unspecified until the caller has written them all.
  // Fresh pages are zero already; only a recycled heap block gets its radius
  // run cleared.
  static Result<StorageRef> for_midpoints(std::uint64_t len);

  // Copies mids then rads into a new storage; panics if their lengths differ.
  static Result<StorageRef> from_parts(std::span<const double> mids, std::span<const double> rads);

  IntervalStorage* get() const noexcept { return p_; }
  IntervalStorage* operator->() const noexcept { return p_; }
  IntervalStorage& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  bool is_unique() const noexcept { return p_ != nullptr && p_->share_count() == 1; }

 private:
  explicit StorageRef(IntervalStorage* p) noexcept : p_(p) {}
  static Result<StorageRef> allocate(std::uint64_t len, AlignedBuffer (*buffer_of)(std::size_t));
  void acquire() noexcept {
    if (p_) p_->shares_.fetch_add(1, std::memory_order_relaxed);
  }
  void release() noexcept;

  IntervalStorage* p_ = nullptr;
};

}  // namespace quorvex
