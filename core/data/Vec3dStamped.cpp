#include "data/Vec3dStamped.hpp"

#include <iostream>

namespace vorn {

Vec3dStamped::Vec3dStamped() : StampedMeasurement(0.0), vec_(Eigen::Vector3d::Zero()) {}

Vec3dStamped::Vec3dStamped(const Vec3dStamped& other)
    : StampedMeasurement(other.stamp_), vec_(other.vec_) {}

Vec3dStamped::Vec3dStamped(const Vec3dStamped&& other) noexcept
    : StampedMeasurement(other.stamp_), vec_(other.vec_) {}

Vec3dStamped::Vec3dStamped(double stamp, const Eigen::Vector3d& vec)
    : StampedMeasurement(stamp), vec_(vec) {}

Vec3dStamped::Vec3dStamped(const double&& stamp, const Eigen::Vector3d&& vec)
    : StampedMeasurement(stamp), vec_(vec) {}

Vec3dStamped& Vec3dStamped::operator=(const Vec3dStamped& other) {
  stamp_ = other.stamp_;
  vec_ = other.vec_;
  return *this;
}

void Vec3dStamped::print() const {
  std::cout << "Stamp:  " << stamp_ << ",  Value:  [" << vec_.transpose() << "]" << std::endl;
}

}  // namespace vorn
