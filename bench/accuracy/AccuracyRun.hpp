#pragma once

#include <filesystem>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "CramerRaoBound.hpp"

#include "RunCase.hpp"
#include "RunResult.hpp"

namespace vorn::accuracy {

/// Runs one identification through the public estimator API exactly as a host does: writes
/// the estimator configuration file, constructs the estimator, starts a run, feeds simulated
/// samples until the run ends or the host's data-time cap passes, then reads the compensator
/// file the estimator wrote and the standard deviations of its report, and compares both with
/// the simulator's truth.
///
/// The estimator times its run with the steady clock, and the samples are fed much faster
/// than real time, so the configuration asks for no minimum time (convergence is tested from
/// the first sample: the strictest test of false convergence) and a maximum time that never
/// passes; the cap is applied here in data seconds.
class AccuracyRun {
 public:
  /// `workDir` must exist; the run writes its two files there.
  explicit AccuracyRun(std::filesystem::path workDir);

  RunResult execute(const RunCase& runCase) const;

  /// The estimator configuration text for a run (the noise variances of the simulated sensor).
  static std::string configurationText(const RunCase& runCase);

  /// Standard deviation (rad/s²) of the angular acceleration the estimator derives from a gyro
  /// of the given noise (rad/s) at `rateHz`: the square root of the library's own figure
  /// (`CentredDifferentiator::slopeVariance`, the pipeline's window); finite at any rate.
  static double derivedAngularAccelerationStd(double gyroStd, double rateHz);

  /// The channel noise the estimator is configured with for a run (the bound's too).
  static ChannelNoise channelNoise(const RunCase& runCase);

  /// Bound of the run's recording, evaluated every `kBoundStep` data seconds up to the cap:
  /// entry k holds the bound's deviations after (k + 1)·kBoundStep seconds (nothing while the
  /// information is singular).
  static std::vector<std::optional<std::array<double, 16>>> boundTimeline(const RunCase& runCase);

  /// Name of the file, in the run's work folder, that holds the trace of run `index`: one CSV
  /// row (`traceHeader` columns) every `RunCase::traceStep` data seconds with the snapshot's
  /// state and the error of each of its 16 values in its reported standard deviations.
  static std::string traceFileName(int index);
  /// The columns of a trace row.
  static std::string traceHeader();

  /// Data-time resolution of the bound (s).
  static constexpr double kBoundStep = 0.05;

 private:
  std::filesystem::path workDir_;
};

}  // namespace vorn::accuracy
