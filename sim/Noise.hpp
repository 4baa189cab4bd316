// Portable deterministic random numbers and the sensor noise configuration.
#pragma once

#include <cstdint>
#include <random>

namespace vorn::sim {

/// Standard deviations of the white Gaussian noise added to each channel group.
struct NoiseConfig {
  double force_std = 0.05;    ///< N
  double torque_std = 0.003;  ///< N*m
  double accel_std = 0.02;    ///< m/s^2
  double gyro_std = 0.003;    ///< rad/s

  /// All four standard deviations zero.
  static NoiseConfig none() { return {0.0, 0.0, 0.0, 0.0}; }

  /// Every standard deviation multiplied by `factor` (e.g. for noise-level sweeps).
  NoiseConfig scaled(double factor) const {
    return {force_std * factor, torque_std * factor, accel_std * factor, gyro_std * factor};
  }
};

/// Deterministic random numbers from std::mt19937_64 with hand-written transforms
/// (53-bit uniform mantissa, Box-Muller), so a seed gives the same numbers on every
/// standard library. No heap allocation after construction.
class Rng {
 public:
  explicit Rng(std::uint64_t seed = 0) : engine_(seed) {}

  /// Restart the sequence from `seed`.
  void reseed(std::uint64_t seed) {
    engine_.seed(seed);
    has_spare_ = false;
  }

  /// Uniform in [0, 1).
  double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

  /// Uniform in [lo, hi).
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

  /// Standard normal deviate (Box-Muller; the second value of each pair is kept for the
  /// next call).
  double normal();

  /// Raw 64-bit output of the engine.
  std::uint64_t bits() { return engine_(); }

 private:
  std::mt19937_64 engine_;
  bool has_spare_ = false;
  double spare_ = 0.0;
};

}  // namespace vorn::sim
