// Whitening of one sample's six rows by their joint error covariance, checked against the
// spread of the rows over many noise draws of the measured channels.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>

#include <Eigen/Core>
#include <Eigen/LU>

#include "data/DynamicsStamped.hpp"
#include "identification/ErrorModelTLSWrenchBias.hpp"
#include "identification/ObservationModelTLSWrenchBias.hpp"
#include "identification/SampleWhitener.hpp"

namespace vorn {
namespace {

using Channels = Eigen::Matrix<double, 15, 1>;
using Augmented = Eigen::Matrix<double, 6, 17>;

constexpr int kDraws = 40000;
constexpr double kScale = 2.5e-3;

/// A heavy tool far from the sensor origin: a force error from the accelerometer comes with a
/// torque error of about c × it, so the six residuals of a sample are strongly correlated.
Eigen::VectorXd truthParameters() {
  Eigen::VectorXd theta(16);
  theta << 2.0, 0.1, 0.04, 0.2, 0.03, 0.001, -0.002, 0.025, 0.003, 0.01, 0.3, -0.2, 0.1, 0.01,
      -0.02, 0.005;
  return theta;
}

/// Variances of a, ω, α, F, τ (x, y, z each).
Channels noiseVariances() {
  Channels v;
  v << Eigen::Vector3d::Constant(0.05 * 0.05), Eigen::Vector3d::Constant(0.005 * 0.005),
      Eigen::Vector3d::Constant(0.05 * 0.05), Eigen::Vector3d::Constant(0.01 * 0.01),
      Eigen::Vector3d::Constant(0.001 * 0.001);
  return v;
}

DynamicsStamped recordOf(const Channels& y) {
  return DynamicsStamped(KinematicsStamped(0.5, y.segment<3>(0), y.segment<3>(3), y.segment<3>(6)),
                         WrenchStamped(0.5, y.segment<3>(9), y.segment<3>(12)));
}

Channels sampleChannels() {
  Channels y;
  y << 1.0, -2.0, 9.8, 0.5, -0.3, 0.8, 1.0, 2.0, -1.5, 3.0, -4.0, 19.0, 0.5, -0.3, 0.1;
  return y;
}

Augmented augmentedOf(const Channels& y) {
  Eigen::MatrixXd h(6, 17);
  ObservationModelTLSWrenchBias().writeAugmentedDataMatrix(recordOf(y), h);
  return h;
}

Eigen::Matrix<double, 17, 1> augmentedVector(const Eigen::VectorXd& theta) {
  Eigen::Matrix<double, 17, 1> z;
  z << theta, -1.0;
  return z;
}

/// Mean-free second moments of the residual errors of the raw and the whitened rows, and of the
/// whitened rows' entries, over noise draws of the channels around `y`.
struct Spread {
  Eigen::Matrix<double, 6, 6> raw = Eigen::Matrix<double, 6, 6>::Zero();
  Eigen::Matrix<double, 6, 6> whitened = Eigen::Matrix<double, 6, 6>::Zero();
  std::array<Eigen::Matrix<double, 17, 17>, 6> rowErrors{};
};

Spread spreadOf(SampleWhitener& whitener, const Channels& y, const Eigen::VectorXd& theta) {
  const Channels sd = noiseVariances().cwiseSqrt();
  const Eigen::Matrix<double, 17, 1> z = augmentedVector(theta);
  const Augmented clean = augmentedOf(y);
  whitener.whitenRows(clean);
  const Augmented cleanWhite = whitener.rows;
  std::mt19937 rng(20261209U);
  std::normal_distribution<double> unit(0.0, 1.0);
  Spread s;
  for (auto& m : s.rowErrors) {
    m.setZero();
  }
  for (int d = 0; d < kDraws; ++d) {
    Channels noisy = y;
    for (int c = 0; c < 15; ++c) {
      noisy[c] += sd[c] * unit(rng);
    }
    const Augmented h = augmentedOf(noisy);
    const Eigen::Matrix<double, 6, 1> r = (h - clean) * z;
    s.raw += r * r.transpose();
    whitener.whitenRows(h);
    const Augmented dh = whitener.rows - cleanWhite;
    const Eigen::Matrix<double, 6, 1> rw = dh * z;
    s.whitened += rw * rw.transpose();
    for (int k = 0; k < 6; ++k) {
      s.rowErrors[k] += dh.row(k).transpose() * dh.row(k);
    }
  }
  s.raw /= kDraws;
  s.whitened /= kDraws;
  for (auto& m : s.rowErrors) {
    m /= kDraws;
  }
  return s;
}

/// One sample with strongly correlated rows, its Jacobians taken and its covariance factored at
/// the true parameters, and the spread of its residuals over many noise draws.
class CorrelatedSample : public ::testing::Test {
 protected:
  void SetUp() override {
    error.updateJacobians(recordOf(y));
    ASSERT_TRUE(whitener.factor(error, theta, noiseVariances(), kScale));
    s = spreadOf(whitener, y, theta);
  }

  const Eigen::VectorXd theta = truthParameters();
  const Channels y = sampleChannels();
  ErrorModelTLSWrenchBias error;
  SampleWhitener whitener;
  Spread s;
};

/// The six residuals of a sample are correlated (a row-by-row weight leaves that in); whitened
/// by the sample's joint covariance they are uncorrelated with variance `scale` each, and each
/// whitened row's error covariance is the one the whitener reports for it.
TEST_F(CorrelatedSample, WhitenedResidualsAreUncorrelatedAtTheScale) {

  double strongest = 0.0;
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < i; ++j) {
      strongest = std::max(strongest, std::abs(s.raw(i, j)) / std::sqrt(s.raw(i, i) * s.raw(j, j)));
    }
  }
  EXPECT_GT(strongest, 0.5) << "the case must have correlated rows";

  const Eigen::Matrix<double, 6, 6> expected = kScale * Eigen::Matrix<double, 6, 6>::Identity();
  EXPECT_LT((s.whitened - expected).cwiseAbs().maxCoeff(), 0.04 * kScale) << s.whitened / kScale;

  const Eigen::Matrix<double, 17, 1> z = augmentedVector(theta);
  Eigen::MatrixXd c(17, 17);
  for (int k = 0; k < 6; ++k) {
    whitener.rowCovariance(k, noiseVariances(), c);
    EXPECT_NEAR(z.dot(c * z), kScale, 1e-9 * kScale) << "row " << k;
    const double largest = c.cwiseAbs().maxCoeff();
    EXPECT_LT((c - s.rowErrors[k]).cwiseAbs().maxCoeff(), 0.05 * largest) << "row " << k;
    // The bias entries carry no noise.
    EXPECT_EQ((c.block<6, 17>(10, 0).cwiseAbs().maxCoeff()), 0.0) << "row " << k;
  }
}

/// The whitened rows carry the information of generalised least squares: Hwᵀ·Hw/scale equals
/// Hᵀ·Σ⁻¹·H with Σ the spread of the raw residuals over the draws. And the normalised residual
/// of the raw rows is that of a row-by-row reading: Σ r_i²/Σ_ii.
TEST_F(CorrelatedSample, WhitenedRowsCarryTheGeneralisedLeastSquaresInformation) {

  const Augmented h = augmentedOf(y);
  whitener.whitenRows(h);
  const Eigen::Matrix<double, 17, 17> whitened =
      whitener.rows.transpose() * whitener.rows / kScale;
  const Eigen::Matrix<double, 17, 17> generalised = h.transpose() * s.raw.inverse() * h;
  EXPECT_LT((whitened - generalised).cwiseAbs().maxCoeff(),
            0.05 * generalised.cwiseAbs().maxCoeff());

  Eigen::VectorXd offset = theta;
  offset[0] += 0.01;
  offset[13] -= 0.002;
  const Eigen::Matrix<double, 6, 1> r = h * augmentedVector(offset);
  double expected = 0.0;
  for (int i = 0; i < 6; ++i) {
    expected += r[i] * r[i] / s.raw(i, i);
  }
  EXPECT_NEAR(whitener.normalisedResidual(h, offset, noiseVariances()), expected, 0.03 * expected);
}

/// Without wrench or IMU noise the covariance is singular, and a scale that is not a positive
/// number cannot whiten: the sample's rows are then absorbed as they are.
TEST(SampleWhitener, RefusesACovarianceItCannotFactor) {
  const Eigen::VectorXd theta = truthParameters();
  ErrorModelTLSWrenchBias error;
  error.updateJacobians(recordOf(sampleChannels()));
  SampleWhitener whitener;
  EXPECT_FALSE(whitener.factor(error, theta, Channels::Zero(), kScale));
  EXPECT_FALSE(whitener.factor(error, theta, noiseVariances(), 0.0));
  EXPECT_FALSE(whitener.factor(error, theta, noiseVariances(), -1.0));
  EXPECT_FALSE(
      whitener.factor(error, theta, noiseVariances(), std::numeric_limits<double>::quiet_NaN()));
  Eigen::VectorXd nan = theta;
  nan[4] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(whitener.factor(error, nan, noiseVariances(), kScale));
  EXPECT_FALSE(whitener.factor(error, Eigen::VectorXd::Zero(10), noiseVariances(), kScale));
  EXPECT_TRUE(whitener.factor(error, theta, noiseVariances(), kScale));
}

}  // namespace
}  // namespace vorn
