#include "compensation/InertiaCompensator.hpp"

#include <cmath>

#include "data/Sync.hpp"
#include "identification/Math.hpp"
#include "identification/ObservationModelBasic.hpp"
#include "logging/VornLogger.hpp"

namespace vorn {
namespace {

// Duplicate test of processIMU, in seconds of the stamp.
constexpr double kDuplicateStampTolerance = 1e-5;

inline bool isFinite(const Vec3dStamped& v) {
  const Eigen::Vector3d& x = v.vecRef();
  return std::isfinite(v.stamp()) && std::isfinite(x.x()) && std::isfinite(x.y()) &&
         std::isfinite(x.z());
}

}  // namespace

InertiaCompensator::InertiaCompensator(PayloadCompensatorConfig& /*config*/)
    : referenceParameters_(Eigen::Matrix<double, 10, 1>::Zero()) {
  imuSmoothing_.readCoeffs("filter", "coeffs", "smoothing", "imu", false);
  wrenchSmoothing_.readCoeffs("filter", "coeffs", "smoothing", "ft", false);
  angAccFilter_.setTimeConstant(0.1);
  VornLogger::INFO("Inertia Compensator intialized successfully");
}

void InertiaCompensator::setReferenceInertialParameters(const Eigen::Matrix<double, 10, 1>& theta) {
  referenceParameters_ = theta;
}

Eigen::VectorXd InertiaCompensator::getInertialParameters() const {
  return Eigen::VectorXd(referenceParameters_);
}

bool InertiaCompensator::isDuplicateImuMsg(double stamp) const {
  if (rawLinAcc_.empty()) {
    return false;
  }
  return std::abs(stamp - rawLinAcc_.latest().stamp()) < kDuplicateStampTolerance;
}

bool InertiaCompensator::isOutOfOrderImuMsg(double stamp) const {
  if (rawLinAcc_.empty()) {
    return false;
  }
  return stamp < rawLinAcc_.latest().stamp();
}

bool InertiaCompensator::processIMU(const Vec3dStamped& linAcc, const Vec3dStamped& angVel) {
  // Rejected before anything is stored: a non-finite number would stay in the angular-
  // acceleration filter's state for good, and a sample out of order would break the series'
  // time order that lookup and synchronisation rely on.
  if (!isFinite(linAcc) || !isFinite(angVel)) {
    return false;
  }
  if (isDuplicateImuMsg(linAcc.stamp()) || isOutOfOrderImuMsg(linAcc.stamp())) {
    return false;
  }

  rawLinAcc_.emplaceBack(linAcc);
  rawAngVel_.emplaceBack(angVel);

  filteredLinAcc_.emplaceBack(imuSmoothing_.filter(rawLinAcc_));
  filteredAngVel_.emplaceBack(imuSmoothing_.filter(rawAngVel_));

  if (filteredAngVel_.size() < angAccFilter_.size()) {
    angAcc_.emplaceBack(Vec3dStamped(angVel.stamp(), Eigen::Vector3d::Zero()));
  } else {
    angAcc_.emplaceBack(angAccFilter_.filterAndDifferentiate(filteredAngVel_));
  }

  if (!sync::kinematicsIsSyncable(filteredLinAcc_, filteredAngVel_, angAcc_)) {
    return false;
  }
  const KinematicsStamped synced = sync::syncKinematics(filteredLinAcc_, filteredAngVel_, angAcc_);
  kinematics_.emplaceBack(
      KinematicsStamped(synced.stamp(), synced.linAcc(), synced.angVel(), synced.angAcc()));
  return true;
}

bool InertiaCompensator::processWrench(const Vec3dStamped& force, const Vec3dStamped& torque) {
  if (!isFinite(force) || !isFinite(torque)) {
    return false;
  }
  rawForce_.emplaceBack(force);
  rawTorque_.emplaceBack(torque);
  if (rawForce_.size() < wrenchSmoothing_.size()) {
    return false;
  }
  const Vec3dStamped filteredForce = wrenchSmoothing_.filter(rawForce_);
  const Vec3dStamped filteredTorque = wrenchSmoothing_.filter(rawTorque_);
  wrenches_.emplaceBack(WrenchStamped(filteredForce, filteredTorque));

  if (kinematics_.empty()) {
    return false;
  }
  if (!sync::dynamicsIsSyncable(kinematics_, wrenches_)) {
    return false;
  }
  latestDynamics_ = sync::syncDynamics(kinematics_, wrenches_);
  shrinkAllSeries();
  // The data matrix of this record is formed by the two evaluations that read it, when they are
  // asked: the front end's evaluations use the newest samples instead.
  return true;
}

void InertiaCompensator::shrinkAllSeries() {
  rawLinAcc_.shrink();
  rawAngVel_.shrink();
  rawForce_.shrink();
  rawTorque_.shrink();
  filteredLinAcc_.shrink();
  filteredAngVel_.shrink();
  angAcc_.shrink();
  kinematics_.shrink();
  wrenches_.shrink();
}

Eigen::Matrix<double, 6, 1> InertiaCompensator::toVector(const WrenchStamped& wrench) {
  Eigen::Matrix<double, 6, 1> v;
  v << wrench.force(), wrench.torque();
  return v;
}

WrenchStamped InertiaCompensator::toWrench(double stamp,
                                           const Eigen::Matrix<double, 6, 1>& wrench) {
  return WrenchStamped(stamp, wrench.head<3>(), wrench.tail<3>());
}

WrenchStamped InertiaCompensator::computeInertialWrench() const {
  const Eigen::Matrix<double, 6, 10> dataMatrix =
      ObservationModelBasic().dataMatrix(latestDynamics_);
  const Eigen::Matrix<double, 6, 1> inertial = -(dataMatrix * referenceParameters_);
  return toWrench(latestDynamics_.stamp(), inertial);
}

WrenchStamped InertiaCompensator::computeInertiaCompensatedWrench() const {
  Eigen::Matrix<double, 6, 1> measured;
  measured << latestDynamics_.force(), latestDynamics_.torque();
  const Eigen::Matrix<double, 6, 10> dataMatrix =
      ObservationModelBasic().dataMatrix(latestDynamics_);
  const Eigen::Matrix<double, 6, 1> compensated = measured + dataMatrix * referenceParameters_;
  return toWrench(latestDynamics_.stamp(), compensated);
}

WrenchStamped InertiaCompensator::computeGravityCompensatedWrench() const {
  return toWrench(wrenches_.latest().stamp(), gravityCompensated());
}

Eigen::Matrix<double, 6, 1> InertiaCompensator::gravityCompensated() const {
  const WrenchStamped wrench = wrenches_.latest();
  const Eigen::Vector3d a = filteredLinAcc_.latest().vec();
  // The full model with ω = α = 0: only column 0 (force rows) and columns 1-3 (torque rows).
  Eigen::Matrix<double, 6, 10> gravity = Eigen::Matrix<double, 6, 10>::Zero();
  gravity.block<3, 1>(0, 0) = a;
  gravity.block<3, 3>(3, 1) = -Math().skew(a);
  return toVector(wrench) + gravity * referenceParameters_;
}

WrenchStamped InertiaCompensator::computeInertiaCompensatedWrenchWoDelay() const {
  return toWrench(wrenches_.latest().stamp(), inertiaCompensatedWoDelay());
}

Eigen::Matrix<double, 6, 1> InertiaCompensator::inertiaCompensatedWoDelay() const {
  const WrenchStamped wrench = wrenches_.latest();
  // The newest entry of each filtered series, without interpolation between their stamps; the
  // record's wrench is not read by the model.
  const DynamicsStamped newest(wrench.stamp(), filteredLinAcc_.latest().vec(),
                               filteredAngVel_.latest().vec(), angAcc_.latest().vec(),
                               Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero());
  const Eigen::Matrix<double, 6, 10> model = ObservationModelBasic().dataMatrix(newest);
  return toVector(wrench) + model * referenceParameters_;
}

std::size_t InertiaCompensator::storedEntryCount() const {
  return static_cast<std::size_t>(rawLinAcc_.size()) + rawAngVel_.size() + rawForce_.size() +
         rawTorque_.size() + filteredLinAcc_.size() + filteredAngVel_.size() + angAcc_.size() +
         kinematics_.size() + wrenches_.size();
}

void InertiaCompensator::reset() {
  rawLinAcc_.clear();
  rawAngVel_.clear();
  rawForce_.clear();
  rawTorque_.clear();
  filteredLinAcc_.clear();
  filteredAngVel_.clear();
  angAcc_.clear();
  kinematics_.clear();
  wrenches_.clear();
  angAccFilter_.reset();
  latestDynamics_ = DynamicsStamped();
}

}  // namespace vorn
