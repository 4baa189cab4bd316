#include "data/Vec3dSeries.hpp"

#include <stdexcept>

namespace vorn {

void Vec3dSeries::throwOutOfRange() { throw std::out_of_range("vector"); }

Vec3dStamped Vec3dSeries::interpolate(double t) {
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
