// Faults of the documented behaviour that the library mends, through the public header only:
//  1. a non-finite stamp or value is rejected with status 5 before it reaches any state;
//  2. a stamp earlier than the newest accepted one (by less than 1 s) is rejected like a duplicate;
//  3. a stamp more than 1 s earlier than the newest accepted one is a clock reset: the pipeline
//     restarts (WARN line) instead of rejecting every later sample.

#include <array>
#include <cmath>
#include <limits>
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

const std::string kImuFailure = "Failed to process IMU data in compensator.";
const std::string kWrenchFailure = "Failed to process wrench in compensator.";
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

const Payload kPayload = dyadicPayload();
const Vec3 kBiasF{1.0, -0.5, 0.25};
const Vec3 kBiasT{0.125, 0.0625, -0.25};

Sample tumblingSample(double t) { return sensorSample(kPayload, tumbling(t), kBiasF, kBiasT); }

/// Feeds `bad` to `tested` only, then the same good samples to both `tested` and a twin that never
/// saw the bad sample, and expects identical outputs: the rejected sample left no trace.
void expectNoTrace(Harness& tested, Harness& twin, double badStamp, const Sample& bad,
                   const std::string& expectedLine, int firstGood, int lastGood) {
  for (int k = 0; k < firstGood; ++k) {
    Sample a = sentinel(), b = sentinel();
    ASSERT_EQ(tested.update(k * 0.001, tumblingSample(k * 0.001), a), 0);
    ASSERT_EQ(twin.update(k * 0.001, tumblingSample(k * 0.001), b), 0);
  }
  {
    Sample out = sentinel();
    StdoutCapture capture;
    EXPECT_EQ(tested.update(badStamp, bad, out), 5);
    EXPECT_EQ(out, sentinel());
    EXPECT_EQ(plainLines(capture.text()), std::vector<std::string>{error(expectedLine)});
  }
  for (int k = firstGood; k <= lastGood; ++k) {
    const double t = k * 0.001;
    Sample a = sentinel(), b = sentinel();
    ASSERT_EQ(tested.update(t, tumblingSample(t), a), 0);
    ASSERT_EQ(twin.update(t, tumblingSample(t), b), 0);
    for (std::size_t i = 0; i < 6; ++i) {
      ASSERT_TRUE(std::isfinite(a[i])) << k;
      ASSERT_EQ(a[i], b[i]) << "sample " << k << " entry " << i;
    }
  }
  // The tare window was not poisoned either.
  StdoutCapture silent;
  ASSERT_TRUE(tested.compensator->tareCompensatedWrench());
  Sample a = sentinel();
  const double t = (lastGood + 1) * 0.001;
  ASSERT_EQ(tested.update(t, tumblingSample(t), a), 0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_TRUE(std::isfinite(a[i]));
    EXPECT_LT(std::abs(a[i]), 1.0);
  }
}

TEST(CompensatorMendedFaults, NonFiniteImuValueIsRejectedWithoutTrace) {
  for (std::size_t i = 6; i < 12; ++i) {
    for (const double bad : {kNaN, kInf, -kInf}) {
      SCOPED_TRACE(std::to_string(i) + " " + std::to_string(bad));
      Harness tested(kPayload, true), twin(kPayload, true);
      Sample in = tumblingSample(0.8);
      in[i] = bad;
      expectNoTrace(tested, twin, 0.8, in, kImuFailure, 800, 1400);
    }
  }
}

TEST(CompensatorMendedFaults, NonFiniteWrenchValueIsRejectedWithoutTrace) {
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    Harness tested(kPayload, true), twin(kPayload, true);
    Sample in = tumblingSample(0.8);
    in[i] = (i % 2) ? kNaN : -kInf;
    expectNoTrace(tested, twin, 0.8, in, kWrenchFailure, 800, 1400);
  }
}

TEST(CompensatorMendedFaults, NonFiniteStampIsRejectedWithTheImuMessage) {
  for (const double bad : {kNaN, kInf, -kInf}) {
    SCOPED_TRACE(bad);
    Harness tested(kPayload, true), twin(kPayload, true);
    expectNoTrace(tested, twin, bad, tumblingSample(0.8), kImuFailure, 800, 1400);
  }
}

TEST(CompensatorMendedFaults, NonFiniteFirstSampleLeavesAFreshCompensator) {
  Harness tested(kPayload, true), twin(kPayload, true);
  Sample in = tumblingSample(0.0);
  in[10] = kNaN;
  expectNoTrace(tested, twin, 0.0, in, kImuFailure, 0, 600);
}

TEST(CompensatorMendedFaults, AllZeroImuStillThrowsFirst) {
  Harness h(kPayload, false);
  const Sample in{kNaN, kInf, 1.0, 2.0, 3.0, 4.0, 0.0, -0.0, 0.0, 0.0, 0.0, 0.0};
  Sample out = sentinel();
  EXPECT_THROW(h.update(kNaN, in, out), std::runtime_error);
  EXPECT_EQ(out, sentinel());
}

TEST(CompensatorMendedFaults, NonFiniteSampleDoesNotEnterAPendingTareWindow) {
  Harness h(nullPayload(), false);
  {
    StdoutCapture silent;
    h.compensator->tareCompensatedWrench();
  }
  Sample out = sentinel();
  EXPECT_EQ(h.update(0.0, wrenchSample({1, 1, 1, 1, 1, 1}), out), 1);
  StdoutCapture silent;
  out = sentinel();
  EXPECT_EQ(h.update(0.2, wrenchSample({kNaN, 1, 1, 1, 1, 1}), out), 5);
  EXPECT_EQ(out, sentinel());
  EXPECT_EQ(h.update(0.5, wrenchSample({1, 1, 1, 1, 1, 1}), out), 0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], 0.0);
  }
}

TEST(CompensatorMendedFaults, BackwardStampIsRejectedLikeADuplicate) {
  for (const double back : {1e-6, 2e-5, 0.0005, 0.5, 0.999}) {
    SCOPED_TRACE(back);
    Harness tested(kPayload, true), twin(kPayload, true);
    // Newest accepted stamp before the bad sample is 1.799.
    expectNoTrace(tested, twin, 1.799 - back, tumblingSample(1.799 - back), kImuFailure, 1800,
                  2400);
  }
}

TEST(CompensatorMendedFaults, StampExactlyTenMicrosecondsLaterIsStillAccepted) {
  // The test is the pipeline's duplicate test, |t − newest| < 1e-5, plus t < newest: whatever the
  // unmended pipeline accepted after the newest stamp is still accepted. With newest = 1.0,
  // (1.0 + 1e-5) − 1.0 computes to just above 1e-5.
  Harness h(nullPayload(), false);
  Sample out = sentinel();
  ASSERT_EQ(h.update(1.0, wrenchSample({1, 1, 1, 1, 1, 1}), out), 0);
  EXPECT_EQ(h.update(1.0 + 1e-5, wrenchSample({2, 2, 2, 2, 2, 2}), out), 0);
  EXPECT_EQ(out[0], 2.0);
  StdoutCapture silent;
  EXPECT_EQ(h.update(1.0 + 1e-5 - 1e-6, wrenchSample({3, 3, 3, 3, 3, 3}), out), 5);
  EXPECT_EQ(h.update(1.0, wrenchSample({3, 3, 3, 3, 3, 3}), out), 5);
  EXPECT_EQ(out[0], 2.0);
}

TEST(CompensatorMendedFaults, StampsTenMicrosecondsApartFollowTheFloatingPointDifference) {
  // Near 7.0, (7.0 + 1e-5) − 7.0 computes to 9.99999999962e-06 < 1e-5: a duplicate for the
  // documented test too. The mended test changes nothing there.
  Harness h(nullPayload(), false);
  Sample out = sentinel();
  ASSERT_EQ(h.update(7.0, wrenchSample({1, 1, 1, 1, 1, 1}), out), 0);
  ASSERT_LT((7.0 + 1e-5) - 7.0, 1e-5);
  StdoutCapture silent;
  EXPECT_EQ(h.update(7.0 + 1e-5, wrenchSample({2, 2, 2, 2, 2, 2}), out), 5);
  EXPECT_EQ(h.update(7.0 + 2e-5, wrenchSample({2, 2, 2, 2, 2, 2}), out), 0);
}

TEST(CompensatorMendedFaults, ClockResetRestartsThePipeline) {
  // The host's clock restarts from 0 after 101 s: the sample is processed as the first of a new
  // stream, and the outputs from then on equal those of a fresh compensator fed the new stream.
  Harness restarted(kPayload, true), fresh(kPayload, true);
  for (int k = 0; k <= 1000; ++k) {
    const double t = 100.0 + k * 0.001;
    Sample out = sentinel();
    ASSERT_EQ(restarted.update(t, tumblingSample(t), out), 0);
  }
  {
    StdoutCapture capture;
    Sample out = sentinel();
    EXPECT_EQ(restarted.update(0.0, tumblingSample(0.0), out), 0);
    EXPECT_EQ(plainLines(capture.text()),
              std::vector<std::string>{warn(
                  "Sensor time stamp jumped back by 101.000000 s \u2014 treating it as a clock "
                  "reset; restarting the compensation pipeline.")});
  }
  Sample ref = sentinel();
  ASSERT_EQ(fresh.update(0.0, tumblingSample(0.0), ref), 0);
  for (int k = 1; k <= 1500; ++k) {
    const double t = k * 0.001;
    Sample a = sentinel(), b = sentinel();
    ASSERT_EQ(restarted.update(t, tumblingSample(t), a), 0) << k;
    ASSERT_EQ(fresh.update(t, tumblingSample(t), b), 0) << k;
    for (std::size_t i = 0; i < 6; ++i) {
      ASSERT_EQ(a[i], b[i]) << "sample " << k << " entry " << i;
    }
  }
}

TEST(CompensatorMendedFaults, JumpBackOfExactlyOneSecondIsNotAReset) {
  Harness h(nullPayload(), false);
  Sample out = sentinel();
  ASSERT_EQ(h.update(5.0, wrenchSample({1, 1, 1, 1, 1, 1}), out), 0);
  StdoutCapture capture;
  EXPECT_EQ(h.update(4.0, wrenchSample({2, 2, 2, 2, 2, 2}), out), 5);
  EXPECT_EQ(plainLines(capture.text()), std::vector<std::string>{error(kImuFailure)});
  capture.clear();
  EXPECT_EQ(h.update(3.5, wrenchSample({2, 2, 2, 2, 2, 2}), out), 0);
  ASSERT_EQ(plainLines(capture.text()).size(), 1U);
  EXPECT_EQ(
      plainLines(capture.text())[0].rfind("[vrn_WARN] Sensor time stamp jumped back by 1.5", 0),
      0U);
  EXPECT_EQ(out[0], 2.0);
}

TEST(CompensatorMendedFaults, ClockResetKeepsTheTareBias) {
  Harness h(nullPayload(), false);
  for (int k = 0; k <= 600; ++k) {
    Sample out = sentinel();
    ASSERT_EQ(h.update(50.0 + k * 0.001, wrenchSample({2, 4, 6, 8, 10, 12}), out), 0);
  }
  StdoutCapture silent;
  ASSERT_TRUE(h.compensator->tareCompensatedWrench());  // immediate: bias (2, 4, …, 12)
  Sample out = sentinel();
  EXPECT_EQ(h.update(1.0, wrenchSample({3, 5, 7, 9, 11, 13}), out), 0);  // clock reset
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], 1.0) << i;
  }
}

TEST(CompensatorMendedFaults, ClockResetEmptiesTheTareWindow) {
  Harness h(nullPayload(), false);
  for (int k = 0; k <= 900; ++k) {
    Sample out = sentinel();
    ASSERT_EQ(h.update(50.0 + k * 0.001, wrenchSample({2, 4, 6, 8, 10, 12}), out), 0);
  }
  StdoutCapture capture;
  Sample out = sentinel();
  ASSERT_EQ(h.update(1.0, wrenchSample({1, 1, 1, 1, 1, 1}), out), 0);  // clock reset
  capture.clear();
  // Only the new stream's single sample is in the window: the tare is deferred, and completes
  // from samples of the new stream only.
  ASSERT_TRUE(h.compensator->tareCompensatedWrench());
  EXPECT_EQ(plainLines(capture.text()).back(),
            info("Tare deferred \u2014 outputting zeros until window is collected."));
  for (int k = 1; k < 500; ++k) {
    ASSERT_EQ(h.update(1.0 + k * 0.001, wrenchSample({1, 1, 1, 1, 1, 1}), out), 1);
  }
  ASSERT_EQ(h.update(1.5, wrenchSample({1, 1, 1, 1, 1, 1}), out), 0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], 0.0) << i;
  }
}

}  // namespace
