#include "replay/EstimationReplay.hpp"

#include <chrono>
#include <exception>
#include <thread>

#include "console/ProgressDisplay.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"

namespace vorn::tools {

EstimationReplay::EstimationReplay(const std::string& configPath) : configPath_(configPath) {
  try {
    estimator_ = std::make_unique<VornPayloadEstimator>(configPath);
  } catch (const std::exception& e) {
    throw ToolError(configPath + ": " + e.what());
  }
}

EstimationReplay::~EstimationReplay() = default;

EstimationOutcome EstimationReplay::run(const Recording& recording, const ReplayOptions& options) {
  using Clock = std::chrono::steady_clock;
  EstimationOutcome outcome;
  if (recording.empty()) {
    return outcome;
  }
  if (estimator_->isEstimatorRunning()) {
    estimator_->startPayloadEstimation();  // a previous replay ended mid-run: stop that run
  }
  if (!estimator_->startPayloadEstimation()) {
    throw ToolError("the estimator could not start a run", kExitRunFailed);
  }
  ProgressDisplay progress(options.progressLabel,
                           options.showProgress && ProgressDisplay::stderrIsTerminal());
  double nextTrajectoryData = 0.0;
  const auto& samples = recording.samples();
  const double firstStamp = samples.front().t;
  const double total = std::min(recording.duration(), options.maxDataSeconds);
  const Clock::time_point wallStart = Clock::now();
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const StampedSample& sample = samples[k];
    const double dataTime = sample.t - firstStamp;
    if (dataTime > options.maxDataSeconds) {
      break;
    }
    if (options.realtime) {
      std::this_thread::sleep_until(wallStart + std::chrono::duration_cast<Clock::duration>(
                                                    std::chrono::duration<double>(dataTime)));
    }
    try {
      estimator_->update(sample.t, sample.values);
    } catch (const std::exception& e) {
      progress.finish();
      throw ToolError("sample " + std::to_string(k + 1) + " (t = " +
                          TextFormat::shortest(sample.t) + " s): the estimator failed: " + e.what(),
                      kExitRunFailed);
    }
    outcome.samplesFed = k + 1;
    outcome.dataSeconds = dataTime;
    if (options.trajectoryRateHz > 0.0 || options.showEstimate) {
      const PayloadEstimate estimate = estimator_->currentEstimate();
      if (options.trajectoryRateHz > 0.0 && estimate.dataSeconds >= nextTrajectoryData) {
        outcome.trajectory.push_back(estimate);
        nextTrajectoryData = estimate.dataSeconds + 1.0 / options.trajectoryRateHz;
      }
      if (options.showEstimate && options.showProgress) {
        progress.showEstimate(estimate);
      }
    }
    if (!estimator_->isEstimatorRunning()) {
      break;
    }
    if (!options.showEstimate) {
      progress.update(dataTime, total);
    }
  }
  progress.finish();
  outcome.finalEstimate = estimator_->currentEstimate();
  if (options.trajectoryRateHz > 0.0 &&
      (outcome.trajectory.empty() ||
       outcome.trajectory.back().samplesAbsorbed != outcome.finalEstimate.samplesAbsorbed)) {
    outcome.trajectory.push_back(outcome.finalEstimate);
  }
  outcome.wallSeconds = std::chrono::duration<double>(Clock::now() - wallStart).count();
  if (!estimator_->isEstimatorRunning()) {
    outcome.converged = estimator_->isEstimationSuccessful();
    outcome.stoppedByLimit = !outcome.converged;
  }
  return outcome;
}

}  // namespace vorn::tools
