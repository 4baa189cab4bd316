#pragma once

#include <Eigen/Core>

#include "data/Vec3dStamped.hpp"

namespace vorn {

/// Force (N) and torque (N·m) in the sensor frame, sharing one stamp.
class WrenchStamped : public StampedMeasurement {
public:
  WrenchStamped()
      : StampedMeasurement(0.0),
        force_(Eigen::Vector3d::Zero()),
        torque_(Eigen::Vector3d::Zero()) {}
  /// Takes the stamp of `force`; the stamp of `torque` is ignored.
  WrenchStamped(const Vec3dStamped& force, const Vec3dStamped& torque)
      : StampedMeasurement(force.stamp()), force_(force.vec()), torque_(torque.vec()) {}
  WrenchStamped(double stamp, const Eigen::Vector3d& force, const Eigen::Vector3d& torque)
      : StampedMeasurement(stamp), force_(force), torque_(torque) {}

  Vec3dStamped forceStamped() const { return Vec3dStamped(stamp_, force_); }
  Vec3dStamped torqueStamped() const { return Vec3dStamped(stamp_, torque_); }
  Eigen::Vector3d force() const { return force_; }
  Eigen::Vector3d torque() const { return torque_; }

private:
  Eigen::Vector3d force_;
  Eigen::Vector3d torque_;
};

}  // namespace vorn
