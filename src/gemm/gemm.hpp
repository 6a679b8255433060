// C <- A*B + beta*C on row-major matrices (unit column stride), cache-blocked
// with packed panels around the micro-kernel and tile of the target table.
// beta == 0 never reads C. Reentrant: threads may run it on disjoint row ranges.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "kernels/kernel_types.hpp"

namespace quorvex::gemm {

using kernels::GemmTile;

// How the entries of an operand are read from memory: as stored, as their
// magnitudes |x|, or as the magnitude bound |x| + y of a midpoint matrix x and
// a radius matrix y of the same shape and row stride. The packing computes
// them on the way (bit for bit what a matrix built beforehand would hold), so
// the derived matrices of an interval product are never stored.
enum class Entries { kStored, kMagnitude, kBound };

struct Operand {
  const double* x;
  std::size_t ld;  // row stride of x (and of y)
  Entries entries = Entries::kStored;
  const double* y = nullptr;  // the radii, for kBound
};

void dgemm(std::size_t m, std::size_t k, std::size_t n, const double* a, std::size_t lda,
           const double* b, double beta, std::size_t ldb, double* c, std::size_t ldc);
void dgemm(std::size_t m, std::size_t k, std::size_t n, const Operand& a, const Operand& b,
           double beta, double* c, std::size_t ldc);

// dgemm on a given micro-kernel and tile; the caller has checked that the
// processor can run it.
void dgemm_with(const GemmTile& tile, std::size_t m, std::size_t k, std::size_t n, const double* a,
                std::size_t lda, const double* b, double beta, std::size_t ldb, double* c,
                std::size_t ldc);
void dgemm_with(const GemmTile& tile, std::size_t m, std::size_t k, std::size_t n, const Operand& a,
                const Operand& b, double beta, double* c, std::size_t ldc);

// C <- A*B + beta*C taken one B panel (depth block x column block) at a time,
// for a caller that runs the row blocks of each panel in parallel and shares
// one packed copy of the panel between them. No thread packs the panel ahead:
// each column group of it is packed by the first row block that needs it,
// just before its micro-kernels read it, and any other block reuses it (or
// waits the moment it takes to finish). For each panel in index order: start
// it, then multiply any row blocks with it (concurrently if wished), all
// before starting the next. The result is bit for bit the one dgemm gives on
// the same tile.
class PanelProduct {
 public:
  // B is k x n and must outlive the object.
  PanelProduct(std::size_t k, std::size_t n, const Operand& b, double beta);
  PanelProduct(const GemmTile& tile, std::size_t k, std::size_t n, const Operand& b, double beta);

  std::size_t panel_count() const noexcept;  // 0 when k == 0
  // Makes `panel` the one multiply uses; no multiply may be running.
  void start(std::size_t panel) noexcept;
  // m rows of A (all k columns) and the same rows of C, on the started panel.
  // Row block `block` of `blocks` begins at its own column group (their
  // values change only the order of the tiles, never a bit), so that blocks
  // running at once pack different parts of the panel.
  void multiply(std::size_t m, const Operand& a, double* c, std::size_t ldc, std::size_t block = 0,
                std::size_t blocks = 1);

 private:
  struct AlignedDelete {
    void operator()(double* p) const;
  };

  GemmTile tile_;
  std::size_t k_, n_;
  Operand b_;
  double beta_;
  std::size_t panel_ = 0;
  std::unique_ptr<double[], AlignedDelete> packed_;
  std::size_t group_count_;
  // Per column group of the panel: not packed, being packed, or packed.
  std::unique_ptr<std::atomic<std::uint32_t>[]> groups_;
};

}  // namespace quorvex::gemm
