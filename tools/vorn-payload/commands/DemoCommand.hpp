#pragma once

#include <cstdint>
#include <string>

namespace vorn::tools {

/// `vorn-payload demo`: the whole chain on the simulated sensor. Identifies a built-in payload
/// with libVornPayloadEstimator, compares it with the truth, compensates a fresh stretch of
/// motion with libVornPayloadCompensator (static, then static and dynamic) and draws plots.
class DemoCommand {
 public:
  struct Options {
    std::string workdir = "vorn-demo";
    bool realtime = false;
    bool quick = false;
    bool noPlots = false;
    std::uint64_t seed = 1;
    double maxDataSeconds = 180.0;  ///< data-time cap of the estimation
  };

  explicit DemoCommand(Options options) : options_(std::move(options)) {}

  /// 0 when the estimation converged and the results meet the demo's targets, 1 otherwise;
  /// throws ToolError for file problems.
  int run();

 private:
  Options options_;
};

}  // namespace vorn::tools
