// Centred angular acceleration: the slope through a window of records, delayed to its middle.
#include "filters/CentredDifferentiator.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace vorn {
namespace {

/// A record at `t` whose angular velocity is ω(t) = (c0 + c1·t + c2·t², sin t, 0).
DynamicsStamped record(double t, double c0, double c1, double c2) {
  const Eigen::Vector3d w(c0 + c1 * t + c2 * t * t, std::sin(t), 0.0);
  return DynamicsStamped(
      KinematicsStamped(t, Eigen::Vector3d(1.0, 2.0, 9.81 + t), w, Eigen::Vector3d(7.0, 7.0, 7.0)),
      WrenchStamped(t, Eigen::Vector3d(t, 0.0, 0.0), Eigen::Vector3d(0, 0, t)));
}

TEST(CentredDifferentiator, WaitsForTwiceTheHalfWidthThenGivesTheMiddleRecord) {
  CentredDifferentiator d(0.02);
  int pushed = 0;
  bool ready = false;
  for (; pushed < 200 && !ready; ++pushed) {
    ready = d.push(record(5.0 + 0.001 * pushed, 0.3, 2.0, 0.0));
  }
  ASSERT_TRUE(ready);
  EXPECT_EQ(pushed, 41);  // 5.000 … 5.040
  const DynamicsStamped& c = d.centred();
  EXPECT_NEAR(c.stamp(), 5.020, 1e-12);
  // Every channel of the middle record passes unchanged; the recorded angular acceleration is
  // replaced by the slope (exact for a linear angular velocity).
  EXPECT_NEAR(c.linAcc().z(), 9.81 + 5.020, 1e-12);
  EXPECT_NEAR(c.force().x(), 5.020, 1e-12);
  EXPECT_NEAR(c.torque().z(), 5.020, 1e-12);
  EXPECT_NEAR(c.angVel().x(), 0.3 + 2.0 * 5.020, 1e-12);
  EXPECT_NEAR(c.angAcc().x(), 2.0, 1e-9);
  EXPECT_NEAR(c.angAcc().y(), std::cos(5.020), 1e-4);  // curvature bias ~ h²/6·|ω'''|
  EXPECT_EQ(c.angAcc().z(), 0.0);
  // From then on every record completes one: the window slides by one.
  EXPECT_TRUE(d.push(record(5.041, 0.3, 2.0, 0.0)));
  EXPECT_NEAR(d.centred().stamp(), 5.021, 1e-12);
}

TEST(CentredDifferentiator, SlopeOfAQuadraticIsItsDerivativeAtTheMiddleEvenWithUnevenStamps) {
  CentredDifferentiator d(0.01);
  const double stamps[] = {0.0, 0.0013, 0.004, 0.0045, 0.009, 0.0112, 0.014, 0.0171, 0.02};
  for (const double t : stamps) {
    if (d.push(record(t, 1.0, -3.0, 40.0))) {
      break;
    }
  }
  const double tm = d.centred().stamp();
  // For a quadratic, the least-squares slope equals the derivative at the mean stamp, which is
  // near but not at the middle record for uneven stamps: compare with a tolerance.
  EXPECT_NEAR(d.centred().angAcc().x(), -3.0 + 80.0 * tm, 80.0 * 0.002);
}

TEST(CentredDifferentiator, ResetStartsAFreshWindowAndTheRingGrowsAsNeeded) {
  CentredDifferentiator d(0.05);
  for (int i = 0; i < 60; ++i) {
    d.push(record(0.001 * i, 0.0, 1.0, 0.0));
  }
  EXPECT_GT(d.size(), 8u);  // beyond the initial ring
  d.reset();
  EXPECT_EQ(d.size(), 0u);
  EXPECT_EQ(d.centred().stamp(), 0.0);
  // A new time line: nothing from before the reset enters the slope.
  bool ready = false;
  for (int i = 0; i <= 100 && !ready; ++i) {
    ready = d.push(record(100.0 + 0.001 * i, 0.0, -4.0, 0.0));
  }
  ASSERT_TRUE(ready);
  EXPECT_NEAR(d.centred().angAcc().x(), -4.0, 1e-9);
}

}  // namespace
}  // namespace vorn
