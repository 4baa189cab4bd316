#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/Vec3dStamped.hpp"

namespace vorn {

/// Short history of one measured 3-vector, oldest sample first, with time lookup.
///
/// Readers leave a mark (`oldestUsedIndex`) on the oldest index they used; `shrink` keeps five
/// samples before that mark and drops the rest. Samples must arrive in non-decreasing stamp order.
///
/// The samples live in a ring whose storage only grows (doubling when full): dropping old
/// samples moves nothing, and once the ring has held the longest history the series needs,
/// appending and shrinking allocate nothing.
class Vec3dSeries {
public:
  /// Empty; room for the few samples a series read near its newest sample keeps is reserved.
  Vec3dSeries() : ring_(kReservedSamples), mask_(kReservedSamples - 1) {}

  /// Samples reserved at construction (a power of two; a shrunk series holds about seven).
  static constexpr std::size_t kReservedSamples = 16;

  bool empty() const { return count_ == 0; }
  uint32_t size() const { return static_cast<uint32_t>(count_); }
  /// Oldest sample. Precondition: not empty (a default record is returned otherwise).
  Vec3dStamped earliest() const { return count_ == 0 ? Vec3dStamped() : ring_[first_]; }
  /// Newest sample. Precondition: not empty (a default record is returned otherwise).
  Vec3dStamped latest() const { return count_ == 0 ? Vec3dStamped() : newest(); }
  /// Newest sample, without a copy. Precondition: not empty.
  const Vec3dStamped& newestSample() const { return newest(); }
  /// Sample at `index`; lowers the mark to `index`. Throws std::out_of_range("vector") past the end.
  Vec3dStamped at(unsigned int index) {
    if (index < oldestUsedIndex_) {
      oldestUsedIndex_ = index;
    }
    if (index >= count_) {
      throwOutOfRange();
    }
    return slot(index);
  }
  /// Value at the stamp of `time`: linear interpolation between the bracketing samples, held
  /// constant outside the stored span. Only interpolation lowers the mark.
  /// Precondition: not empty (a default record at the query stamp is returned otherwise).
  /// Defined here, like the other per-sample accessors, so that the pipelines inline them.
  Vec3dStamped atTime(const StampedMeasurement& time) {
    const double t = time.stamp();
    if (count_ == 0) {
      return Vec3dStamped(t, Eigen::Vector3d::Zero());
    }
    const Vec3dStamped& first = slot(0);
    if (count_ <= 1 || time.isBefore(first)) {
      return Vec3dStamped(t, first.vec());
    }
    // Later than the last sample, or exactly at it (where the upper bound would be the end): the
    // last vector. The pipelines evaluate most series at their own newest stamp.
    if (!time.isBefore(newest())) {
      return Vec3dStamped(t, newest().vec());
    }
    return interpolate(t);
  }
  void emplaceBack(const Vec3dStamped& sample) {
    if (count_ == ring_.size()) {
      grow();
    }
    ring_[(first_ + count_) & mask_] = sample;
    ++count_;
  }
  void clear() {
    first_ = 0;
    count_ = 0;
    oldestUsedIndex_ = 0;
  }
  /// Drops the samples older than five before the mark and moves the mark to the newest index.
  void shrink() {
    // size - 1 and the mark compared as unsigned 64-bit numbers. An empty series is left alone
    // (its size - 1 would wrap and the mark would be set to a wrapped "newest index").
    if (count_ == 0) {
      return;
    }
    const uint64_t newestIndex = static_cast<uint64_t>(count_) - 1U;
    if (newestIndex <= static_cast<uint64_t>(oldestUsedIndex_)) {
      return;
    }
    const int32_t mark = static_cast<int32_t>(oldestUsedIndex_);
    const int32_t drop = std::max(mark, 5) - 5;
    if (drop > 0) {
      first_ = (first_ + static_cast<std::size_t>(drop)) & mask_;
      count_ -= static_cast<std::size_t>(drop);
    }
    oldestUsedIndex_ = static_cast<uint32_t>(count_ - 1U);
  }

  /// The mark of the oldest sample read since the previous shrink.
  uint32_t oldestUsedIndex() const { return oldestUsedIndex_; }
  /// Samples the ring holds before it has to grow.
  std::size_t capacity() const { return ring_.size(); }

private:
  const Vec3dStamped& slot(std::size_t index) const { return ring_[(first_ + index) & mask_]; }
  const Vec3dStamped& newest() const { return slot(count_ - 1); }
  /// Linear interpolation at `t`, strictly inside the stored span (count_ >= 2, first stamp <= t
  /// < last stamp); lowers the mark to the lower bracketing sample.
  Vec3dStamped interpolate(double t);
  void grow();
  [[noreturn]] static void throwOutOfRange();

  uint32_t oldestUsedIndex_ = 0;
  std::vector<Vec3dStamped> ring_;
  std::size_t mask_;
  std::size_t first_ = 0;
  std::size_t count_ = 0;
};

}  // namespace vorn
