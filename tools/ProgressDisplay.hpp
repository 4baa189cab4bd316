#pragma once

#include <chrono>
#include <string>

namespace vorn::tools {

/// A one-line progress indicator on standard error, shown only when standard error is a
/// terminal; redirected or piped output stays free of it. Redrawn at most ten times a second.
class ProgressDisplay {
 public:
  explicit ProgressDisplay(std::string label);
  ProgressDisplay(std::string label, bool enabled);
  ~ProgressDisplay();

  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  /// Shows `done` of `total` seconds of data.
  void update(double done, double total);

  /// Removes the line.
  void finish();

  static bool stderrIsTerminal();

 private:
  std::string label_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace vorn::tools
