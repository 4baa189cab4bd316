#pragma once

#include <array>
#include <optional>
#include <string>

namespace vorn::accuracy {

/// The standard deviations printed in the estimator's result report, read back from the text
/// the estimator wrote to standard output.
class EstimatorReport {
 public:
  /// The 16 standard deviations of the last report in `consoleText` (mass; centre of mass x,
  /// y, z; Ixx … Izz; bias Fx … Tz), or nothing when the text holds no complete report.
  static std::optional<std::array<double, 16>> standardDeviations(const std::string& consoleText);

  /// `text` without its terminal colour sequences (ESC '[' … 'm').
  static std::string withoutColours(const std::string& text);
};

}  // namespace vorn::accuracy
