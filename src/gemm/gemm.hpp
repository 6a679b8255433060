// C <- A*B + beta*C on row-major matrices (unit column stride), cache-blocked
// with packed panels around the micro-kernel and tile of the target table.
// beta == 0 never reads C. Reentrant: threads may run it on disjoint row ranges.
#pragma once

#include <cstddef>
#include <memory>

#include "kernels/kernel_types.hpp"

namespace quorvex::gemm {

using kernels::GemmTile;

void dgemm(std::size_t m, std::size_t k, std::size_t n, const double* a, std::size_t lda,
           const double* b, double beta, std::size_t ldb, double* c, std::size_t ldc);

// dgemm on a given micro-kernel and tile; the caller has checked that the
// processor can run it.
void dgemm_with(const GemmTile& tile, std::size_t m, std::size_t k, std::size_t n, const double* a,
                std::size_t lda, const double* b, double beta, std::size_t ldb, double* c,
                std::size_t ldc);

// C <- A*B + beta*C taken one B panel (depth block x column block) at a time,
// for a caller that runs the row blocks of each panel in parallel: the panel is
// packed once and shared by every row block while it is still in cache. For
// each panel in index order: pack it, then multiply any row blocks with it
// (concurrently if wished), all before packing the next. The result is bit for
// bit the one dgemm gives on the same tile.
class PanelProduct {
 public:
  // B is k x n with row stride ldb and must outlive the object.
  PanelProduct(std::size_t k, std::size_t n, const double* b, std::size_t ldb, double beta);
  PanelProduct(const GemmTile& tile, std::size_t k, std::size_t n, const double* b, std::size_t ldb,
               double beta);

  std::size_t panel_count() const noexcept;  // 0 when k == 0
  // Packs part `part` of `parts` (all of it by default); the parts of one
  // panel are disjoint and may be packed concurrently.
  void pack(std::size_t panel, std::size_t part = 0, std::size_t parts = 1);
  // m rows of A (row stride lda, all k columns) and the same rows of C.
  void multiply(std::size_t panel, std::size_t m, const double* a, std::size_t lda, double* c,
                std::size_t ldc) const;

 private:
  struct Panel {
    std::size_t jc, pc, nc, kc;
  };
  struct AlignedDelete {
    void operator()(double* p) const;
  };
  Panel panel(std::size_t index) const noexcept;

  GemmTile tile_;
  std::size_t k_, n_;
  const double* b_;
  std::size_t ldb_;
  double beta_;
  std::unique_ptr<double[], AlignedDelete> panel_;
};

}  // namespace quorvex::gemm
