#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <vorn/VornPayloadEstimator.hpp>

#include "files/Recording.hpp"

namespace vorn::tools {

/// How an estimation run over a recording ended.
struct EstimationOutcome {
  bool converged = false;       ///< the estimator converged and wrote its compensator file
  bool stoppedByLimit = false;  ///< the estimator gave up on its own (its max_time passed)
  std::size_t samplesFed = 0;
  double dataSeconds = 0.0;  ///< span of the samples fed, first to last
  double wallSeconds = 0.0;  ///< run time from start to the last sample
  PayloadEstimate finalEstimate;  ///< the estimator's snapshot after the last sample fed
  /// Snapshots every 1 / `ReplayOptions::trajectoryRateHz` seconds of data (empty at rate 0).
  std::vector<PayloadEstimate> trajectory;
};

/// Options of one replay.
struct ReplayOptions {
  bool realtime = false;  ///< pace the samples at their time stamps instead of fast-forwarding
  double maxDataSeconds = std::numeric_limits<double>::infinity();  ///< stop feeding after this
  std::string progressLabel = "estimating";  ///< label of the terminal progress line
  bool showProgress = true;
  /// Show the estimator's snapshot (live view on a terminal, a line every five seconds of data
  /// otherwise) instead of the bare progress line.
  bool showEstimate = false;
  /// Rate (per second of data) of the snapshots kept in `EstimationOutcome::trajectory`; 0 keeps
  /// none.
  double trajectoryRateHz = 0.0;
};

/// Feeds a recording to libVornPayloadEstimator: starts a run, passes the samples one by one
/// and stops at convergence, when the estimator gives up, at the end of the recording or at the
/// data-time cap, whichever comes first.
class EstimationReplay {
 public:
  /// Loads the estimator configuration. Throws ToolError with the library's message when the
  /// file is missing or invalid.
  explicit EstimationReplay(const std::string& configPath);
  ~EstimationReplay();

  EstimationReplay(const EstimationReplay&) = delete;
  EstimationReplay& operator=(const EstimationReplay&) = delete;

  /// Runs once over `recording`. Throws ToolError when the library rejects a sample with an
  /// exception (an IMU block of zeros, a failed estimate).
  EstimationOutcome run(const Recording& recording, const ReplayOptions& options);

 private:
  std::string configPath_;
  std::unique_ptr<VornPayloadEstimator> estimator_;
};

}  // namespace vorn::tools
