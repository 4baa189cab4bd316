#pragma once

#include <array>
#include <memory>
#include <string>

#ifndef VORN_ESTIMATOR_API
#define VORN_ESTIMATOR_API __attribute__((visibility("default")))
#endif

namespace vorn {

/// Identifies the payload (tool) mounted on a six-axis force-torque sensor with a built-in IMU,
/// together with the sensor's wrench bias.
///
/// Construct it with the path of an estimator configuration file, call
/// `startPayloadEstimation()` while the payload is free of contact, move the payload about and
/// pass every sensor sample to `update`. The run ends inside the `update` call that finds the
/// estimate converged after the configured minimum time (a compensator configuration file is
/// written next to the estimator's configuration file and a report is printed), or that passes
/// the configured maximum time. Poll `isEstimatorRunning()` and `isEstimationSuccessful()`.
///
/// All calls come from one thread. Console output goes to standard output.
class VORN_ESTIMATOR_API VornPayloadEstimator {
 public:
  /// Loads the configuration at `configPath`. Throws std::runtime_error when the file cannot be
  /// opened ("Failed to open configuration file: " + path) or is invalid ("Error parsing
  /// estimator configuration file: " + reason).
  explicit VornPayloadEstimator(const std::string& configPath);
  ~VornPayloadEstimator();

  VornPayloadEstimator(const VornPayloadEstimator&) = delete;
  VornPayloadEstimator& operator=(const VornPayloadEstimator&) = delete;
  VornPayloadEstimator(VornPayloadEstimator&&) = delete;
  VornPayloadEstimator& operator=(VornPayloadEstimator&&) = delete;

  /// Passes one sample to a running estimation.
  /// @param stamp time stamp in seconds on the host's clock.
  /// @param sample sensor frame: 0-2 force (N), 3-5 torque (N·m), 6-8 linear acceleration as the
  ///        accelerometer reports it (m/s², gravity included), 9-11 angular velocity (rad/s).
  /// @return 0 when the sample was processed or ignored (no run, out-of-order stamp), 5 when it
  ///         was rejected (non-finite value).
  /// Throws std::runtime_error when the six IMU values are all zero (IMU disabled), in any state,
  /// and rethrows a failure of the estimation, which ends the run.
  int update(double stamp, std::array<double, 12> sample);

  /// Starts a run from the configured prior; called during a run, stops it and discards its
  /// estimate. Returns true unless the estimator could not be initialised.
  bool startPayloadEstimation();

  /// True while a run is in progress.
  bool isEstimatorRunning() const;

  /// True when no run is in progress and the last run ended by converging; false before any run
  /// and after a run that was stopped, hit the time limit or failed.
  bool isEstimationSuccessful() const;

 private:
  class VornPayloadEstimatorImpl;
  std::unique_ptr<VornPayloadEstimatorImpl> impl_;
};

}  // namespace vorn
