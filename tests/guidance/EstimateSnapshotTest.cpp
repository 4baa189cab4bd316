// The estimate snapshot through the public API: run states, the blocking condition against the
// run's own outcome, and that reading it allocates nothing.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "sim/Simulator.hpp"
#include "support/EstimatorTestSupport.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace {
std::atomic<long> allocations{0};
}  // namespace

#if VORN_COUNT_ALLOCATIONS
// Counts every operator new of the program; sanitizer builds keep their own allocator.
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace vorn {
namespace {

using test::ConfigText;
using test::StdoutCapture;
using test::TempDir;

ConfigText snapshotConfig() {
  ConfigText text;
  text.set("min_time", "0")
      .set("max_time", "1000")
      .set("prior_payload_properties.mass", "1.0")
      .setNoise("force", "0.0025")
      .setNoise("torque", "9e-06")
      .setNoise("linear_acc", "0.0004")
      .setNoise("angular_vel", "9e-06")
      .setNoise("angular_acc", "0.0016875")
      .set("estimation_covariance_convergence_threshold.mass", "2e-3")
      .set("estimation_covariance_convergence_threshold.com", "5e-4")
      .set("estimation_covariance_convergence_threshold.inertia", "1")
      .set("estimation_covariance_convergence_threshold.wrench_bias", "1e-2");
  return text;
}

sim::Simulator tiltingGripper() {
  sim::SimulatorConfig config;
  config.payload = sim::Payload::solidBox(1.2, {0.08, 0.06, 0.12}, {0.02, -0.01, 0.08});
  config.motion.yaw.terms = {{1.2, 0.05, 0.0}, {0.5, 0.13, 1.0}};
  config.motion.pitch.terms = {{0.9, 0.07, 0.3}, {0.4, 0.17, 2.0}};
  config.motion.roll.terms = {{0.9, 0.11, 1.3}, {0.4, 0.19, 0.7}};
  config.bias << 1.0, -0.5, 0.3, 0.02, -0.01, 0.01;
  config.rate_hz = 500.0;
  return sim::Simulator(config);
}

TEST(EstimateSnapshot, FollowsTheRunAndNamesWhatHoldsItBackUntilItConverges) {
  TempDir dir;
  StdoutCapture quiet;
  VornPayloadEstimator estimator(snapshotConfig().writeTo(dir.file("estimator.json")));
  PayloadEstimate e = estimator.currentEstimate();
  EXPECT_EQ(e.state, EstimationRunState::NotStarted);
  EXPECT_EQ(e.samplesAbsorbed, 0);
  EXPECT_EQ(e.hint.move, ExcitationHint::Move::Start);

  ASSERT_TRUE(estimator.startPayloadEstimation());
  sim::Simulator simulator = tiltingGripper();
  std::int64_t previousSamples = 0;
  int steps = 0;
  while (estimator.isEstimatorRunning() && steps < 100000) {
    const sim::Sample s = simulator.next();
    ASSERT_EQ(estimator.update(s.stamp, s.values), 0);
    ++steps;
    e = estimator.currentEstimate();
    ASSERT_GE(e.samplesAbsorbed, previousSamples);
    previousSamples = e.samplesAbsorbed;
    if (estimator.isEstimatorRunning()) {
      // With min_time 0 a run that met every condition would have ended in this update.
      ASSERT_EQ(e.state, EstimationRunState::Running);
      ASSERT_NE(e.blocking, ConvergenceCondition::None) << "at sample " << steps;
    }
  }
  ASSERT_TRUE(estimator.isEstimationSuccessful());
  EXPECT_EQ(e.state, EstimationRunState::Converged);
  EXPECT_EQ(e.blocking, ConvergenceCondition::None);
  EXPECT_EQ(e.hint.move, ExcitationHint::Move::Done);
  EXPECT_TRUE(e.mass.met && e.centerOfMass.met && e.inertia.met && e.wrenchBias.met);
  EXPECT_LT(e.mass.worstRatio, 1.0);
  EXPECT_DOUBLE_EQ(e.mass.worstStdDev, e.stdDev[0]);
  EXPECT_TRUE(e.residual.met);
  EXPECT_LE(e.residual.value, e.residual.limit);
  EXPECT_TRUE(e.physicalConsistency.met);
  // The moments are the raw estimate's: this slow tilting barely shows the inertia (its
  // threshold is 1 kg*m^2), so the smallest may lie below zero, but only within the uncertainty
  // the gate allows.
  const auto& moments = e.physicalConsistency.principalMoments;
  EXPECT_LE(moments[0], moments[1]);
  EXPECT_LE(moments[1], moments[2]);
  EXPECT_GT(moments[2], 0.0);
  const double inertiaStd = *std::max_element(e.stdDev.begin() + 4, e.stdDev.begin() + 10);
  EXPECT_GT(moments[0], -3.0 * inertiaStd);
  EXPECT_NEAR(e.solution[0], 1.2, 0.01);
  EXPECT_NEAR(e.solution[3], 0.08, 0.003);
  EXPECT_NEAR(e.solution[10], 1.0, 0.05);
  // Stamps are 2 ms apart; the filters and the centred differentiator hold back a few dozen.
  EXPECT_NEAR(e.dataSeconds, 0.002 * static_cast<double>(e.samplesAbsorbed - 1), 1e-9);
  EXPECT_GT(e.samplesAbsorbed, steps - 50);
}

TEST(EstimateSnapshot, TellsATimedOutRunFromAStoppedOne) {
  TempDir dir;
  StdoutCapture quiet;
  ConfigText config = snapshotConfig();
  config.set("max_time", "0");
  VornPayloadEstimator timed(config.writeTo(dir.file("timed.json")));
  ASSERT_TRUE(timed.startPayloadEstimation());
  sim::Simulator simulator = tiltingGripper();
  const sim::Sample s = simulator.next();
  timed.update(s.stamp, s.values);
  ASSERT_FALSE(timed.isEstimatorRunning());
  PayloadEstimate e = timed.currentEstimate();
  EXPECT_EQ(e.state, EstimationRunState::TimeLimitReached);
  EXPECT_EQ(e.blocking, ConvergenceCondition::MassStdDev);
  EXPECT_GT(e.mass.worstRatio, 1.0);
  EXPECT_GT(e.runTime.runSeconds, 0.0);
  EXPECT_EQ(timed.currentEstimate().runTime.runSeconds, e.runTime.runSeconds);

  VornPayloadEstimator stopped(snapshotConfig().writeTo(dir.file("stopped.json")));
  ASSERT_TRUE(stopped.startPayloadEstimation());
  EXPECT_EQ(stopped.currentEstimate().state, EstimationRunState::Running);
  ASSERT_TRUE(stopped.startPayloadEstimation());
  EXPECT_EQ(stopped.currentEstimate().state, EstimationRunState::StoppedByHost);
}

TEST(EstimateSnapshot, TakingOneAllocatesNothing) {
#if !VORN_COUNT_ALLOCATIONS
  GTEST_SKIP() << "allocations are not counted in sanitizer builds";
#endif
  TempDir dir;
  StdoutCapture quiet;
  VornPayloadEstimator estimator(snapshotConfig().writeTo(dir.file("estimator.json")));
  ASSERT_TRUE(estimator.startPayloadEstimation());
  sim::Simulator simulator = tiltingGripper();
  for (int k = 0; k < 600; ++k) {
    const sim::Sample s = simulator.next();
    estimator.update(s.stamp, s.values);
    if (k == 300) {
      estimator.currentEstimate();  // warm
    }
    if (k > 300) {
      const long before = allocations.load();
      const PayloadEstimate e = estimator.currentEstimate();
      ASSERT_EQ(allocations.load(), before) << "at sample " << k;
      ASSERT_TRUE(std::isfinite(e.solution[0]));
    }
  }
}

}  // namespace
}  // namespace vorn
