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

void ObservationModel::writeDataMatrix(const DynamicsStamped& dynamics,
                                       Eigen::Ref<Eigen::MatrixXd> out) const {
  out = computeDataMatrix(dynamics);
}

void ObservationModel::writeAugmentedDataMatrix(const DynamicsStamped& dynamics,
                                                Eigen::MatrixXd& out) const {
  const Eigen::Index n = out.cols() - 1;
  writeDataMatrix(dynamics, out.leftCols(n));
  const Eigen::Vector3d force = dynamics.force();
  const Eigen::Vector3d torque = dynamics.torque();
  for (Eigen::Index i = 0; i < 6; ++i) {
    for (Eigen::Index j = 0; j < n; ++j) {
      out(i, j) = NormalizationConstants::inv_output_scale[i] * out(i, j) *
                  NormalizationConstants::input_scale[j];
    }
    const double measured = i < 3 ? force[i] : torque[i - 3];
    out(i, n) = -NormalizationConstants::inv_output_scale[i] * measured;
  }
}

}  // namespace vorn
