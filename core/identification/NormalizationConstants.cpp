#include "identification/NormalizationConstants.hpp"

namespace vorn {

// Constant initialisation at load time happens once, before any object can use the factors.
const Eigen::Matrix<double, 16, 1> NormalizationConstants::input_scale =
    Eigen::Matrix<double, 16, 1>::Ones();
const Eigen::Matrix<double, 16, 1> NormalizationConstants::inv_input_scale =
    NormalizationConstants::input_scale.cwiseInverse();
const Eigen::Matrix<double, 6, 1> NormalizationConstants::output_scale =
    Eigen::Matrix<double, 6, 1>::Ones();
const Eigen::Matrix<double, 6, 1> NormalizationConstants::inv_output_scale =
    NormalizationConstants::output_scale.cwiseInverse();

}  // namespace vorn
