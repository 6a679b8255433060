#include "engine/elementwise.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/broadcast.hpp"

namespace quorvex::engine {
namespace {

// Inner rows at least this long are cut at their ends, so that contiguous
// operands go to the kernel in place; shorter rows are gathered across.
constexpr std::int64_t kLongRow = 128;

// Reads one operand along the nest, block after block, from a starting flat
// position: in place where its run is contiguous, gathered otherwise.
class Reader {
 public:
  Reader(const double* mid, const double* rad, const Extents& shape, const Extents& strides)
      : mid_(mid), rad_(rad), shape_(shape), strides_(strides), index_(shape.size(), 0) {
    constant_ = std::all_of(strides.begin(), strides.end(), [](std::int64_t s) { return s == 0; });
    flat_ = strides == row_major(shape);
  }

  // Positions the reader at flat index `pos` of the nest.
  void seek(std::int64_t pos) {
    offset_ = 0;
    if (flat_) {
      offset_ = pos;
      return;
    }
    for (std::size_t d = shape_.size(); d-- > 0;) {
      index_[d] = pos % shape_[d];
      pos /= shape_[d];
      offset_ += index_[d] * strides_[d];
    }
  }

  // The next len balls (len within the current row when `in_row`), in place
  // or gathered into (bm, br); the reader moves past them.
  std::pair<const double*, const double*> next(std::int64_t len, bool in_row, double* bm,
                                               double* br) {
    if (flat_) {
      const std::int64_t at = offset_;
      offset_ += len;
      return {mid_ + at, rad_ + at};
    }
    if (constant_) {
      if (!filled_) {
        std::fill(bm, bm + kBlock, mid_[0]);
        std::fill(br, br + kBlock, rad_[0]);
        filled_ = true;
      }
      return {bm, br};
    }
    const std::size_t inner = shape_.size() - 1;
    const std::int64_t step = strides_[inner];
    if (in_row && step == 1) {
      const std::int64_t at = offset_;
      advance(len);
      return {mid_ + at, rad_ + at};
    }
    std::int64_t done = 0;
    while (done < len) {
      const std::int64_t run = std::min(len - done, shape_[inner] - index_[inner]);
      const double* m = mid_ + offset_;
      const double* r = rad_ + offset_;
      if (step == 1) {
        std::memcpy(bm + done, m, static_cast<std::size_t>(run) * sizeof(double));
        std::memcpy(br + done, r, static_cast<std::size_t>(run) * sizeof(double));
      } else if (step == 0) {
        std::fill(bm + done, bm + done + run, m[0]);
        std::fill(br + done, br + done + run, r[0]);
      } else {
        for (std::int64_t i = 0; i < run; ++i) {
          bm[done + i] = m[i * step];
          br[done + i] = r[i * step];
        }
      }
      done += run;
      advance(run);
    }
    return {bm, br};
  }

 private:
  // Moves the multi-index on by `count` positions, at most to the end of the row.
  void advance(std::int64_t count) {
    const std::size_t inner = shape_.size() - 1;
    index_[inner] += count;
    offset_ += count * strides_[inner];
    if (index_[inner] < shape_[inner]) return;
    offset_ -= index_[inner] * strides_[inner];
    index_[inner] = 0;
    for (std::size_t d = inner; d-- > 0;) {
      ++index_[d];
      offset_ += strides_[d];
      if (index_[d] < shape_[d]) return;
      offset_ -= index_[d] * strides_[d];
      index_[d] = 0;
    }
  }

  const double* mid_;
  const double* rad_;
  const Extents& shape_;
  const Extents& strides_;
  Extents index_;
  std::int64_t offset_ = 0;
  bool constant_ = false;
  bool flat_ = false;
  bool filled_ = false;
};

// Walks [begin, end) of the nest in blocks: each block lies within one row
// when rows are long, and is at most kBlock elements.
template <class Body>
void for_each_block(const Extents& shape, std::int64_t begin, std::int64_t end, Body&& body) {
  const std::int64_t row = shape.empty() ? 1 : shape.back();
  const bool cut_rows = row >= kLongRow;
  for (std::int64_t pos = begin; pos < end;) {
    std::int64_t len = std::min<std::int64_t>(kBlock, end - pos);
    if (cut_rows) len = std::min(len, row - pos % row);
    body(pos, len, cut_rows);
    pos += len;
  }
}

template <std::size_t K, class Kernel>
Result<IntervalArray> run(const Extents& shape, const std::array<const StridedBalls*, K>& operands,
                          Cost cost, Kernel&& kernel) {
  std::array<Extents, K> strides;
  for (std::size_t k = 0; k < K; ++k) strides[k] = broadcast_strides(*operands[k], shape);
  const LoopNest<K> nest = coalesce<K>(shape, strides);
  QV_TRY(result, IntervalArray::for_overwrite(to_shape(shape)));
  if (result.size() == 0) return result;
  QV_TRY(out, result.writable());
  std::int64_t n = 1;
  for (std::int64_t d : nest.shape) n *= d;
  // The nest of a single element still needs one axis to walk.
  const Extents one_axis{1};
  const Extents& walk = nest.shape.empty() ? one_axis : nest.shape;
  std::array<Extents, K> walk_strides = nest.strides;
  if (nest.shape.empty()) {
    for (auto& s : walk_strides) s.assign(1, 0);
  }
  pool::run_partitioned(static_cast<std::size_t>(n), cost, [&](std::size_t begin, std::size_t end) {
    alignas(64) double buffers[K][2][kBlock];
    std::array<Reader, K> readers = [&]<std::size_t... I>(std::index_sequence<I...>) {
      return std::array<Reader, K>{
          Reader(operands[I]->mid, operands[I]->rad, walk, walk_strides[I])...};
    }(std::make_index_sequence<K>{});
    for (auto& r : readers) r.seek(static_cast<std::int64_t>(begin));
    for_each_block(walk, static_cast<std::int64_t>(begin), static_cast<std::int64_t>(end),
                   [&](std::int64_t pos, std::int64_t len, bool in_row) {
                     std::array<std::pair<const double*, const double*>, K> in;
                     for (std::size_t k = 0; k < K; ++k) {
                       in[k] = readers[k].next(len, in_row, buffers[k][0], buffers[k][1]);
                     }
                     kernel(in, out.mid.data() + pos, out.rad.data() + pos,
                            static_cast<std::size_t>(len));
                   });
  });
  return result;
}

}  // namespace

Result<IntervalArray> apply(const UnaryOp& op, const StridedBalls& x) {
  return run<1>(x.shape, {&x}, op.cost,
                [&](const auto& in, double* om, double* orad, std::size_t n) {
                  op.kernel(in[0].first, in[0].second, om, orad, n);
                });
}

Result<IntervalArray> apply(const BinaryOp& op, const StridedBalls& x, const StridedBalls& y) {
  QV_TRY(shape, broadcast_shapes(x.shape, y.shape));
  return run<2>(shape, {&x, &y}, op.cost,
                [&](const auto& in, double* om, double* orad, std::size_t n) {
                  op.kernel(in[0].first, in[0].second, in[1].first, in[1].second, om, orad, n);
                });
}

}  // namespace quorvex::engine
