// The blocked product around the micro-kernels. Loops, outside in: column
// blocks of NC columns; depth blocks of KC (the B panel is packed once per
// pair and reused by every row block); row blocks of MC rows (pack that A
// block, 128 KiB, kept in L2); then the MR x NR tiles of the C block, in
// column groups of 32 with the row strips outside, so that an A strip stays
// in L1 while the group's packed B strips come from L2.
//
// A panel is packed one column group at a time by the first row block that
// reaches the group, right before its micro-kernels read it: the group is
// still in cache then, and the source of the next one is prefetched while
// they run. Nothing is packed ahead of the work, so no pass over B stands
// alone, and row blocks running at once share the packing.
#include "gemm/gemm.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

#include "simd/dispatch.hpp"
#include "support/panic.hpp"

namespace quorvex::gemm {
namespace {

using kernels::MicroKernel;

constexpr std::size_t kNC = 1024;
constexpr std::size_t kKC = 256;
constexpr std::size_t kMC = 64;
constexpr std::size_t kBufferAlign = 64;

constexpr std::size_t round_up(std::size_t x, std::size_t step) {
  return (x + step - 1) / step * step;
}

// Columns are packed from B in groups of this many (4 cache lines of a row).
constexpr std::size_t kGroupCols = 32;
constexpr std::size_t kMaxGroups = kNC / kGroupCols;

// Entry i of an operand (x and y at the same offset).
template <Entries E>
inline double entry(const double* __restrict x, const double* __restrict y, std::size_t i) {
  if constexpr (E == Entries::kStored) {
    return x[i];
  } else if constexpr (E == Entries::kMagnitude) {
    return std::fabs(x[i]);
  } else {
    return std::fabs(x[i]) + y[i];
  }
}

// The operand's x and y moved to (row, col).
struct At {
  const double* x;
  const double* y;
};
At at(const Operand& op, std::size_t row, std::size_t col) {
  const std::size_t offset = row * op.ld + col;
  return {op.x + offset, op.y != nullptr ? op.y + offset : nullptr};
}

// `count` columns of B (kc rows at b) as strips of NR columns at out, each
// strip row after row, the last strip padded with zeros to NR columns.
// Rows of B are a whole row stride apart (often a multiple of 4 KiB, so they
// share a cache set): walking one narrow strip down all kc rows would reload
// every line once per strip. Instead a group of strips spanning whole cache
// lines is filled row by row, so each line of B is read once.
template <std::size_t NR, Entries E>
void pack_b(std::size_t kc, At b, std::size_t ldb, std::size_t count, double* __restrict out) {
  constexpr std::size_t kGroup = kGroupCols / NR;
  std::size_t s = 0;
  for (; (s + kGroup) * NR <= count; s += kGroup) {
    double* dst = out + s * NR * kc;
    for (std::size_t p = 0; p < kc; ++p) {
      const std::size_t row = p * ldb + s * NR;
      for (std::size_t g = 0; g < kGroup; ++g) {
        for (std::size_t t = 0; t < NR; ++t) {
          dst[g * NR * kc + p * NR + t] = entry<E>(b.x, b.y, row + g * NR + t);
        }
      }
    }
  }
  for (; s * NR < count; ++s) {
    const std::size_t width = std::min(NR, count - s * NR);
    double* dst = out + s * NR * kc;
    for (std::size_t p = 0; p < kc; ++p, dst += NR) {
      const std::size_t row = p * ldb + s * NR;
      for (std::size_t t = 0; t < NR; ++t) dst[t] = t < width ? entry<E>(b.x, b.y, row + t) : 0.0;
    }
  }
}

// A block (mc x kc at a) as strips of MR rows, each strip column after
// column; the last strip is padded with zeros to MR rows. The MR source rows
// are read in runs of 8 columns (one cache line each) so every line is used
// up at once rather than kept across the whole strip.
template <std::size_t MR, Entries E>
void pack_a(std::size_t mc, std::size_t kc, At a, std::size_t lda, double* __restrict out) {
  constexpr std::size_t kRun = 8;
  for (std::size_t i = 0; i < mc; i += MR) {
    const std::size_t height = std::min(MR, mc - i);
    const std::size_t strip = i * lda;
    std::size_t p = 0;
    for (; p + kRun <= kc; p += kRun, out += kRun * MR) {
      for (std::size_t t = 0; t < height; ++t) {
        for (std::size_t q = 0; q < kRun; ++q) {
          out[q * MR + t] = entry<E>(a.x, a.y, strip + t * lda + p + q);
        }
      }
      for (std::size_t t = height; t < MR; ++t) {
        for (std::size_t q = 0; q < kRun; ++q) out[q * MR + t] = 0.0;
      }
    }
    for (; p < kc; ++p, out += MR) {
      for (std::size_t t = 0; t < MR; ++t) {
        out[t] = t < height ? entry<E>(a.x, a.y, strip + t * lda + p) : 0.0;
      }
    }
  }
}

// The packing routines for the operand's kind of entries.
template <std::size_t NR>
void pack_b_of(const Operand& b, std::size_t row, std::size_t col, std::size_t kc,
               std::size_t count, double* out) {
  const At src = at(b, row, col);
  switch (b.entries) {
    case Entries::kStored:
      return pack_b<NR, Entries::kStored>(kc, src, b.ld, count, out);
    case Entries::kMagnitude:
      return pack_b<NR, Entries::kMagnitude>(kc, src, b.ld, count, out);
    case Entries::kBound:
      return pack_b<NR, Entries::kBound>(kc, src, b.ld, count, out);
  }
}

template <std::size_t MR>
void pack_a_of(const Operand& a, std::size_t row, std::size_t col, std::size_t mc, std::size_t kc,
               double* out) {
  const At src = at(a, row, col);
  switch (a.entries) {
    case Entries::kStored:
      return pack_a<MR, Entries::kStored>(mc, kc, src, a.ld, out);
    case Entries::kMagnitude:
      return pack_a<MR, Entries::kMagnitude>(mc, kc, src, a.ld, out);
    case Entries::kBound:
      return pack_a<MR, Entries::kBound>(mc, kc, src, a.ld, out);
  }
}

// Prefetches, a few rows per call, the part of B that pack_b reads next, so
// that its reads overlap the micro-kernels instead of waiting on memory.
class BPrefetcher {
 public:
  BPrefetcher() = default;
  BPrefetcher(At src, std::size_t ldb, std::size_t rows, std::size_t cols)
      : src_(src), ldb_(ldb), rows_(rows), cols_(cols) {}
  void step(std::size_t rows) {
    for (; rows > 0 && rows_ > 0; --rows, --rows_) {
      for (std::size_t j = 0; j < cols_; j += 8) {
        __builtin_prefetch(src_.x + j, 0, 2);
        if (src_.y != nullptr) __builtin_prefetch(src_.y + j, 0, 2);
      }
      src_.x += ldb_;
      if (src_.y != nullptr) src_.y += ldb_;
    }
  }

 private:
  At src_{nullptr, nullptr};
  std::size_t ldb_ = 0, rows_ = 0, cols_ = 0;
};

// The states of a column group of a shared panel.
enum : std::uint32_t { kUnpacked = 0, kPacking = 1, kPacked = 2 };

// One B panel (kc x nc at row pc, column jc of B) as its row blocks meet it:
// each column group is packed where packing the whole panel would put it, by
// the first row block that asks for it. Without states (a product of one row
// block), every group is packed to the start of the buffer instead, which
// stays in L2 rather than sending a whole panel of written lines to L3.
template <std::size_t NR>
class Panel {
 public:
  Panel(const Operand& b, std::size_t pc, std::size_t jc, std::size_t kc, std::size_t nc,
        double* packed, std::atomic<std::uint32_t>* states)
      : b_(b), pc_(pc), jc_(jc), kc_(kc), nc_(nc), packed_(packed), states_(states) {}

  std::size_t kc() const { return kc_; }
  std::size_t nc() const { return nc_; }
  std::size_t groups() const { return (nc_ + kGroupCols - 1) / kGroupCols; }
  std::size_t group_cols(std::size_t g) const { return std::min(kGroupCols, nc_ - g * kGroupCols); }

  // Whether group g is still to be packed (by whoever asks for it first).
  bool unpacked(std::size_t g) const {
    return states_ == nullptr || states_[g].load(std::memory_order_relaxed) == kUnpacked;
  }
  At source(std::size_t g) const { return at(b_, pc_, jc_ + g * kGroupCols); }
  std::size_t ldb() const { return b_.ld; }

  // The packed strips of group g, packing it first if no row block has.
  const double* group(std::size_t g) const {
    if (states_ == nullptr) {
      pack(g, packed_);
      return packed_;
    }
    std::atomic<std::uint32_t>& state = states_[g];
    if (state.load(std::memory_order_acquire) == kPacked) return strips(g);
    if (claim_and_pack(g)) return strips(g);
    // Another row block is packing it right now: pack a later group
    // meanwhile, then wait for this one. The packer waits on nothing, so
    // this always ends.
    const std::size_t count = groups();
    for (std::size_t t = 1; t < count; ++t) {
      if (claim_and_pack((g + t) % count)) break;
    }
    for (std::uint32_t s; (s = state.load(std::memory_order_acquire)) != kPacked;) {
      state.wait(s, std::memory_order_acquire);
    }
    return strips(g);
  }

 private:
  double* strips(std::size_t g) const { return packed_ + g * kGroupCols * kc_; }
  void pack(std::size_t g, double* out) const {
    pack_b_of<NR>(b_, pc_, jc_ + g * kGroupCols, kc_, group_cols(g), out);
  }
  bool claim_and_pack(std::size_t g) const {
    std::uint32_t expected = kUnpacked;
    if (!states_[g].compare_exchange_strong(expected, kPacking, std::memory_order_relaxed)) {
      return false;
    }
    pack(g, strips(g));
    states_[g].store(kPacked, std::memory_order_release);
    states_[g].notify_all();
    return true;
  }

  const Operand& b_;
  std::size_t pc_, jc_, kc_, nc_;
  double* packed_;
  std::atomic<std::uint32_t>* states_;
};

// The packing buffer of one call; released on every way out.
struct PackBuffer {
  struct AlignedDelete {
    void operator()(double* p) const { ::operator delete[](p, std::align_val_t{kBufferAlign}); }
  };
  std::unique_ptr<double[], AlignedDelete> aligned;
  std::unique_ptr<double[]> plain;

  PackBuffer(std::size_t count, bool align) {
    if (align) {
      aligned.reset(static_cast<double*>(
          ::operator new[](count * sizeof(double), std::align_val_t{kBufferAlign})));
    } else {
      plain = std::make_unique_for_overwrite<double[]>(count);
    }
  }
  double* data() const { return aligned ? aligned.get() : plain.get(); }
};

// The rows of A (all kc columns of the panel's depth block, from row 0 of a)
// times one panel, into the same rows of C (c at the panel's first column),
// row block by row block. Each row block starts at column group `first` and
// wraps around. `packed_a` holds one packed A block.
template <std::size_t MR, std::size_t NR>
void row_blocks(const GemmTile& tile, std::size_t m, const Operand& a, std::size_t pc,
                const Panel<NR>& panel, double beta, double* c, std::size_t ldc, double* packed_a,
                std::size_t first) {
  const std::size_t kc = panel.kc(), nc = panel.nc(), groups = panel.groups();
  const MicroKernel kernel = tile.kernel, pair = tile.pair;
  for (std::size_t ic = 0; ic < m; ic += kMC) {
    const std::size_t mc = std::min(kMC, m - ic);
    pack_a_of<MR>(a, ic, pc, mc, kc, packed_a);
    // The prefetches of the next group's source spread over this group's calls.
    const std::size_t calls = kGroupCols / NR * ((mc + MR - 1) / MR);
    const std::size_t rows_per_call = (kc + calls - 1) / calls;
    for (std::size_t t = 0; t < groups; ++t) {
      const std::size_t g = (first + t) % groups;
      const std::size_t next = (g + 1) % groups;
      const double* strips = panel.group(g);
      BPrefetcher prefetch;
      if (t + 1 < groups && panel.unpacked(next)) {
        prefetch = BPrefetcher(panel.source(next), panel.ldb(), kc, panel.group_cols(next));
      }
      // Row strips outside: an A strip (MR x kc) stays in L1 across the
      // group's B strips, which come from L2; that halves the L2 traffic of
      // streaming A for every strip.
      const std::size_t j0 = g * kGroupCols, j1 = j0 + panel.group_cols(g);
      for (std::size_t ir = 0; ir < mc; ir += MR) {
        const std::size_t rows = std::min(MR, mc - ir);
        for (std::size_t jr = j0; jr < j1;) {
          const double* a_strip = packed_a + ir * kc;
          const double* b_strip = strips + (jr - j0) * kc;
          double* tile = c + (ic + ir) * ldc + jr;
          if (pair != nullptr && jr + NR < j1) {
            pair(kc, a_strip, b_strip, beta, tile, ldc, rows, std::min(2 * NR, nc - jr));
            prefetch.step(2 * rows_per_call);
            jr += 2 * NR;
          } else {
            kernel(kc, a_strip, b_strip, beta, tile, ldc, rows, std::min(NR, nc - jr));
            prefetch.step(rows_per_call);
            jr += NR;
          }
        }
      }
    }
  }
}

// f.template operator()<MR, NR>() for the tile's shape.
template <class F>
void with_shape(const GemmTile& tile, F&& f) {
  if (tile.mr == 8 && tile.nr == 8) return f.template operator()<8, 8>();
  if (tile.mr == 8 && tile.nr == 4) return f.template operator()<8, 4>();
  if (tile.mr == 4 && tile.nr == 4) return f.template operator()<4, 4>();
  panic("gemm tile shape without a blocked product");
}

template <std::size_t MR, std::size_t NR>
void blocked_product(const GemmTile& tile, std::size_t m, std::size_t k, std::size_t n,
                     const Operand& a, const Operand& b, double beta, double* c, std::size_t ldc) {
  // One row block: every column group is packed to the same place.
  const bool one_row_block = m <= kMC;
  const std::size_t mc_max = round_up(std::min(m, kMC), MR);
  const std::size_t nc_max = one_row_block ? kGroupCols : round_up(std::min(n, kNC), NR);
  const std::size_t kc_max = std::min(k, kKC);
  PackBuffer buffer((mc_max + nc_max) * kc_max, tile.aligned_packing);
  double* const packed_a = buffer.data();
  double* const packed_b = packed_a + mc_max * kc_max;
  std::atomic<std::uint32_t> states[kMaxGroups];

  for (std::size_t jc = 0; jc < n; jc += kNC) {
    const std::size_t nc = std::min(kNC, n - jc);
    for (std::size_t pc = 0; pc < k; pc += kKC) {
      const std::size_t kc = std::min(kKC, k - pc);
      for (auto& s : states) s.store(kUnpacked, std::memory_order_relaxed);
      const Panel<NR> panel(b, pc, jc, kc, nc, packed_b, one_row_block ? nullptr : states);
      // Later depth blocks add to what the earlier ones left in C.
      row_blocks<MR, NR>(tile, m, a, pc, panel, pc == 0 ? beta : 1.0, c + jc, ldc, packed_a, 0);
    }
  }
}

// k == 0: C <- beta * C, where beta == 0 writes +0.0 without reading C.
void scale(std::size_t m, std::size_t n, double beta, double* c, std::size_t ldc) {
  for (std::size_t i = 0; i < m; ++i) {
    double* row = c + i * ldc;
    if (beta == 0.0) {
      std::fill(row, row + n, 0.0);
    } else {
      for (std::size_t j = 0; j < n; ++j) row[j] *= beta;
    }
  }
}

}  // namespace

void dgemm_with(const GemmTile& tile, std::size_t m, std::size_t k, std::size_t n, const Operand& a,
                const Operand& b, double beta, double* c, std::size_t ldc) {
  if (m == 0 || n == 0) return;
  if (k == 0) {
    scale(m, n, beta, c, ldc);
    return;
  }
  with_shape(tile, [&]<std::size_t MR, std::size_t NR>() {
    blocked_product<MR, NR>(tile, m, k, n, a, b, beta, c, ldc);
  });
}

void dgemm_with(const GemmTile& tile, std::size_t m, std::size_t k, std::size_t n, const double* a,
                std::size_t lda, const double* b, double beta, std::size_t ldb, double* c,
                std::size_t ldc) {
  dgemm_with(tile, m, k, n, Operand{a, lda}, Operand{b, ldb}, beta, c, ldc);
}

void dgemm(std::size_t m, std::size_t k, std::size_t n, const Operand& a, const Operand& b,
           double beta, double* c, std::size_t ldc) {
  dgemm_with(simd::gemm_tile(), m, k, n, a, b, beta, c, ldc);
}

void dgemm(std::size_t m, std::size_t k, std::size_t n, const double* a, std::size_t lda,
           const double* b, double beta, std::size_t ldb, double* c, std::size_t ldc) {
  dgemm_with(simd::gemm_tile(), m, k, n, a, lda, b, beta, ldb, c, ldc);
}

PanelProduct::PanelProduct(const GemmTile& tile, std::size_t k, std::size_t n, const Operand& b,
                           double beta)
    : tile_(tile),
      k_(k),
      n_(n),
      b_(b),
      beta_(beta),
      group_count_((std::min(n, kNC) + kGroupCols - 1) / kGroupCols),
      groups_(std::make_unique<std::atomic<std::uint32_t>[]>(group_count_)) {
  const std::size_t count = round_up(std::min(n, kNC), tile.nr) * std::min(k, kKC);
  if (count > 0) {
    packed_.reset(static_cast<double*>(
        ::operator new[](count * sizeof(double), std::align_val_t{kBufferAlign})));
  }
}

PanelProduct::PanelProduct(std::size_t k, std::size_t n, const Operand& b, double beta)
    : PanelProduct(simd::gemm_tile(), k, n, b, beta) {}

void PanelProduct::AlignedDelete::operator()(double* p) const {
  ::operator delete[](p, std::align_val_t{kBufferAlign});
}

std::size_t PanelProduct::panel_count() const noexcept {
  if (k_ == 0) return 0;
  return ((n_ + kNC - 1) / kNC) * ((k_ + kKC - 1) / kKC);
}

void PanelProduct::start(std::size_t panel) noexcept {
  panel_ = panel;
  for (std::size_t g = 0; g < group_count_; ++g) {
    groups_[g].store(kUnpacked, std::memory_order_relaxed);
  }
}

void PanelProduct::multiply(std::size_t m, const Operand& a, double* c, std::size_t ldc,
                            std::size_t block, std::size_t blocks) {
  if (m == 0 || n_ == 0) return;
  const std::size_t depth_blocks = (k_ + kKC - 1) / kKC;
  const std::size_t jc = panel_ / depth_blocks * kNC, pc = panel_ % depth_blocks * kKC;
  const std::size_t nc = std::min(kNC, n_ - jc), kc = std::min(kKC, k_ - pc);
  // Later depth blocks add to what the earlier ones left in C.
  const double beta = pc == 0 ? beta_ : 1.0;
  with_shape(tile_, [&]<std::size_t MR, std::size_t NR>() {
    const Panel<NR> panel(b_, pc, jc, kc, nc, packed_.get(), groups_.get());
    const std::size_t first = blocks > 0 ? block % blocks * panel.groups() / blocks : 0;
    const std::size_t mc_max = round_up(std::min(m, kMC), MR);
    PackBuffer buffer(mc_max * kc, tile_.aligned_packing);
    row_blocks<MR, NR>(tile_, m, a, pc, panel, beta, c + jc, ldc, buffer.data(), first);
  });
}

}  // namespace quorvex::gemm
