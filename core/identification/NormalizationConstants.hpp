#pragma once

#include <Eigen/Core>

namespace vorn {

/// Process-wide scale factors between physical units and the estimator's internal units.
/// Every factor is 1.0; they are applied at fixed places (data matrix columns and rows, prior,
/// initial information, Jacobian rows, read-out) so that changing a factor changes only these
/// constants. Initialised once at load time, read-only afterwards.
class NormalizationConstants {
public:
  /// Per-parameter factor from internal to physical units (16 parameters).
  static const Eigen::Matrix<double, 16, 1> input_scale;
  /// Element-wise reciprocal of input_scale: physical to internal units.
  static const Eigen::Matrix<double, 16, 1> inv_input_scale;
  /// Per-wrench-row factor (force x, y, z, torque x, y, z).
  static const Eigen::Matrix<double, 6, 1> output_scale;
  /// Element-wise reciprocal of output_scale, applied to the rows of the augmented data matrix.
  static const Eigen::Matrix<double, 6, 1> inv_output_scale;
};

}  // namespace vorn
