#pragma once

#include "data/DynamicsStamped.hpp"
#include "data/KinematicsSeries.hpp"
#include "data/KinematicsStamped.hpp"
#include "data/Vec3dSeries.hpp"
#include "data/WrenchSeries.hpp"

namespace vorn {
namespace sync {

/// True when linear acceleration, angular velocity and angular acceleration can all be evaluated
/// at the earlier of the newest linear-acceleration and angular-acceleration stamps.
/// Precondition: every series is non-empty.
bool kinematicsIsSyncable(Vec3dSeries& linAcc, Vec3dSeries& angVel, Vec3dSeries& angAcc);

/// True when kinematics and wrenches can both be evaluated at the earlier of their newest stamps.
/// Precondition: both series are non-empty.
bool dynamicsIsSyncable(KinematicsSeries& kinematics, WrenchSeries& wrenches);

/// Kinematics at the common time; the series that ends first contributes its newest sample
/// unchanged, the others are interpolated there. Call only after kinematicsIsSyncable.
KinematicsStamped syncKinematics(Vec3dSeries& linAcc, Vec3dSeries& angVel, Vec3dSeries& angAcc);

/// Kinematics and wrench at the common time. Call only after dynamicsIsSyncable.
DynamicsStamped syncDynamics(KinematicsSeries& kinematics, WrenchSeries& wrenches);

}  // namespace sync
}  // namespace vorn
