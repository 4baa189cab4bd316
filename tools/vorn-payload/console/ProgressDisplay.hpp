#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <vorn/VornPayloadEstimator.hpp>

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

  /// Shows the estimator's snapshot. On a terminal: a live view of a few lines (one per
  /// threshold group with value, σ, threshold and a bar; the gates; the hint), redrawn at most
  /// four times a second. Otherwise, when `redirectedLines` is set: one summary line per five
  /// seconds of data.
  void showEstimate(const PayloadEstimate& estimate, bool redirectedLines = true);

  /// Removes the line (or the live view).
  void finish();

  /// The live view's lines for `estimate`.
  static std::vector<std::string> liveLines(const PayloadEstimate& estimate);
  /// One line: data time, each group's worst σ/threshold, the blocking condition, the hint.
  static std::string summaryLine(const PayloadEstimate& estimate);
  /// What holds the run back and by how much, in words; empty when nothing does.
  static std::string blockingReason(const PayloadEstimate& estimate);
  /// The name of a condition in words ("the mass's standard deviation", ...).
  static std::string conditionName(ConvergenceCondition condition);

  static bool stderrIsTerminal();

 private:
  std::string label_;
  bool enabled_;
  bool shown_ = false;
  std::size_t shownLines_ = 0;
  double nextSummaryData_ = 0.0;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace vorn::tools
