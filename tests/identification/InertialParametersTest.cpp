// InertialParameters: the ten-entry layouts, the parallel-axis shift, physical consistency.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include <Eigen/Geometry>

#include "data/DynamicsStamped.hpp"
#include "identification/EstimateIndex.hpp"
#include "identification/InertialParameters.hpp"
#include "identification/ObservationModelBasic.hpp"

namespace vorn {
namespace {

using Eigen::Matrix3d;
using Eigen::Vector3d;

Vector3d random3(std::mt19937& rng, double range) {
  std::uniform_real_distribution<double> u(-range, range);
  return Vector3d(u(rng), u(rng), u(rng));
}

// Eight point masses at random places: the inertia about the origin and about their centre of
// mass summed directly. Both layouts round-trip, the shift agrees with the sums, and the origin
// vector is the regressor's order (Y·θ equals Newton-Euler written about the centre of mass).
TEST(InertialParameters, RandomBodiesRoundTripShiftAndRegressorOrder) {
  std::mt19937 rng(20261209U);
  const ObservationModelBasic model;
  for (int trial = 0; trial < 500; ++trial) {
    double mass = 0.0;
    Vector3d h = Vector3d::Zero();
    Matrix3d origin = Matrix3d::Zero();
    Eigen::Matrix<double, 3, 8> r = Eigen::Matrix<double, 3, 8>::Zero();
    const Eigen::Matrix<double, 8, 1> m =
        Eigen::Matrix<double, 8, 1>::NullaryExpr([&] { return 1.1 + random3(rng, 1.0).x(); });
    for (int k = 0; k < 8; ++k) {
      const Vector3d rk = random3(rng, 0.4);
      r.col(k) = rk;
      mass += m[k];
      h += m[k] * rk;
      origin += m[k] * (rk.squaredNorm() * Matrix3d::Identity() - rk * rk.transpose());
    }
    const Vector3d c = h / mass;
    Matrix3d aboutCom = Matrix3d::Zero();
    for (int k = 0; k < 8; ++k) {
      const Vector3d d = r.col(k) - c;
      aboutCom += m[k] * (d.squaredNorm() * Matrix3d::Identity() - d * d.transpose());
    }
    const double tol = 1e-12 * (1.0 + origin.norm() + mass);
    const InertialParameters body{mass, c, aboutCom};
    EXPECT_LT((body.inertiaAboutOrigin() - origin).norm(), tol) << "trial " << trial;
    EXPECT_TRUE(body.isPhysicallyConsistent(1e-9)) << "trial " << trial;

    InertialParameters::Vector10 theta;
    theta << mass, h, InertialParameters::vech(origin);
    EXPECT_LT((body.originVector() - theta).norm(), tol) << "trial " << trial;
    const InertialParameters fromOrigin = InertialParameters::fromOriginVector(theta);
    const InertialParameters fromEstimate =
        InertialParameters::fromEstimateVector(fromOrigin.estimateVector());
    for (const InertialParameters& back : {fromOrigin, fromEstimate}) {
      EXPECT_EQ(back.mass, mass);
      EXPECT_LT((back.com - c).norm(), tol) << "trial " << trial;
      EXPECT_LT((back.inertiaAboutCom - aboutCom).norm(), tol) << "trial " << trial;
    }
    EXPECT_LT((InertialParameters::originVectorOf(mass, c, theta.tail<6>()) - theta).norm(), tol);

    const Vector3d a = random3(rng, 20.0), w = random3(rng, 5.0), alpha = random3(rng, 30.0);
    const Vector3d force = mass * (a + alpha.cross(c) + w.cross(w.cross(c)));
    const Vector3d torque = c.cross(force) + aboutCom * alpha + w.cross(aboutCom * w);
    const Eigen::Matrix<double, 6, 1> predicted =
        model.dataMatrix(DynamicsStamped(KinematicsStamped(0.0, a, w, alpha), WrenchStamped())) *
        theta;
    const double scale = tol * (1.0 + a.norm() + w.squaredNorm() + alpha.norm());
    EXPECT_LT((predicted.head<3>() - force).norm(), scale) << "trial " << trial;
    EXPECT_LT((predicted.tail<3>() - torque).norm(), scale) << "trial " << trial;
  }
}

TEST(InertialParameters, ConsistencyOfEdgeBodies) {
  const Matrix3d tilted = Eigen::AngleAxisd(0.7, Vector3d(1, 2, 3).normalized()).matrix();
  const double rod = 0.02, a = 0.003, b = 0.005;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    double mass;
    Vector3d moments;
    bool consistent;
  } const cases[] = {
      {"thin rod (0, I, I)", 1.5, Vector3d(0.0, rod, rod), true},
      {"flat plate (a, b, a + b)", 1.5, Vector3d(a, b, a + b), true},
      {"point mass", 1.5, Vector3d::Zero(), true},
      {"no mass", 0.0, Vector3d::Zero(), true},
      {"negative moment", 1.5, Vector3d(-1e-6, b, b), false},
      {"triangle broken", 1.5, Vector3d(a, b, a + b + 1e-6), false},
      {"negative mass", -0.1, Vector3d(a, a, a), false},
      {"mass not a number", nan, Vector3d(a, a, a), false},
      {"moment not a number", 1.5, Vector3d(a, nan, a), false},
  };
  for (const Case& k : cases) {
    for (const Matrix3d& axes : {Matrix3d(Matrix3d::Identity()), tilted}) {
      const Matrix3d i = axes * k.moments.asDiagonal() * axes.transpose();
      const InertialParameters body{k.mass, Vector3d(0.02, -0.05, 0.1),
                                    0.5 * (i + i.transpose())};
      EXPECT_EQ(body.isPhysicallyConsistent(), k.consistent) << k.name;
    }
  }
  // Relative tolerance: a violation below it passes, above it fails; asymmetry fails.
  InertialParameters body{1.5, Vector3d::Zero(), Vector3d(-1e-10, b, b).asDiagonal()};
  EXPECT_TRUE(body.isPhysicallyConsistent(1e-9));
  EXPECT_FALSE(body.isPhysicallyConsistent(1e-11));
  EXPECT_NEAR(body.principalMoments()[0], -1e-10, 1e-18) << "ascending";
  body.inertiaAboutCom(0, 1) = 1e-6;
  EXPECT_FALSE(body.isPhysicallyConsistent(1e-9)) << "asymmetric";
}

TEST(EstimateIndex, EntriesFallInTheirGroups) {
  const int expected[estimate_index::kCount] = {0, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3};
  for (int i = 0; i < estimate_index::kCount; ++i) {
    EXPECT_EQ(estimate_index::groupOf(i), expected[i]) << "entry " << i;
  }
}

}  // namespace
}  // namespace vorn
