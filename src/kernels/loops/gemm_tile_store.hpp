// Writing a finished tile back to C, shared by the micro-kernel files. Each of
// those is compiled for a different instruction set, so these helpers have
// internal linkage: every file keeps its own copy and the linker cannot swap in
// one built for another processor.
#pragma once

#include <cstddef>

namespace quorvex::kernels::loops {
namespace {

// One row of `cols` values: beta == 0 overwrites without reading (a NaN in C
// must not survive), otherwise C becomes value + beta * C.
inline void store_row_part(const double* row, double beta, double* c, std::size_t cols) {
  if (beta == 0.0) {
    for (std::size_t j = 0; j < cols; ++j) c[j] = row[j];
  } else {
    for (std::size_t j = 0; j < cols; ++j) c[j] = row[j] + beta * c[j];
  }
}

// The valid rows x cols corner of a tile spilled to `tile` (row stride `nr`).
inline void store_tile_part(const double* tile, std::size_t nr, double beta, double* c,
                            std::size_t ldc, std::size_t rows, std::size_t cols) {
  for (std::size_t i = 0; i < rows; ++i) store_row_part(tile + i * nr, beta, c + i * ldc, cols);
}

}  // namespace
}  // namespace quorvex::kernels::loops
