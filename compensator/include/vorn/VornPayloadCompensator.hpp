#pragma once

// Public interface of libVornPayloadCompensator. Needs only the C++17 standard library.

#include <array>
#include <memory>
#include <string>

#ifndef VORN_COMPENSATOR_API
#define VORN_COMPENSATOR_API __attribute__((visibility("default")))
#endif

namespace vorn {

/// Removes a payload's weight, or its weight and inertial forces and torques, from the wrench
/// measured by a six-axis force-torque sensor with a built-in IMU.
///
/// Construct it once with the path of a compensator configuration file (as written by
/// libVornPayloadEstimator), then call `update` once per sensor sample from one thread.
/// `tareCompensatedWrench` may be called from any other thread at any time.
class VORN_COMPENSATOR_API VornPayloadCompensator {
 public:
  /// Loads the configuration and builds the pipeline; prints the version banner and the
  /// initialisation lines. Throws std::runtime_error when the file cannot be opened
  /// ("Failed to open configuration file: <path>") or parsed ("Error parsing configuration
  /// file: <JSON library message>"); no object exists then.
  explicit VornPayloadCompensator(const std::string& configPath);
  ~VornPayloadCompensator();

  VornPayloadCompensator(const VornPayloadCompensator&) = delete;
  VornPayloadCompensator& operator=(const VornPayloadCompensator&) = delete;
  VornPayloadCompensator(VornPayloadCompensator&&) = delete;
  VornPayloadCompensator& operator=(VornPayloadCompensator&&) = delete;

  /// Compensates one sample. `in`: force (N) 0-2, torque (N·m) 3-5, accelerometer reading
  /// (m/s², gravity included) 6-8, angular velocity (rad/s) 9-11, all in the sensor frame;
  /// `stamp` in seconds. Returns
  ///   0: out[0..5] = compensated wrench minus tare bias; out[6..11] unchanged;
  ///   1: a deferred tare is collecting its window; all twelve entries of `out` set to 0.0;
  ///   5: sample rejected (duplicate, out-of-order or non-finite data); `out` unchanged.
  /// Throws std::runtime_error when the six IMU values are all zero (IMU disabled); `out` is
  /// unchanged and the compensator is unaffected.
  int update(double stamp, const std::array<double, 12>& in, std::array<double, 12>& out);

  /// Zeroes the output against the mean compensated wrench of the last second of samples, at
  /// once when at least 500 ms of samples have been collected, otherwise as soon as they have
  /// (update returns 1 with a zero output meanwhile). Thread-safe; always returns true.
  bool tareCompensatedWrench();

 private:
  class VornPayloadCompensatorImpl;
  std::unique_ptr<VornPayloadCompensatorImpl> impl_;
};

}  // namespace vorn
