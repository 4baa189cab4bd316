#include "identification/ObservationModelTLSWrenchBias.hpp"

#include "identification/ObservationModelBasic.hpp"

namespace vorn {

Eigen::MatrixXd ObservationModelTLSWrenchBias::computeDataMatrix(
    const DynamicsStamped& dynamics) const {
  Eigen::MatrixXd a(6, 16);
  a.leftCols<10>() = ObservationModelBasic().dataMatrix(dynamics);
  a.rightCols<6>() = -Eigen::Matrix<double, 6, 6>::Identity();
  return a;
}

void ObservationModelTLSWrenchBias::writeDataMatrix(const DynamicsStamped& dynamics,
                                                    Eigen::Ref<Eigen::MatrixXd> out) const {
  out.leftCols<10>() = ObservationModelBasic().dataMatrix(dynamics);
  out.rightCols<6>() = -Eigen::Matrix<double, 6, 6>::Identity();
}

}  // namespace vorn
