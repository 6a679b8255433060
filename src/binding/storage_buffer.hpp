// _StorageBuffer: a small private type that lends the storage of one array
// value to Python through the buffer protocol (one run of 2 * size doubles:
// the midpoints, then the radii). The quorvex package fills new arrays and
// views existing ones through it with numpy, so neither needs a copy beyond
// the one into the storage. It is not an IntervalArray, and Python cannot
// create one except through the private module functions.
#pragma once

#include <cstdint>

#include "array/interval_array.hpp"
#include "binding/py.hpp"

namespace quorvex::binding {

// The type object, created on first use; panics when the interpreter refuses.
PyTypeObject* storage_buffer_type();

// A read-only buffer holding a share of the storage of `value`. Arrays are
// immutable, so any number of exports may read it for as long as they live.
PyObject* shared_storage_buffer(const IntervalArray& value);

// A writable buffer over the exclusive storage of `fresh`, to be written
// completely before it becomes an array. What the allocation left in it is
// never seen: an export first zero-fills whatever copy_into_storage_buffer has
// not written, and array_from_storage_buffer refuses a storage that was
// neither written completely nor exported.
PyObject* fresh_storage_buffer(IntervalArray&& fresh);

// Copies the elements of `source` (a buffer of booleans, integers, float32
// or float64 values in native byte order, with any shape and strides,
// broadcast views included) in C order into the writable `buffer` from
// element `start` on, converted to double as astype(float64) converts them,
// with the interpreter lock released; the source may overlap the target (a
// view of the same storage). Returns None, or null with a Python error set.
PyObject* copy_into_storage_buffer(PyObject* buffer, std::uint64_t start, PyObject* source);

// An IntervalArray of `shape` over the storage behind `buffer`. A read-only
// buffer shares its storage. A writable one hands its storage over and is
// empty afterwards, so nothing can write to the array once it is wrapped;
// while a writable buffer is still exported this fails with BufferError, and
// while it is not written completely with ValueError.
// Returns null with a Python error set on failure.
PyObject* array_from_storage_buffer(PyObject* buffer, const Shape& shape);

}  // namespace quorvex::binding
