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
  KinematicsStamped earliest() const;
  KinematicsStamped latest() const;
  KinematicsStamped at(unsigned int index);
  KinematicsStamped atTime(const StampedMeasurement& time);
  void emplaceBack(const KinematicsStamped& kinematics);
  void clear();
  void shrink();

  const Vec3dSeries& linAccSeries() const { return linAcc_; }
  const Vec3dSeries& angVelSeries() const { return angVel_; }
  const Vec3dSeries& angAccSeries() const { return angAcc_; }

private:
  Vec3dSeries linAcc_;
  Vec3dSeries angVel_;
  Vec3dSeries angAcc_;
};

}  // namespace vorn
