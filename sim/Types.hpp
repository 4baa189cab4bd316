// Shared types and constants of the sensor simulator.
#pragma once

#include <array>

#include <Eigen/Core>

namespace vorn::sim {

/// Magnitude of gravity (m/s^2); gravity points along world -z.
inline constexpr double kGravity = 9.81;

/// The twelve values of one sensor sample, in the libraries' order:
/// 0-2 force (N), 3-5 torque (N*m), 6-8 accelerometer specific force (m/s^2, gravity
/// included), 9-11 gyro angular velocity (rad/s); all in the sensor frame.
using SampleArray = std::array<double, 12>;

/// Force x, y, z followed by torque x, y, z.
using Vector6d = Eigen::Matrix<double, 6, 1>;

/// The ten inertial parameters (m, m*cx, m*cy, m*cz, Ixx, Ixy, Ixz, Iyy, Iyz, Izz),
/// inertia about the sensor origin.
using InertialParameters = Eigen::Matrix<double, 10, 1>;

}  // namespace vorn::sim
