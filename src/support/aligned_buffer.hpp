// 64-byte-aligned element buffers, zero-filled or for overwriting. Large
// zero-filled buffers are fresh pages from the kernel (already zero, so nobody
// writes the bytes twice); small ones come from calloc, over-allocated to reach
// the alignment. Buffers for overwriting come from malloc up to the size
// where glibc still recycles freed blocks, so a result that is written
// completely anyway pays neither zeroing nor page faults.
#pragma once

#include <cstddef>

namespace quorvex {

class AlignedBuffer {
 public:
  AlignedBuffer() = default;
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
  AlignedBuffer(AlignedBuffer&& other) noexcept;
  AlignedBuffer& operator=(AlignedBuffer&& other) noexcept;
  ~AlignedBuffer();

  // An empty buffer when bytes == 0; a null data() for bytes > 0 means the
  // system refused the allocation.
  static AlignedBuffer zeroed(std::size_t bytes);
  // As zeroed, but the contents are unspecified: the caller writes every byte
  // before anything reads it.
  static AlignedBuffer for_overwrite(std::size_t bytes);

  void* data() const noexcept { return aligned_; }
  std::size_t size() const noexcept { return bytes_; }
  // Fresh pages from the kernel: all zero until the first write.
  bool fresh_pages() const noexcept { return mapped_; }

 private:
  void release() noexcept;
  static AlignedBuffer from_heap(std::size_t bytes, bool zero);
  static AlignedBuffer fresh_pages(std::size_t bytes);

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
// Buffers for overwriting come from malloc below this size. glibc recycles
// freed blocks up to its largest mmap threshold (32 MiB); above that it would
// map fresh 4 KiB pages for every allocation, and our own huge-page mapping
// faults several times faster.
inline constexpr std::size_t kOverwriteFreshPagesThreshold = std::size_t{32} << 20;
// Mappings at or above this size are 2 MiB aligned and advised to use huge pages.
inline constexpr std::size_t kHugePage = std::size_t{1} << 21;
inline constexpr std::size_t kHugePageThreshold = 2 * kHugePage;

}  // namespace quorvex
