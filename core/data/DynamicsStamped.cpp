#include "data/DynamicsStamped.hpp"

namespace vorn {

DynamicsStamped::DynamicsStamped()
    : StampedMeasurement(0.0),
      linAcc_(Eigen::Vector3d::Zero()),
      angVel_(Eigen::Vector3d::Zero()),
      angAcc_(Eigen::Vector3d::Zero()),
      force_(Eigen::Vector3d::Zero()),
      torque_(Eigen::Vector3d::Zero()) {}

DynamicsStamped::DynamicsStamped(const KinematicsStamped& kinematics, const WrenchStamped& wrench)
    : StampedMeasurement(kinematics.stamp()),
      linAcc_(kinematics.linAcc()),
      angVel_(kinematics.angVel()),
      angAcc_(kinematics.angAcc()),
      force_(wrench.force()),
      torque_(wrench.torque()) {}

}  // namespace vorn
