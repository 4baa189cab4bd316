#pragma once

#include <Eigen/Core>

#include "data/KinematicsStamped.hpp"
#include "data/WrenchStamped.hpp"

namespace vorn {

/// One synchronised sample: kinematics and wrench at a common stamp, all in the sensor frame.
class DynamicsStamped : public StampedMeasurement {
public:
  DynamicsStamped()
      : StampedMeasurement(0.0),
        linAcc_(Eigen::Vector3d::Zero()),
        angVel_(Eigen::Vector3d::Zero()),
        angAcc_(Eigen::Vector3d::Zero()),
        force_(Eigen::Vector3d::Zero()),
        torque_(Eigen::Vector3d::Zero()) {}
  /// Takes the stamp of `kinematics`; the wrench's stamp is ignored.
  DynamicsStamped(const KinematicsStamped& kinematics, const WrenchStamped& wrench)
      : StampedMeasurement(kinematics.stamp()),
        linAcc_(kinematics.linAcc()),
        angVel_(kinematics.angVel()),
        angAcc_(kinematics.angAcc()),
        force_(wrench.force()),
        torque_(wrench.torque()) {}

  /// One record from its stamp (s) and five vectors (m/s², rad/s, rad/s², N, N·m).
  DynamicsStamped(double stamp, const Eigen::Vector3d& linAcc, const Eigen::Vector3d& angVel,
                  const Eigen::Vector3d& angAcc, const Eigen::Vector3d& force,
                  const Eigen::Vector3d& torque)
      : StampedMeasurement(stamp),
        linAcc_(linAcc),
        angVel_(angVel),
        angAcc_(angAcc),
        force_(force),
        torque_(torque) {}

  Vec3dStamped linAccStamped() const { return Vec3dStamped(stamp_, linAcc_); }
  Vec3dStamped angVelStamped() const { return Vec3dStamped(stamp_, angVel_); }
  Vec3dStamped angAccStamped() const { return Vec3dStamped(stamp_, angAcc_); }
  Vec3dStamped forceStamped() const { return Vec3dStamped(stamp_, force_); }
  Vec3dStamped torqueStamped() const { return Vec3dStamped(stamp_, torque_); }
  Eigen::Vector3d linAcc() const { return linAcc_; }
  Eigen::Vector3d angVel() const { return angVel_; }
  Eigen::Vector3d angAcc() const { return angAcc_; }
  Eigen::Vector3d force() const { return force_; }
  Eigen::Vector3d torque() const { return torque_; }

private:
  Eigen::Vector3d linAcc_;
  Eigen::Vector3d angVel_;
  Eigen::Vector3d angAcc_;
  Eigen::Vector3d force_;
  Eigen::Vector3d torque_;
};

}  // namespace vorn
