#pragma once

#include <Eigen/Core>

#include "data/Vec3dStamped.hpp"

namespace vorn {

/// Linear acceleration (m/s², accelerometer reading, gravity included), angular velocity (rad/s)
/// and angular acceleration (rad/s²) in the sensor frame, sharing one stamp.
class KinematicsStamped : public StampedMeasurement {
public:
  KinematicsStamped()
      : StampedMeasurement(0.0),
        linAcc_(Eigen::Vector3d::Zero()),
        angVel_(Eigen::Vector3d::Zero()),
        angAcc_(Eigen::Vector3d::Zero()) {}
  /// Takes the stamp of `linAcc`; the other two stamps are ignored.
  KinematicsStamped(const Vec3dStamped& linAcc, const Vec3dStamped& angVel,
                    const Vec3dStamped& angAcc)
      : StampedMeasurement(linAcc.stamp()),
        linAcc_(linAcc.vec()),
        angVel_(angVel.vec()),
        angAcc_(angAcc.vec()) {}
  KinematicsStamped(double stamp, const Eigen::Vector3d& linAcc, const Eigen::Vector3d& angVel,
                    const Eigen::Vector3d& angAcc)
      : StampedMeasurement(stamp), linAcc_(linAcc), angVel_(angVel), angAcc_(angAcc) {}

  Vec3dStamped linAccStamped() const { return Vec3dStamped(stamp_, linAcc_); }
  Vec3dStamped angVelStamped() const { return Vec3dStamped(stamp_, angVel_); }
  Vec3dStamped angAccStamped() const { return Vec3dStamped(stamp_, angAcc_); }
  Eigen::Vector3d linAcc() const { return linAcc_; }
  Eigen::Vector3d angVel() const { return angVel_; }
  Eigen::Vector3d angAcc() const { return angAcc_; }

private:
  Eigen::Vector3d linAcc_;
  Eigen::Vector3d angVel_;
  Eigen::Vector3d angAcc_;
};

}  // namespace vorn
