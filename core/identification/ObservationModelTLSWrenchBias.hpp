#pragma once

#include <Eigen/Core>

#include "identification/ObservationModel.hpp"

namespace vorn {

/// The rigid-body regressor extended by the sensor's wrench bias: A = [Y, −I₆] (6 x 16), so that
/// A·(θ, b) = Y·θ − b and the measured wrench is w = b − Y·θ.
class ObservationModelTLSWrenchBias : public ObservationModel {
public:
  ObservationModelTLSWrenchBias() = default;
  ~ObservationModelTLSWrenchBias() override = default;

  Eigen::MatrixXd computeDataMatrix(const DynamicsStamped& dynamics) const override;
  void writeDataMatrix(const DynamicsStamped& dynamics,
                       Eigen::Ref<Eigen::MatrixXd> out) const override;
};

}  // namespace vorn
