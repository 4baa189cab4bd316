#pragma once

#include <Eigen/Core>

#include "data/Vec3dStamped.hpp"

namespace vorn {

/// Constant offsets subtracted from raw sensor vectors: the value the sensor reports when the true
/// quantity is zero. All offsets are zero after construction.
class ConstantBiasCalibration {
public:
  ConstantBiasCalibration();

  /// Linear-acceleration offset (m/s²) and angular-velocity offset (rad/s).
  void setImuBias(const Eigen::Vector3d& linAccOffset, const Eigen::Vector3d& angVelOffset);
  /// Force offset (N) and torque offset (N·m).
  void setWrenchBias(const Eigen::Vector3d& forceOffset, const Eigen::Vector3d& torqueOffset);
  /// The twelve offsets in sample-array order: force, torque, linear acceleration, angular velocity.
  Eigen::VectorXd getBiasVector() const;

  // Defined here: the compensator applies all four on every sample.
  Vec3dStamped calibrateConstLinAccBias(const Vec3dStamped& v) const {
    return calibrateConstVec3dBias(v, linAccOffset_);
  }
  Vec3dStamped calibrateConstAngVelBias(const Vec3dStamped& v) const {
    return calibrateConstVec3dBias(v, angVelOffset_);
  }
  Vec3dStamped calibrateConstForceBias(const Vec3dStamped& v) const {
    return calibrateConstVec3dBias(v, forceOffset_);
  }
  Vec3dStamped calibrateConstTorqueBias(const Vec3dStamped& v) const {
    return calibrateConstVec3dBias(v, torqueOffset_);
  }
  /// `v` minus `offset`, stamp unchanged.
  Vec3dStamped calibrateConstVec3dBias(const Vec3dStamped& v, const Eigen::Vector3d& offset) const {
    const Eigen::Vector3d corrected = v.vec() - offset;
    return Vec3dStamped(v.stamp(), corrected);
  }

private:
  Eigen::Vector3d linAccOffset_;
  Eigen::Vector3d angVelOffset_;
  Eigen::Vector3d forceOffset_;
  Eigen::Vector3d torqueOffset_;
};

}  // namespace vorn
