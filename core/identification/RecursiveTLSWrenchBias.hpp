#pragma once

#include "identification/EstimationAlgorithm.hpp"

namespace vorn {

/// The recursive TLS estimator with the wrench-bias model: owns an
/// `ObservationModelTLSWrenchBias` and an `ErrorModelTLSWrenchBias`.
class RecursiveTLSWrenchBias : public EstimationAlgorithm {
 public:
  RecursiveTLSWrenchBias();
  ~RecursiveTLSWrenchBias() override;

  /// 16: ten inertial parameters and six bias components.
  int getNumberOfEstimatedParameters() const override;
  bool update(const DynamicsStamped& dynamics) override;
  /// Force bias [N] and torque bias [N·m] from the current estimate, stamp 0.0.
  DynamicsStamped getEstimatedBias() const override;
  /// Not provided by this estimator: prints a notice and returns a default record.
  DynamicsStamped getBiasVariance() const override;
};

}  // namespace vorn
