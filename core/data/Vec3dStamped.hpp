#pragma once

#include <Eigen/Core>

#include "data/StampedMeasurement.hpp"

namespace vorn {

/// One measured 3-vector (force, torque, linear acceleration or angular velocity) with its stamp.
class Vec3dStamped : public StampedMeasurement {
public:
  // Defined here so that the copies made on every sample inline.
  Vec3dStamped() : StampedMeasurement(0.0), vec_(Eigen::Vector3d::Zero()) {}
  Vec3dStamped(const Vec3dStamped& other) : StampedMeasurement(other.stamp_), vec_(other.vec_) {}
  /// Copies stamp and vector; the source is left unchanged.
  Vec3dStamped(const Vec3dStamped&& other) noexcept
      : StampedMeasurement(other.stamp_), vec_(other.vec_) {}
  Vec3dStamped(double stamp, const Eigen::Vector3d& vec) : StampedMeasurement(stamp), vec_(vec) {}
  Vec3dStamped(const double&& stamp, const Eigen::Vector3d&& vec)
      : StampedMeasurement(stamp), vec_(vec) {}

  Vec3dStamped& operator=(const Vec3dStamped& other) {
    stamp_ = other.stamp_;
    vec_ = other.vec_;
    return *this;
  }

  Eigen::Vector3d vec() const { return vec_; }
  /// The vector itself, without a copy.
  const Eigen::Vector3d& vecRef() const { return vec_; }

  /// Writes "Stamp:  <stamp>,  Value:  [<x y z>]" and a newline to standard output.
  void print() const;

private:
  Eigen::Vector3d vec_;
};

}  // namespace vorn
