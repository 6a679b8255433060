// Zero-filled, 64-byte-aligned buffers. Large buffers are fresh pages from the
// kernel (already zero, so nobody writes the bytes twice); small ones come from
// calloc, over-allocated to reach the alignment.
#pragma once

#include <cstddef>

namespace quorvex {

class ZeroedBuffer {
 public:
  ZeroedBuffer() = default;
  ZeroedBuffer(const ZeroedBuffer&) = delete;
  ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;
  ZeroedBuffer(ZeroedBuffer&& other) noexcept;
  ZeroedBuffer& operator=(ZeroedBuffer&& other) noexcept;
  ~ZeroedBuffer();

  // An empty buffer when bytes == 0; a null data() for bytes > 0 means the
  // system refused the allocation.
  static ZeroedBuffer allocate(std::size_t bytes);

  void* data() const noexcept { return aligned_; }
  std::size_t size() const noexcept { return bytes_; }

 private:
  void release() noexcept;

  void* aligned_ = nullptr;
  void* base_ = nullptr;  // what to hand back to the allocator
  std::size_t bytes_ = 0;
  std::size_t mapped_bytes_ = 0;  // length of the mapping, for munmap
  bool mapped_ = false;
};

// Allocations at or above this size come straight from mmap. Below it, calloc
// recycles freed blocks and zeroes them itself, which costs far less than
// first-touch page faults on fresh pages; above glibc's largest dynamic mmap
// threshold (32 MiB) calloc would map fresh pages anyway, so we map them
// ourselves and ask for huge pages.
inline constexpr std::size_t kFreshPagesThreshold = std::size_t{64} << 20;
// Mappings at or above this size are 2 MiB aligned and advised to use huge pages.
inline constexpr std::size_t kHugePage = std::size_t{1} << 21;
inline constexpr std::size_t kHugePageThreshold = 2 * kHugePage;

}  // namespace quorvex
