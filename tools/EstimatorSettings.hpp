#pragma once

#include <array>
#include <string>

#include "SimulatedSensor.hpp"

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
  /// standard deviations, (0.02 rad/s²)² for the derived angular acceleration (scaled with the
  /// noise), and thresholds that end a run after about 20 s of slow, large tilting, when the
  /// mass is typically within 0.1 % and the centre of mass within 2 mm. A noise-free sensor is
  /// configured like a typical one. min_time is 0, because it counts wall-clock time and a
  /// replay runs faster than the data; max_time is 600 s.
  static EstimatorSettings recommendedFor(const NoiseLevels& sensorNoise, double rateHz);

  /// Values for a typical sensor at the reference rate.
  static constexpr double kReferenceRateHz = 500.0;
  static constexpr double kAngularAccStd = 0.02;          ///< rad/s²
  static constexpr double kMassThreshold = 3e-6;          ///< kg
  static constexpr double kComThreshold = 4e-6;           ///< m
  static constexpr double kInertiaThreshold = 1e-5;       ///< kg·m²
  static constexpr double kWrenchBiasThreshold = 1.2e-5;  ///< N and N·m

  /// JSON text of the configuration file.
  std::string toJsonText() const;

  /// Writes the configuration file (atomically); throws ToolError.
  void writeJson(const std::string& path) const;
};

}  // namespace vorn::tools
