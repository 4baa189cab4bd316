#pragma once

#include <cstdint>

#include "data/KinematicsStamped.hpp"
#include "data/Vec3dSeries.hpp"

namespace vorn {

/// Series of kinematics records kept as three aligned component series
/// (linear acceleration, angular velocity, angular acceleration).
class KinematicsSeries {
public:
  KinematicsSeries() = default;

  bool empty() const { return linAcc_.empty(); }
  uint32_t size() const { return linAcc_.size(); }
  // Defined here so that the per-sample calls inline.
  KinematicsStamped earliest() const {
    return KinematicsStamped(linAcc_.earliest(), angVel_.earliest(), angAcc_.earliest());
  }
  KinematicsStamped latest() const {
    return KinematicsStamped(linAcc_.latest(), angVel_.latest(), angAcc_.latest());
  }
  KinematicsStamped at(unsigned int index) {
    const Vec3dStamped linAcc = linAcc_.at(index);
    const Vec3dStamped angVel = angVel_.at(index);
    const Vec3dStamped angAcc = angAcc_.at(index);
    return KinematicsStamped(linAcc, angVel, angAcc);
  }
  KinematicsStamped atTime(const StampedMeasurement& time) {
    const Vec3dStamped linAcc = linAcc_.atTime(time);
    const Vec3dStamped angVel = angVel_.atTime(time);
    const Vec3dStamped angAcc = angAcc_.atTime(time);
    return KinematicsStamped(linAcc, angVel, angAcc);
  }
  void emplaceBack(const KinematicsStamped& kinematics) {
    linAcc_.emplaceBack(kinematics.linAccStamped());
    angVel_.emplaceBack(kinematics.angVelStamped());
    angAcc_.emplaceBack(kinematics.angAccStamped());
  }
  void clear() {
    linAcc_.clear();
    angVel_.clear();
    angAcc_.clear();
  }
  void shrink() {
    linAcc_.shrink();
    angVel_.shrink();
    angAcc_.shrink();
  }

  const Vec3dSeries& linAccSeries() const { return linAcc_; }
  const Vec3dSeries& angVelSeries() const { return angVel_; }
  const Vec3dSeries& angAccSeries() const { return angAcc_; }

private:
  Vec3dSeries linAcc_;
  Vec3dSeries angVel_;
  Vec3dSeries angAcc_;
};

}  // namespace vorn
