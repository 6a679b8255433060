#include <new>

#include "ops/chunk_scratch.hpp"

namespace quorvex {
namespace {

struct RetainedArea {
  std::unique_ptr<double[]> data;
  std::size_t len = 0;
  bool in_use = false;
};

thread_local RetainedArea retained_area;

}  // namespace

ChunkScratch::ChunkScratch(std::size_t doubles) {
  RetainedArea& area = retained_area;
  const bool fits = doubles <= kRetainedScratchBytes / sizeof(double);
  if (fits && !area.in_use) {
    if (area.len < doubles) {
      area.data.reset();  // drop the old area before asking for the larger one
      area.len = 0;
      area.data.reset(new (std::nothrow) double[doubles]);
      if (!area.data) return;
      area.len = doubles;
    }
    area.in_use = true;
    retained_ = true;
    data_ = area.data.get();
    return;
  }
  owned_.reset(new (std::nothrow) double[doubles]);
  data_ = owned_.get();
}

ChunkScratch::~ChunkScratch() {
  if (retained_) retained_area.in_use = false;
}

}  // namespace quorvex
