#pragma once

#include <array>
#include <string>

#include "demo/SimulatedSensor.hpp"

namespace vorn::tools {

/// The content of an estimator configuration file ("payload_estimator_config"), as the tool
/// writes it for the demo and for `simulate --estimator-config`.
struct EstimatorSettings {
  std::string outputFileName = "payload.json";
  double minTime = 0.0;  ///< s of run time (the estimator's wall clock) before convergence counts
  double maxTime = 0.0;  ///< s of run time after which the run gives up

  double priorMass = 1.0;
  std::array<double, 3> priorCom{};
  std::array<double, 6> priorInertia{};  ///< Ixx, Ixy, Ixz, Iyy, Iyz, Izz about the sensor origin

  /// Variances of the channel noise, per axis, in the squared units of each channel.
  std::array<double, 3> forceVariance{};
  std::array<double, 3> torqueVariance{};
  std::array<double, 3> linearAccVariance{};
  std::array<double, 3> angularVelVariance{};
  std::array<double, 3> angularAccVariance{};

  /// Bounds on the standard deviations the estimator reports, per parameter group.
  double massThreshold = 0.0;     ///< kg
  double comThreshold = 0.0;      ///< m
  double inertiaThreshold = 0.0;  ///< kg·m²
  double wrenchBiasThreshold = 0.0;

  bool outputBiasEstimate = true;

  /// Settings for a sensor with the given noise and sample rate: variances are the squared
  /// standard deviations, the angular acceleration gets the variance of the estimator's centred
  /// slope (`derivedAngularAccVariance`), and the thresholds are the precision asked of the
  /// result (the estimator's standard deviations describe its actual errors, so they do not
  /// depend on rate or noise: more noise only takes longer). A noise-free sensor is configured
  /// like a typical one. min_time is 0, because it counts wall-clock time and a replay runs
  /// faster than the data; max_time is 600 s.
  static EstimatorSettings recommendedFor(const NoiseLevels& sensorNoise, double rateHz);

  /// Variance (rad²/s⁴) of the angular acceleration the estimator derives from a gyro whose white
  /// noise has standard deviation `gyroStd` (rad/s), sampled at `rateHz`: the library's own
  /// figure for its centred slope (`CentredDifferentiator::slopeVariance`), about 141 σ² at 1 kHz
  /// and 273 σ² at 500 Hz for the cubic over ±40 ms; finite at any rate.
  static double derivedAngularAccVariance(double gyroStd, double rateHz);

  /// Thresholds on the reported standard deviations.
  static constexpr double kMassThreshold = 0.005;       ///< kg
  static constexpr double kComThreshold = 0.002;        ///< m
  static constexpr double kInertiaThreshold = 5e-4;     ///< kg·m²
  static constexpr double kWrenchBiasThreshold = 0.05;  ///< N and N·m

  /// JSON text of the configuration file.
  std::string toJsonText() const;

  /// Writes the configuration file (atomically); throws ToolError.
  void writeJson(const std::string& path) const;
};

}  // namespace vorn::tools
