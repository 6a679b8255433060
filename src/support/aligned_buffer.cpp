#include "support/aligned_buffer.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace quorvex {

AlignedBuffer::AlignedBuffer(AlignedBuffer&& other) noexcept
    : aligned_(std::exchange(other.aligned_, nullptr)),
      base_(std::exchange(other.base_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)),
      mapped_bytes_(std::exchange(other.mapped_bytes_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

AlignedBuffer& AlignedBuffer::operator=(AlignedBuffer&& other) noexcept {
  if (this != &other) {
    release();
    aligned_ = std::exchange(other.aligned_, nullptr);
    base_ = std::exchange(other.base_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
    mapped_bytes_ = std::exchange(other.mapped_bytes_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

AlignedBuffer::~AlignedBuffer() {
  release();
}

void AlignedBuffer::release() noexcept {
  if (base_ == nullptr) return;
  if (mapped_) {
    munmap(base_, mapped_bytes_);
  } else {
    std::free(base_);
  }
  base_ = aligned_ = nullptr;
  bytes_ = mapped_bytes_ = 0;
}

AlignedBuffer AlignedBuffer::zeroed(std::size_t bytes) {
  if (bytes == 0) return {};
  return bytes >= kFreshPagesThreshold ? fresh_pages(bytes) : from_heap(bytes, true);
}

AlignedBuffer AlignedBuffer::for_overwrite(std::size_t bytes) {
  if (bytes == 0) return {};
  return bytes >= kOverwriteFreshPagesThreshold ? fresh_pages(bytes) : from_heap(bytes, false);
}

AlignedBuffer AlignedBuffer::fresh_pages(std::size_t bytes) {
  AlignedBuffer buffer;
  // Large mappings also ask for transparent huge pages: the kernel then zeroes
  // 2 MiB per fault instead of 4 KiB, which makes first touch several times
  // cheaper. Huge pages need 2 MiB alignment, hence the extra slack, and the
  // advice covers whole huge pages so that the last, partly used one is a huge
  // page too (4 KiB faults on its used part would cost more than zeroing it).
  const bool huge = bytes >= kHugePageThreshold;
  const std::size_t advised = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  const std::size_t mapped = huge ? advised + kHugePage : bytes;
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return buffer;
  buffer.bytes_ = bytes;
  buffer.base_ = p;
  buffer.mapped_bytes_ = mapped;
  buffer.mapped_ = true;
  if (huge) {
    auto address = reinterpret_cast<std::uintptr_t>(p);
    auto aligned = (address + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    buffer.aligned_ = reinterpret_cast<void*>(aligned);
    madvise(buffer.aligned_, advised, MADV_HUGEPAGE);  // advice only: failure is harmless
  } else {
    buffer.aligned_ = p;
  }
  return buffer;
}

AlignedBuffer AlignedBuffer::from_heap(std::size_t bytes, bool zero) {
  AlignedBuffer buffer;
  constexpr std::size_t kAlign = 64;
  void* p = zero ? std::calloc(1, bytes + kAlign) : std::malloc(bytes + kAlign);
  if (p == nullptr) return buffer;
  auto address = reinterpret_cast<std::uintptr_t>(p);
  buffer.bytes_ = bytes;
  buffer.base_ = p;
  buffer.aligned_ = reinterpret_cast<void*>((address + kAlign - 1) & ~(std::uintptr_t{kAlign} - 1));
  return buffer;
}

}  // namespace quorvex
