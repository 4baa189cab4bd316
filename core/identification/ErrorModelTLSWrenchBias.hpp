#pragma once

#include "identification/ErrorModel.hpp"

namespace vorn {

/// Jacobians matching `ObservationModelTLSWrenchBias`: each J_k is 17 x 15, rows m, hx, hy, hz,
/// Ixx … Izz, six bias rows (always zero) and the measurement row; columns a, ω, α, F, τ.
/// a and α enter linearly (constant entries), ω quadratically (updated per sample).
class ErrorModelTLSWrenchBias : public ErrorModel {
 public:
  ErrorModelTLSWrenchBias();
  ~ErrorModelTLSWrenchBias() override = default;

  void setConstantJacobianEntries() override;
  /// Writes the angular-velocity columns (3, 4, 5) from the sample's ω [rad/s].
  void updateJacobians(const DynamicsStamped& dynamics) override;
};

}  // namespace vorn
