// vorn::VornPayloadCompensator::update through the public header only: status codes, the output
// array, static and dynamic compensation on analytic rigid-body motion .

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/VornPayloadCompensator.hpp>

#include "compensator/Harness.hpp"
#include "support/RigidBodySamples.hpp"
#include "compensator/TestSupport.hpp"

namespace {

using namespace vorn::test;

const std::string kImuMissing =
    "IMU data is not available \u2014 make sure the IMU is enabled (Rev K: appmode should be 2)";
const std::string kImuFailure = "Failed to process IMU data in compensator.";

constexpr double kDt = 0.001;  // 1 kHz

TEST(CompensatorUpdate, FirstValidSampleReturnsZeroAndKeepsEntriesSixToEleven) {
  Harness h(dyadicPayload(), false);
  Sample out = sentinel();
  const Sample in = wrenchSample({1.0, 2.0, 3.0, 4.0, 5.0, 6.0});
  EXPECT_EQ(h.update(0.0, in, out), 0);
  for (std::size_t i = 6; i < 12; ++i) {
    EXPECT_EQ(out[i], -777.0) << i;
  }
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_NE(out[i], -777.0) << i;
  }
}

TEST(CompensatorUpdate, AllZeroImuThrowsAndChangesNothing) {
  Harness h(nullPayload(), false);
  const Sample zeros{1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  const Sample negativeZeros{1.0, 2.0, 3.0, 4.0, 5.0, 6.0, -0.0, 0.0, -0.0, 0.0, -0.0, -0.0};
  for (const Sample& in : {zeros, negativeZeros}) {
    Sample out = sentinel();
    StdoutCapture capture;
    try {
      h.update(1.0, in, out);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), kImuMissing);
    }
    EXPECT_EQ(out, sentinel());
    EXPECT_EQ(capture.text(), "");
  }
  // The IMU switched on afterwards: the same stamp is not a duplicate, nothing was stored.
  Sample out = sentinel();
  EXPECT_EQ(h.update(1.0, wrenchSample({1.0, 2.0, 3.0, 4.0, 5.0, 6.0}), out), 0);
  EXPECT_EQ(out[0], 1.0);
  EXPECT_EQ(out[5], 6.0);
}

TEST(CompensatorUpdate, ASingleNonZeroImuValueProceeds) {
  for (std::size_t i = 6; i < 12; ++i) {
    Harness h(nullPayload(), false);
    Sample in{1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    in[i] = 1e-300;
    Sample out = sentinel();
    EXPECT_EQ(h.update(0.25, in, out), 0) << i;
  }
}

TEST(CompensatorUpdate, DuplicateStampReturnsFiveWithTheImuLineAndKeepsTheOutput) {
  Harness h(nullPayload(), false);
  Sample out = sentinel();
  ASSERT_EQ(h.update(2.0, wrenchSample({1, 1, 1, 1, 1, 1}), out), 0);
  out = sentinel();
  StdoutCapture capture;
  EXPECT_EQ(h.update(2.0, wrenchSample({9, 9, 9, 9, 9, 9}), out), 5);
  EXPECT_EQ(h.update(2.0 + 0.9e-5, wrenchSample({9, 9, 9, 9, 9, 9}), out), 5);
  EXPECT_EQ(out, sentinel());
  EXPECT_EQ(plainLines(capture.text()),
            (std::vector<std::string>{error(kImuFailure), error(kImuFailure)}));
}

TEST(CompensatorUpdate, StampsExactlyTenMicrosecondsApartAreAccepted) {
  Harness h(nullPayload(), false);
  Sample out = sentinel();
  ASSERT_EQ(h.update(1.0, wrenchSample({1, 1, 1, 1, 1, 1}), out), 0);
  EXPECT_EQ(h.update(1.0 + 1e-5, wrenchSample({2, 2, 2, 2, 2, 2}), out), 0);
  EXPECT_EQ(out[0], 2.0);
}

TEST(CompensatorUpdate, WithoutTareTheOutputIsTheCompensatedWrenchExactly) {
  // Massless payload: the compensated wrench is the measured wrench, bit for bit.
  Harness h(nullPayload(), true);
  for (int k = 0; k < 50; ++k) {
    const std::array<double, 6> w{0.1 * k, -0.3 * k, 1e-7 * k, 5.0 / (k + 1), -1.0, 1e3};
    Sample in = wrenchSample(w);
    in[9] = 0.01 * k;  // rotating: angular terms are multiplied by zero parameters
    Sample out = sentinel();
    ASSERT_EQ(h.update(10.0 + k * kDt, in, out), 0);
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(out[i], w[i]);
    }
  }
}

TEST(CompensatorUpdate, StaticCompensationOfATranslatingPayloadGivesTheBiasBack) {
  const Payload p = dyadicPayload();
  const Vec3 biasF{1.5, -0.75, 2.25};
  const Vec3 biasT{0.125, -0.5, 0.0625};
  Harness h(p, false);
  for (int k = 0; k < 5000; ++k) {
    const double t = k * kDt;
    const Sample in = sensorSample(p, translationOnly(t), biasF, biasT);
    Sample out = sentinel();
    ASSERT_EQ(h.update(t, in, out), 0) << k;
    for (std::size_t i = 0; i < 3; ++i) {
      ASSERT_NEAR(out[i], biasF[i], 1e-9) << "sample " << k;
      ASSERT_NEAR(out[3 + i], biasT[i], 1e-9) << "sample " << k;
    }
  }
}

TEST(CompensatorUpdate, StaticModeIgnoresAngularTerms) {
  // With enable_dynamic_compensation false the output depends only on the latest wrench and the
  // latest accelerometer reading: on a tumbling payload the angular part stays in the output.
  const Payload p = dyadicPayload();
  const Vec3 biasF{0.5, 0.25, -1.0};
  const Vec3 biasT{0.0, 0.125, 0.25};
  Harness h(p, false);
  for (int k = 0; k < 3000; ++k) {
    const double t = k * kDt;
    const Kinematics kin = tumbling(t);
    Sample out = sentinel();
    ASSERT_EQ(h.update(t, sensorSample(p, kin, biasF, biasT), out), 0);
    Vec3 fw, tw;
    angularWrench(p, kin, fw, tw);
    for (std::size_t i = 0; i < 3; ++i) {
      ASSERT_NEAR(out[i], biasF[i] - fw[i], 1e-9) << k;
      ASSERT_NEAR(out[3 + i], biasT[i] - tw[i], 1e-9) << k;
    }
  }
}

TEST(CompensatorUpdate, DynamicCompensationWithConstantAngularAccelerationIsExactAfterSettling) {
  // With constant α the EMA differentiator (τ = 0.1 s) returns α exactly once its start-up
  // transient, which decays by a factor (1 − dt/(dt + τ)) ≈ 0.990 per 1 ms step, has gone:
  // after 2 s it is below 1e-8·β. Before that the residual is the transient (h×Δα, I·Δα).
  const Payload p = dyadicPayload();
  const Vec3 biasF{1.0, -2.0, 0.5};
  const Vec3 biasT{0.25, 0.125, -0.375};
  const double beta = 1.5;
  Harness h(p, true);
  double maxResidual = 0.0;
  for (int k = 0; k <= 3000; ++k) {
    const double t = k * kDt;
    Sample out = sentinel();
    ASSERT_EQ(h.update(t, sensorSample(p, constantAngularAcceleration(t, beta), biasF, biasT), out),
              0);
    if (t >= 2.0) {
      for (std::size_t i = 0; i < 3; ++i) {
        maxResidual = std::max(maxResidual, std::abs(out[i] - biasF[i]));
        maxResidual = std::max(maxResidual, std::abs(out[3 + i] - biasT[i]));
      }
    }
  }
  EXPECT_LT(maxResidual, 1e-7);
}

TEST(CompensatorUpdate, DynamicCompensationRemovesTheInertialWrenchUpToTheFilterLag) {
  // The only quantity the compensator does not take from the sample is α: it differentiates the
  // angular velocity with an EMA of time constant τ = 0.1 s. Everything else (a, ω, the wrench)
  // enters exactly, so the residual after compensation is exactly (Δα × h, I·Δα) with
  // Δα = α̂ − α. The EMA differentiator is a first-order low-pass of α: τ·dΔα/dt + Δα = −τ·dα/dt,
  // so once the start-up transient (time constant τ) has decayed, |Δα| ≤ τ·max|dα/dt|; the
  // discrete filter at step dt adds at most dt·max|dα/dt|. Tolerance: 1.1·(τ + dt)·max|dα/dt|,
  // checked from t = 1.5 s (15 τ) on, where the transient is below 1e-6 of its initial size.
  const Payload p = dyadicPayload();
  const Vec3 biasF{0.75, -1.25, 3.0};
  const Vec3 biasT{-0.25, 0.5, 0.125};
  const double tau = 0.1;
  const double duration = 12.0;
  Harness dynamic(p, true);
  Harness statik(p, false);

  // max |dα/dt| over the trajectory, by central differences of the analytic α.
  double maxJerk = 0.0;
  for (double t = kDt; t < duration; t += kDt) {
    const Vec3 d = scale(0.5 / kDt, sub(tumbling(t + kDt).angAcc, tumbling(t - kDt).angAcc));
    maxJerk = std::max(maxJerk, norm(d));
  }
  const double angAccError = 1.1 * (tau + kDt) * maxJerk;
  const double forceTolerance = angAccError * norm(p.firstMoment());
  const double torqueTolerance = angAccError * p.inertiaNormBound();

  double maxForceResidual = 0.0, maxTorqueResidual = 0.0;
  double maxStaticForceError = 0.0, maxStaticTorqueError = 0.0;
  for (int k = 0; k < static_cast<int>(duration / kDt); ++k) {
    const double t = k * kDt;
    const Sample in = sensorSample(p, tumbling(t), biasF, biasT);
    Sample out = sentinel(), outStatic = sentinel();
    ASSERT_EQ(dynamic.update(t, in, out), 0);
    ASSERT_EQ(statik.update(t, in, outStatic), 0);
    if (t < 1.5) {
      continue;
    }
    const Vec3 f{out[0], out[1], out[2]}, m{out[3], out[4], out[5]};
    const Vec3 fs{outStatic[0], outStatic[1], outStatic[2]};
    const Vec3 ms{outStatic[3], outStatic[4], outStatic[5]};
    maxForceResidual = std::max(maxForceResidual, norm(sub(f, biasF)));
    maxTorqueResidual = std::max(maxTorqueResidual, norm(sub(m, biasT)));
    maxStaticForceError = std::max(maxStaticForceError, norm(sub(fs, biasF)));
    maxStaticTorqueError = std::max(maxStaticTorqueError, norm(sub(ms, biasT)));
  }
  EXPECT_LE(maxForceResidual, forceTolerance);
  EXPECT_LE(maxTorqueResidual, torqueTolerance);
  // The inertial wrench that was removed is much larger than what remains.
  EXPECT_GT(maxStaticForceError, 5.0 * maxForceResidual);
  EXPECT_GT(maxStaticTorqueError, 5.0 * maxTorqueResidual);
}

}  // namespace
