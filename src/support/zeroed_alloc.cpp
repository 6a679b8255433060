#include "support/zeroed_alloc.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace quorvex {

ZeroedBuffer::ZeroedBuffer(ZeroedBuffer&& other) noexcept
    : aligned_(std::exchange(other.aligned_, nullptr)),
      base_(std::exchange(other.base_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)),
      mapped_bytes_(std::exchange(other.mapped_bytes_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

ZeroedBuffer& ZeroedBuffer::operator=(ZeroedBuffer&& other) noexcept {
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

ZeroedBuffer::~ZeroedBuffer() { release(); }

void ZeroedBuffer::release() noexcept {
  if (base_ == nullptr) return;
  if (mapped_) {
    munmap(base_, mapped_bytes_);
  } else {
    std::free(base_);
  }
  base_ = aligned_ = nullptr;
  bytes_ = mapped_bytes_ = 0;
}

ZeroedBuffer ZeroedBuffer::allocate(std::size_t bytes) {
  ZeroedBuffer buffer;
  if (bytes == 0) return buffer;
  buffer.bytes_ = bytes;
  if (bytes >= kFreshPagesThreshold) {
    // Large buffers also ask for transparent huge pages: the kernel then zeroes
    // 2 MiB per fault instead of 4 KiB, which makes first touch several times
    // cheaper. Huge pages need 2 MiB alignment, hence the extra slack.
    const bool huge = bytes >= kHugePageThreshold;
    const std::size_t mapped = huge ? bytes + kHugePage : bytes;
    void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
      buffer.bytes_ = 0;
      return buffer;
    }
    buffer.base_ = p;
    buffer.mapped_bytes_ = mapped;
    buffer.mapped_ = true;
    if (huge) {
      auto address = reinterpret_cast<std::uintptr_t>(p);
      auto aligned = (address + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
      buffer.aligned_ = reinterpret_cast<void*>(aligned);
      madvise(buffer.aligned_, bytes, MADV_HUGEPAGE);  // advice only: failure is harmless
    } else {
      buffer.aligned_ = p;
    }
    return buffer;
  }
  constexpr std::size_t kAlign = 64;
  void* p = std::calloc(1, bytes + kAlign);
  if (p == nullptr) {
    buffer.bytes_ = 0;
    return buffer;
  }
  auto address = reinterpret_cast<std::uintptr_t>(p);
  buffer.base_ = p;
  buffer.aligned_ = reinterpret_cast<void*>((address + kAlign - 1) & ~(std::uintptr_t{kAlign} - 1));
  return buffer;
}

}  // namespace quorvex
