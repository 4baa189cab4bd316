// Payload: inertial parameters, parallel-axis shift, factories, random payloads.
#include <cmath>
#include <sstream>
#include <vector>

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include "sim/Noise.hpp"
#include "sim/Payload.hpp"

namespace vorn::sim {
namespace {

constexpr double kExact = 1e-12;        // hand examples computed in closed form
constexpr double kRoundTrip = 1e-10;    // conversions back and forth
constexpr int kRandomTrials = 500;
constexpr double kHalfPi = 1.5707963267948966;

TEST(SimPayload, ParallelAxisHandExample) {
  Payload p;
  p.mass = 2.0;
  p.com = Eigen::Vector3d(0.1, -0.2, 0.3);
  p.inertia_com << 0.01, 0.001, -0.002,  //
      0.001, 0.02, 0.003,                 //
      -0.002, 0.003, 0.03;
  // |c|^2 = 0.14; m(|c|^2 1 - c c^T): xx 0.26, yy 0.20, zz 0.10, xy 0.04, xz -0.06, yz 0.12.
  InertialParameters expected;
  expected << 2.0, 0.2, -0.4, 0.6, 0.27, 0.041, -0.062, 0.22, 0.123, 0.13;
  const InertialParameters theta = p.inertialParameters();
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(theta[i], expected[i], kExact) << "entry " << i;

  const Eigen::Matrix3d I = p.inertiaAboutOrigin();
  EXPECT_NEAR((I - I.transpose()).norm(), 0.0, kExact);
  EXPECT_NEAR(I(1, 2), 0.123, kExact);
  EXPECT_TRUE(p.firstMoment().isApprox(Eigen::Vector3d(0.2, -0.4, 0.6), kExact));
}

TEST(SimPayload, PointMassOnAxis) {
  const Payload p = Payload::pointMass(3.0, Eigen::Vector3d(0.0, 0.0, 0.5));
  const InertialParameters theta = p.inertialParameters();
  InertialParameters expected;
  expected << 3.0, 0.0, 0.0, 1.5, 0.75, 0.0, 0.0, 0.75, 0.0, 0.0;
  EXPECT_LT((theta - expected).cwiseAbs().maxCoeff(), kExact);
}

// Inertia of a cloud of point masses, computed directly about the origin, against the
// payload built from the cloud's centre of mass and its inertia about that centre.
TEST(SimPayload, ParallelAxisAgainstPointCloud) {
  Rng rng(17);
  for (int trial = 0; trial < kRandomTrials; ++trial) {
    const int n = 2 + static_cast<int>(rng.uniform(0.0, 8.0));
    std::vector<double> masses;
    std::vector<Eigen::Vector3d> points;
    double m = 0.0;
    Eigen::Vector3d moment = Eigen::Vector3d::Zero();
    for (int k = 0; k < n; ++k) {
      masses.push_back(rng.uniform(0.1, 2.0));
      points.emplace_back(rng.uniform(-0.3, 0.3), rng.uniform(-0.3, 0.3), rng.uniform(-0.3, 0.3));
      m += masses.back();
      moment += masses.back() * points.back();
    }
    const Eigen::Vector3d c = moment / m;
    Eigen::Matrix3d I_origin = Eigen::Matrix3d::Zero();
    Eigen::Matrix3d I_com = Eigen::Matrix3d::Zero();
    for (int k = 0; k < n; ++k) {
      const Eigen::Vector3d& r = points[static_cast<std::size_t>(k)];
      const Eigen::Vector3d d = r - c;
      const double mk = masses[static_cast<std::size_t>(k)];
      I_origin += mk * (r.squaredNorm() * Eigen::Matrix3d::Identity() - r * r.transpose());
      I_com += mk * (d.squaredNorm() * Eigen::Matrix3d::Identity() - d * d.transpose());
    }
    const Payload p{m, c, I_com};
    EXPECT_TRUE(p.isPhysicallyConsistent(1e-9)) << "trial " << trial;
    const InertialParameters theta = p.inertialParameters();
    EXPECT_NEAR(theta[0], m, kRoundTrip);
    EXPECT_LT((theta.segment<3>(1) - moment).cwiseAbs().maxCoeff(), kRoundTrip);
    const double packed[6] = {I_origin(0, 0), I_origin(0, 1), I_origin(0, 2),
                              I_origin(1, 1), I_origin(1, 2), I_origin(2, 2)};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(theta[4 + i], packed[i], kRoundTrip) << "trial " << trial;
  }
}

TEST(SimPayload, FromInertialParametersRoundTrip) {
  for (int seed = 0; seed < kRandomTrials; ++seed) {
    const Payload p = randomPayload(static_cast<std::uint64_t>(seed));
    const Payload q = Payload::fromInertialParameters(p.inertialParameters());
    EXPECT_NEAR(q.mass, p.mass, kRoundTrip);
    EXPECT_LT((q.com - p.com).cwiseAbs().maxCoeff(), kRoundTrip);
    EXPECT_LT((q.inertia_com - p.inertia_com).cwiseAbs().maxCoeff(), kRoundTrip);
  }
}

TEST(SimPayload, SolidBoxAndCylinderHandValues) {
  // m/12 * (b^2 + c^2) etc. with m = 12, edges (1, 2, 3).
  const Payload box = Payload::solidBox(12.0, Eigen::Vector3d(1.0, 2.0, 3.0), Eigen::Vector3d::Zero());
  EXPECT_TRUE(box.inertia_com.isApprox(Eigen::Vector3d(13.0, 10.0, 5.0).asDiagonal().toDenseMatrix(),
                                       kExact));
  // A quarter turn about z swaps the x and y moments.
  const Eigen::Matrix3d quarter = Eigen::AngleAxisd(kHalfPi, Eigen::Vector3d::UnitZ()).toRotationMatrix();
  const Payload turned =
      Payload::solidBox(12.0, Eigen::Vector3d(1.0, 2.0, 3.0), Eigen::Vector3d::Zero(), quarter);
  EXPECT_NEAR(turned.inertia_com(0, 0), 10.0, 1e-12);
  EXPECT_NEAR(turned.inertia_com(1, 1), 13.0, 1e-12);
  EXPECT_NEAR(turned.inertia_com(0, 1), 0.0, 1e-12);

  // Cylinder m = 2, r = 0.1, L = 0.3: axial m r^2 / 2 = 0.01, transverse m (3 r^2 + L^2) / 12 = 0.02.
  const Payload cyl = Payload::solidCylinder(2.0, 0.1, 0.3, Eigen::Vector3d(0.0, 0.0, 0.2));
  EXPECT_NEAR(cyl.inertia_com(2, 2), 0.01, kExact);
  EXPECT_NEAR(cyl.inertia_com(0, 0), 0.02, kExact);
  EXPECT_NEAR(cyl.inertia_com(1, 1), 0.02, kExact);
  EXPECT_TRUE(cyl.isPhysicallyConsistent());
}

TEST(SimPayload, PhysicalConsistencyCheck) {
  EXPECT_TRUE(Payload::pointMass(1.0, Eigen::Vector3d(0.1, 0.0, 0.0)).isPhysicallyConsistent());
  Payload p{1.0, Eigen::Vector3d::Zero(), Eigen::Vector3d(1.0, 1.0, 3.0).asDiagonal()};
  EXPECT_FALSE(p.isPhysicallyConsistent()) << "triangle inequality violated";
  p.inertia_com = Eigen::Vector3d(-0.1, 1.0, 1.0).asDiagonal();
  EXPECT_FALSE(p.isPhysicallyConsistent()) << "negative principal moment";
  p.inertia_com = Eigen::Matrix3d::Identity();
  p.inertia_com(0, 1) = 0.1;
  EXPECT_FALSE(p.isPhysicallyConsistent()) << "not symmetric";
  p.inertia_com(1, 0) = 0.1;
  EXPECT_TRUE(p.isPhysicallyConsistent());
  p.mass = -1.0;
  EXPECT_FALSE(p.isPhysicallyConsistent()) << "negative mass";
}

TEST(SimPayload, RandomPayloadsAreConsistentAndDeterministic) {
  const RandomPayloadOptions options;
  for (int seed = 0; seed < kRandomTrials; ++seed) {
    const Payload p = randomPayload(static_cast<std::uint64_t>(seed), options);
    EXPECT_TRUE(p.isPhysicallyConsistent(1e-9)) << "seed " << seed;
    EXPECT_GE(p.mass, options.min_mass);
    EXPECT_LE(p.mass, options.max_mass);
    EXPECT_LE(p.com.norm(), options.max_com_offset + 1e-12);
    const Payload again = randomPayload(static_cast<std::uint64_t>(seed), options);
    EXPECT_EQ(again.mass, p.mass);
    EXPECT_EQ(again.com, p.com);
    EXPECT_EQ(again.inertia_com, p.inertia_com);
    const Payload other = randomPayload(static_cast<std::uint64_t>(seed) + 1000, options);
    EXPECT_NE(other.mass, p.mass);
  }
}

// Sensor at rest, z up: the payload's weight pushes down (-z) at its centre of mass.
// Force on the sensor (0, 0, -m g); torque = c x (0, 0, -m g) about the sensor origin.
TEST(SimPayload, WrenchOnSensorAtRestHandExample) {
  const Payload p = Payload::pointMass(2.0, Eigen::Vector3d(0.1, 0.0, 0.05));
  const Vector6d w = p.wrenchOnSensor(Eigen::Vector3d(0.0, 0.0, 9.81), Eigen::Vector3d::Zero(),
                                      Eigen::Vector3d::Zero());
  Vector6d expected;
  expected << 0.0, 0.0, -19.62, 0.0, 1.962, 0.0;
  EXPECT_LT((w - expected).cwiseAbs().maxCoeff(), kExact);
}

TEST(SimPayload, Printable) {
  std::ostringstream os;
  os << Payload::pointMass(1.5, Eigen::Vector3d(0.0, 0.0, 0.1));
  EXPECT_NE(os.str().find("mass 1.5 kg"), std::string::npos) << os.str();
}

}  // namespace
}  // namespace vorn::sim
