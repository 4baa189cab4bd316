#include "identification/ErrorModel.hpp"

#include <stdexcept>

namespace vorn {

Eigen::MatrixXd ErrorModel::getJacobian(int k) const { return jacobian(k); }

const Eigen::MatrixXd& ErrorModel::jacobian(int k) const {
  // Compared as unsigned so that negative indexes are rejected too.
  if (static_cast<unsigned>(k) >= jacobians_.size()) {
    throw std::out_of_range("array::at");
  }
  return jacobians_[static_cast<std::size_t>(k)];
}

}  // namespace vorn
