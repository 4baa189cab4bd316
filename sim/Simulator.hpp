// Six-axis force-torque sensor with a built-in IMU, carrying a rigid payload along an
// analytic excitation motion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "sim/Motion.hpp"
#include "sim/Noise.hpp"
#include "sim/Payload.hpp"
#include "sim/Types.hpp"

namespace vorn::sim {

/// Everything that defines one simulated recording.
struct SimulatorConfig {
  Payload payload;
  MotionProfile motion;
  NoiseConfig noise;
  Vector6d bias = Vector6d::Zero();  ///< constant wrench bias (force x,y,z N; torque x,y,z N*m)
  double rate_hz = 1000.0;           ///< sample rate
  double start_stamp = 0.0;          ///< time stamp of the first sample (s)
  std::uint64_t noise_seed = 0;      ///< seed of the measurement noise
  double gravity = kGravity;         ///< m/s^2, along world -z
};

/// Noise-free sensor quantities at one instant, all in the sensor frame.
struct Truth {
  Eigen::Vector3d specific_force = Eigen::Vector3d::Zero();  ///< accelerometer (m/s^2)
  Eigen::Vector3d angular_velocity = Eigen::Vector3d::Zero();      ///< rad/s
  Eigen::Vector3d angular_acceleration = Eigen::Vector3d::Zero();  ///< rad/s^2
  Eigen::Vector3d force = Eigen::Vector3d::Zero();   ///< measured force without noise (bias included)
  Eigen::Vector3d torque = Eigen::Vector3d::Zero();  ///< measured torque without noise (bias included)
  Eigen::Vector3d payload_force = Eigen::Vector3d::Zero();   ///< payload's force on the sensor (no bias)
  Eigen::Vector3d payload_torque = Eigen::Vector3d::Zero();  ///< payload's torque on the sensor (no bias)

  /// (force, torque), bias included.
  Vector6d wrench() const;
  /// (payload_force, payload_torque), no bias.
  Vector6d payloadWrench() const;
  /// The twelve noise-free sensor values in the libraries' order.
  SampleArray values() const;
};

/// One sample as the sensor delivers it, with the truth behind it.
struct Sample {
  std::size_t index = 0;  ///< 0 for the first sample
  double stamp = 0.0;     ///< start_stamp + index / rate_hz
  double elapsed = 0.0;   ///< index / rate_hz: the motion's time
  SampleArray values{};   ///< the twelve measured values (noise included)
  Truth truth;            ///< noise-free values
  MotionState motion;     ///< pose and motion of the sensor frame (world / sensor frame)
};

/// The noise-free sensor quantities for a given motion state (no noise, no state).
///   a = R^T (p'' - g_world),  g_world = (0, 0, -gravity),
///   F = b_F - (m a + alpha x h + w x (w x h)),  T = b_T - (h x a + I_o alpha + w x (I_o w)).
Truth computeTruth(const Payload& payload, const MotionState& motion, const Vector6d& bias,
                   double gravity = kGravity);

/// Generates samples one after the other. Deterministic: the same configuration gives
/// bit-identical samples. The motion is evaluated at elapsed = index / rate_hz, so time
/// does not drift. Each sample draws exactly twelve standard normals, in the order force,
/// torque, accelerometer, gyro (x, y, z each), whatever the standard deviations are, so
/// recordings that differ only in noise level share their noise pattern.
/// next() does not allocate. One Simulator must not be used from several threads at once
/// (next() advances the noise generator); noiseFreeAt() is const and thread-safe, and
/// separate Simulator objects are independent.
class Simulator {
 public:
  /// Throws std::invalid_argument for a non-positive or non-finite rate, a negative or
  /// non-finite standard deviation, a negative or non-finite mass, or a non-positive gravity.
  explicit Simulator(SimulatorConfig config);

  /// The next sample.
  Sample next();

  /// The next `count` samples.
  std::vector<Sample> generate(std::size_t count);

  /// Samples covering `duration` seconds: ceil(duration * rate_hz) of them.
  std::vector<Sample> generateFor(double duration);

  /// Noise-free sample at an arbitrary motion time (values == truth.values()); stamp =
  /// start_stamp + elapsed, index = 0. Does not touch the sequence.
  Sample noiseFreeAt(double elapsed) const;

  /// Restart at index 0 with the configured noise seed.
  void reset();

  /// Index of the sample that next() will return.
  std::size_t nextIndex() const { return index_; }

  /// Time stamp of sample `index`.
  double stampOf(std::size_t index) const;

  const SimulatorConfig& config() const { return config_; }

 private:
  void fill(Sample& sample, double elapsed) const;

  SimulatorConfig config_;
  Eigen::Vector3d first_moment_;
  Eigen::Matrix3d inertia_origin_;
  Rng rng_;
  std::size_t index_ = 0;
};

}  // namespace vorn::sim
