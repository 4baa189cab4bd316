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

  /// The data matrix written into `out`, which has its shape (6 x n) already. The default
  /// copies `computeDataMatrix`; models override it to write in place without allocating.
  virtual void writeDataMatrix(const DynamicsStamped& dynamics,
                               Eigen::Ref<Eigen::MatrixXd> out) const;
  /// The augmented matrix written into `out`, which has its shape (6 x (n + 1)) already; the
  /// same numbers as `computeAugmentedDataMatrix`.
  void writeAugmentedDataMatrix(const DynamicsStamped& dynamics, Eigen::MatrixXd& out) const;
};

}  // namespace vorn
