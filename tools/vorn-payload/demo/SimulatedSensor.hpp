#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/PayloadDescription.hpp"
#include "files/Recording.hpp"
#include "sim/Noise.hpp"

namespace vorn::sim {
class Simulator;
}

namespace vorn::tools {

/// Standard deviations of the white noise on each channel group of the simulated sensor: the
/// simulator's own noise description.
using NoiseLevels = sim::NoiseConfig;

/// What to simulate.
struct SimulationSettings {
  PayloadDescription payload = PayloadDescription::demoGripper();
  /// static, slow, brisk or fast (the simulator's ready-made motions), or tilt: slow, large
  /// tilts that turn gravity through most directions, the motion for identification.
  std::string profile = "brisk";
  double rateHz = 1000.0;
  double noiseScale = 1.0;  ///< factor on the sensor's typical noise; 0 for noise-free data
  std::uint64_t seed = 1;   ///< chooses the motion and the noise
  double startStamp = 0.0;  ///< time stamp of the first sample (s)
};

/// A simulated force-torque sensor with IMU carrying a rigid payload along a ready-made
/// motion; the samples are exactly those a real sensor would deliver to the libraries.
class SimulatedSensor {
 public:
  /// Throws ToolError for an unknown profile, a non-positive rate, a negative noise scale or a
  /// payload whose inertia is not physically possible.
  explicit SimulatedSensor(const SimulationSettings& settings);
  ~SimulatedSensor();

  SimulatedSensor(const SimulatedSensor&) = delete;
  SimulatedSensor& operator=(const SimulatedSensor&) = delete;

  /// Appends the next `seconds` of samples to `recording`; with `payloadWrench`, also the
  /// payload's true wrench on the sensor at each sample (force, torque; no bias, no noise).
  void record(double seconds, Recording& recording,
              std::vector<std::array<double, 6>>* payloadWrench = nullptr);

  /// The same for a number of samples.
  void recordSamples(std::size_t count, Recording& recording,
                     std::vector<std::array<double, 6>>* payloadWrench = nullptr);

  /// Number of samples that `seconds` of recording hold at this sensor's rate.
  std::size_t samplesIn(double seconds) const;

  /// Noise levels of this sensor (the typical levels times the noise scale).
  NoiseLevels noise() const;

  /// Noise levels of a typical sensor (noise scale 1).
  static NoiseLevels typicalNoise();

  /// "static", "slow", "tilt", "brisk", "fast".
  static bool isKnownProfile(const std::string& name);

 private:
  std::unique_ptr<sim::Simulator> simulator_;
  double rateHz_;
};

}  // namespace vorn::tools
