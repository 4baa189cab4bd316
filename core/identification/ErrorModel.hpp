#pragma once

#include <array>

#include <Eigen/Core>

#include "data/DynamicsStamped.hpp"

namespace vorn {

/// Jacobians of the six rows of the augmented data matrix with respect to the 15 measured
/// channels (linear acceleration, angular velocity, angular acceleration, force, torque; x, y, z
/// each). Row order of each Jacobian: the augmented columns (parameters, then the measurement).
class ErrorModel {
 public:
  virtual ~ErrorModel() = default;

  /// Sizes the Jacobians and writes the entries that do not depend on the sample.
  virtual void setConstantJacobianEntries() = 0;
  /// Writes the entries that depend on the sample (here: its angular velocity).
  virtual void updateJacobians(const DynamicsStamped& dynamics) = 0;

  /// A copy of the Jacobian of row k (0 … 5: Fx, Fy, Fz, τx, τy, τz).
  /// Throws std::out_of_range ("array::at") for any other k.
  Eigen::MatrixXd getJacobian(int k) const;
  /// The Jacobian of row k without a copy; valid until the next `updateJacobians`.
  /// Throws std::out_of_range ("array::at") for k outside 0 … 5.
  const Eigen::MatrixXd& jacobian(int k) const;

 protected:
  std::array<Eigen::MatrixXd, 6> jacobians_;
};

}  // namespace vorn
