#pragma once

// Private implementation of libVornPayloadCompensator . Not installed.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include <Eigen/Core>

#include "compensation/InertiaCompensator.hpp"
#include "compensation/PayloadCompensatorConfig.hpp"
#include "compensation/TareWindow.hpp"
#include "filters/ConstantBiasCalibration.hpp"
#include "filters/TimestampCalibration.hpp"
#include "vorn/VornPayloadCompensator.hpp"

namespace vorn {

// Hidden: the enclosing public class is exported, and a nested class would inherit that.
class __attribute__((visibility("hidden"))) VornPayloadCompensator::VornPayloadCompensatorImpl {
 public:
  /// What compensationCallback evaluates.
  enum class CompensationMode : std::int32_t {
    None = 0,              ///< no mode chosen yet
    StaticAndDynamic = 1,  ///< gravity and inertia
    Static = 2,            ///< gravity only
  };

  /// One entry of the tare window: the stamp passed to update and the compensated wrench of that
  /// sample before the tare bias is subtracted.
  using TimestampedWrench = TareWindow::Entry;
  /// A compensated wrench: force x, y, z, torque x, y, z.
  using Wrench = Eigen::Matrix<double, 6, 1>;

  /// Loads the configuration and builds the pipeline; the facade pointer is not kept.
  VornPayloadCompensatorImpl(const std::string& configPath, VornPayloadCompensator* facade);
  virtual ~VornPayloadCompensatorImpl();

  VornPayloadCompensatorImpl(const VornPayloadCompensatorImpl&) = delete;
  VornPayloadCompensatorImpl& operator=(const VornPayloadCompensatorImpl&) = delete;

  /// Sets θ from the configuration and chooses the configured mode.
  void initCompensator();
  /// The compensated wrench of the active mode; zero while no mode is active.
  Wrench compensationCallback();
  /// One sample; status 0, 1 or 5 (see the public header).
  int update(const std::array<double, 12>& in, double stamp, std::array<double, 12>& out);

  /// Immediate or deferred tare . Always true.
  bool tareCompensatedWrench();
  /// Zeroes the sensor's constant bias calibration; not called by the library.
  void initBiasCalibration();
  /// Prints "Tare bias set to: [b0, ..., b5]" with six decimals per entry.
  void log_bias(const Eigen::VectorXd& bias);

 private:
  /// Appends (stamp, c) to the tare window, drops entries older than one second and completes a
  /// pending deferred tare once the window spans 500 ms.
  void tareWindowStep(double stamp, const Wrench& compensated);
  /// Restarts the pipeline after the sensor's clock went back by more than the reset threshold:
  /// series, angular-acceleration filter and tare window are emptied; tare bias, tare flags and
  /// modes are kept.
  void restartAfterClockReset(double newestStamp, double stamp);
  /// Replaces the tare bias. The caller holds the window mutex.
  void setTareBias(const Wrench& bias);

  int version_printer_;
  PayloadCompensatorConfig config_;
  CompensationMode activeMode_;
  CompensationMode configuredMode_;
  InertiaCompensator inertiaCompensator_;
  ConstantBiasCalibration biasCalibration_;
  TimestampCalibration timestampCalibration_;
  std::mutex biasMutex_;
  Wrench tareBias_;
  /// Bumped under the bias mutex each time tareBias_ is replaced, so that update takes the bias
  /// mutex only when the bias it holds in biasCopy_ is out of date.
  std::atomic<std::uint64_t> biasGeneration_;
  /// The update thread's copy of tareBias_ as of generation biasCopyGeneration_.
  Wrench biasCopy_;
  std::uint64_t biasCopyGeneration_;
  TareWindow tareWindow_;
  std::mutex windowMutex_;
  std::atomic<bool> tarePending_;
  std::atomic<bool> zeroOutput_;
};

}  // namespace vorn
