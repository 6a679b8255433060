// _BallView: the private base class of the quorvex package's BallArray. An
// instance is a strided view of one storage (an offset, a shape and strides
// in elements, any of them negative or, for broadcast axes, zero) plus the
// array's rounding model. Views are immutable, share their storage, and are
// made in O(1): basic indexing and transposition happen here, at the speed
// of numpy's own views; everything else is the package's.
#pragma once

#include <cstdint>

#include "array/interval_array.hpp"
#include "binding/py.hpp"
#include "engine/strided.hpp"

namespace quorvex::binding {

struct ViewState {
  StorageRef storage;
  std::int64_t offset = 0;
  engine::Extents shape;
  engine::Extents strides;
  bool rigorous = false;
  PyObject* shape_tuple = nullptr;  // made on first use
  PyObject* cache = nullptr;        // the package's numpy views of it, or null
};

// The type object, created on first use; panics when the interpreter refuses.
PyTypeObject* ball_view_type();

bool is_ball_view(PyObject* obj);
// The state of an object already checked with is_ball_view.
ViewState& view_state(PyObject* obj);

// Whether the view is all of its storage in row-major order (so an
// IntervalArray can share it).
bool is_whole_storage(const ViewState& view);

// The engine's view of a view object.
engine::StridedBalls strided_of(const ViewState& view);

// A new instance of `type` (a _BallView subclass) over the whole of `array`.
PyObject* wrap_view(PyTypeObject* type, IntervalArray&& array, bool rigorous);

// A new instance of `type` over `storage` with the given layout (unchecked).
PyObject* new_view(PyTypeObject* type, const StorageRef& storage, std::int64_t offset,
                   engine::Extents shape, engine::Extents strides, bool rigorous);

}  // namespace quorvex::binding
