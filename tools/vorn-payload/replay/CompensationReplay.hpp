#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/Recording.hpp"

namespace vorn {
class VornPayloadCompensator;
}

namespace vorn::tools {

/// The compensator's answer for one sample.
struct CompensatedSample {
  double t = 0.0;
  std::array<double, 6> wrench{};  ///< Fx, Fy, Fz, Tx, Ty, Tz; NaN when the sample was rejected
  int status = 0;                  ///< 0 compensated, 1 tare collecting (zero output), 5 rejected
};

/// Passes a recording through libVornPayloadCompensator sample by sample.
class CompensationReplay {
 public:
  /// Loads the compensator configuration. Throws ToolError with the library's message when the
  /// file is missing or invalid.
  explicit CompensationReplay(const std::string& configPath);
  ~CompensationReplay();

  CompensationReplay(const CompensationReplay&) = delete;
  CompensationReplay& operator=(const CompensationReplay&) = delete;

  /// Compensates every sample. With `tareAt`, requests a tare just before the first sample
  /// that lies at least that many seconds after the first sample of the recording. Throws
  /// ToolError when the library rejects a sample with an exception (an IMU block of zeros).
  std::vector<CompensatedSample> run(const Recording& recording,
                                     std::optional<double> tareAt = std::nullopt,
                                     const std::string& progressLabel = "compensating",
                                     bool showProgress = true);

  /// Writes `t,fx,fy,fz,tx,ty,tz,status`, one line per sample (rejected samples have "nan"
  /// in the six wrench columns), atomically. Throws ToolError.
  static void writeCsv(const std::vector<CompensatedSample>& samples, const std::string& path);

  /// The header line (without line end).
  static const char* csvHeader();

 private:
  std::unique_ptr<VornPayloadCompensator> compensator_;
};

}  // namespace vorn::tools
