#include "engine/elementwise.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
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

  // Whether the operand is one contiguous run in the nest's order.
  bool flat() const { return flat_; }

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
// When every operand is contiguous the whole range is one block, so the
// kernel sees the runs it would see without the engine.
template <class Body>
void for_each_block(const Extents& shape, std::int64_t begin, std::int64_t end, bool all_flat,
                    Body&& body) {
  const std::int64_t row = shape.empty() ? 1 : shape.back();
  const bool cut_rows = row >= kLongRow;
  const std::int64_t block = all_flat ? end - begin : static_cast<std::int64_t>(kBlock);
  for (std::int64_t pos = begin; pos < end;) {
    std::int64_t len = std::min<std::int64_t>(block, end - pos);
    if (cut_rows) len = std::min(len, row - pos % row);
    body(pos, len, cut_rows);
    pos += len;
  }
}

// Tiles of the last two axes for operands read across their rows (a
// transposed view): each visit to a row of such an operand then reads a run
// of kTileRows elements instead of one, so the caches and the address
// translation see whole lines and pages.
constexpr std::int64_t kTileRows = 16;
constexpr std::int64_t kTileCols = static_cast<std::int64_t>(kBlock) / kTileRows;
// Inner strides at least this long put every element of a row on its own
// cache line.
constexpr std::int64_t kFarStride = 8;

template <std::size_t K>
bool wants_tiles(const LoopNest<K>& nest) {
  if (nest.shape.size() < 2 || nest.shape[nest.shape.size() - 2] < 2) return false;
  for (const Extents& s : nest.strides) {
    const std::int64_t inner = std::abs(s.back());
    if (inner >= kFarStride && std::abs(s[s.size() - 2]) < inner) return true;
  }
  return false;
}

// One operand's tile (rows x cols at `at`, steps `down` and `across`) into
// row-major buffers, in the order that reads its memory most nearly in order.
void gather_tile(const double* mid, const double* rad, std::int64_t at, std::int64_t down,
                 std::int64_t across, std::int64_t rows, std::int64_t cols, double* bm,
                 double* br) {
  if (std::abs(down) < std::abs(across)) {
    for (std::int64_t c = 0; c < cols; ++c) {
      const double* m = mid + at + c * across;
      const double* r = rad + at + c * across;
      for (std::int64_t i = 0; i < rows; ++i) {
        bm[i * cols + c] = m[i * down];
        br[i * cols + c] = r[i * down];
      }
    }
    return;
  }
  for (std::int64_t i = 0; i < rows; ++i) {
    const double* m = mid + at + i * down;
    const double* r = rad + at + i * down;
    for (std::int64_t c = 0; c < cols; ++c) {
      bm[i * cols + c] = m[c * across];
      br[i * cols + c] = r[c * across];
    }
  }
}

template <std::size_t K, class Kernel>
void run_tiles(const LoopNest<K>& nest, const std::array<const StridedBalls*, K>& operands,
               Cost cost, const WritableRuns& out, Kernel& kernel) {
  const std::size_t nd = nest.shape.size();
  const std::int64_t rows = nest.shape[nd - 2];
  const std::int64_t cols = nest.shape[nd - 1];
  const std::int64_t bands_per_plane = (rows + kTileRows - 1) / kTileRows;
  std::int64_t planes = 1;
  for (std::size_t d = 0; d + 2 < nd; ++d) planes *= nest.shape[d];
  const auto bands = static_cast<std::size_t>(planes * bands_per_plane);
  const std::size_t band_elements = static_cast<std::size_t>(kTileRows * cols);
  const pool::Partition p = pool::partition_outputs(bands, band_elements, 1);
  (void)cost;
  pool::run_partitioned(bands, p, [&](std::size_t begin, std::size_t end) {
    alignas(64) double buffers[K][2][kBlock];
    alignas(64) double tile_mid[kBlock];
    alignas(64) double tile_rad[kBlock];
    for (std::size_t band = begin; band < end; ++band) {
      const std::int64_t plane = static_cast<std::int64_t>(band) / bands_per_plane;
      const std::int64_t r0 = (static_cast<std::int64_t>(band) % bands_per_plane) * kTileRows;
      const std::int64_t tile_rows = std::min(kTileRows, rows - r0);
      // Each operand's offset of the plane, and of the band within it.
      std::array<std::int64_t, K> at{};
      for (std::size_t k = 0; k < K; ++k) {
        std::int64_t rest = plane;
        for (std::size_t d = nd - 2; d-- > 0;) {
          at[k] += (rest % nest.shape[d]) * nest.strides[k][d];
          rest /= nest.shape[d];
        }
        at[k] += r0 * nest.strides[k][nd - 2];
      }
      const std::int64_t out_band = (plane * rows + r0) * cols;
      for (std::int64_t c0 = 0; c0 < cols; c0 += kTileCols) {
        const std::int64_t tile_cols = std::min(kTileCols, cols - c0);
        std::array<std::pair<const double*, const double*>, K> in;
        for (std::size_t k = 0; k < K; ++k) {
          const Extents& s = nest.strides[k];
          gather_tile(operands[k]->mid, operands[k]->rad, at[k] + c0 * s[nd - 1], s[nd - 2],
                      s[nd - 1], tile_rows, tile_cols, buffers[k][0], buffers[k][1]);
          in[k] = {buffers[k][0], buffers[k][1]};
        }
        kernel(in, tile_mid, tile_rad, static_cast<std::size_t>(tile_rows * tile_cols));
        for (std::int64_t i = 0; i < tile_rows; ++i) {
          const std::size_t to = static_cast<std::size_t>(out_band + i * cols + c0);
          std::memcpy(out.mid.data() + to, tile_mid + i * tile_cols,
                      static_cast<std::size_t>(tile_cols) * sizeof(double));
          std::memcpy(out.rad.data() + to, tile_rad + i * tile_cols,
                      static_cast<std::size_t>(tile_cols) * sizeof(double));
        }
      }
    }
  });
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
  if (wants_tiles(nest)) {
    run_tiles<K>(nest, operands, cost, out, kernel);
    return result;
  }
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
    const bool all_flat =
        std::all_of(readers.begin(), readers.end(), [](const Reader& r) { return r.flat(); });
    for_each_block(walk, static_cast<std::int64_t>(begin), static_cast<std::int64_t>(end), all_flat,
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
