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

// Allocations at or above this size come straight from mmap, with huge pages.
// Below it, calloc recycles freed blocks and zeroes them itself, cheaply. Above
// it, a recycled block would be zeroed by one memset on the calling thread
// before a pooled operation starts, while fresh pages are zeroed by the kernel
// on first touch, in whichever worker writes them: the zeroing runs in
// parallel with the work instead of ahead of it, and 2 MiB pages make the
// faults few.
inline constexpr std::size_t kFreshPagesThreshold = std::size_t{4} << 20;
// Mappings at or above this size are 2 MiB aligned and advised to use huge pages.
inline constexpr std::size_t kHugePage = std::size_t{1} << 21;
inline constexpr std::size_t kHugePageThreshold = 2 * kHugePage;

}  // namespace quorvex
