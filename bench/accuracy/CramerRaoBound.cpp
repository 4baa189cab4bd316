#include "CramerRaoBound.hpp"

#include <cmath>

#include <Eigen/Cholesky>

#include "core/identification/EstimateIndex.hpp"

namespace vorn::accuracy {

namespace {

Eigen::Matrix3d skew(const Eigen::Vector3d& v) {
  Eigen::Matrix3d s;
  s << 0.0, -v.z(), v.y(), v.z(), 0.0, -v.x(), -v.y(), v.x(), 0.0;
  return s;
}

/// L(v) with I·v = L(v)·vech(I), vech order (xx, xy, xz, yy, yz, zz).
Eigen::Matrix<double, 3, 6> inertiaProduct(const Eigen::Vector3d& v) {
  Eigen::Matrix<double, 3, 6> l;
  l << v.x(), v.y(), v.z(), 0.0, 0.0, 0.0,  //
      0.0, v.x(), 0.0, v.y(), v.z(), 0.0,   //
      0.0, 0.0, v.x(), 0.0, v.y(), v.z();
  return l;
}

}  // namespace

CramerRaoBound::CramerRaoBound(const sim::Payload& payload, const ChannelNoise& noise)
    : payload_(payload), noise_(noise) {}

CramerRaoBound::Regressor CramerRaoBound::regressor(const Eigen::Vector3d& a,
                                                    const Eigen::Vector3d& w,
                                                    const Eigen::Vector3d& alpha) {
  // F = −(m·a + α×h + ω×(ω×h)) + b_F,  T = −(h×a + I·α + ω×(I·ω)) + b_T.
  // Rows: force 0-2, torque 3-5; columns: the 16 parameters with m·c in place of c.
  namespace ei = estimate_index;
  Regressor y = Regressor::Zero();
  const Eigen::Matrix3d sw = skew(w);
  y.block<3, 1>(0, ei::kMass) = -a;
  y.block<3, 3>(0, ei::kCentreOfMass) = -(skew(alpha) + sw * sw);
  y.block<3, 3>(3, ei::kCentreOfMass) = skew(a);
  y.block<3, 6>(3, ei::kInertia) = -(inertiaProduct(alpha) + sw * inertiaProduct(w));
  y.block<6, 6>(0, ei::kWrenchBias).setIdentity();
  return y;
}

Eigen::Matrix<double, 6, 6> CramerRaoBound::residualCovariance(const Eigen::Vector3d& a,
                                                               const Eigen::Vector3d& w,
                                                               const Eigen::Vector3d& alpha) const {
  (void)a;
  (void)alpha;
  const double m = payload_.mass;
  const Eigen::Vector3d h = payload_.firstMoment();
  const Eigen::Matrix3d io = payload_.inertiaAboutOrigin();
  // Response of the payload's wrench to each measured kinematic channel.
  Eigen::Matrix<double, 6, 3> dA;
  dA << -m * Eigen::Matrix3d::Identity(), -skew(h);
  Eigen::Matrix<double, 6, 3> dAlpha;
  dAlpha << skew(h), -io;
  Eigen::Matrix<double, 6, 3> dW;
  dW << -(w.dot(h) * Eigen::Matrix3d::Identity() + w * h.transpose() - 2.0 * h * w.transpose()),
      skew(io * w) - skew(w) * io;
  Eigen::Matrix<double, 6, 6> r = Eigen::Matrix<double, 6, 6>::Zero();
  r.diagonal() << Eigen::Vector3d::Constant(noise_.sensor.force_std * noise_.sensor.force_std),
      Eigen::Vector3d::Constant(noise_.sensor.torque_std * noise_.sensor.torque_std);
  r.noalias() += noise_.sensor.accel_std * noise_.sensor.accel_std * dA * dA.transpose();
  r.noalias() += noise_.sensor.gyro_std * noise_.sensor.gyro_std * dW * dW.transpose();
  r.noalias() += noise_.angularAcc * noise_.angularAcc * dAlpha * dAlpha.transpose();
  return r;
}

void CramerRaoBound::add(const Eigen::Vector3d& a, const Eigen::Vector3d& w,
                         const Eigen::Vector3d& alpha) {
  const Regressor y = regressor(a, w, alpha);
  const Eigen::LLT<Eigen::Matrix<double, 6, 6>> r(residualCovariance(a, w, alpha));
  // Yᵀ·R⁻¹·Y as (L⁻¹·Y)ᵀ·(L⁻¹·Y).
  const Regressor whitened = r.matrixL().solve(y);
  information_.noalias() += whitened.transpose() * whitened;
  ++samples_;
}

std::optional<std::array<double, 16>> CramerRaoBound::standardDeviations() const {
  return standardDeviations(information_, payload_);
}

std::optional<std::array<double, 16>> CramerRaoBound::standardDeviations(
    const Matrix16& information, const sim::Payload& payload) {
  // Equilibrated before the factorisation: the parameters span many orders of magnitude.
  Eigen::Matrix<double, 16, 1> scale;
  for (int i = 0; i < estimate_index::kCount; ++i) {
    if (!(information(i, i) > 0.0)) {
      return std::nullopt;
    }
    scale[i] = 1.0 / std::sqrt(information(i, i));
  }
  const Matrix16 equilibrated = scale.asDiagonal() * information * scale.asDiagonal();
  const Eigen::LDLT<Matrix16> ldlt(equilibrated);
  if (ldlt.info() != Eigen::Success || !ldlt.isPositive() ||
      !(ldlt.vectorD().minCoeff() > 1e-13 * ldlt.vectorD().maxCoeff())) {
    return std::nullopt;
  }
  const Matrix16 covariance =
      scale.asDiagonal() * ldlt.solve(Matrix16::Identity()) * scale.asDiagonal();
  // c = h/m: first-order propagation from (m, h) to (m, c).
  Matrix16 g = Matrix16::Identity();
  const double m = payload.mass;
  const Eigen::Vector3d h = payload.firstMoment();
  namespace ei = estimate_index;
  for (int i = 0; i < 3; ++i) {
    g(ei::kCentreOfMass + i, ei::kMass) = -h[i] / (m * m);
    g(ei::kCentreOfMass + i, ei::kCentreOfMass + i) = 1.0 / m;
  }
  const Matrix16 reported = g * covariance * g.transpose();
  std::array<double, 16> sigma{};
  for (int i = 0; i < estimate_index::kCount; ++i) {
    if (!(reported(i, i) > 0.0) || !std::isfinite(reported(i, i))) {
      return std::nullopt;
    }
    sigma[static_cast<std::size_t>(i)] = std::sqrt(reported(i, i));
  }
  return sigma;
}

}  // namespace vorn::accuracy
