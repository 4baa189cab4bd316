// InertiaCompensator : the pipeline, the four evaluations and the added reset,
// out-of-order and non-finite guards.

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <Eigen/Core>
#include <Eigen/Geometry>

#include "compensation/InertiaCompensator.hpp"
#include "compensation/PayloadCompensatorConfig.hpp"
#include "support/RigidBodySamples.hpp"
#include "compensator/TestSupport.hpp"

namespace {

using vorn::InertiaCompensator;
using vorn::PayloadCompensatorConfig;
using vorn::Vec3dStamped;
using vorn::WrenchStamped;
using vorn::test::StdoutCapture;
using vorn::test::logLine;
using vorn::test::TempDir;
using vorn::test::readFile;

using Theta = Eigen::Matrix<double, 10, 1>;
using Vector6d = Eigen::Matrix<double, 6, 1>;

Eigen::Vector3d toEigen(const vorn::test::Vec3& v) { return {v[0], v[1], v[2]}; }

Theta thetaOf(const vorn::test::Payload& p) {
  Theta theta;
  theta << p.mass, p.mass * p.com[0], p.mass * p.com[1], p.mass * p.com[2], p.inertia[0],
      p.inertia[1], p.inertia[2], p.inertia[3], p.inertia[4], p.inertia[5];
  return theta;
}

Vector6d vec(const WrenchStamped& w) {
  Vector6d v;
  v << w.force(), w.torque();
  return v;
}

/// An InertiaCompensator with its configuration, built silently.
struct Pipeline {
  explicit Pipeline(const Theta& theta) {
    const std::string path = dir.write(
        "c.json", vorn::test::estimatorStyleConfig(vorn::test::nullPayload(), false, false));
    StdoutCapture silent;
    config = std::make_unique<PayloadCompensatorConfig>(path);
    compensator = std::make_unique<InertiaCompensator>(*config);
    compensator->setReferenceInertialParameters(theta);
  }
  /// processIMU, then processWrench if it succeeded; true when both did.
  bool feed(double t, const Eigen::Vector3d& a, const Eigen::Vector3d& w, const Eigen::Vector3d& f,
            const Eigen::Vector3d& tq) {
    if (!compensator->processIMU(Vec3dStamped(t, a), Vec3dStamped(t, w))) {
      return false;
    }
    return compensator->processWrench(Vec3dStamped(t, f), Vec3dStamped(t, tq));
  }
  bool feed(double t, const vorn::test::Sample& s) {
    return feed(t, {s[6], s[7], s[8]}, {s[9], s[10], s[11]}, {s[0], s[1], s[2]},
                {s[3], s[4], s[5]});
  }

  TempDir dir;
  std::unique_ptr<PayloadCompensatorConfig> config;
  std::unique_ptr<InertiaCompensator> compensator;
};

const Eigen::Vector3d kA(0.5, -0.25, 9.75);
const Eigen::Vector3d kZero = Eigen::Vector3d::Zero();

TEST(InertiaCompensator, ConstructionPrintsItsLine) {
  TempDir dir;
  const std::string path =
      dir.write("c.json", vorn::test::estimatorStyleConfig(vorn::test::nullPayload(), false, false));
  std::unique_ptr<PayloadCompensatorConfig> config;
  {
    StdoutCapture silent;
    config = std::make_unique<PayloadCompensatorConfig>(path);
  }
  StdoutCapture capture;
  InertiaCompensator compensator(*config);
  EXPECT_EQ(capture.text(), logLine("INFO", "Inertia Compensator intialized successfully"));
}

TEST(InertiaCompensator, ReferenceParametersRoundTrip) {
  Theta theta;
  theta << 1, 2, 3, 4, 5, 6, 7, 8, 9, 10;
  Pipeline p(theta);
  EXPECT_EQ(p.compensator->getInertialParameters(), Eigen::VectorXd(theta));
}

TEST(InertiaCompensator, FirstSampleAlreadyPassesBothStages) {
  Pipeline p(Theta::Zero());
  EXPECT_TRUE(p.feed(0.0, kA, kZero, kZero, kZero));
}

TEST(InertiaCompensator, DuplicateTest) {
  Pipeline p(Theta::Zero());
  auto& c = *p.compensator;
  EXPECT_FALSE(c.isDuplicateImuMsg(1.0)) << "empty series";
  ASSERT_TRUE(p.feed(1.0, kA, kZero, kZero, kZero));
  EXPECT_TRUE(c.isDuplicateImuMsg(1.0));
  EXPECT_TRUE(c.isDuplicateImuMsg(1.0 + 0.99e-5));
  EXPECT_TRUE(c.isDuplicateImuMsg(1.0 - 0.99e-5));
  EXPECT_FALSE(c.isDuplicateImuMsg(1.0 + 1e-5));
  const std::size_t before = c.storedEntryCount();
  EXPECT_FALSE(c.processIMU(Vec3dStamped(1.0 + 0.5e-5, kA), Vec3dStamped(1.0 + 0.5e-5, kZero)));
  EXPECT_EQ(c.storedEntryCount(), before) << "nothing stored";
  EXPECT_TRUE(p.feed(1.0 + 1e-5, kA, kZero, kZero, kZero));
}

TEST(InertiaCompensator, OutOfOrderImuSampleIsRejectedAndNotStored) {
  Pipeline p(Theta::Zero());
  auto& c = *p.compensator;
  ASSERT_TRUE(p.feed(2.0, kA, kZero, kZero, kZero));
  EXPECT_TRUE(c.isOutOfOrderImuMsg(1.9));
  EXPECT_FALSE(c.isOutOfOrderImuMsg(2.1));
  const std::size_t before = c.storedEntryCount();
  EXPECT_FALSE(c.processIMU(Vec3dStamped(1.9, kA), Vec3dStamped(1.9, kZero)));
  EXPECT_EQ(c.storedEntryCount(), before);
  EXPECT_TRUE(p.feed(2.001, kA, kZero, kZero, kZero));
}

TEST(InertiaCompensator, NonFiniteSamplesAreRejectedAndNotStored) {
  Pipeline p(Theta::Zero());
  auto& c = *p.compensator;
  ASSERT_TRUE(p.feed(0.0, kA, kZero, kZero, kZero));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::size_t before = c.storedEntryCount();
  EXPECT_FALSE(
      c.processIMU(Vec3dStamped(0.001, Eigen::Vector3d(nan, 0, 9.8)), Vec3dStamped(0.001, kZero)));
  EXPECT_FALSE(c.processIMU(Vec3dStamped(nan, kA), Vec3dStamped(nan, kZero)));
  EXPECT_FALSE(
      c.processIMU(Vec3dStamped(0.001, kA), Vec3dStamped(0.001, Eigen::Vector3d(0, INFINITY, 0))));
  EXPECT_EQ(c.storedEntryCount(), before);
  ASSERT_TRUE(c.processIMU(Vec3dStamped(0.001, kA), Vec3dStamped(0.001, kZero)));
  const std::size_t afterImu = c.storedEntryCount();
  EXPECT_FALSE(
      c.processWrench(Vec3dStamped(0.001, Eigen::Vector3d(nan, 0, 0)), Vec3dStamped(0.001, kZero)));
  EXPECT_EQ(c.storedEntryCount(), afterImu);
  EXPECT_TRUE(c.processWrench(Vec3dStamped(0.001, kZero), Vec3dStamped(0.001, kZero)));
}

TEST(InertiaCompensator, AngularAccelerationIsZeroForTheFirstTwoSamples) {
  // θ with inertia only, diagonal, ω along a principal axis: ω × (I·ω) = 0, so the dynamic torque
  // correction is I·α and shows the angular acceleration.
  Theta theta = Theta::Zero();
  theta[4] = 2.0;  // Ixx
  theta[7] = 3.0;  // Iyy
  theta[9] = 4.0;  // Izz
  Pipeline p(theta);
  const Eigen::Vector3d t0(0.1, 0.2, 0.3);
  ASSERT_TRUE(p.feed(0.0, kA, Eigen::Vector3d(1.0, 0, 0), kZero, t0));
  EXPECT_EQ(p.compensator->computeInertiaCompensatedWrenchWoDelay().torque(), t0);
  ASSERT_TRUE(p.feed(0.01, kA, Eigen::Vector3d(1.1, 0, 0), kZero, t0));
  EXPECT_EQ(p.compensator->computeInertiaCompensatedWrenchWoDelay().torque(), t0);
  ASSERT_TRUE(p.feed(0.02, kA, Eigen::Vector3d(1.2, 0, 0), kZero, t0));
  // Third sample: α = (ω₃ − ω₂)·α/dt with α = dt/(dt + τ): (0.1 / 0.11) = 0.909… rad/s².
  const double alpha = (0.01 / 0.11) * 0.1 / 0.01;
  EXPECT_NEAR(p.compensator->computeInertiaCompensatedWrenchWoDelay().torque().x(),
              0.1 + 2.0 * alpha, 1e-12);
}

TEST(InertiaCompensator, ZeroParametersLeaveTheMeasuredWrench) {
  Pipeline p(Theta::Zero());
  const Eigen::Vector3d f(1, -2, 3), tq(-0.5, 0.25, 4);
  for (int k = 0; k < 5; ++k) {
    ASSERT_TRUE(p.feed(k * 0.01, kA, Eigen::Vector3d(0.1 * k, -0.2, 0.3 * k), f, tq));
  }
  auto& c = *p.compensator;
  Vector6d measured;
  measured << f, tq;
  EXPECT_EQ(vec(c.computeGravityCompensatedWrench()), measured);
  EXPECT_EQ(vec(c.computeInertiaCompensatedWrenchWoDelay()), measured);
  EXPECT_EQ(vec(c.computeInertiaCompensatedWrench()), measured);
  EXPECT_EQ(vec(c.computeInertialWrench()), Vector6d::Zero());
}

TEST(InertiaCompensator, CompensatedMinusMeasuredIsMinusInertial) {
  const vorn::test::Payload payload = vorn::test::dyadicPayload();
  Pipeline p(thetaOf(payload));
  for (int k = 0; k < 200; ++k) {
    const double t = k * 0.001;
    ASSERT_TRUE(
        p.feed(t, vorn::test::sensorSample(payload, vorn::test::tumbling(t), {1, 2, 3}, {4, 5, 6})));
  }
  auto& c = *p.compensator;
  const WrenchStamped compensated = c.computeInertiaCompensatedWrench();
  const WrenchStamped inertial = c.computeInertialWrench();
  EXPECT_EQ(compensated.stamp(), inertial.stamp());
  EXPECT_NEAR(compensated.stamp(), 0.199, 1e-12);
  // The synchronised record is the newest sample here, so its wrench is the newest raw wrench.
  const auto s = vorn::test::sensorSample(payload, vorn::test::tumbling(0.199), {1, 2, 3}, {4, 5, 6});
  Vector6d raw;
  raw << s[0], s[1], s[2], s[3], s[4], s[5];
  EXPECT_LT((vec(compensated) - raw + vec(inertial)).norm(), 1e-12);
}

TEST(InertiaCompensator, PayloadAtRestWithCentreOfMassAtTheOrigin) {
  Theta theta = Theta::Zero();
  theta[0] = 1.5;  // m; first moments zero
  Pipeline p(theta);
  const Eigen::Vector3d f(0.1, 0.2, -14.7), tq(0.3, -0.1, 0.05);
  ASSERT_TRUE(p.feed(0.0, kA, kZero, f, tq));
  const WrenchStamped g = p.compensator->computeGravityCompensatedWrench();
  EXPECT_EQ(g.force(), f + 1.5 * kA);
  EXPECT_EQ(g.torque(), tq);
  EXPECT_EQ(g.stamp(), 0.0);
}

TEST(InertiaCompensator, PrincipalAxisRotationOnlyShowsTheCentripetalForce) {
  // a = 0, α = 0 (constant ω along the x axis of a diagonal inertia): no torque correction,
  // force correction ω × (ω × h).
  Theta theta;
  theta << 2.0, 0.2, -0.4, 0.6, 1.0, 0.0, 0.0, 2.0, 0.0, 3.0;
  Pipeline p(theta);
  const Eigen::Vector3d w(3.0, 0.0, 0.0);
  const Eigen::Vector3d tiny(1e-12, 0.0, 0.0);  // accelerometer ≈ 0 but present
  for (int k = 0; k < 20; ++k) {
    ASSERT_TRUE(p.feed(k * 0.001, tiny, w, kZero, kZero));
  }
  const WrenchStamped c = p.compensator->computeInertiaCompensatedWrenchWoDelay();
  const Eigen::Vector3d h(0.2, -0.4, 0.6);
  EXPECT_LT((c.force() - (w.cross(w.cross(h)) + 2.0 * tiny)).norm(), 1e-10);
  EXPECT_LT((c.torque() - (-tiny.cross(h))).norm(), 1e-10);
}

TEST(InertiaCompensator, StaticCompensationOfATranslatingPayload) {
  const vorn::test::Payload payload = vorn::test::dyadicPayload();
  Pipeline p(thetaOf(payload));
  const vorn::test::Vec3 bf{0.5, -1.5, 2.0}, bt{0.25, 0.5, -0.125};
  for (int k = 0; k < 2000; ++k) {
    const double t = k * 0.001;
    ASSERT_TRUE(p.feed(t, vorn::test::sensorSample(payload, vorn::test::translationOnly(t), bf, bt)));
    const WrenchStamped g = p.compensator->computeGravityCompensatedWrench();
    ASSERT_LT((g.force() - toEigen(bf)).norm(), 1e-9);
    ASSERT_LT((g.torque() - toEigen(bt)).norm(), 1e-9);
    ASSERT_EQ(g.stamp(), t);
  }
}

TEST(InertiaCompensator, DynamicCompensationWithConstantAngularAcceleration) {
  // Constant α: the EMA differentiator is exact once its start-up transient (factor ≈ 0.990 per
  // 1 ms step) has decayed; after 2 s it is below 1e-8 of β.
  const vorn::test::Payload payload = vorn::test::dyadicPayload();
  Pipeline p(thetaOf(payload));
  const vorn::test::Vec3 bf{1, 2, 3}, bt{-1, -2, -3};
  for (int k = 0; k <= 2500; ++k) {
    const double t = k * 0.001;
    ASSERT_TRUE(p.feed(t, vorn::test::sensorSample(
                              payload, vorn::test::constantAngularAcceleration(t, 2.0), bf, bt)));
    if (t >= 2.0) {
      const WrenchStamped c = p.compensator->computeInertiaCompensatedWrenchWoDelay();
      ASSERT_LT((c.force() - toEigen(bf)).norm(), 1e-7) << t;
      ASSERT_LT((c.torque() - toEigen(bt)).norm(), 1e-7) << t;
    }
  }
}

TEST(InertiaCompensator, SeriesStayBounded) {
  Pipeline p(Theta::Zero());
  std::size_t maxEntries = 0;
  for (int k = 0; k < 100000; ++k) {
    ASSERT_TRUE(p.feed(k * 0.001, kA, Eigen::Vector3d(0.1, 0.2, 0.3), kZero, kZero));
    maxEntries = std::max(maxEntries, p.compensator->storedEntryCount());
  }
  EXPECT_LE(maxEntries, 9U * 8U);
}

TEST(InertiaCompensator, ResetStartsANewStream) {
  Theta theta = Theta::Zero();
  theta[4] = 1.0;
  theta[7] = 1.0;
  theta[9] = 1.0;
  Pipeline p(theta);
  for (int k = 0; k < 100; ++k) {
    ASSERT_TRUE(p.feed(50.0 + k * 0.001, kA, Eigen::Vector3d(0.01 * k, 0, 0), kZero, kZero));
  }
  auto& c = *p.compensator;
  EXPECT_NE(c.computeInertiaCompensatedWrenchWoDelay().torque().x(), 0.0);
  c.reset();
  EXPECT_FALSE(c.hasImuData());
  EXPECT_EQ(c.storedEntryCount(), 0U);
  EXPECT_EQ(c.getInertialParameters(), Eigen::VectorXd(theta)) << "θ is kept";
  // A much earlier stamp is now accepted, and the angular acceleration restarts at zero.
  ASSERT_TRUE(p.feed(1.0, kA, Eigen::Vector3d(5.0, 0, 0), kZero, kZero));
  EXPECT_EQ(c.computeInertiaCompensatedWrenchWoDelay().torque().x(), 0.0);
  ASSERT_TRUE(p.feed(1.001, kA, Eigen::Vector3d(6.0, 0, 0), kZero, kZero));
  EXPECT_EQ(c.computeInertiaCompensatedWrenchWoDelay().torque().x(), 0.0);
  EXPECT_TRUE(c.hasImuData());
  EXPECT_EQ(c.latestImuStamp(), 1.001);
}

}  // namespace
