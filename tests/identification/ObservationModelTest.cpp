// Observation models, checked against an independent Newton-Euler computation.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "data/DynamicsStamped.hpp"
#include "identification/ObservationModel.hpp"
#include "identification/ObservationModelBasic.hpp"
#include "identification/ObservationModelTLSWrenchBias.hpp"

namespace vorn {
namespace {

using Eigen::Matrix3d;
using Eigen::Vector3d;
using Vector6d = Eigen::Matrix<double, 6, 1>;
using Vector10d = Eigen::Matrix<double, 10, 1>;
using Vector16d = Eigen::Matrix<double, 16, 1>;
using Vector17d = Eigen::Matrix<double, 17, 1>;

constexpr int kRandomTrials = 1000;
constexpr unsigned kSeed = 20240611U;
constexpr double kRelTol = 1e-12;  // relative to the magnitude of the terms involved

// A rigid payload: mass, first mass moments h = m·c, inertia about the sensor origin.
struct Payload {
  double mass;
  Vector3d firstMoments;
  Matrix3d inertia;  // symmetric

  Vector10d parameters() const {
    Vector10d theta;
    theta << mass, firstMoments, inertia(0, 0), inertia(0, 1), inertia(0, 2), inertia(1, 1),
        inertia(1, 2), inertia(2, 2);
    return theta;
  }
};

// Newton-Euler for a rigid body in the sensor frame, written out with cross products:
// force m·a + α×h + ω×(ω×h), torque h×a + I·α + ω×(I·ω).
Vector6d newtonEuler(const Payload& p, const Vector3d& a, const Vector3d& w, const Vector3d& alpha) {
  const Vector3d& h = p.firstMoments;
  Vector6d wrench;
  wrench.head<3>() = p.mass * a + alpha.cross(h) + w.cross(w.cross(h));
  wrench.tail<3>() = h.cross(a) + p.inertia * alpha + w.cross(p.inertia * w);
  return wrench;
}

// Scale for relative tolerances: large terms make large rounding errors.
double magnitude(const Payload& p, const Vector3d& a, const Vector3d& w, const Vector3d& alpha) {
  const double params = std::abs(p.mass) + p.firstMoments.norm() + p.inertia.norm();
  const double kin = a.norm() + w.squaredNorm() + alpha.norm();
  return 1.0 + params * kin;
}

DynamicsStamped dynamicsOf(const Vector3d& a, const Vector3d& w, const Vector3d& alpha,
                           const Vector6d& wrench, double stamp = 0.0) {
  return DynamicsStamped(KinematicsStamped(stamp, a, w, alpha),
                         WrenchStamped(stamp, wrench.head<3>(), wrench.tail<3>()));
}

class ObservationModelRandom : public ::testing::Test {
protected:
  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  Vector3d vector3(double range) {
    return Vector3d(uniform(-range, range), uniform(-range, range), uniform(-range, range));
  }
  Vector6d vector6(double range) {
    Vector6d v;
    v << vector3(range), vector3(range);
    return v;
  }
  Payload payload() {
    Payload p;
    p.mass = uniform(0.1, 20.0);
    p.firstMoments = p.mass * vector3(0.3);
    const Matrix3d r = Matrix3d::NullaryExpr([&](Eigen::Index, Eigen::Index) { return uniform(-1, 1); });
    p.inertia = r * r.transpose();  // symmetric (random, not necessarily physical)
    return p;
  }

  std::mt19937 rng_{kSeed};
};

// ---------------------------------------------------------------------------------------------
// The 6 x 10 regressor

TEST_F(ObservationModelRandom, RegressorTimesParametersEqualsNewtonEuler) {
  const ObservationModelBasic model;
  for (int trial = 0; trial < kRandomTrials; ++trial) {
    const Payload p = payload();
    const Vector3d a = vector3(20.0);
    const Vector3d w = vector3(5.0);
    const Vector3d alpha = vector3(30.0);
    const Eigen::Matrix<double, 6, 10> y = model.dataMatrix(dynamicsOf(a, w, alpha, vector6(50.0)));
    const Vector6d expected = newtonEuler(p, a, w, alpha);
    EXPECT_LT((y * p.parameters() - expected).norm(), kRelTol * magnitude(p, a, w, alpha))
        << "trial " << trial;
  }
}

TEST_F(ObservationModelRandom, RegressorDoesNotDependOnTheMeasuredWrenchOrStamp) {
  const ObservationModelBasic model;
  for (int trial = 0; trial < 50; ++trial) {
    const Vector3d a = vector3(20.0);
    const Vector3d w = vector3(5.0);
    const Vector3d alpha = vector3(30.0);
    EXPECT_EQ(model.dataMatrix(dynamicsOf(a, w, alpha, vector6(50.0), 1.0)),
              model.dataMatrix(dynamicsOf(a, w, alpha, vector6(50.0), 2.0)));
  }
}

TEST(ObservationModelBasic, AtRestUnderGravity) {
  constexpr double g = 9.81;
  const Payload p{2.5, Vector3d(0.1, -0.2, 0.3), Matrix3d::Identity()};
  const Eigen::Matrix<double, 6, 10> y = ObservationModelBasic().dataMatrix(
      dynamicsOf(Vector3d(0, 0, g), Vector3d::Zero(), Vector3d::Zero(), Vector6d::Zero()));
  Vector6d expected;
  expected << 0, 0, p.mass * g, g * p.firstMoments.y(), -g * p.firstMoments.x(), 0;
  EXPECT_LT((y * p.parameters() - expected).norm(), 1e-12);
  EXPECT_EQ(y.rightCols<6>(), (Eigen::Matrix<double, 6, 6>::Zero()));
}

TEST_F(ObservationModelRandom, InertiaColumnsVanishWithoutRotation) {
  const ObservationModelBasic model;
  for (int trial = 0; trial < 100; ++trial) {
    const Eigen::Matrix<double, 6, 10> y =
        model.dataMatrix(dynamicsOf(vector3(20.0), Vector3d::Zero(), Vector3d::Zero(), vector6(5.0)));
    EXPECT_EQ(y.rightCols<6>(), (Eigen::Matrix<double, 6, 6>::Zero()));
  }
}

TEST(ObservationModelBasic, SteadyRotationAboutZ) {
  constexpr double wz = 3.0;
  Matrix3d inertia;
  inertia << 1.0, 0.2, 0.3,  //
      0.2, 2.0, 0.5,         //
      0.3, 0.5, 3.0;
  const Payload p{1.5, Vector3d(0.4, -0.6, 0.8), inertia};
  const Eigen::Matrix<double, 6, 10> y = ObservationModelBasic().dataMatrix(
      dynamicsOf(Vector3d::Zero(), Vector3d(0, 0, wz), Vector3d::Zero(), Vector6d::Zero()));
  Vector6d expected;
  expected << -wz * wz * p.firstMoments.x(), -wz * wz * p.firstMoments.y(), 0,
      wz * wz * -inertia(1, 2), wz * wz * inertia(0, 2), 0;
  EXPECT_LT((y * p.parameters() - expected).norm(), 1e-12);
}

TEST(ObservationModelBasic, MassColumnIsTheAccelerationAndOnlyForces) {
  const Vector3d a(1.0, -2.0, 9.5);
  const Eigen::Matrix<double, 6, 10> y = ObservationModelBasic().dataMatrix(
      dynamicsOf(a, Vector3d(0.3, 0.1, -0.2), Vector3d(1, 2, 3), Vector6d::Zero()));
  EXPECT_EQ(Vector3d(y.block<3, 1>(0, 0)), a);
  EXPECT_EQ(Vector3d(y.block<3, 1>(3, 0)), Vector3d::Zero());
  EXPECT_EQ((y.block<3, 6>(0, 4)), (Eigen::Matrix<double, 3, 6>::Zero()));
}

// ---------------------------------------------------------------------------------------------
// The TLS model: A = [Y, -I6] and C = [Y, -I6, -w]

TEST_F(ObservationModelRandom, TlsDataMatrixIsRegressorThenMinusIdentity) {
  const ObservationModelBasic basic;
  const ObservationModelTLSWrenchBias tls;
  for (int trial = 0; trial < 100; ++trial) {
    const DynamicsStamped d = dynamicsOf(vector3(20.0), vector3(5.0), vector3(30.0), vector6(50.0));
    const Eigen::MatrixXd a = tls.computeDataMatrix(d);
    ASSERT_EQ(a.rows(), 6);
    ASSERT_EQ(a.cols(), 16);
    EXPECT_EQ(Eigen::MatrixXd(a.leftCols(10)), Eigen::MatrixXd(basic.dataMatrix(d)));
    EXPECT_EQ(Eigen::MatrixXd(a.rightCols(6)), Eigen::MatrixXd(-Eigen::MatrixXd::Identity(6, 6)));
  }
}

TEST_F(ObservationModelRandom, AugmentedMatrixAnnihilatesTrueParametersBiasAndMinusOne) {
  const ObservationModelTLSWrenchBias tls;
  for (int trial = 0; trial < kRandomTrials; ++trial) {
    const Payload p = payload();
    const Vector3d a = vector3(20.0);
    const Vector3d w = vector3(5.0);
    const Vector3d alpha = vector3(30.0);
    const Vector6d bias = vector6(10.0);
    // The sensor measures its bias minus the payload's Newton-Euler wrench: w = b - Y·θ.
    const Vector6d measured = bias - newtonEuler(p, a, w, alpha);
    const Eigen::MatrixXd c = tls.computeAugmentedDataMatrix(dynamicsOf(a, w, alpha, measured));
    ASSERT_EQ(c.rows(), 6);
    ASSERT_EQ(c.cols(), 17);

    Vector17d nullVector;
    nullVector << p.parameters(), bias, -1.0;
    EXPECT_LT((c * nullVector).norm(), kRelTol * (magnitude(p, a, w, alpha) + bias.norm()))
        << "trial " << trial;

    // Structure: [Y, -I6, -w].
    EXPECT_EQ(Eigen::MatrixXd(c.block(0, 10, 6, 6)), Eigen::MatrixXd(-Eigen::MatrixXd::Identity(6, 6)));
    EXPECT_EQ(Vector6d(c.col(16)), Vector6d(-measured));
  }
}

TEST_F(ObservationModelRandom, AugmentedMatrixThroughTheBaseClass) {
  const std::unique_ptr<ObservationModel> model = std::make_unique<ObservationModelTLSWrenchBias>();
  const ObservationModelBasic basic;
  const Vector6d measured = vector6(10.0);
  const DynamicsStamped d = dynamicsOf(vector3(20.0), vector3(5.0), vector3(30.0), measured);
  const Eigen::MatrixXd c = model->computeAugmentedDataMatrix(d);
  ASSERT_EQ(c.cols(), 17);
  Eigen::MatrixXd expected(6, 17);
  expected << basic.dataMatrix(d), -Eigen::MatrixXd::Identity(6, 6), -measured;
  // The normalisation constants are all 1.0: scaling changes no number.
  EXPECT_EQ(c, expected);
}

TEST_F(ObservationModelRandom, AugmentedMatrixWrittenInPlaceEqualsTheReturnedOne) {
  const std::unique_ptr<ObservationModel> model = std::make_unique<ObservationModelTLSWrenchBias>();
  // Stale numbers in the buffer must all be overwritten.
  Eigen::MatrixXd buffer = Eigen::MatrixXd::Constant(6, 17, 123.0);
  const double* storage = buffer.data();
  for (int trial = 0; trial < 50; ++trial) {
    const DynamicsStamped d =
        dynamicsOf(vector3(20.0), vector3(5.0), vector3(30.0), vector6(10.0), 0.001 * trial);
    model->writeAugmentedDataMatrix(d, buffer);
    EXPECT_EQ(buffer, model->computeAugmentedDataMatrix(d)) << "trial " << trial;
  }
  EXPECT_EQ(buffer.data(), storage);  // written in place
}

TEST(ObservationModelTLSWrenchBias, BiasOnlyMeasurementAtRest) {
  // No motion and no gravity: the payload exerts nothing, the sensor reads its bias.
  const Vector6d bias = (Vector6d() << 1, -2, 3, -0.1, 0.2, -0.3).finished();
  const DynamicsStamped d = dynamicsOf(Vector3d::Zero(), Vector3d::Zero(), Vector3d::Zero(), bias);
  const Eigen::MatrixXd c = ObservationModelTLSWrenchBias().computeAugmentedDataMatrix(d);
  Vector17d v = Vector17d::Zero();
  v.segment<6>(10) = bias;
  v[16] = -1.0;
  EXPECT_EQ(Vector6d(c * v), Vector6d::Zero());
}

}  // namespace
}  // namespace vorn
