#pragma once

#include <string>
#include <vector>

#include <vorn/VornPayloadEstimator.hpp>

namespace vorn::tools {

/// `vorn-payload estimate`: replays a recording through the estimator.
class EstimateCommand {
 public:
  struct Options {
    std::string configPath;
    std::string logPath;
    bool realtime = false;
    std::string jsonPath;      ///< where to write the final snapshot and the trajectory; empty: not
    double jsonRateHz = 10.0;  ///< snapshots per second of data in the trajectory
  };

  explicit EstimateCommand(Options options) : options_(std::move(options)) {}

  /// 0 when the estimation converged, 1 when it did not; throws ToolError for bad input.
  int run();

  /// Where the estimator writes its compensator file: `outputFileName` next to the estimator
  /// configuration (an absolute name is used as it is).
  static std::string outputPathFor(const std::string& configPath,
                                   const std::string& outputFileName);

  /// The JSON text of `--json`: {"final": snapshot, "trajectory": [snapshots...]}.
  static std::string snapshotsJson(const PayloadEstimate& final,
                                   const std::vector<PayloadEstimate>& trajectory);

 private:
  Options options_;
};

}  // namespace vorn::tools
