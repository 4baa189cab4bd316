#pragma once

#include <cmath>

#include <Eigen/Core>
#include <Eigen/LU>

#include "data/DynamicsStamped.hpp"
#include "identification/ErrorModelTLSWrenchBias.hpp"
#include "identification/ObservationModelTLSWrenchBias.hpp"

namespace vorn {
namespace testing {

/// The recursive TLS estimator and its covariance written out literally, formula by formula,
/// with dynamic matrices and explicit inverses (unit normalisation scales). The production code
/// forms the same quantities with solves, fixed-size kernels and sparse products; the two must
/// agree up to rounding.
class LiteralRecursiveTls {
 public:
  LiteralRecursiveTls(const Eigen::VectorXd& prior, const Eigen::Matrix<double, 15, 1>& noise,
                      double lambda)
      : noise_(noise), lambda_(lambda) {
    theta = Eigen::VectorXd::Zero(n_);
    theta.head(prior.size()) = prior;
    previous = theta;
    sigma = Eigen::MatrixXd::Ones(n_, n_);
    p = 100.0 * Eigen::MatrixXd::Identity(m_, m_);
    a_ = Eigen::MatrixXd::Identity(m_, m_) / 100.0;
    b_ = a_;
    meanC_ = Eigen::MatrixXd::Identity(m_, m_);
    e_ = Eigen::MatrixXd::Zero(n_, n_);
    f_ = e_;
  }

  void update(const DynamicsStamped& d) {
    const Eigen::MatrixXd data = observation_.computeAugmentedDataMatrix(d);
    errors_.updateJacobians(d);
    previous = theta;
    sigma = Eigen::MatrixXd::Zero(n_, n_);
    for (int i = 0; i < 6; ++i) {
      const Eigen::MatrixXd j = errors_.getJacobian(i);
      const Eigen::MatrixXd c = j * noise_.asDiagonal() * j.transpose();
      const Eigen::RowVectorXd h = data.row(i);
      step(h, c);
      covariance(h, c);
      sigma += s_ * (forgetting() ? Eigen::MatrixXd(e_ * f_ * e_) : e_);
    }
  }

  Eigen::VectorXd theta;
  Eigen::VectorXd previous;
  Eigen::MatrixXd sigma;
  Eigen::MatrixXd p;

 private:
  bool forgetting() const { return lambda_ <= 0.999999; }

  void step(const Eigen::RowVectorXd& h, const Eigen::MatrixXd& c) {
    const Eigen::MatrixXd identity = Eigen::MatrixXd::Identity(m_, m_);
    const double q = (h * p * h.transpose())(0, 0);
    if (forgetting()) {
      const Eigen::VectorXd k = p * h.transpose() / (lambda_ + q);
      p = ((identity - k * h) * p) / lambda_;
    } else {
      if (std::abs(1.0 + q) < 1e-12) {
        return;
      }
      const Eigen::VectorXd k = p * h.transpose() / (1.0 + q);
      p = Eigen::MatrixXd((identity - k * h) * p);
    }
    Eigen::VectorXd z(m_);
    z << theta, -1.0;
    const Eigen::VectorXd y = p * (c * z);
    theta = -y.head(n_) / y(n_);
  }

  void covariance(const Eigen::RowVectorXd& h, const Eigen::MatrixXd& c) {
    ++k_;
    const double kd = static_cast<double>(k_);
    const double norm2 = theta.squaredNorm();
    Eigen::VectorXd z(m_);
    z << theta, -1.0;
    z /= std::sqrt(1.0 + norm2);
    const Eigen::MatrixXd outer = h.transpose() * h;
    const Eigen::MatrixXd cnn = c.topLeftCorner(n_, n_);
    if (forgetting()) {
      const double a = z.dot(p.inverse() * z);
      const double b = z.dot(c * z);
      const double n1 = (1.0 - std::pow(lambda_, kd)) / (1.0 - lambda_);
      const double sigma2 = a / b / n1;
      s_ = sigma2 * (1.0 + norm2) * b;
      a_ = lambda_ * a_ + outer;
      e_ = (a_.topLeftCorner(n_, n_) - (n1 * sigma2) * cnn).inverse();
      b_ = lambda_ * lambda_ * b_ + outer;
      const double n2 = (1.0 - std::pow(lambda_, 2.0 * kd)) / (1.0 - lambda_ * lambda_);
      f_ = b_.topLeftCorner(n_, n_) - (n2 * sigma2) * cnn;
    } else {
      meanC_ = (kd * meanC_ + c) / (kd + 1.0);
      const double a = z.dot(p.inverse() * z);
      const double b = z.dot(c * z);
      const double sigma2 = a / b / kd;
      s_ = sigma2 * (1.0 + norm2) * b;
      a_ = a_ + outer * meanC_.inverse();
      e_ = (a_.topLeftCorner(n_, n_) - (sigma2 * kd) * cnn).inverse();
    }
  }

  const int n_ = 16;
  const int m_ = 17;
  Eigen::Matrix<double, 15, 1> noise_;
  double lambda_;
  ObservationModelTLSWrenchBias observation_;
  ErrorModelTLSWrenchBias errors_;
  long long k_ = 0;
  double s_ = 0.0;
  Eigen::MatrixXd a_, b_, meanC_, e_, f_;
};

}  // namespace testing
}  // namespace vorn
