#include "engine/matmul.hpp"

#include <cstring>
#include <string>

#include "engine/broadcast.hpp"
#include "engine/elementwise.hpp"
#include "engine/operations.hpp"
#include "ops/matmul.hpp"

namespace quorvex::engine {
namespace {

// The matrix at batch position `pos` of an operand, as a contiguous array.
Result<IntervalArray> matrix_at(const MatrixOperand& op, const Extents& batch, std::int64_t pos) {
  const StridedBalls& v = op.view;
  const std::size_t lead = v.ndim() - 2;
  if (op.whole != nullptr && lead == 0) return *op.whole;
  // The operand's own batch index: broadcast axes stay at 0.
  std::int64_t offset = 0;
  for (std::size_t d = batch.size(); d-- > 0;) {
    const std::int64_t index = pos % batch[d];
    pos /= batch[d];
    const std::size_t own = d + lead - batch.size();
    if (d + lead >= batch.size() && v.shape[own] != 1) offset += index * v.strides[own];
  }
  StridedBalls matrix;
  matrix.mid = v.mid + offset;
  matrix.rad = v.rad + offset;
  matrix.shape = {v.shape[lead], v.shape[lead + 1]};
  matrix.strides = {v.strides[lead], v.strides[lead + 1]};
  return apply(*unary_op(static_cast<int>(Unary::kCopy)), matrix);
}

}  // namespace

Result<IntervalArray> matmul(const MatrixOperand& a, const MatrixOperand& b, Model model) {
  const auto product_of = model == Model::kRigorous ? quorvex::matmul_rigorous : quorvex::matmul;
  const StridedBalls& x = a.view;
  const StridedBalls& y = b.view;
  if (x.ndim() < 2 || y.ndim() < 2)
    return value_error("matmul needs operands of 2 dimensions or more");
  const std::int64_t m = x.shape[x.ndim() - 2], k = x.shape[x.ndim() - 1];
  const std::int64_t k2 = y.shape[y.ndim() - 2], n = y.shape[y.ndim() - 1];
  if (k != k2) {
    return value_error("matmul: inner dimensions " + std::to_string(k) + " and " +
                       std::to_string(k2) + " differ");
  }
  const Extents x_batch(x.shape.begin(), x.shape.end() - 2);
  const Extents y_batch(y.shape.begin(), y.shape.end() - 2);
  QV_TRY(batch, broadcast_shapes(x_batch, y_batch));
  Extents shape = batch;
  shape.push_back(m);
  shape.push_back(n);
  std::uint64_t count = 1;
  for (std::int64_t d : shape) {
    if (__builtin_mul_overflow(count, static_cast<std::uint64_t>(d), &count) ||
        count > (std::uint64_t{1} << 59)) {
      return memory_error("the matrix product is too large to lay out");
    }
  }
  std::int64_t products = 1;
  for (std::int64_t d : batch) products *= d;
  if (products == 1) {
    QV_TRY(left, matrix_at(a, batch, 0));
    QV_TRY(right, matrix_at(b, batch, 0));
    QV_TRY(product, product_of(left, right));
    return product.with_shape(to_shape(shape));
  }
  QV_TRY(result, IntervalArray::for_overwrite(to_shape(shape)));
  if (result.size() == 0) return result;
  QV_TRY(out, result.writable());
  const auto block = static_cast<std::size_t>(m * n);
  for (std::int64_t pos = 0; pos < products; ++pos) {
    QV_TRY(left, matrix_at(a, batch, pos));
    QV_TRY(right, matrix_at(b, batch, pos));
    QV_TRY(product, product_of(left, right));
    const std::size_t at = static_cast<std::size_t>(pos) * block;
    std::memcpy(out.mid.data() + at, product.midpoints().data(), block * sizeof(double));
    std::memcpy(out.rad.data() + at, product.radii().data(), block * sizeof(double));
  }
  return result;
}

}  // namespace quorvex::engine
