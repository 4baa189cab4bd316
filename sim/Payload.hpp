// Rigid payload mounted on the sensor.
#pragma once

#include <cstdint>
#include <iosfwd>

#include <Eigen/Core>

#include "sim/Types.hpp"

namespace vorn::sim {

/// A rigid body fixed to the sensor. All quantities are expressed in the sensor frame; the
/// parallel-axis shift, the ten-entry layout and the consistency test are those of
/// vorn::InertialParameters.
///
/// An aggregate: `Payload{2.0, {0.0, 0.0, 0.1}, I_c}` works, and so do the factories below.
struct Payload {
  double mass = 0.0;                                   ///< kg
  Eigen::Vector3d com = Eigen::Vector3d::Zero();       ///< centre of mass (m)
  Eigen::Matrix3d inertia_com = Eigen::Matrix3d::Zero();  ///< inertia about the centre of mass (kg*m^2)

  /// h = m*c (kg*m).
  Eigen::Vector3d firstMoment() const;

  /// Inertia about the sensor origin: I_o = I_c + m*(|c|^2*1 - c*c^T).
  Eigen::Matrix3d inertiaAboutOrigin() const;

  /// (m, m*cx, m*cy, m*cz, Ixx, Ixy, Ixz, Iyy, Iyz, Izz) with the inertia about the sensor
  /// origin: the libraries' parameter convention (the rigid-body regressor's).
  InertialParameters inertialParameters() const;

  /// Inverse of inertialParameters(). Requires a non-zero mass.
  static Payload fromInertialParameters(const InertialParameters& theta);

  /// The wrench (force, torque) the payload exerts on the sensor, without bias, given the
  /// specific force a (gravity included), angular velocity w and angular acceleration
  /// alpha, all in the sensor frame:
  ///   F = -(m*a + alpha x h + w x (w x h)),  T = -(h x a + I*alpha + w x (I*w)).
  Vector6d wrenchOnSensor(const Eigen::Vector3d& a, const Eigen::Vector3d& w,
                          const Eigen::Vector3d& alpha) const;

  /// Mass >= 0, finite entries, symmetric inertia about the centre of mass whose principal
  /// moments are non-negative and satisfy the triangle inequalities (within `tolerance`).
  bool isPhysicallyConsistent(double tolerance = 1e-12) const;

  /// A point mass at `com` (zero inertia about the centre of mass).
  static Payload pointMass(double mass, const Eigen::Vector3d& com);

  /// A homogeneous cuboid with edge lengths `size` along its own axes; its axes are rotated
  /// into the sensor frame by `orientation` (sensor <- body) and its centre sits at `com`.
  static Payload solidBox(double mass, const Eigen::Vector3d& size, const Eigen::Vector3d& com,
                          const Eigen::Matrix3d& orientation = Eigen::Matrix3d::Identity());

  /// A homogeneous cylinder of the given radius and length along its own z axis, rotated
  /// into the sensor frame by `orientation` (sensor <- body), centred at `com`.
  static Payload solidCylinder(double mass, double radius, double length,
                               const Eigen::Vector3d& com,
                               const Eigen::Matrix3d& orientation = Eigen::Matrix3d::Identity());
};

/// Ranges for randomPayload().
struct RandomPayloadOptions {
  double min_mass = 0.2;       ///< kg; the mass is drawn log-uniformly in [min_mass, max_mass]
  double max_mass = 5.0;
  double max_com_offset = 0.15;  ///< m; |c| is uniform in [0, max_com_offset], direction uniform
  double min_size = 0.02;      ///< m; edge lengths of the cuboid, uniform in [min_size, max_size]
  double max_size = 0.25;
};

/// A physically consistent random payload (a homogeneous cuboid of random size and
/// orientation), fully determined by `seed` (portable: no std distributions are used).
Payload randomPayload(std::uint64_t seed, const RandomPayloadOptions& options = {});

/// One line: mass, centre of mass and the inertia about the centre of mass.
std::ostream& operator<<(std::ostream& os, const Payload& payload);

}  // namespace vorn::sim
