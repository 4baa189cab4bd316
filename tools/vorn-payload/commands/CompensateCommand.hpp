#pragma once

#include <optional>
#include <string>

namespace vorn::tools {

/// `vorn-payload compensate`: compensates a whole recording and writes the result as CSV.
class CompensateCommand {
 public:
  struct Options {
    std::string configPath;
    std::string logPath;
    std::string outputPath;
    std::optional<double> tareAt;  ///< seconds after the first sample
  };

  explicit CompensateCommand(Options options) : options_(std::move(options)) {}

  /// Returns the exit code; throws ToolError for bad input.
  int run();

 private:
  Options options_;
};

}  // namespace vorn::tools
