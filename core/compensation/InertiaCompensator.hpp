#pragma once

#include <cstddef>

#include <Eigen/Core>

#include "compensation/PayloadCompensatorConfig.hpp"
#include "data/DynamicsStamped.hpp"
#include "data/KinematicsSeries.hpp"
#include "data/Vec3dSeries.hpp"
#include "data/Vec3dStamped.hpp"
#include "data/WrenchSeries.hpp"
#include "data/WrenchStamped.hpp"
#include "filters/EMAFilter.hpp"
#include "filters/FIRfilter.hpp"

namespace vorn {

/// The compensator's payload pipeline : keeps calibrated IMU and wrench samples in
/// bounded series, smooths them, derives angular acceleration, synchronises kinematics with
/// wrenches and evaluates the rigid-body model A(a, ω, α)·θ of the payload, θ = (m, m·c,
/// Ixx, Ixy, Ixz, Iyy, Iyz, Izz about the sensor origin). A compensated wrench is the measured
/// wrench plus A·θ.
///
/// Calling order: construct, setReferenceInertialParameters, then per sample processIMU, and only
/// if it returned true processWrench, and only if that returned true one of the evaluations.
///
/// Not thread-safe: driven by one thread.
class InertiaCompensator {
 public:
  /// Builds the filters and empty series and prints "Inertia Compensator intialized
  /// successfully". The configuration is not read (the front end sets θ).
  explicit InertiaCompensator(PayloadCompensatorConfig& config);

  void setReferenceInertialParameters(const Eigen::Matrix<double, 10, 1>& theta);
  /// θ as a dynamic vector of length 10.
  Eigen::VectorXd getInertialParameters() const;

  /// Ingests one IMU sample; true when a synchronised kinematics record was added.
  /// Rejects (false, nothing stored) a sample whose stamp is within 1e-5 s of the newest stored
  /// one (duplicate), earlier than it (out of order), or that holds a non-finite stamp or value.
  bool processIMU(const Vec3dStamped& linAcc, const Vec3dStamped& angVel);
  /// True when `stamp` is within 1e-5 s of the newest stored linear-acceleration stamp.
  bool isDuplicateImuMsg(double stamp) const;
  /// True when `stamp` is earlier than the newest stored linear-acceleration stamp.
  bool isOutOfOrderImuMsg(double stamp) const;
  /// Ingests one wrench sample; true when a new synchronised dynamics record was made.
  /// A sample with a non-finite stamp or value is rejected (false) before it is stored.
  bool processWrench(const Vec3dStamped& force, const Vec3dStamped& torque);
  /// Calls shrink on the seven vector series, the kinematics series and the wrench series.
  void shrinkAllSeries();

  /// −A·θ on the latest synchronised record (the payload's wrench on the sensor).
  WrenchStamped computeInertialWrench() const;
  /// Force and torque of the latest synchronised record plus A·θ.
  WrenchStamped computeInertiaCompensatedWrench() const;
  /// Latest filtered wrench plus the gravity part of the model (a only): F + m·a, T − a × h.
  WrenchStamped computeGravityCompensatedWrench() const;
  /// Latest filtered wrench plus A(a, ω, α)·θ built from the newest entry of each filtered series.
  WrenchStamped computeInertiaCompensatedWrenchWoDelay() const;

  /// The wrench of computeGravityCompensatedWrench as force x, y, z, torque x, y, z.
  Eigen::Matrix<double, 6, 1> gravityCompensated() const;
  /// The wrench of computeInertiaCompensatedWrenchWoDelay as force x, y, z, torque x, y, z.
  Eigen::Matrix<double, 6, 1> inertiaCompensatedWoDelay() const;

  /// True once an IMU sample has been accepted (since construction or the last reset).
  bool hasImuData() const { return !rawLinAcc_.empty(); }
  /// Stamp of the newest accepted IMU sample. Precondition: hasImuData().
  double latestImuStamp() const { return rawLinAcc_.latest().stamp(); }
  /// Total number of entries held by the nine series (diagnostics: stays bounded in steady state).
  std::size_t storedEntryCount() const;

  /// Starts a new stream: empties every series, forgets the angular-acceleration filter's state,
  /// the latest synchronised record and its data matrix. θ and the filters' settings are kept.
  void reset();

 private:
  static Eigen::Matrix<double, 6, 1> toVector(const WrenchStamped& wrench);
  static WrenchStamped toWrench(double stamp, const Eigen::Matrix<double, 6, 1>& wrench);

  Eigen::Matrix<double, 10, 1> referenceParameters_;
  DynamicsStamped latestDynamics_;
  FIRfilter imuSmoothing_;
  FIRfilter wrenchSmoothing_;
  EMAFilter angAccFilter_;
  Vec3dSeries rawLinAcc_;
  Vec3dSeries rawAngVel_;
  Vec3dSeries rawForce_;
  Vec3dSeries rawTorque_;
  Vec3dSeries filteredLinAcc_;
  Vec3dSeries filteredAngVel_;
  Vec3dSeries angAcc_;
  KinematicsSeries kinematics_;
  WrenchSeries wrenches_;
};

}  // namespace vorn
