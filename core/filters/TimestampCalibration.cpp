#include "filters/TimestampCalibration.hpp"

namespace vorn {

void TimestampCalibration::setImuDelays(double linAccDelay, double angVelDelay) {
  linAccDelay_ = linAccDelay;
  angVelDelay_ = angVelDelay;
}

Vec3dStamped TimestampCalibration::calibrateLinAccDelay(const Vec3dStamped& v) const {
  return calibrateVec3dDelay(v, linAccDelay_);
}

Vec3dStamped TimestampCalibration::calibrateAngVelDelay(const Vec3dStamped& v) const {
  return calibrateVec3dDelay(v, angVelDelay_);
}

Vec3dStamped TimestampCalibration::calibrateForceDelay(const Vec3dStamped& v) const {
  return calibrateVec3dDelay(v, wrenchDelay_);
}

Vec3dStamped TimestampCalibration::calibrateTorqueDelay(const Vec3dStamped& v) const {
  return calibrateVec3dDelay(v, wrenchDelay_);
}

Vec3dStamped TimestampCalibration::calibrateVec3dDelay(const Vec3dStamped& v, double delay) const {
  return Vec3dStamped(v.stamp() - delay, v.vec());
}

}  // namespace vorn
