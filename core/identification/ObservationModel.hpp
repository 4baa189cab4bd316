#pragma once

#include <Eigen/Core>

#include "data/DynamicsStamped.hpp"

namespace vorn {

/// Linear model of the measured wrench in the inertial parameters: the data matrix of a sample.
class ObservationModel {
public:
  virtual ~ObservationModel() = default;

  /// The 6 x n data matrix of a synchronised sample; rows Fx, Fy, Fz, τx, τy, τz.
  virtual Eigen::MatrixXd computeDataMatrix(const DynamicsStamped& dynamics) const = 0;

  /// The 6 x (n + 1) augmented matrix [scaled data matrix, −scaled wrench], whose null vector
  /// (θ, −1) holds the parameters for a noise-free sample.
  Eigen::MatrixXd computeAugmentedDataMatrix(const DynamicsStamped& dynamics) const;
};

}  // namespace vorn
