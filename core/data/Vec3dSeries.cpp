#include "data/Vec3dSeries.hpp"

#include <algorithm>
#include <stdexcept>

namespace vorn {

Vec3dStamped Vec3dSeries::earliest() const {
  return samples_.empty() ? Vec3dStamped() : samples_.front();
}

Vec3dStamped Vec3dSeries::latest() const {
  return samples_.empty() ? Vec3dStamped() : samples_.back();
}

Vec3dStamped Vec3dSeries::at(unsigned int index) {
  if (index < oldestUsedIndex_) {
    oldestUsedIndex_ = index;
  }
  if (index >= samples_.size()) {
    throw std::out_of_range("vector");
  }
  return samples_[index];
}

Vec3dStamped Vec3dSeries::atTime(const StampedMeasurement& time) {
  const double t = time.stamp();
  if (samples_.empty()) {
    return Vec3dStamped(t, Eigen::Vector3d::Zero());
  }
  if (samples_.size() <= 1 || time.isBefore(samples_.front())) {
    return Vec3dStamped(t, samples_.front().vec());
  }
  if (time.isAfter(samples_.back())) {
    return Vec3dStamped(t, samples_.back().vec());
  }
  const auto upper = std::upper_bound(
      samples_.begin(), samples_.end(), t,
      [](double value, const Vec3dStamped& sample) { return value < sample.stamp(); });
  if (upper == samples_.end()) {
    return Vec3dStamped(t, samples_.back().vec());
  }
  const auto lowerIndex = static_cast<uint32_t>(upper - samples_.begin() - 1);
  if (lowerIndex < oldestUsedIndex_) {
    oldestUsedIndex_ = lowerIndex;
  }
  const Vec3dStamped& lower = samples_[lowerIndex];
  const Eigen::Vector3d slope = (upper->vec() - lower.vec()) / (upper->stamp() - lower.stamp());
  const Eigen::Vector3d value = slope * (t - lower.stamp()) + lower.vec();
  return Vec3dStamped(t, value);
}

void Vec3dSeries::clear() {
  samples_.clear();
  oldestUsedIndex_ = 0;
}

void Vec3dSeries::shrink() {
  // size - 1 and the mark compared as unsigned 64-bit numbers. An empty series is left alone
  // (its size - 1 would wrap and the mark would be set to a wrapped "newest index").
  if (samples_.empty()) {
    return;
  }
  const uint64_t newest = static_cast<uint64_t>(samples_.size()) - 1U;
  if (newest <= static_cast<uint64_t>(oldestUsedIndex_)) {
    return;
  }
  const int32_t mark = static_cast<int32_t>(oldestUsedIndex_);
  const int32_t drop = std::max(mark, 5) - 5;
  if (drop > 0) {
    samples_.erase(samples_.begin(), samples_.begin() + drop);
  }
  oldestUsedIndex_ = static_cast<uint32_t>(samples_.size() - 1U);
}

}  // namespace vorn
