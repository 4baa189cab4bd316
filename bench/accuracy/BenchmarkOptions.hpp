#pragma once

#include <string>
#include <vector>

#include "RunCase.hpp"
#include "sim/Motion.hpp"

namespace vorn::accuracy {

/// What the accuracy benchmark runs, from its command line.
struct BenchmarkOptions {
  std::vector<sim::MotionPreset> profiles{sim::MotionPreset::Slow, sim::MotionPreset::Brisk,
                                          sim::MotionPreset::Fast};
  std::vector<double> noiseScales{1.0, 3.0};  ///< factors on the typical sensor noise
  std::vector<double> rates{1000.0};          ///< sensor sample rates (Hz)
  std::vector<PayloadKind> kinds{PayloadKind::Box};
  int payloads = 12;                          ///< per kind, spread over those of the kind
  int seeds = 3;                              ///< repetitions per payload, profile and noise
  int draws = 1;  ///< noise realisations per repetition, of the same motion and bias
  double dataTimeCap = 60.0;                  ///< s of samples per run at most
  /// "min_time" of the configuration: wall-clock seconds of the estimator's run clock.
  double minTime = 0.0;
  /// Configured standard deviation of the angular acceleration at noise factor 1 (rad/s²);
  /// negative: that of the signal the estimator derives from the simulated gyro.
  double angularAccStd = -1.0;
  /// Row weighting of the estimator: -1 its default, 0 off, 1 on (through the environment
  /// variable VORN_ROW_WEIGHTING, which the workers inherit).
  int rowWeighting = -1;
  /// Wrench-noise weighting of the rows: -1 the estimator's default, 0 off, 1 on (through
  /// VORN_WRENCH_WEIGHTS).
  int wrenchWeights = -1;
  /// Inertia held out of the metric while unidentified: -1 the estimator's default, 0 off, 1 on
  /// (through VORN_INERTIA_HOLDOUT).
  int inertiaHoldout = -1;
  int jobs = 2;  ///< worker processes
  /// Thresholds for the brisk and fast profiles, and for the slow one except the inertia.
  Thresholds thresholds{0.005, 0.002, 0.0005, 0.05};
  /// Inertia threshold on slow motion, which barely excites the inertia.
  double slowInertiaThreshold = 1e3;
  bool printRuns = true;
  std::string csvPath;  ///< per-run rows as CSV, when given
  /// The estimate's course, every `traceStep` data seconds of each run, as CSV, when given.
  std::string tracePath;
  double traceStep = 0.0;  ///< s; set with the path
  bool help = false;

  /// Parses the arguments (without the program name). Throws std::invalid_argument.
  static BenchmarkOptions parse(const std::vector<std::string>& args);

  /// Text of --help.
  static std::string usage();
};

}  // namespace vorn::accuracy
