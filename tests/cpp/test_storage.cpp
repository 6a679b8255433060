// The storage and the array value: layout, sharing, copy on write and the
// limits of the shapes that can be stored.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "array/interval_array.hpp"
#include "array/storage.hpp"
#include "support/panic.hpp"

namespace quorvex {
namespace {

std::uint64_t bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}

// Both the calloc path and the fresh-pages path of the allocator.
class ZeroedStorage : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(ZeroedStorage, IsAlignedContiguousAndAllPositiveZero) {
  const std::uint64_t len = GetParam();
  auto storage = StorageRef::zeroed(len);
  ASSERT_TRUE(storage.has_value());
  const IntervalStorage& s = **storage;
  EXPECT_EQ(s.len(), len);
  EXPECT_EQ(s.share_count(), 1u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s.midpoints()) % 64, 0u);
  EXPECT_EQ(s.radii(), s.midpoints() + len);
  std::uint64_t nonzero = 0;
  for (std::uint64_t k = 0; k < 2 * len; ++k) nonzero += bits(s.midpoints()[k]) != 0;
  EXPECT_EQ(nonzero, 0u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ZeroedStorage,
                         ::testing::Values(1, 3, 1000, kFreshPagesThreshold / 16 - 1,
                                           kFreshPagesThreshold / 16,
                                           kFreshPagesThreshold / 16 * 3 + 5));

// Storage for overwriting: both the heap path and the fresh-pages path give an
// aligned, contiguous and fully writable block.
class OverwriteStorage : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(OverwriteStorage, IsAlignedContiguousAndWritableThroughout) {
  const std::uint64_t len = GetParam();
  auto storage = StorageRef::for_overwrite(len);
  ASSERT_TRUE(storage.has_value());
  IntervalStorage& s = **storage;
  EXPECT_EQ(s.len(), len);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s.midpoints()) % 64, 0u);
  EXPECT_EQ(s.radii(), s.midpoints() + len);
  double* all = s.mutable_midpoints();
  for (std::uint64_t k = 0; k < 2 * len; ++k) all[k] = static_cast<double>(k);
  EXPECT_EQ(all[2 * len - 1], static_cast<double>(2 * len - 1));
}

INSTANTIATE_TEST_SUITE_P(Lengths, OverwriteStorage,
                         ::testing::Values(1, 3, kOverwriteFreshPagesThreshold / 16 - 1,
                                           kOverwriteFreshPagesThreshold / 16,
                                           kOverwriteFreshPagesThreshold / 16 + 4099));

TEST(OverwriteStorage, SharesTheLimitsOfZeroedStorage) {
  EXPECT_EQ(StorageRef::for_overwrite(0).value()->midpoints(), nullptr);
  auto wraps = StorageRef::for_overwrite(std::uint64_t{1} << 60);
  ASSERT_FALSE(wraps.has_value());
  EXPECT_EQ(wraps.error().kind, ErrorKind::ValueError);
  auto refused = IntervalArray::for_overwrite({std::uint64_t{1} << 58});
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().message, "memory allocation of 4611686018427387904 bytes failed");
  EXPECT_THROW((void)StorageRef::for_overwrite(kMaxStorageBytes / 16 + 1), Panic);
}

TEST(EmptyStorage, AllocatesNothing) {
  auto storage = StorageRef::zeroed(0);
  ASSERT_TRUE(storage.has_value());
  EXPECT_EQ((*storage)->len(), 0u);
  EXPECT_EQ((*storage)->midpoints(), nullptr);

  auto a = IntervalArray::zeros({2, 0, 5});
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->size(), 0u);
  EXPECT_TRUE(a->midpoints().empty());
  EXPECT_TRUE(a->radii().empty());
  EXPECT_EQ(a->storage()->midpoints(), nullptr);
}

TEST(StoragePanics, OnDifferentPartLengths) {
  const std::vector<double> mids{1.0, 2.0}, rads{0.5};
  try {
    (void)StorageRef::from_parts(mids, rads);
    FAIL() << "expected a panic";
  } catch (const Panic& p) {
    EXPECT_EQ(p.message(), "midpoints and radii must have same length");
  }
}

TEST(ArrayFromParts, PanicsWhenAVectorDoesNotMatchTheShape) {
  const std::vector<double> mids{1.0, 2.0}, rads{0.5, 0.5};
  try {
    (void)IntervalArray::from_parts(mids, rads, {3});
    FAIL() << "expected a panic";
  } catch (const Panic& p) {
    EXPECT_EQ(p.message(), "assertion `left == right` failed\n  left: 2\n right: 3");
  }
}

TEST(ArrayFromParts, KeepsMidpointsThenRadiiInRowMajorOrder) {
  const std::vector<double> mids{1, 2, 3, 4, 5, 6}, rads{-0.0, NAN, INFINITY, -1, 0.5, 7};
  auto a = IntervalArray::from_parts(mids, rads, {2, 3});
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->shape(), (Shape{2, 3}));
  EXPECT_EQ(a->strides(), (Shape{3, 1}));
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(bits(a->midpoints()[k]), bits(mids[k]));
    EXPECT_EQ(bits(a->radii()[k]), bits(rads[k]));  // stored as given, unchecked
  }
}

struct StrideCase {
  Shape shape;
  Shape strides;
};

class RowMajorStrides : public ::testing::TestWithParam<StrideCase> {};

TEST_P(RowMajorStrides, AreSuffixProducts) {
  auto a = IntervalArray::zeros(GetParam().shape);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->strides(), GetParam().strides);
  EXPECT_EQ(a->ndim(), GetParam().shape.size());
}

INSTANTIATE_TEST_SUITE_P(Shapes, RowMajorStrides,
                         ::testing::Values(StrideCase{{2, 3, 4}, {12, 4, 1}}, StrideCase{{}, {}},
                                           StrideCase{{7}, {1}}, StrideCase{{2, 0, 3}, {0, 3, 1}},
                                           StrideCase{{1, 1, 5, 2}, {10, 10, 2, 1}}));

TEST(ZeroDimensionalArray, HasOneZeroElement) {
  auto a = IntervalArray::zeros({});
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->ndim(), 0u);
  EXPECT_EQ(a->size(), 1u);
  EXPECT_TRUE(a->strides().empty());
  ASSERT_EQ(a->midpoints().size(), 1u);
  EXPECT_EQ(bits(a->midpoints()[0]), 0u);
  EXPECT_EQ(bits(a->radii()[0]), 0u);
}

TEST(Exact1d, OfNothingHasShapeZero) {
  auto a = IntervalArray::exact_1d({});
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->shape(), Shape{0});
  EXPECT_EQ(a->size(), 0u);
}

TEST(SharedCopy, CountsSharesAndReleasesThem) {
  auto a = IntervalArray::uniform({4}, 1.5, 0.25);
  ASSERT_TRUE(a.has_value());
  IntervalStorage* storage = a->storage().get();
  {
    IntervalArray b = *a;
    IntervalArray c = b;
    EXPECT_EQ(storage->share_count(), 3u);
    EXPECT_EQ(c.storage().get(), storage);
    IntervalArray moved = std::move(c);
    EXPECT_EQ(storage->share_count(), 3u);
  }
  EXPECT_EQ(storage->share_count(), 1u);
}

TEST(CopyOnWrite, FillingASharedValueNeverChangesTheOther) {
  auto a = IntervalArray::uniform({3, 2}, 2.0, 0.5);
  ASSERT_TRUE(a.has_value());
  IntervalArray b = *a;
  auto runs = b.writable();
  ASSERT_TRUE(runs.has_value());
  EXPECT_NE(b.storage().get(), a->storage().get());
  EXPECT_EQ(a->storage()->share_count(), 1u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(runs->mid.data()) % 64, 0u);
  // The new storage starts as a copy of the old one.
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(runs->mid[k], 2.0);
    EXPECT_EQ(runs->rad[k], 0.5);
  }
  runs->mid[0] = -7.0;
  runs->rad[5] = 9.0;
  EXPECT_EQ(a->midpoints()[0], 2.0);
  EXPECT_EQ(a->radii()[5], 0.5);
  EXPECT_EQ(b.shape(), a->shape());
}

TEST(CopyOnWrite, AnExclusiveValueIsWrittenInPlace) {
  auto a = IntervalArray::zeros({5});
  ASSERT_TRUE(a.has_value());
  const double* before = a->midpoints().data();
  auto runs = a->writable();
  ASSERT_TRUE(runs.has_value());
  EXPECT_EQ(runs->mid.data(), before);
  EXPECT_EQ(runs->rad.data(), before + 5);
}

// Shapes whose element count or strides do not fit in 64 bits are refused
// with a ValueError before anything is allocated.
class OverflowingShape : public ::testing::TestWithParam<Shape> {};

TEST_P(OverflowingShape, IsAValueError) {
  auto count = element_count(GetParam());
  ASSERT_FALSE(count.has_value());
  EXPECT_EQ(count.error().kind, ErrorKind::ValueError);
  EXPECT_EQ(count.error().message, "shape " + format_dims(GetParam()) +
                                       " is too large: its element count does not fit in 64 bits");
  auto a = IntervalArray::zeros(GetParam());
  ASSERT_FALSE(a.has_value());
  EXPECT_EQ(a.error().kind, ErrorKind::ValueError);
}

constexpr std::uint64_t k2to32 = std::uint64_t{1} << 32;

INSTANTIATE_TEST_SUITE_P(Shapes, OverflowingShape,
                         ::testing::Values(Shape{k2to32, k2to32}, Shape{UINT64_MAX, 2},
                                           Shape{3, k2to32, k2to32 / 2},
                                           // Zero elements, but the first stride overflows.
                                           Shape{0, k2to32, k2to32}));

TEST(StorageLimits, ThoseJustInsideSixtyFourBitsStillBehave) {
  // The count fits but 16 bytes per element do not.
  auto wraps = IntervalArray::zeros({std::uint64_t{1} << 60});
  ASSERT_FALSE(wraps.has_value());
  EXPECT_EQ(wraps.error().kind, ErrorKind::ValueError);
  // A zero last dimension hides the other sizes without any stride overflowing.
  auto empty = IntervalArray::zeros({k2to32, k2to32, 0});
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->size(), 0u);
}

TEST(StorageLimits, AboveTheLargestLayoutPanics) {
  try {
    (void)IntervalArray::zeros({kMaxStorageBytes / 16 + 1});
    FAIL() << "expected a panic";
  } catch (const Panic& p) {
    EXPECT_EQ(p.message(), "invalid layout: LayoutError");
  }
}

TEST(StorageLimits, ARefusedAllocationIsAMemoryError) {
  // 2^62 bytes: a valid layout no machine grants.
  auto a = IntervalArray::zeros({std::uint64_t{1} << 58});
  ASSERT_FALSE(a.has_value());
  EXPECT_EQ(a.error().kind, ErrorKind::MemoryError);
  EXPECT_EQ(a.error().message, "memory allocation of 4611686018427387904 bytes failed");
}

}  // namespace
}  // namespace quorvex
