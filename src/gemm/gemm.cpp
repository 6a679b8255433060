// The blocked product around the micro-kernels. Loops, outside in: column
// blocks of NC columns; depth blocks of KC (the B panel is packed once per
// pair and reused by every row block); row blocks of MC rows (pack that A
// block, 128 KiB, kept in L2); then the MR x NR tiles of the C block, in
// column groups of 32 with the row strips outside, so that an A strip stays
// in L1 while the group's packed B strips come from L2.
#include "gemm/gemm.hpp"

#include <algorithm>
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

// `count` columns of B (kc rows at b) as strips of NR columns at out, each
// strip row after row, the last strip padded with zeros to NR columns.
// Rows of B are a whole row stride apart (often a multiple of 4 KiB, so they
// share a cache set): walking one narrow strip down all kc rows would reload
// every line once per strip. Instead a group of strips spanning whole cache
// lines is filled row by row, so each line of B is read once.
template <std::size_t NR>
void pack_b(std::size_t kc, const double* __restrict b, std::size_t ldb, std::size_t count,
            double* __restrict out) {
  constexpr std::size_t kGroup = kGroupCols / NR;
  std::size_t s = 0;
  for (; (s + kGroup) * NR <= count; s += kGroup) {
    const double* src = b + s * NR;
    double* dst = out + s * NR * kc;
    for (std::size_t p = 0; p < kc; ++p, src += ldb) {
      for (std::size_t g = 0; g < kGroup; ++g) {
        for (std::size_t t = 0; t < NR; ++t) dst[g * NR * kc + p * NR + t] = src[g * NR + t];
      }
    }
  }
  for (; s * NR < count; ++s) {
    const std::size_t width = std::min(NR, count - s * NR);
    const double* src = b + s * NR;
    double* dst = out + s * NR * kc;
    for (std::size_t p = 0; p < kc; ++p, src += ldb, dst += NR) {
      for (std::size_t t = 0; t < NR; ++t) dst[t] = t < width ? src[t] : 0.0;
    }
  }
}

// Prefetches, a few rows per call, the part of B that pack_b reads next, so
// that its reads overlap the micro-kernels instead of waiting on memory.
class BPrefetcher {
 public:
  BPrefetcher(const double* src, std::size_t ldb, std::size_t rows, std::size_t cols)
      : src_(src), ldb_(ldb), rows_(rows), cols_(cols) {}
  void step(std::size_t rows) {
    for (; rows > 0 && rows_ > 0; --rows, --rows_, src_ += ldb_) {
      for (std::size_t j = 0; j < cols_; j += 8) __builtin_prefetch(src_ + j, 0, 2);
    }
  }

 private:
  const double* src_;
  std::size_t ldb_, rows_, cols_;
};

// A block (mc x kc at a) as strips of MR rows, each strip column after
// column; the last strip is padded with zeros to MR rows. The MR source rows
// are read in runs of 8 columns (one cache line each) so every line is used
// up at once rather than kept across the whole strip.
template <std::size_t MR>
void pack_a(std::size_t mc, std::size_t kc, const double* a, std::size_t lda, double* out) {
  constexpr std::size_t kRun = 8;
  for (std::size_t i = 0; i < mc; i += MR) {
    const std::size_t height = std::min(MR, mc - i);
    const double* src = a + i * lda;
    std::size_t p = 0;
    for (; p + kRun <= kc; p += kRun, out += kRun * MR) {
      for (std::size_t t = 0; t < height; ++t) {
        for (std::size_t q = 0; q < kRun; ++q) out[q * MR + t] = src[t * lda + p + q];
      }
      for (std::size_t t = height; t < MR; ++t) {
        for (std::size_t q = 0; q < kRun; ++q) out[q * MR + t] = 0.0;
      }
    }
    for (; p < kc; ++p, out += MR) {
      for (std::size_t t = 0; t < MR; ++t) out[t] = t < height ? src[t * lda + p] : 0.0;
    }
  }
}

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

// `prepacked`, when not null, is B already packed as one panel (k <= KC and
// n <= NC); otherwise each panel of B is packed here, once, by the first row
// block.
template <std::size_t MR, std::size_t NR>
void blocked_product(MicroKernel kernel, bool align, std::size_t m, std::size_t k, std::size_t n,
                     const double* a, std::size_t lda, const double* b, double beta,
                     std::size_t ldb, double* c, std::size_t ldc, const double* prepacked) {
  const std::size_t mc_max = round_up(std::min(m, kMC), MR);
  const std::size_t nc_max = prepacked != nullptr ? 0 : round_up(std::min(n, kNC), NR);
  const std::size_t kc_max = std::min(k, kKC);
  PackBuffer buffer((mc_max + nc_max) * kc_max, align);
  double* const packed_a = buffer.data();
  double* const packed_b = packed_a + mc_max * kc_max;

  for (std::size_t jc = 0; jc < n; jc += kNC) {
    const std::size_t nc = std::min(kNC, n - jc);
    for (std::size_t pc = 0; pc < k; pc += kKC) {
      const std::size_t kc = std::min(kKC, k - pc);
      // Later depth blocks add to what the earlier ones left in C.
      const double beta_p = pc == 0 ? beta : 1.0;
      const double* b_panel = prepacked != nullptr ? nullptr : b + pc * ldb + jc;
      for (std::size_t ic = 0; ic < m; ic += kMC) {
        const std::size_t mc = std::min(kMC, m - ic);
        pack_a<MR>(mc, kc, a + ic * lda + pc, lda, packed_a);
        // The tiles of columns [j0, j1) of this C block (one column group),
        // calling `between` after each micro-kernel. Row strips outside: an A
        // strip (MR x kc) stays in L1 across the group's B strips, which come
        // from L2; that halves the L2 traffic of streaming A for every strip.
        // `strips` holds the packed strip of column j0.
        auto tiles = [&](std::size_t j0, std::size_t j1, const double* strips, auto&& between) {
          for (std::size_t ir = 0; ir < mc; ir += MR) {
            const std::size_t rows = std::min(MR, mc - ir);
            for (std::size_t jr = j0; jr < j1; jr += NR) {
              kernel(kc, packed_a + ir * kc, strips + (jr - j0) * kc, beta_p,
                     c + (ic + ir) * ldc + jc + jr, ldc, rows, std::min(NR, nc - jr));
              between();
            }
          }
        };
        if (prepacked != nullptr || ic > 0) {
          const double* panel = prepacked != nullptr ? prepacked : packed_b;
          for (std::size_t g = 0; g < nc; g += kGroupCols) {
            tiles(g, std::min(g + kGroupCols, nc), panel + g * kc, [] {});
          }
          continue;
        }
        // The first row block packs the B panel one column group at a time,
        // just before its tiles need it: the group is still in cache when the
        // micro-kernels read it, and the next group is prefetched meanwhile.
        // The panel is packed once and later row blocks reuse it whole. With
        // no later row block, every group goes to the same place, which stays
        // in L2 instead of sending a whole panel of written lines to L3.
        const bool one_row_block = m <= kMC;
        const std::size_t calls = kGroupCols / NR * ((mc + MR - 1) / MR);
        const std::size_t rows_per_call = (kc + calls - 1) / calls;
        for (std::size_t g = 0; g < nc; g += kGroupCols) {
          const std::size_t count = std::min(kGroupCols, nc - g);
          double* strips = one_row_block ? packed_b : packed_b + g * kc;
          pack_b<NR>(kc, b_panel + g, ldb, count, strips);
          const std::size_t next = g + count;
          BPrefetcher prefetch(b_panel + next, ldb, next < nc ? kc : 0,
                               std::min(kGroupCols, nc - std::min(next, nc)));
          tiles(g, g + count, strips, [&] { prefetch.step(rows_per_call); });
        }
      }
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

namespace {

void run_tile(const GemmTile& tile, std::size_t m, std::size_t k, std::size_t n, const double* a,
              std::size_t lda, const double* b, double beta, std::size_t ldb, double* c,
              std::size_t ldc, const double* prepacked) {
  if (m == 0 || n == 0) return;
  if (k == 0) {
    scale(m, n, beta, c, ldc);
    return;
  }
  const auto run = [&]<std::size_t MR, std::size_t NR>() {
    blocked_product<MR, NR>(tile.kernel, tile.aligned_packing, m, k, n, a, lda, b, beta, ldb, c,
                            ldc, prepacked);
  };
  if (tile.mr == 8 && tile.nr == 8) return run.operator()<8, 8>();
  if (tile.mr == 8 && tile.nr == 4) return run.operator()<8, 4>();
  if (tile.mr == 4 && tile.nr == 4) return run.operator()<4, 4>();
  panic("gemm tile shape without a blocked product");
}

}  // namespace

void dgemm_with(const GemmTile& tile, std::size_t m, std::size_t k, std::size_t n, const double* a,
                std::size_t lda, const double* b, double beta, std::size_t ldb, double* c,
                std::size_t ldc) {
  run_tile(tile, m, k, n, a, lda, b, beta, ldb, c, ldc, nullptr);
}

PanelProduct::PanelProduct(const GemmTile& tile, std::size_t k, std::size_t n, const double* b,
                           std::size_t ldb, double beta)
    : tile_(tile), k_(k), n_(n), b_(b), ldb_(ldb), beta_(beta) {
  const std::size_t count = round_up(std::min(n, kNC), tile.nr) * std::min(k, kKC);
  if (count > 0) {
    panel_.reset(static_cast<double*>(
        ::operator new[](count * sizeof(double), std::align_val_t{kBufferAlign})));
  }
}

PanelProduct::PanelProduct(std::size_t k, std::size_t n, const double* b, std::size_t ldb,
                           double beta)
    : PanelProduct(simd::gemm_tile(), k, n, b, ldb, beta) {}

void PanelProduct::AlignedDelete::operator()(double* p) const {
  ::operator delete[](p, std::align_val_t{kBufferAlign});
}

std::size_t PanelProduct::panel_count() const noexcept {
  if (k_ == 0) return 0;
  return ((n_ + kNC - 1) / kNC) * ((k_ + kKC - 1) / kKC);
}

PanelProduct::Panel PanelProduct::panel(std::size_t index) const noexcept {
  const std::size_t depth_blocks = (k_ + kKC - 1) / kKC;
  const std::size_t jc = index / depth_blocks * kNC;
  const std::size_t pc = index % depth_blocks * kKC;
  return {jc, pc, std::min(kNC, n_ - jc), std::min(kKC, k_ - pc)};
}

void PanelProduct::pack(std::size_t index, std::size_t part, std::size_t parts) {
  const Panel p = panel(index);
  // Part j packs its share of the panel's 32-column groups; a group's strips
  // land where packing the whole panel would put them.
  const std::size_t groups = (p.nc + kGroupCols - 1) / kGroupCols;
  const std::size_t first = std::min(p.nc, groups * part / parts * kGroupCols);
  const std::size_t last = std::min(p.nc, groups * (part + 1) / parts * kGroupCols);
  if (first >= last) return;
  const double* src = b_ + p.pc * ldb_ + p.jc + first;
  double* out = panel_.get() + first * p.kc;
  if (tile_.nr == 8) {
    pack_b<8>(p.kc, src, ldb_, last - first, out);
  } else {
    pack_b<4>(p.kc, src, ldb_, last - first, out);
  }
}

void PanelProduct::multiply(std::size_t index, std::size_t m, const double* a, std::size_t lda,
                            double* c, std::size_t ldc) const {
  const Panel p = panel(index);
  // Later depth blocks add to what the earlier ones left in C.
  const double beta = p.pc == 0 ? beta_ : 1.0;
  run_tile(tile_, m, p.kc, p.nc, a + p.pc, lda, nullptr, beta, 0, c + p.jc, ldc, panel_.get());
}

void dgemm(std::size_t m, std::size_t k, std::size_t n, const double* a, std::size_t lda,
           const double* b, double beta, std::size_t ldb, double* c, std::size_t ldc) {
  dgemm_with(simd::gemm_tile(), m, k, n, a, lda, b, beta, ldb, c, ldc);
}

}  // namespace quorvex::gemm
