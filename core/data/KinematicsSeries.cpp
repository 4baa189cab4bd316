#include "data/KinematicsSeries.hpp"

namespace vorn {

KinematicsStamped KinematicsSeries::earliest() const {
  return KinematicsStamped(linAcc_.earliest(), angVel_.earliest(), angAcc_.earliest());
}

KinematicsStamped KinematicsSeries::latest() const {
  return KinematicsStamped(linAcc_.latest(), angVel_.latest(), angAcc_.latest());
}

KinematicsStamped KinematicsSeries::at(unsigned int index) {
  const Vec3dStamped linAcc = linAcc_.at(index);
  const Vec3dStamped angVel = angVel_.at(index);
  const Vec3dStamped angAcc = angAcc_.at(index);
  return KinematicsStamped(linAcc, angVel, angAcc);
}

KinematicsStamped KinematicsSeries::atTime(const StampedMeasurement& time) {
  const Vec3dStamped linAcc = linAcc_.atTime(time);
  const Vec3dStamped angVel = angVel_.atTime(time);
  const Vec3dStamped angAcc = angAcc_.atTime(time);
  return KinematicsStamped(linAcc, angVel, angAcc);
}

void KinematicsSeries::emplaceBack(const KinematicsStamped& kinematics) {
  linAcc_.emplaceBack(kinematics.linAccStamped());
  angVel_.emplaceBack(kinematics.angVelStamped());
  angAcc_.emplaceBack(kinematics.angAccStamped());
}

void KinematicsSeries::clear() {
  linAcc_.clear();
  angVel_.clear();
  angAcc_.clear();
}

void KinematicsSeries::shrink() {
  linAcc_.shrink();
  angVel_.shrink();
  angAcc_.shrink();
}

}  // namespace vorn
