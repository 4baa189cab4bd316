#include "VornPayloadCompensatorImpl.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

#include "data/Vec3dStamped.hpp"
#include "data/WrenchStamped.hpp"
#include "identification/InertialParameters.hpp"
#include "VornVersion.hpp"
#include "logging/VornLogger.hpp"

namespace vorn {
namespace {

// Tare window : ages and spans in milliseconds, computed as stamp differences × 1000.
constexpr double kWindowAgeLimitMs = 1000.0;   // an entry is dropped when strictly older
constexpr double kWindowSufficientMs = 500.0;  // a window this long (inclusive) is sufficient
constexpr std::size_t kWindowMinEntries = 2;

// A stamp more than this many seconds older than the newest accepted one is a clock reset.
constexpr double kClockResetSeconds = 1.0;

constexpr const char* kImuFailure = "Failed to process IMU data in compensator.";
constexpr const char* kWrenchFailure = "Failed to process wrench in compensator.";

bool allFinite(const std::array<double, 12>& in, std::size_t first, std::size_t last) {
  for (std::size_t i = first; i < last; ++i) {
    if (!std::isfinite(in[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

VornPayloadCompensator::VornPayloadCompensatorImpl::VornPayloadCompensatorImpl(
    const std::string& configPath, VornPayloadCompensator* /*facade*/)
    : version_printer_([]() {
        VornLogger::INFO("VornPayloadCompensator version: V" + std::to_string(kVersionMajor) + "." +
                         std::to_string(kVersionMinor) + "." + std::to_string(kVersionPatch));
        return 0;
      }()),
      config_(configPath),
      activeMode_(CompensationMode::None),
      configuredMode_(CompensationMode::None),
      inertiaCompensator_(config_),
      tareBias_(Wrench::Zero()),
      biasGeneration_(0),
      biasCopy_(Wrench::Zero()),
      biasCopyGeneration_(0),
      tarePending_(false),
      zeroOutput_(false) {
  initCompensator();
  VornLogger::INFO("Vorn Payload Compensator has been initialized successfully");
}

VornPayloadCompensator::VornPayloadCompensatorImpl::~VornPayloadCompensatorImpl() = default;

void VornPayloadCompensator::VornPayloadCompensatorImpl::initCompensator() {
  const Eigen::Matrix<double, 10, 1> theta =
      InertialParameters::originVectorOf(config_.mass, config_.com, config_.inertia);
  inertiaCompensator_.setReferenceInertialParameters(theta);

  activeMode_ = CompensationMode::None;
  if (config_.enable_dynamic_compensation != 0.0) {
    configuredMode_ = CompensationMode::StaticAndDynamic;
    VornLogger::INFO(
        "Compensator initialized to compensate for both gravity and inertia (static + dynamic "
        "compensation)");
  } else {
    configuredMode_ = CompensationMode::Static;
    VornLogger::INFO(
        "Compensator initialized to compensate only for gravity (static compensation)");
  }
}

VornPayloadCompensator::VornPayloadCompensatorImpl::Wrench
VornPayloadCompensator::VornPayloadCompensatorImpl::compensationCallback() {
  switch (activeMode_) {
    case CompensationMode::StaticAndDynamic:
      return inertiaCompensator_.inertiaCompensatedWoDelay();
    case CompensationMode::Static:
      return inertiaCompensator_.gravityCompensated();
    case CompensationMode::None:
      break;
  }
  return Wrench::Zero();
}

int VornPayloadCompensator::VornPayloadCompensatorImpl::update(const std::array<double, 12>& in,
                                                               double stamp,
                                                               std::array<double, 12>& out) {
  // 1. IMU presence (-0.0 compares equal to 0.0; NaN does not).
  bool imuAbsent = true;
  for (std::size_t i = 6; i < 12; ++i) {
    if (!(in[i] == 0.0)) {
      imuAbsent = false;
      break;
    }
  }
  if (imuAbsent) {
    throw std::runtime_error(
        "IMU data is not available \u2014 make sure the IMU is enabled (Rev K: appmode should be "
        "2)");
  }

  // Non-finite input is rejected before it reaches any series, filter or the tare window: one
  // NaN or infinity would otherwise stay in the angular-acceleration filter's state for good.
  if (!std::isfinite(stamp) || !allFinite(in, 6, 12)) {
    VornLogger::ERROR_LOG(kImuFailure);
    return 5;
  }
  if (!allFinite(in, 0, 6)) {
    VornLogger::ERROR_LOG(kWrenchFailure);
    return 5;
  }

  // 2. Split into stamped records.
  Vec3dStamped force(stamp, Eigen::Vector3d(in[0], in[1], in[2]));
  Vec3dStamped torque(stamp, Eigen::Vector3d(in[3], in[4], in[5]));
  Vec3dStamped linAcc(stamp, Eigen::Vector3d(in[6], in[7], in[8]));
  Vec3dStamped angVel(stamp, Eigen::Vector3d(in[9], in[10], in[11]));

  // 3. Delay and constant-bias corrections (both zero in this library).
  linAcc = timestampCalibration_.calibrateLinAccDelay(linAcc);
  angVel = timestampCalibration_.calibrateAngVelDelay(angVel);
  linAcc = biasCalibration_.calibrateConstLinAccBias(linAcc);
  angVel = biasCalibration_.calibrateConstAngVelBias(angVel);
  force = timestampCalibration_.calibrateForceDelay(force);
  torque = timestampCalibration_.calibrateTorqueDelay(torque);
  force = biasCalibration_.calibrateConstForceBias(force);
  torque = biasCalibration_.calibrateConstTorqueBias(torque);

  // A stamp far behind the newest accepted one means the host's clock restarted: without a
  // restart every later sample would be rejected as out of order.
  if (inertiaCompensator_.hasImuData()) {
    const double newest = inertiaCompensator_.latestImuStamp();
    if (newest - linAcc.stamp() > kClockResetSeconds) {
      restartAfterClockReset(newest, linAcc.stamp());
    }
  }

  // 4. IMU stage (duplicate or out-of-order stamps are rejected here).
  if (!inertiaCompensator_.processIMU(linAcc, angVel)) {
    VornLogger::ERROR_LOG(kImuFailure);
    return 5;
  }
  // 5. Wrench stage.
  if (!inertiaCompensator_.processWrench(force, torque)) {
    VornLogger::ERROR_LOG(kWrenchFailure);
    return 5;
  }
  // 6. The first processed sample activates the configured mode.
  if (activeMode_ == CompensationMode::None) {
    activeMode_ = configuredMode_;
  }
  // 7. Compensated wrench.
  const Wrench c = compensationCallback();
  // 8. Tare window.
  tareWindowStep(stamp, c);
  // 9. Output.
  if (zeroOutput_.load()) {
    out.fill(0.0);
    return 1;
  }
  // The bias changes only on a tare: the bias mutex is taken only when it has been replaced
  // since this thread last copied it.
  const std::uint64_t generation = biasGeneration_.load();
  if (generation != biasCopyGeneration_) {
    const std::lock_guard<std::mutex> lock(biasMutex_);
    biasCopy_ = tareBias_;
    biasCopyGeneration_ = biasGeneration_.load();
  }
  for (Eigen::Index i = 0; i < 6; ++i) {
    out[static_cast<std::size_t>(i)] = c[i] - biasCopy_[i];
  }
  return 0;
}

void VornPayloadCompensator::VornPayloadCompensatorImpl::tareWindowStep(
    double stamp, const Wrench& compensated) {
  {
    const std::lock_guard<std::mutex> lock(windowMutex_);
    tareWindow_.pushBack(stamp, compensated);
    while (tareWindow_.size() >= kWindowMinEntries &&
           (stamp - tareWindow_.front().stamp) * 1000.0 > kWindowAgeLimitMs) {
      tareWindow_.popFront();
    }
  }
  if (!tarePending_.load()) {
    return;
  }
  Wrench mean;
  {
    const std::lock_guard<std::mutex> lock(windowMutex_);
    if (!(tareWindow_.size() >= kWindowMinEntries &&
          (stamp - tareWindow_.front().stamp) * 1000.0 >= kWindowSufficientMs)) {
      return;
    }
    mean = tareWindow_.mean();
    setTareBias(mean);
    tarePending_.store(false);
    zeroOutput_.store(false);
  }
  // Printed after unlocking: a slow terminal must not hold up a tare request on another thread.
  log_bias(mean);
  VornLogger::INFO("Deferred tare complete. Bias computed from window.");
}

bool VornPayloadCompensator::VornPayloadCompensatorImpl::tareCompensatedWrench() {
  VornLogger::INFO("Tare requested \u2014 waiting for sufficient data window...");
  Wrench mean;
  bool immediate = false;
  {
    const std::lock_guard<std::mutex> lock(windowMutex_);
    if (tareWindow_.size() >= kWindowMinEntries &&
        (tareWindow_.back().stamp - tareWindow_.front().stamp) * 1000.0 >= kWindowSufficientMs) {
      mean = tareWindow_.mean();
      setTareBias(mean);
      immediate = true;
    }
  }
  // Printed after unlocking, so that update never waits on the terminal.
  if (immediate) {
    log_bias(mean);
    VornLogger::INFO("Tare complete immediately (window already sufficient).");
    return true;
  }
  // The deferred line is printed before the flags are raised, so that the update thread's
  // completion lines always follow it. Zero output is raised before pending: a reader that sees
  // the request pending also sees zero output.
  VornLogger::INFO("Tare deferred \u2014 outputting zeros until window is collected.");
  zeroOutput_.store(true);
  tarePending_.store(true);
  return true;
}

void VornPayloadCompensator::VornPayloadCompensatorImpl::setTareBias(const Wrench& bias) {
  const std::lock_guard<std::mutex> biasLock(biasMutex_);
  tareBias_ = bias;
  biasGeneration_.fetch_add(1);
}

void VornPayloadCompensator::VornPayloadCompensatorImpl::initBiasCalibration() {
  biasCalibration_.setImuBias(Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero());
  biasCalibration_.setWrenchBias(Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero());
  VornLogger::INFO("Bias calibration (offset) initialized with null values");
}

void VornPayloadCompensator::VornPayloadCompensatorImpl::log_bias(const Eigen::VectorXd& bias) {
  std::string line = "Tare bias set to: [";
  for (Eigen::Index i = 0; i < 6; ++i) {
    if (i > 0) {
      line += ", ";
    }
    line += std::to_string(bias[i]);
  }
  line += "]";
  VornLogger::INFO(line);
}

void VornPayloadCompensator::VornPayloadCompensatorImpl::restartAfterClockReset(double newestStamp,
                                                                                double stamp) {
  VornLogger::WARN("Sensor time stamp jumped back by " + std::to_string(newestStamp - stamp) +
                   " s \u2014 treating it as a clock reset; restarting the compensation pipeline.");
  inertiaCompensator_.reset();
  const std::lock_guard<std::mutex> lock(windowMutex_);
  tareWindow_.clear();
}

}  // namespace vorn
