#include "identification/ObservationModel.hpp"

#include "identification/NormalizationConstants.hpp"

namespace vorn {

Eigen::MatrixXd ObservationModel::computeAugmentedDataMatrix(const DynamicsStamped& dynamics) const {
  Eigen::Matrix<double, 6, 1> wrench;
  wrench << dynamics.force(), dynamics.torque();
  const Eigen::MatrixXd a = computeDataMatrix(dynamics);
  const Eigen::Index n = a.cols();
  Eigen::MatrixXd c(6, n + 1);
  for (Eigen::Index i = 0; i < 6; ++i) {
    for (Eigen::Index j = 0; j < n; ++j) {
      c(i, j) = NormalizationConstants::inv_output_scale[i] * a(i, j) *
                NormalizationConstants::input_scale[j];
    }
    c(i, n) = -NormalizationConstants::inv_output_scale[i] * wrench[i];
  }
  return c;
}

}  // namespace vorn
