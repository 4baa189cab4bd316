// The excitation hint on simulated runs: after a motion that leaves part of the payload unseen,
// the hint names the motion that is missing, and following it converges sooner than the motion
// it advises against.

#include <array>
#include <cmath>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "sim/Simulator.hpp"
#include "support/EstimatorTestSupport.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace vorn {
namespace {

using test::ConfigText;
using test::literal;
using test::StdoutCapture;
using test::TempDir;

constexpr double kRate = 500.0;
constexpr double kTwoPi = 6.283185307179586;

ConfigText guidanceConfig(const sim::NoiseConfig& noise, double inertiaThreshold) {
  ConfigText text;
  text.set("min_time", "0")
      .set("max_time", "1000")
      .set("prior_payload_properties.mass", "1.0")
      .set("prior_payload_properties.com.x", "0")
      .set("prior_payload_properties.com.y", "0")
      .set("prior_payload_properties.com.z", "0")
      .setSensorNoise(noise.force_std, noise.torque_std, noise.accel_std, noise.gyro_std, 187.5)
      .set("estimation_covariance_convergence_threshold.mass", "2e-3")
      .set("estimation_covariance_convergence_threshold.com", "5e-4")
      .set("estimation_covariance_convergence_threshold.inertia", literal(inertiaThreshold))
      .set("estimation_covariance_convergence_threshold.wrench_bias", "1e-2");
  return text;
}

sim::Payload gripper() {
  return sim::Payload::solidBox(1.2, {0.08, 0.06, 0.12}, {0.02, -0.01, 0.08});
}

/// A sine term that continues, at motion time 0 of the next phase, where `term` was at `t`.
sim::SineTerm continued(const sim::SineTerm& term, double t) {
  return {term.amplitude, term.frequency, term.phase + kTwoPi * term.frequency * t};
}

/// Runs `first` for `firstSeconds`, then `second` (motion time restarting at 0) until every
/// threshold group is met or `limit` seconds of the second phase have passed. Returns the data
/// seconds of the second phase it took (the limit when it never got there) and the hint at the
/// end of the first phase.
struct PhaseResult {
  PayloadEstimate atSwitch;
  PayloadEstimate atEnd;
  double secondsToThresholds = 0.0;
};

PhaseResult runPhases(const sim::MotionProfile& first, double firstSeconds,
                      const sim::MotionProfile& second, double limit,
                      double inertiaThreshold = 2e-3) {
  TempDir dir;
  const sim::NoiseConfig noise;
  const std::string config =
      guidanceConfig(noise, inertiaThreshold).writeTo(dir.file("estimator.json"));
  StdoutCapture quiet;
  VornPayloadEstimator estimator(config);
  EXPECT_TRUE(estimator.startPayloadEstimation());
  sim::SimulatorConfig one;
  one.payload = gripper();
  one.motion = first;
  one.noise = noise;
  one.bias << 1.0, -0.5, 0.3, 0.02, -0.01, 0.01;
  one.rate_hz = kRate;
  one.noise_seed = 3;
  sim::Simulator phaseOne(one);
  PhaseResult result;
  const auto count = static_cast<std::size_t>(firstSeconds * kRate);
  double lastStamp = 0.0;
  for (std::size_t k = 0; k < count; ++k) {
    const sim::Sample s = phaseOne.next();
    estimator.update(s.stamp, s.values);
    lastStamp = s.stamp;
  }
  result.atSwitch = estimator.currentEstimate();
  sim::SimulatorConfig two = one;
  two.motion = second;
  two.noise_seed = 4;
  two.start_stamp = lastStamp + 1.0 / kRate;
  sim::Simulator phaseTwo(two);
  result.secondsToThresholds = limit;
  for (std::size_t k = 0; k < static_cast<std::size_t>(limit * kRate); ++k) {
    const sim::Sample s = phaseTwo.next();
    estimator.update(s.stamp, s.values);
    const PayloadEstimate e = estimator.currentEstimate();
    result.atEnd = e;
    if (e.mass.met && e.centerOfMass.met && e.inertia.met && e.wrenchBias.met) {
      result.secondsToThresholds = s.elapsed;
      break;
    }
  }
  return result;
}

// Turning about the sensor's vertical z axis only: gravity never leaves z, so the mass cannot
// be told from the force offset along z, nor the offsets from the centre of mass.
sim::MotionProfile turnAboutVertical() {
  sim::MotionProfile motion;
  motion.yaw.terms = {{0.8, 0.4, 0.0}};
  return motion;
}

TEST(ExcitationHint, AfterTurningAboutTheVerticalItAsksForATiltAndTheTiltConvergesSooner) {
  const sim::MotionProfile first = turnAboutVertical();
  const double firstSeconds = 4.0;
  sim::MotionProfile keepTurning;
  keepTurning.yaw.terms = {continued(first.yaw.terms[0], firstSeconds)};
  sim::MotionProfile tilting = keepTurning;
  tilting.pitch.terms = {{1.2, 0.15, 0.0}};
  tilting.roll.terms = {{0.8, 0.11, 0.0}};

  const PhaseResult follow = runPhases(first, firstSeconds, tilting, 60.0);
  const PhaseResult against = runPhases(first, firstSeconds, keepTurning, 60.0);
  // A tilt: a horizontal axis brought down, or a rotation back and forth about a horizontal
  // axis; either way gravity falls along an axis it has not yet fallen along.
  const ExcitationHint::Move move = follow.atSwitch.hint.move;
  EXPECT_TRUE(move == ExcitationHint::Move::TiltAxisDown ||
              move == ExcitationHint::Move::RotateAbout)
      << follow.atSwitch.hint.text.data();
  EXPECT_LT(std::abs(follow.atSwitch.hint.axis[2]), 0.5);
  EXPECT_LT(follow.secondsToThresholds, against.secondsToThresholds);
}

// Tilting about x and y only, from rest back to rest at the upright pose after 4 s: the inertia
// about z is barely exercised.
sim::SumOfSines restToRest(double amplitude, double frequency) {
  sim::SumOfSines angle;
  angle.offset = amplitude;
  angle.terms = {{amplitude, frequency, -kTwoPi / 4.0}};  // A - A·cos(2π f t)
  return angle;
}

sim::MotionProfile tiltOnly() {
  sim::MotionProfile motion;
  motion.pitch = restToRest(0.6, 0.5);
  motion.roll = restToRest(0.5, 0.25);
  return motion;
}

/// Swings back and forth about sensor axis `axis` (0 x, 1 y, 2 z) from `pose`.
sim::MotionProfile swingAbout(int axis, const Eigen::Matrix3d& pose) {
  sim::MotionProfile motion;
  motion.base_orientation = pose;
  (axis == 0 ? motion.roll : axis == 1 ? motion.pitch : motion.yaw) = restToRest(0.5, 0.4);
  return motion;
}

TEST(ExcitationHint, AfterTiltingOnlyTheHintedRotationHelpsTheInertiaMoreThanTheOthers) {
  // The inertia is held to a bound no single rotation reaches within the second phase: what
  // counts is how far each one brings its worst standard deviation down.
  const sim::MotionProfile first = tiltOnly();
  const double firstSeconds = 4.0;
  const Eigen::Matrix3d pose = first.evaluate(firstSeconds).orientation;
  std::array<PhaseResult, 3> results;
  for (int axis = 0; axis < 3; ++axis) {
    results[static_cast<std::size_t>(axis)] =
        runPhases(first, firstSeconds, swingAbout(axis, pose), 6.0, 3e-5);
  }
  const PayloadEstimate& atSwitch = results[0].atSwitch;
  ASSERT_EQ(atSwitch.blocking, ConvergenceCondition::InertiaStdDev);
  const ExcitationHint& hint = atSwitch.hint;
  ASSERT_EQ(hint.move, ExcitationHint::Move::RotateAbout) << hint.text.data();
  EXPECT_EQ(hint.serves, ConvergenceCondition::InertiaStdDev);
  int hinted = 0;
  for (int axis = 1; axis < 3; ++axis) {
    if (std::abs(hint.axis[static_cast<std::size_t>(axis)]) > 0.5) hinted = axis;
  }
  const double before = atSwitch.inertia.worstRatio;
  const double followed = results[static_cast<std::size_t>(hinted)].atEnd.inertia.worstRatio;
  EXPECT_LT(followed, before);
  for (int axis = 0; axis < 3; ++axis) {
    if (axis != hinted) {
      EXPECT_LT(followed, results[static_cast<std::size_t>(axis)].atEnd.inertia.worstRatio)
          << hint.text.data() << ", against a rotation about axis " << axis;
    }
  }
}

}  // namespace
}  // namespace vorn
