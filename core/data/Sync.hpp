#pragma once

#include "data/DynamicsStamped.hpp"
#include "data/KinematicsSeries.hpp"
#include "data/KinematicsStamped.hpp"
#include "data/Vec3dSeries.hpp"
#include "data/WrenchSeries.hpp"

namespace vorn {
namespace sync {

// Defined here: every sample of both pipelines goes through them.

/// True when linear acceleration, angular velocity and angular acceleration can all be evaluated
/// at the earlier of the newest linear-acceleration and angular-acceleration stamps.
/// Precondition: every series is non-empty.
inline bool kinematicsIsSyncable(Vec3dSeries& linAcc, Vec3dSeries& angVel, Vec3dSeries& angAcc) {
  const Vec3dStamped linAccLatest = linAcc.latest();
  const Vec3dStamped angAccLatest = angAcc.latest();
  if (linAccLatest.isBefore(angAccLatest)) {
    return !angVel.earliest().isAfter(linAccLatest);
  }
  return !linAcc.earliest().isAfter(angAccLatest);
}

/// True when kinematics and wrenches can both be evaluated at the earlier of their newest stamps.
/// Precondition: both series are non-empty.
inline bool dynamicsIsSyncable(KinematicsSeries& kinematics, WrenchSeries& wrenches) {
  const KinematicsStamped kinematicsLatest = kinematics.latest();
  const WrenchStamped wrenchLatest = wrenches.latest();
  if (kinematicsLatest.isBefore(wrenchLatest)) {
    return !wrenches.earliest().isAfter(kinematicsLatest);
  }
  return !kinematics.earliest().isAfter(wrenchLatest);
}

/// Kinematics at the common time; the series that ends first contributes its newest sample
/// unchanged, the others are interpolated there. Call only after kinematicsIsSyncable.
inline KinematicsStamped syncKinematics(Vec3dSeries& linAcc, Vec3dSeries& angVel,
                                        Vec3dSeries& angAcc) {
  const Vec3dStamped linAccLatest = linAcc.latest();
  const Vec3dStamped angAccLatest = angAcc.latest();
  if (linAccLatest.isBefore(angAccLatest)) {
    const Vec3dStamped angVelAtT = angVel.atTime(linAccLatest);
    const Vec3dStamped angAccAtT = angAcc.atTime(linAccLatest);
    return KinematicsStamped(linAccLatest, angVelAtT, angAccAtT);
  }
  const Vec3dStamped linAccAtT = linAcc.atTime(angAccLatest);
  const Vec3dStamped angVelAtT = angVel.atTime(angAccLatest);
  return KinematicsStamped(linAccAtT, angVelAtT, angAccLatest);
}

/// Kinematics and wrench at the common time. Call only after dynamicsIsSyncable.
inline DynamicsStamped syncDynamics(KinematicsSeries& kinematics, WrenchSeries& wrenches) {
  const KinematicsStamped kinematicsLatest = kinematics.latest();
  const WrenchStamped wrenchLatest = wrenches.latest();
  if (kinematicsLatest.isBefore(wrenchLatest)) {
    return DynamicsStamped(kinematicsLatest, wrenches.atTime(kinematicsLatest));
  }
  return DynamicsStamped(kinematics.atTime(wrenchLatest), wrenchLatest);
}

}  // namespace sync
}  // namespace vorn
