#pragma once

#include <Eigen/Core>

namespace vorn {

/// Matrix constructions shared by the rigid-body regressor and the covariance estimator.
/// Symmetric tensors are packed in vech order (xx, xy, xz, yy, yz, zz).
class Math {
public:
  /// Cross-product matrix: skew(v)·u = v × u.
  Eigen::Matrix3d skew(const Eigen::Vector3d& v) const;
  /// The 3x6 matrix W with W·vech(I) = I·w for every symmetric 3x3 I.
  Eigen::Matrix<double, 3, 6> vechskew(const Eigen::Vector3d& w) const;
  /// Symmetric 3x3 matrix from its six independent entries in vech order.
  Eigen::Matrix3d unvech(const Eigen::Matrix<double, 6, 1>& q) const;
  /// The |b| x |a| matrix b·aᵀ.
  Eigen::MatrixXd outerProduct(const Eigen::VectorXd& a, const Eigen::VectorXd& b) const;
  /// The |a| x |a| matrix a·aᵀ.
  Eigen::MatrixXd outerProduct(const Eigen::VectorXd& a) const;
};

}  // namespace vorn
