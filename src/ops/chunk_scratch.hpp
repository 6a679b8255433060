// Memory for the chunk vectors of the parallel elementwise path. Fresh memory
// for every call would be paged in anew each time (as costly as the function
// itself for cheap kernels), so the calling thread keeps one area between
// calls, up to kRetainedScratchBytes; larger requests get memory of their own.
#pragma once

#include <cstddef>
#include <memory>

namespace quorvex {

inline constexpr std::size_t kRetainedScratchBytes = std::size_t{16} << 20;

class ChunkScratch {
 public:
  // At least `doubles` values, uninitialised; data() is null when refused.
  explicit ChunkScratch(std::size_t doubles);
  ~ChunkScratch();
  ChunkScratch(const ChunkScratch&) = delete;
  ChunkScratch& operator=(const ChunkScratch&) = delete;

  double* data() const noexcept { return data_; }

 private:
  std::unique_ptr<double[]> owned_;
  double* data_ = nullptr;
  bool retained_ = false;
};

}  // namespace quorvex
