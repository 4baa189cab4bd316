#include "identification/Math.hpp"

namespace vorn {

Eigen::Matrix3d Math::skew(const Eigen::Vector3d& v) const {
  Eigen::Matrix3d s;
  s << 0.0, -v.z(), v.y(),  //
      v.z(), 0.0, -v.x(),   //
      -v.y(), v.x(), 0.0;
  return s;
}

Eigen::Matrix<double, 3, 6> Math::vechskew(const Eigen::Vector3d& w) const {
  Eigen::Matrix<double, 3, 6> m;
  m << w.x(), w.y(), w.z(), 0.0, 0.0, 0.0,  //
      0.0, w.x(), 0.0, w.y(), w.z(), 0.0,   //
      0.0, 0.0, w.x(), 0.0, w.y(), w.z();
  return m;
}

Eigen::Matrix3d Math::unvech(const Eigen::Matrix<double, 6, 1>& q) const {
  Eigen::Matrix3d m;
  m << q[0], q[1], q[2],  //
      q[1], q[3], q[4],   //
      q[2], q[4], q[5];
  return m;
}

Eigen::MatrixXd Math::outerProduct(const Eigen::VectorXd& a, const Eigen::VectorXd& b) const {
  Eigen::MatrixXd result(b.size(), a.size());
  for (Eigen::Index j = 0; j < b.size(); ++j) {
    for (Eigen::Index k = 0; k < a.size(); ++k) {
      result(j, k) = b[j] * a[k];
    }
  }
  return result;
}

Eigen::MatrixXd Math::outerProduct(const Eigen::VectorXd& a) const { return outerProduct(a, a); }

}  // namespace vorn
