#include "data/Vec3dSeries.hpp"

#include <algorithm>
#include <stdexcept>

namespace vorn {

void Vec3dSeries::throwOutOfRange() { throw std::out_of_range("vector"); }

Vec3dStamped Vec3dSeries::atTime(const StampedMeasurement& time) {
  const double t = time.stamp();
  if (count_ == 0) {
    return Vec3dStamped(t, Eigen::Vector3d::Zero());
  }
  const Vec3dStamped& first = slot(0);
  if (count_ <= 1 || time.isBefore(first)) {
    return Vec3dStamped(t, first.vec());
  }
  const Vec3dStamped& last = newest();
  // Later than the last sample, or exactly at it (where the upper bound would be the end): the
  // last vector. The pipelines evaluate most series at their own newest stamp.
  if (!time.isBefore(last)) {
    return Vec3dStamped(t, last.vec());
  }
  // Upper bound: the first sample stamped strictly after t (binary search over the whole series).
  std::size_t low = 0;
  std::size_t span = count_;
  while (span > 0) {
    const std::size_t half = span / 2;
    const std::size_t middle = low + half;
    if (t < slot(middle).stamp()) {
      span = half;
    } else {
      low = middle + 1;
      span -= half + 1;
    }
  }
  const std::size_t upperIndex = low;  // < count_: t is earlier than the last stamp
  const auto lowerIndex = static_cast<uint32_t>(upperIndex - 1);
  if (lowerIndex < oldestUsedIndex_) {
    oldestUsedIndex_ = lowerIndex;
  }
  const Vec3dStamped& lower = slot(lowerIndex);
  const Vec3dStamped& upper = slot(upperIndex);
  const Eigen::Vector3d slope = (upper.vec() - lower.vec()) / (upper.stamp() - lower.stamp());
  const Eigen::Vector3d value = slope * (t - lower.stamp()) + lower.vec();
  return Vec3dStamped(t, value);
}

void Vec3dSeries::clear() {
  first_ = 0;
  count_ = 0;
  oldestUsedIndex_ = 0;
}

void Vec3dSeries::shrink() {
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

void Vec3dSeries::grow() {
  // Unrolled into a ring twice as long, oldest sample first.
  std::vector<Vec3dStamped> larger(ring_.size() * 2);
  for (std::size_t i = 0; i < count_; ++i) {
    larger[i] = slot(i);
  }
  ring_.swap(larger);
  mask_ = ring_.size() - 1;
  first_ = 0;
}

}  // namespace vorn
