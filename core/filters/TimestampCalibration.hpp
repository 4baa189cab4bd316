#pragma once

#include "data/Vec3dStamped.hpp"

namespace vorn {

/// Constant per-stream delays (seconds) subtracted from raw stamps, so streams with different
/// latencies line up. A positive delay means the measurement is stamped later than it happened.
class TimestampCalibration {
public:
  TimestampCalibration() = default;

  /// Linear-acceleration delay and angular-velocity delay, in seconds.
  void setImuDelays(double linAccDelay, double angVelDelay);
  /// One delay for force and torque, in seconds.
  void setWrenchDelay(double wrenchDelay) { wrenchDelay_ = wrenchDelay; }
  double getWrenchDelay() const { return wrenchDelay_; }

  // Defined here: the compensator applies all four on every sample.
  Vec3dStamped calibrateLinAccDelay(const Vec3dStamped& v) const {
    return calibrateVec3dDelay(v, linAccDelay_);
  }
  Vec3dStamped calibrateAngVelDelay(const Vec3dStamped& v) const {
    return calibrateVec3dDelay(v, angVelDelay_);
  }
  Vec3dStamped calibrateForceDelay(const Vec3dStamped& v) const {
    return calibrateVec3dDelay(v, wrenchDelay_);
  }
  Vec3dStamped calibrateTorqueDelay(const Vec3dStamped& v) const {
    return calibrateVec3dDelay(v, wrenchDelay_);
  }
  /// `v` with its stamp moved back by `delay`.
  Vec3dStamped calibrateVec3dDelay(const Vec3dStamped& v, double delay) const {
    return Vec3dStamped(v.stamp() - delay, v.vec());
  }

private:
  double linAccDelay_ = 0.0;
  double angVelDelay_ = 0.0;
  double wrenchDelay_ = 0.0;
};

}  // namespace vorn
