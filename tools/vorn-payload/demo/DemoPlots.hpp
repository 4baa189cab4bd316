#pragma once

#include <array>
#include <string>
#include <vector>

#include <vorn/VornPayloadEstimator.hpp>

#include "replay/CompensationReplay.hpp"
#include "files/CompensatorFile.hpp"
#include "files/PayloadDescription.hpp"
#include "files/Recording.hpp"

namespace vorn::tools {

/// The demo's PNG plots, drawn by gnuplot: the convergence of the estimate, raw against
/// compensated wrench, and the identified against the true payload.
class DemoPlots {
 public:
  explicit DemoPlots(std::string workdir) : workdir_(std::move(workdir)) {}

  /// The estimate and its standard deviation against the truth over the data time, from the
  /// estimator's snapshots of one run (convergence.png).
  void setTrajectory(const std::vector<PayloadEstimate>& trajectory,
                     const PayloadDescription& truth);

  /// Measured and compensated wrench over a stretch of motion (compensation.png); `bias` is
  /// what the sensor reads without any payload.
  void setCompensation(const Recording& measured, const std::vector<CompensatedSample>& staticOnly,
                       const std::vector<CompensatedSample>& dynamic,
                       const std::array<double, 6>& bias, double fromSeconds, double toSeconds);

  /// Identified against true mass, centre of mass and inertia about the sensor origin
  /// (payload.png).
  void setPayload(const PayloadDescription& truth, const CompensatorFile& identified);

  /// Draws every plot that has data. Returns the paths of the images written; on failure sets
  /// `error` (the images that were drawn are kept, no image is left half-written).
  std::vector<std::string> draw(const std::string& gnuplot, std::string& error) const;

  /// The gnuplot scripts (with their data inline), for tests and for the curious.
  std::string trajectoryScript(const std::string& output) const;
  std::string compensationScript(const std::string& output) const;
  std::string payloadScript(const std::string& output) const;

 private:
  std::string workdir_;
  std::string trajectoryData_;
  std::string compensationData_;
  std::string payloadData_;
};

}  // namespace vorn::tools
