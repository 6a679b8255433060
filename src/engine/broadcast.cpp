#include "engine/broadcast.hpp"

#include <algorithm>
#include <string>

namespace quorvex::engine {
namespace {

// A shape as numpy writes it in messages: (2,3), (4,), ().
std::string shape_text(const Extents& shape) {
  std::string text = "(";
  for (std::size_t d = 0; d < shape.size(); ++d) {
    if (d != 0) text += ",";
    text += std::to_string(shape[d]);
  }
  if (shape.size() == 1) text += ",";
  return text + ")";
}

}  // namespace

Result<Extents> broadcast_shapes(const Extents& a, const Extents& b) {
  const std::size_t nd = std::max(a.size(), b.size());
  Extents out(nd);
  for (std::size_t i = 0; i < nd; ++i) {
    const std::int64_t x = i < a.size() ? a[a.size() - 1 - i] : 1;
    const std::int64_t y = i < b.size() ? b[b.size() - 1 - i] : 1;
    if (x != y && x != 1 && y != 1) {
      return value_error("operands could not be broadcast together with shapes " + shape_text(a) +
                         " " + shape_text(b) + " ");
    }
    out[nd - 1 - i] = x == 1 ? y : x;
  }
  return out;
}

Extents broadcast_strides(const StridedBalls& view, const Extents& shape) {
  Extents strides(shape.size(), 0);
  const std::size_t lead = shape.size() - view.ndim();
  for (std::size_t d = 0; d < view.ndim(); ++d) {
    strides[lead + d] = view.shape[d] == 1 ? 0 : view.strides[d];
  }
  return strides;
}

template <std::size_t K>
LoopNest<K> coalesce(const Extents& shape, const std::array<Extents, K>& strides) {
  LoopNest<K> nest;
  for (std::size_t d = 0; d < shape.size(); ++d) {
    if (shape[d] == 1) continue;  // contributes nothing to any offset
    if (shape[d] == 0) {          // no element at all: one empty axis says it
      nest.shape.assign(1, 0);
      for (auto& s : nest.strides) s.assign(1, 0);
      return nest;
    }
    bool merge = !nest.shape.empty();
    for (std::size_t k = 0; merge && k < K; ++k) {
      merge = nest.strides[k].back() == strides[k][d] * shape[d];
    }
    if (merge) {
      nest.shape.back() *= shape[d];
      for (std::size_t k = 0; k < K; ++k) nest.strides[k].back() = strides[k][d];
    } else {
      nest.shape.push_back(shape[d]);
      for (std::size_t k = 0; k < K; ++k) nest.strides[k].push_back(strides[k][d]);
    }
  }
  return nest;
}

template LoopNest<1> coalesce<1>(const Extents&, const std::array<Extents, 1>&);
template LoopNest<2> coalesce<2>(const Extents&, const std::array<Extents, 2>&);

}  // namespace quorvex::engine
