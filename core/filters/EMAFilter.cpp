#include "filters/EMAFilter.hpp"

#include <iostream>

namespace vorn {

EMAFilter::EMAFilter() : filtered_(Eigen::Vector3d::Zero()) {}

Vec3dStamped EMAFilter::filterAndDifferentiate(Vec3dSeries& series) {
  const uint32_t n = series.size();
  if (n <= 1) {
    std::cout << "EMAFilter: Not enough data (need at least 2 samples)" << std::endl;
    return Vec3dStamped(series.latest().stamp(), Eigen::Vector3d::Zero());
  }
  const Vec3dStamped newest = series.latest();
  const Vec3dStamped previous = series.at(n - 2);
  const double dt = newest.stamp() - previous.stamp();
  if (dt <= 0) {
    std::cout << "EMAFilter: Invalid dt=" << dt << ", returning zero" << std::endl;
    return Vec3dStamped(newest.stamp(), Eigen::Vector3d::Zero());
  }
  if (!initialized_) {
    filtered_ = newest.vec();
    initialized_ = true;
    return Vec3dStamped(newest.stamp(), Eigen::Vector3d::Zero());
  }
  const double alpha = dt / (dt + timeConstant_);
  const Eigen::Vector3d next = alpha * newest.vec() + (1.0 - alpha) * filtered_;
  const Eigen::Vector3d derivative = (next - filtered_) / dt;
  filtered_ = next;
  return Vec3dStamped(newest.stamp(), derivative);
}

void EMAFilter::reset() {
  initialized_ = false;
  filtered_.setZero();
}

}  // namespace vorn
