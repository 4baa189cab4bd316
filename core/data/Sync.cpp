#include "data/Sync.hpp"

namespace vorn {
namespace sync {

bool kinematicsIsSyncable(Vec3dSeries& linAcc, Vec3dSeries& angVel, Vec3dSeries& angAcc) {
  const Vec3dStamped linAccLatest = linAcc.latest();
  const Vec3dStamped angAccLatest = angAcc.latest();
  if (linAccLatest.isBefore(angAccLatest)) {
    return !angVel.earliest().isAfter(linAccLatest);
  }
  return !linAcc.earliest().isAfter(angAccLatest);
}

bool dynamicsIsSyncable(KinematicsSeries& kinematics, WrenchSeries& wrenches) {
  const KinematicsStamped kinematicsLatest = kinematics.latest();
  const WrenchStamped wrenchLatest = wrenches.latest();
  if (kinematicsLatest.isBefore(wrenchLatest)) {
    return !wrenches.earliest().isAfter(kinematicsLatest);
  }
  return !kinematics.earliest().isAfter(wrenchLatest);
}

KinematicsStamped syncKinematics(Vec3dSeries& linAcc, Vec3dSeries& angVel, Vec3dSeries& angAcc) {
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

DynamicsStamped syncDynamics(KinematicsSeries& kinematics, WrenchSeries& wrenches) {
  const KinematicsStamped kinematicsLatest = kinematics.latest();
  const WrenchStamped wrenchLatest = wrenches.latest();
  if (kinematicsLatest.isBefore(wrenchLatest)) {
    return DynamicsStamped(kinematicsLatest, wrenches.atTime(kinematicsLatest));
  }
  return DynamicsStamped(kinematics.atTime(wrenchLatest), wrenchLatest);
}

}  // namespace sync
}  // namespace vorn
