// Measurement Jacobians of the augmented data matrix, checked against central differences.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <type_traits>

#include <Eigen/Core>

#include "data/DynamicsStamped.hpp"
#include "identification/ErrorModel.hpp"
#include "identification/ErrorModelTLSWrenchBias.hpp"
#include "identification/ObservationModelTLSWrenchBias.hpp"

namespace vorn {
namespace {

using Channels = Eigen::Matrix<double, 15, 1>;

constexpr unsigned kSeed = 4711U;
constexpr int kTrials = 200;
/// Step of the central difference. C is at most quadratic in the channels, so the difference
/// quotient is exact up to rounding (≈ 1e-16·|C|/step).
constexpr double kStep = 1e-3;
constexpr double kDerivativeTolerance = 1e-8;

/// The record for a channel vector (a, ω, α, F, τ).
DynamicsStamped recordOf(const Channels& z) {
  return DynamicsStamped(KinematicsStamped(0.25, z.segment<3>(0), z.segment<3>(3), z.segment<3>(6)),
                         WrenchStamped(0.25, z.segment<3>(9), z.segment<3>(12)));
}

Channels randomChannels(std::mt19937& rng) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Channels z;
  for (int i = 0; i < 15; ++i) {
    z[i] = unit(rng);
  }
  z.segment<3>(0) *= 12.0;  // accelerometer with gravity [m/s²]
  z.segment<3>(3) *= 4.0;   // angular velocity [rad/s]
  z.segment<3>(6) *= 10.0;  // angular acceleration [rad/s²]
  z.segment<3>(9) *= 30.0;  // force [N]
  z.segment<3>(12) *= 3.0;  // torque [N·m]
  return z;
}

TEST(ErrorModelTLSWrenchBias, EveryJacobianEntryMatchesCentralDifferences) {
  std::mt19937 rng(kSeed);
  const ObservationModelTLSWrenchBias observation;
  ErrorModelTLSWrenchBias model;
  for (int trial = 0; trial < kTrials; ++trial) {
    const Channels z = randomChannels(rng);
    model.updateJacobians(recordOf(z));
    for (int c = 0; c < 15; ++c) {
      Channels plus = z;
      Channels minus = z;
      plus[c] += kStep;
      minus[c] -= kStep;
      const Eigen::MatrixXd derivative = (observation.computeAugmentedDataMatrix(recordOf(plus)) -
                                          observation.computeAugmentedDataMatrix(recordOf(minus))) /
                                         (2.0 * kStep);
      for (int k = 0; k < 6; ++k) {
        const Eigen::MatrixXd j = model.getJacobian(k);
        for (int r = 0; r < 17; ++r) {
          ASSERT_NEAR(j(r, c), derivative(k, r), kDerivativeTolerance)
              << "trial " << trial << ", J_" << k << " row " << r << " channel " << c;
        }
      }
    }
  }
}

TEST(ErrorModelTLSWrenchBias, ShapeAndZeroBiasRows) {
  std::mt19937 rng(kSeed + 1);
  ErrorModelTLSWrenchBias model;
  model.updateJacobians(recordOf(randomChannels(rng)));
  for (int k = 0; k < 6; ++k) {
    const Eigen::MatrixXd j = model.getJacobian(k);
    ASSERT_EQ(j.rows(), 17);
    ASSERT_EQ(j.cols(), 15);
    EXPECT_TRUE(j.middleRows<6>(10).isZero(0.0)) << "J_" << k;
  }
}

TEST(ErrorModelTLSWrenchBias, AngularVelocityColumnsFollowTheLatestSample) {
  ErrorModelTLSWrenchBias model;
  std::array<Eigen::MatrixXd, 6> fresh;
  for (int k = 0; k < 6; ++k) {
    fresh[static_cast<std::size_t>(k)] = model.getJacobian(k);
    EXPECT_TRUE(fresh[static_cast<std::size_t>(k)].middleCols<3>(3).isZero(0.0));
  }
  std::mt19937 rng(kSeed + 2);
  model.updateJacobians(recordOf(randomChannels(rng)));
  EXPECT_FALSE(model.getJacobian(0).middleCols<3>(3).isZero(0.0));

  Channels still = randomChannels(rng);
  still.segment<3>(3).setZero();
  model.updateJacobians(recordOf(still));
  for (int k = 0; k < 6; ++k) {
    // Back to the constant entries only, whatever the earlier sample wrote.
    EXPECT_EQ(model.getJacobian(k), fresh[static_cast<std::size_t>(k)]) << "J_" << k;
  }
}

TEST(ErrorModelTLSWrenchBias, MeasurementRowIsMinusOneOnItsOwnChannel) {
  const ErrorModelTLSWrenchBias model;
  for (int k = 0; k < 6; ++k) {
    Eigen::RowVectorXd expected = Eigen::RowVectorXd::Zero(15);
    expected[9 + k] = -1.0;
    EXPECT_EQ(model.getJacobian(k).row(16), expected) << "J_" << k;
  }
}

TEST(ErrorModelTLSWrenchBias, ReleasedThroughTheBaseInterface) {
  static_assert(std::has_virtual_destructor<ErrorModel>::value,
                "models are owned through the base pointer");
  std::unique_ptr<ErrorModel> model = std::make_unique<ErrorModelTLSWrenchBias>();
  EXPECT_EQ(model->getJacobian(5).rows(), 17);
}

class JacobianIndexOutOfRange : public ::testing::TestWithParam<int> {};

TEST_P(JacobianIndexOutOfRange, ThrowsArrayAt) {
  const ErrorModelTLSWrenchBias model;
  try {
    (void)model.getJacobian(GetParam());
    FAIL() << "no exception for index " << GetParam();
  } catch (const std::out_of_range& e) {
    EXPECT_EQ(std::string(e.what()), "array::at");
  }
}

INSTANTIATE_TEST_SUITE_P(Indexes, JacobianIndexOutOfRange,
                         ::testing::Values(-1, 6, 7, 100, INT_MIN, INT_MAX));

}  // namespace
}  // namespace vorn
