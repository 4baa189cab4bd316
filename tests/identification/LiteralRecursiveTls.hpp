#pragma once

#include <cmath>

#include <Eigen/Core>
#include <Eigen/LU>

#include "data/DynamicsStamped.hpp"
#include "identification/ErrorModelTLSWrenchBias.hpp"
#include "identification/ObservationModelTLSWrenchBias.hpp"

namespace vorn {
namespace test {

/// The recursive TLS estimator and its covariance written out literally, formula by formula,
/// (power iteration in the mean row covariance; covariance without forgetting as the sandwich
/// over the six equations, formed after each sample's last equation),
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
    sumC_ = Eigen::MatrixXd::Zero(m_, m_);
    for (int g = 0; g < 6; ++g) {
      rowSums_[g] = Eigen::MatrixXd::Zero(m_, m_);
      meanCs_[g] = Eigen::MatrixXd::Zero(m_, m_);
    }
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
      covariance(h, c, i);
    }
    // The covariance after the sample's last equation.
    sigma = forgetting() ? Eigen::MatrixXd(s_ * e_ * f_ * e_) : sandwich();
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
    // Metric: the running mean of the covariances of all rows so far.
    sumC_ += c;
    ++rows_;
    const Eigen::MatrixXd metric = sumC_ / static_cast<double>(rows_);
    Eigen::VectorXd z(m_);
    z << theta, -1.0;
    const Eigen::VectorXd y = p * (metric * z);
    theta = -y.head(n_) / y(n_);
  }

  void covariance(const Eigen::RowVectorXd& h, const Eigen::MatrixXd& c, int equation) {
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
      a_ = a_ + outer;
      const double a = z.dot(a_ * z);
      const double b = z.dot(meanC_ * z);
      const double sigma2 = a / b / kd;
      s_ = sigma2 * (1.0 + norm2) * b;
      e_ = (a_.topLeftCorner(n_, n_) - (sigma2 * kd) * meanC_.topLeftCorner(n_, n_)).inverse();
      rowSums_[equation] += outer;
      ++counts_[equation];
      meanCs_[equation] += (c - meanCs_[equation]) / static_cast<double>(counts_[equation]);
      lastTheta_ = theta;
    }
  }

  // s·E·F·E, F = Σ_g b_g·A_g (normalised by the mean predicted row variance).
  Eigen::MatrixXd sandwich() const {
    Eigen::VectorXd z(m_);
    z << lastTheta_, -1.0;
    Eigen::MatrixXd f = Eigen::MatrixXd::Zero(n_, n_);
    double predicted = 0.0;
    for (int g = 0; g < 6; ++g) {
      const double b = z.dot(meanCs_[g] * z);
      f += b * rowSums_[g].topLeftCorner(n_, n_);
      predicted += b * static_cast<double>(counts_[g]);
    }
    f *= static_cast<double>(k_) / predicted;
    return s_ * e_ * f * e_;
  }

  const int n_ = 16;
  const int m_ = 17;
  Eigen::Matrix<double, 15, 1> noise_;
  double lambda_;
  ObservationModelTLSWrenchBias observation_;
  ErrorModelTLSWrenchBias errors_;
  long long k_ = 0;
  double s_ = 0.0;
  Eigen::MatrixXd a_, b_, meanC_, e_, f_, sumC_;
  long long rows_ = 0;
  Eigen::MatrixXd rowSums_[6], meanCs_[6];
  long long counts_[6] = {};
  Eigen::VectorXd lastTheta_;
};

}  // namespace test
}  // namespace vorn
