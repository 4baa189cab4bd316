#pragma once

#include <cstdint>
#include <string>

namespace vorn::tools {

/// `vorn-payload simulate`: writes a CSV recording of the simulated sensor.
class SimulateCommand {
 public:
  struct Options {
    std::string payloadPath;  ///< payload description (JSON); empty for the demo's gripper
    double seconds = 60.0;
    double rateHz = 1000.0;
    std::string noise = "1";  ///< a factor on the typical sensor noise, or "none"
    std::uint64_t seed = 1;
    std::string profile = "brisk";
    std::string outputPath;
    std::string estimatorConfigPath;  ///< optional: also write a matching estimator config
  };

  explicit SimulateCommand(Options options) : options_(std::move(options)) {}

  /// Returns the exit code; throws ToolError for bad input.
  int run();

  /// "none" gives 0; a non-negative number gives itself; anything else throws ToolError.
  static double parseNoiseScale(const std::string& text);

 private:
  Options options_;
};

}  // namespace vorn::tools
