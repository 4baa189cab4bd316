// Round trip of the two libraries: the estimator identifies a simulated payload and writes its
// compensator file; the compensator loads that file and must reduce fresh samples of the same
// payload, held still in various orientations, to the sensor's wrench bias.
//
// Choices that keep the test meaningful and deterministic:
// - The identification motion turns the payload slowly through wide angles (up to about 1.6 rad,
//   0.05-0.2 Hz, angular acceleration below about 1 rad/s²), as a person does by hand.
// - Noise: the simulator's typical sensor (force 0.05 N, torque 0.003 N·m, accelerometer
//   0.02 m/s², gyro 0.003 rad/s, white, 1 kHz); the configuration gives the estimator these
//   variances, and the angular acceleration the variance of the estimator's centred slope over
//   ±20 ms of gyro samples, 187.5 times the gyro's.
// - The thresholds bound the reported standard deviations of mass (1 g) and centre of mass
//   (0.3 mm) well inside the tolerances below; inertia does not matter for static compensation
//   and is barely excited by this motion: its threshold is effectively off.
// - min_time is 0, so the run ends at a sample fixed by the thresholds alone, not by the speed
//   of the machine: the same build always stops at the same sample.
// - Tolerances on the mean compensated wrench over 400 still samples per pose: 0.05 N for force
//   (a mass error of 5 g, the single-sample force noise) and 0.04 N·m for torque (about 1% of the
//   heaviest payload's gravity moment, a first-moment error of 4 g·m). Measured worst errors are
//   0.01 N and 0.02 N·m; the averaging leaves about 0.003 N and 0.0002 N·m of noise.

#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Geometry>

#include "sim/Simulator.hpp"
#include "support/EstimatorTestSupport.hpp"
#include "vorn/VornPayloadCompensator.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace vorn {
namespace {

using test::ConfigText;
using test::literal;
using test::StdoutCapture;
using test::TempDir;

constexpr double kForceTolerance = 0.05;   // N
constexpr double kTorqueTolerance = 0.04;  // N·m
constexpr std::size_t kSampleLimit = 200000;

struct RoundTripCase {
  std::string name;
  sim::Payload payload;
  sim::Vector6d bias;
  std::uint64_t seed;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

// Slow turns through wide angles plus a little translation.
sim::MotionProfile wideSlowMotion() {
  sim::MotionProfile motion;
  motion.yaw.terms = {{1.2, 0.05, 0.0}, {0.5, 0.13, 1.0}};
  motion.pitch.terms = {{0.9, 0.07, 0.3}, {0.4, 0.17, 2.0}};
  motion.roll.terms = {{0.9, 0.11, 1.3}, {0.4, 0.19, 0.7}};
  for (int k = 0; k < 3; ++k) {
    motion.translation[static_cast<std::size_t>(k)].terms = {{0.05, 0.1 + 0.03 * k, 0.5 * k}};
  }
  return motion;
}

ConfigText roundTripConfig(const sim::NoiseConfig& noise, bool withBias) {
  ConfigText text;
  text.set("min_time", "0")
      .set("max_time", "120")
      .set("prior_payload_properties.mass", "1.0")
      .set("prior_payload_properties.com.x", "0")
      .set("prior_payload_properties.com.y", "0")
      .set("prior_payload_properties.com.z", "0")
      .setSensorNoise(noise.force_std, noise.torque_std, noise.accel_std, noise.gyro_std, 187.5)
      .set("estimation_covariance_convergence_threshold.mass", "1e-3")
      .set("estimation_covariance_convergence_threshold.com", "3e-4")
      .set("estimation_covariance_convergence_threshold.inertia", "1")
      .set("estimation_covariance_convergence_threshold.wrench_bias", "5e-3")
      .set("output_bias_estimate", withBias ? "true" : "false");
  return text;
}

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, CompensatedStillSamplesAreTheSensorBias) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  const sim::NoiseConfig noise;
  // The compensator ignores the bias object; writing it in one case shows that.
  const std::string configPath =
      roundTripConfig(noise, c.seed % 2 == 1).writeTo(dir.file("estimator.json"));

  sim::SimulatorConfig identification;
  identification.payload = c.payload;
  identification.motion = wideSlowMotion();
  identification.noise = noise;
  identification.bias = c.bias;
  identification.noise_seed = c.seed;
  sim::Simulator moving(identification);

  StdoutCapture out;
  std::size_t fed = 0;
  {
    VornPayloadEstimator estimator(configPath);
    ASSERT_TRUE(estimator.startPayloadEstimation());
    while (estimator.isEstimatorRunning() && fed < kSampleLimit) {
      const sim::Sample sample = moving.next();
      ASSERT_EQ(estimator.update(sample.stamp, sample.values), 0);
      ++fed;
    }
    ASSERT_TRUE(estimator.isEstimationSuccessful()) << "after " << fed << " samples";
  }
  const std::string log = out.text();
  const std::string report = log.substr(log.find("PAYLOAD ESTIMATION RESULTS"));

  VornPayloadCompensator compensator(dir.file("payload.json"));
  // Directions of gravity in the sensor frame for the still poses.
  const std::vector<Eigen::Vector3d> downs = {{0, 0, -1},
                                              {0, 0, 1},
                                              {1, 0, 0},
                                              {0, -1, 0},
                                              Eigen::Vector3d(1, 1, -1).normalized(),
                                              Eigen::Vector3d(-0.3, 0.8, 0.5).normalized()};
  double stamp = 1000.0;
  double worstForce = 0.0;
  double worstTorque = 0.0;
  for (std::size_t pose = 0; pose < downs.size(); ++pose) {
    sim::SimulatorConfig still;
    still.payload = c.payload;
    // The sensor-to-world rotation that maps the sensor-frame gravity direction to world -z.
    still.motion = sim::MotionProfile::stationary(
        Eigen::Quaterniond::FromTwoVectors(downs[pose], Eigen::Vector3d(0, 0, -1))
            .toRotationMatrix());
    still.noise = noise;
    still.bias = c.bias;
    still.start_stamp = stamp;
    still.noise_seed = c.seed * 100 + pose;
    sim::Simulator sensor(still);
    sim::Vector6d sum = sim::Vector6d::Zero();
    const int count = 400;
    for (int i = 0; i < count; ++i) {
      const sim::Sample sample = sensor.next();
      std::array<double, 12> output{};
      ASSERT_EQ(compensator.update(sample.stamp, sample.values, output), 0);
      for (int k = 0; k < 6; ++k) {
        sum[k] += output[static_cast<std::size_t>(k)];
      }
      stamp = sample.stamp;
    }
    stamp += 0.001;
    const sim::Vector6d error = sum / count - c.bias;
    worstForce = std::max(worstForce, error.head<3>().norm());
    worstTorque = std::max(worstTorque, error.tail<3>().norm());
    EXPECT_LT(error.head<3>().norm(), kForceTolerance)
        << "pose " << pose << ", error " << error.transpose() << "\n"
        << report << "true mass " << c.payload.mass << ", com " << c.payload.com.transpose();
    EXPECT_LT(error.tail<3>().norm(), kTorqueTolerance)
        << "pose " << pose << ", error " << error.transpose() << "\n"
        << report << "true mass " << c.payload.mass << ", com " << c.payload.com.transpose();
  }
  RecordProperty("samples_to_convergence", static_cast<int>(fed));
  RecordProperty("worst_force_error_N", literal(worstForce));
  RecordProperty("worst_torque_error_Nm", literal(worstTorque));
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, RoundTrip,
    ::testing::Values(
        RoundTripCase{"Gripper",
                      sim::Payload::solidBox(1.2, {0.08, 0.06, 0.12}, {0.02, -0.01, 0.08}),
                      (sim::Vector6d() << 2.0, -1.5, 0.8, 0.05, -0.03, 0.02).finished(), 1},
        RoundTripCase{"Camera", sim::Payload::solidCylinder(0.4, 0.03, 0.1, {-0.01, 0.03, 0.05}),
                      (sim::Vector6d() << -0.5, 0.3, 1.2, -0.02, 0.01, 0.04).finished(), 2},
        RoundTripCase{"HeavyTool", sim::Payload::solidBox(3.0, {0.1, 0.1, 0.2}, {0.0, 0.04, 0.12}),
                      (sim::Vector6d() << 0.4, 0.0, -2.0, 0.0, 0.1, 0.0).finished(), 3}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vorn
