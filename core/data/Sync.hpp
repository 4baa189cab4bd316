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
/// unchanged, the others are interpolated there. Call only after kinematicsIsSyncable (every
/// series non-empty).
inline KinematicsStamped syncKinematics(Vec3dSeries& linAcc, Vec3dSeries& angVel,
                                        Vec3dSeries& angAcc) {
  const Vec3dStamped& newestLinAcc = linAcc.newestSample();
  const Vec3dStamped& newestAngVel = angVel.newestSample();
  const Vec3dStamped& newestAngAcc = angAcc.newestSample();
  if (newestLinAcc.stamp() == newestAngAcc.stamp() &&
      newestAngVel.stamp() == newestAngAcc.stamp()) {
    // The three series end at one stamp, as they do on most samples: the lookups below would
    // return their newest entries (a lookup at the newest stamp interpolates nothing and leaves
    // the marks alone), so those are taken without the lookups.
    return KinematicsStamped(newestAngAcc.stamp(), newestLinAcc.vecRef(), newestAngVel.vecRef(),
                             newestAngAcc.vecRef());
  }
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

/// Kinematics and wrench at the common time. Call only after dynamicsIsSyncable (both series
/// non-empty).
inline DynamicsStamped syncDynamics(KinematicsSeries& kinematics, WrenchSeries& wrenches) {
  // A record's channels are appended together, so each series' newest entries share a stamp.
  const Vec3dStamped& newestForce = wrenches.forceSeries().newestSample();
  const Vec3dStamped& newestLinAcc = kinematics.linAccSeries().newestSample();
  if (newestForce.stamp() == newestLinAcc.stamp()) {
    // Kinematics and wrench stamped alike: the lookup at the common stamp would return the
    // newest entry of each series, so that is taken without it.
    return DynamicsStamped(newestForce.stamp(), newestLinAcc.vecRef(),
                           kinematics.angVelSeries().newestSample().vecRef(),
                           kinematics.angAccSeries().newestSample().vecRef(), newestForce.vecRef(),
                           wrenches.torqueSeries().newestSample().vecRef());
  }
  const KinematicsStamped kinematicsLatest = kinematics.latest();
  const WrenchStamped wrenchLatest = wrenches.latest();
  if (kinematicsLatest.isBefore(wrenchLatest)) {
    return DynamicsStamped(kinematicsLatest, wrenches.atTime(kinematicsLatest));
  }
  return DynamicsStamped(kinematics.atTime(wrenchLatest), wrenchLatest);
}

}  // namespace sync
}  // namespace vorn
