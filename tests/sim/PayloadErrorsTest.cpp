// Errors of an identified payload against the truth: known offsets give known figures.
#include <cmath>

#include <gtest/gtest.h>

#include "sim/Payload.hpp"
#include "sim/PayloadErrors.hpp"

namespace vorn::sim {
namespace {

/// The 16 reported quantities of a payload with a bias.
PayloadErrors::Quantities quantitiesOf(const Payload& p, const Vector6d& bias) {
  const Eigen::Matrix3d io = p.inertiaAboutOrigin();
  return {p.mass,   p.com.x(), p.com.y(), p.com.z(), io(0, 0), io(0, 1), io(0, 2), io(1, 1),
          io(1, 2), io(2, 2),  bias[0],   bias[1],   bias[2],  bias[3],  bias[4],  bias[5]};
}

TEST(SimPayloadErrors, IdenticalPayloadsHaveNoError) {
  const Payload p = Payload::solidBox(1.2, {0.05, 0.08, 0.12}, {0.01, -0.02, 0.09});
  Vector6d bias;
  bias << 1.5, -0.8, 2.0, 0.05, -0.03, 0.02;
  const PayloadErrors e = PayloadErrors::between(quantitiesOf(p, bias), quantitiesOf(p, bias));
  EXPECT_EQ(e.massRelative, 0.0);
  EXPECT_EQ(e.massPercent, 0.0);
  EXPECT_EQ(e.comMm, 0.0);
  EXPECT_EQ(e.inertiaOriginPercent, 0.0);
  EXPECT_EQ(e.inertiaComPercent, 0.0);
  EXPECT_EQ(e.forceBias, 0.0);
  EXPECT_EQ(e.torqueBias, 0.0);
}

TEST(SimPayloadErrors, KnownOffsetsGiveKnownFigures) {
  const Payload truth = Payload::solidBox(2.0, {0.1, 0.1, 0.1}, {0.0, 0.0, 0.1});
  Payload estimate = truth;
  estimate.mass = 1.98;                      // 1 % light
  estimate.com += Eigen::Vector3d(0.003, 0.004, 0.0);  // 5 mm off
  Vector6d bias = Vector6d::Zero();
  Vector6d biasHat;
  biasHat << 0.3, 0.0, -0.4, 0.0, 0.12, 0.05;  // 0.5 N and 0.13 N·m off
  PayloadErrors::Quantities t = quantitiesOf(truth, bias);
  PayloadErrors::Quantities q = quantitiesOf(estimate, biasHat);
  // Keep the true inertia about the origin, so only the centre-of-mass figure moves.
  for (std::size_t i = 4; i < 10; ++i) q[i] = t[i];
  const PayloadErrors e = PayloadErrors::between(t, q);
  EXPECT_NEAR(e.massRelative, -0.01, 1e-15);
  EXPECT_NEAR(e.massPercent, -1.0, 1e-12);
  EXPECT_NEAR(e.comMm, 5.0, 1e-12);
  EXPECT_EQ(e.inertiaOriginPercent, 0.0);
  EXPECT_NEAR(e.forceBias, 0.5, 1e-15);
  EXPECT_NEAR(e.torqueBias, 0.13, 1e-15);
  // About the centre of mass the shift differs: I_c = I_o − m·(|c|²·1 − c·cᵀ) with each
  // body's own mass and centre of mass.
  const Eigen::Matrix3d ic = truth.inertia_com;
  const Eigen::Matrix3d icHat =
      truth.inertiaAboutOrigin() -
      estimate.mass * (estimate.com.squaredNorm() * Eigen::Matrix3d::Identity() -
                       estimate.com * estimate.com.transpose());
  EXPECT_NEAR(e.inertiaComPercent, 100.0 * (icHat - ic).norm() / ic.norm(), 1e-9);
  EXPECT_GT(e.inertiaComPercent, 1.0);
}

TEST(SimPayloadErrors, HeavierEstimateHasPositiveMassError) {
  PayloadErrors::Quantities t{};
  PayloadErrors::Quantities q{};
  t[0] = 0.5;
  q[0] = 0.55;
  const PayloadErrors e = PayloadErrors::between(t, q);
  EXPECT_NEAR(e.massPercent, 10.0, 1e-12);
  EXPECT_NEAR(e.massRelative * 100.0, 10.0, 1e-12);
  EXPECT_TRUE(std::isnan(e.inertiaOriginPercent));  // no true inertia to compare with
}

}  // namespace
}  // namespace vorn::sim
