#pragma once

#include <stdexcept>
#include <string>

namespace vorn::tools {

/// Exit codes of vorn-payload.
enum ExitCode : int {
  kExitOk = 0,
  kExitRunFailed = 1,  ///< the estimation did not converge, or the demo missed its targets
  kExitUsage = 2,      ///< bad command line
  kExitBadInput = 3,   ///< a file is missing, unreadable, malformed, or cannot be written
};

/// A failure the tool reports to the user in one line and turns into an exit code.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message, int exitCode = kExitBadInput)
      : std::runtime_error(message), exitCode_(exitCode) {}

  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

}  // namespace vorn::tools
