#pragma once

#include <array>
#include <chrono>
#include <string>

#include <Eigen/Core>

#include "estimation/ExcitationAdvisor.hpp"
#include "estimation/InertiaEstimator.hpp"
#include "estimation/PayloadEstimatorConfig.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace vorn {

/// Run state of the estimator facade.
enum class EstimatorState { Stopped, Running };

/// The estimator facade's implementation: configuration, run state machine, run clock (steady
/// clock, independent of the sample stamps), the parameter file and the result report. Kept out
/// of the library's exported symbols, unlike the facade that encloses it.
class __attribute__((visibility("hidden"))) VornPayloadEstimator::VornPayloadEstimatorImpl {
 public:
  /// Logs the version line, loads the configuration (its exceptions leave the constructor) and
  /// builds the pipeline.
  explicit VornPayloadEstimatorImpl(const std::string& configPath);
  virtual ~VornPayloadEstimatorImpl();

  VornPayloadEstimatorImpl(const VornPayloadEstimatorImpl&) = delete;
  VornPayloadEstimatorImpl& operator=(const VornPayloadEstimatorImpl&) = delete;

  /// Re-initialises the pipeline from the configuration; exceptions propagate.
  void initEstimator();
  /// Starts a run, or stops the current one.
  bool startPayloadEstimation();
  /// One sample (layout of the public `update`) at `stamp` (s); returns the status code.
  int update(std::array<double, 12> sample, double stamp);

  bool isEstimatorRunning() const { return state_ == EstimatorState::Running; }
  bool isEstimationSuccessful() const {
    return state_ == EstimatorState::Stopped && lastRunConverged_;
  }

  /// The snapshot of the public `currentEstimate`.
  PayloadEstimate currentEstimate() const;

  /// Writes the current solution as a compensator configuration file next to the estimator's
  /// configuration file. Reports failures through the logger; never throws std::exception.
  void writeInertialParametersToFile();
  /// Prints the result report to standard output: the solution and the standard deviations (16
  /// values each, solution order) and the run time in seconds. Leaves standard output in
  /// scientific notation with 4 decimals.
  void printEstimationMetrics(const Eigen::VectorXd& solution, const Eigen::VectorXd& stdDev,
                              double elapsedSeconds);

 private:
  /// Seconds of steady-clock time since the run started.
  double elapsedRunTime() const;
  /// The part of `update` that runs the pipeline and ends the run.
  void processRunningSample(const std::array<double, 12>& sample, double stamp);

  int version_printer_;
  PayloadEstimatorConfig config_;
  EstimatorState state_ = EstimatorState::Stopped;
  InertiaEstimator inertia_estimator_;
  std::chrono::steady_clock::time_point run_start_time_{};
  bool initialized_ = false;
  /// True once a run has ended through convergence; cleared by every start and stop.
  bool lastRunConverged_ = false;
  /// How the current or last run stands, and its run time once it has ended.
  EstimationRunState runState_ = EstimationRunState::NotStarted;
  double endedRunSeconds_ = 0.0;

  /// The excitation advice is refreshed after a quarter second of new data or when the
  /// conditions it depends on change; between refreshes snapshots reuse it.
  struct AdviceCache {
    ExcitationAdvice advice;
    std::array<char, 160> text{};
    std::int64_t samples = -1;
    int conditions = -1;
    EstimationRunState state = EstimationRunState::NotStarted;
  };
  mutable AdviceCache adviceCache_;
};

}  // namespace vorn
