#pragma once

#include <Eigen/Core>

#include "data/StampedMeasurement.hpp"

namespace vorn {

/// One measured 3-vector (force, torque, linear acceleration or angular velocity) with its stamp.
class Vec3dStamped : public StampedMeasurement {
public:
  Vec3dStamped();
  Vec3dStamped(const Vec3dStamped& other);
  /// Copies stamp and vector; the source is left unchanged.
  Vec3dStamped(const Vec3dStamped&& other) noexcept;
  Vec3dStamped(double stamp, const Eigen::Vector3d& vec);
  Vec3dStamped(const double&& stamp, const Eigen::Vector3d&& vec);

  Vec3dStamped& operator=(const Vec3dStamped& other);

  Eigen::Vector3d vec() const { return vec_; }

  /// Writes "Stamp:  <stamp>,  Value:  [<x y z>]" and a newline to standard output.
  void print() const;

private:
  Eigen::Vector3d vec_;
};

}  // namespace vorn
