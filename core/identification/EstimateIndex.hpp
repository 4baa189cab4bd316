// Where each quantity sits in the estimator's 16-entry estimate.
#pragma once

namespace vorn::estimate_index {

/// The 16-entry estimate (and its variances): the ten inertial parameters (see
/// InertialParameters: m, then c or m·c, then the inertia about the origin as Ixx, Ixy, Ixz,
/// Iyy, Iyz, Izz) followed by the wrench bias (force x, y, z in N, torque x, y, z in N·m).
inline constexpr int kMass = 0;            ///< kg
inline constexpr int kCentreOfMass = 1;    ///< first of three: c (m) or m·c (kg·m)
inline constexpr int kInertia = 4;         ///< first of six: inertia about the origin (kg·m²)
inline constexpr int kInertialCount = 10;  ///< entries of the inertial parameters
inline constexpr int kForceBias = 10;      ///< first of three (N)
inline constexpr int kTorqueBias = 13;     ///< first of three (N·m)
inline constexpr int kWrenchBias = kForceBias;  ///< first of the six bias entries
inline constexpr int kWrenchBiasCount = 6;
inline constexpr int kCount = 16;  ///< entries of the whole estimate

/// The convergence group of entry `index`: 0 mass, 1 centre of mass, 2 inertia, 3 wrench bias.
constexpr int groupOf(int index) {
  return index < kCentreOfMass ? 0 : index < kInertia ? 1 : index < kWrenchBias ? 2 : 3;
}

}  // namespace vorn::estimate_index
