#include "data/KinematicsStamped.hpp"

namespace vorn {

KinematicsStamped::KinematicsStamped()
    : StampedMeasurement(0.0),
      linAcc_(Eigen::Vector3d::Zero()),
      angVel_(Eigen::Vector3d::Zero()),
      angAcc_(Eigen::Vector3d::Zero()) {}

KinematicsStamped::KinematicsStamped(const Vec3dStamped& linAcc, const Vec3dStamped& angVel,
                                     const Vec3dStamped& angAcc)
    : StampedMeasurement(linAcc.stamp()),
      linAcc_(linAcc.vec()),
      angVel_(angVel.vec()),
      angAcc_(angAcc.vec()) {}

KinematicsStamped::KinematicsStamped(double stamp, const Eigen::Vector3d& linAcc,
                                     const Eigen::Vector3d& angVel, const Eigen::Vector3d& angAcc)
    : StampedMeasurement(stamp), linAcc_(linAcc), angVel_(angVel), angAcc_(angAcc) {}

}  // namespace vorn
