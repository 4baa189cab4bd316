#include "identification/ObservationModelBasic.hpp"

#include "identification/Math.hpp"

namespace vorn {

Eigen::Matrix<double, 6, 10> ObservationModelBasic::dataMatrix(
    const DynamicsStamped& dynamics) const {
  const Math math;
  const Eigen::Vector3d a = dynamics.linAcc();
  const Eigen::Vector3d w = dynamics.angVel();
  const Eigen::Vector3d alpha = dynamics.angAcc();
  const Eigen::Matrix3d skewW = math.skew(w);

  Eigen::Matrix<double, 6, 10> y = Eigen::Matrix<double, 6, 10>::Zero();
  y.block<3, 1>(0, 0) = a;
  y.block<3, 3>(0, 1) = math.skew(alpha) + skewW * skewW;
  y.block<3, 3>(3, 1) = -math.skew(a);
  y.block<3, 6>(3, 4) = math.vechskew(alpha) + skewW * math.vechskew(w);
  return y;
}

}  // namespace vorn
