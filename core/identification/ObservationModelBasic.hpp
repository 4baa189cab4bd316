#pragma once

#include <Eigen/Core>

#include "data/DynamicsStamped.hpp"

namespace vorn {

/// The rigid-body regressor Y (6 x 10) of a payload: Y·θ has force rows m·a + α×h + ω×(ω×h) and
/// torque rows h×a + I·α + ω×(I·ω), with a the accelerometer reading (gravity included),
/// θ = (m, h = m·c, vech(I about the sensor origin)). The payload's wrench on the sensor is −Y·θ.
class ObservationModelBasic {
public:
  ObservationModelBasic() = default;

  Eigen::Matrix<double, 6, 10> dataMatrix(const DynamicsStamped& dynamics) const;
};

}  // namespace vorn
