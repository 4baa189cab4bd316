#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#ifndef VORN_ESTIMATOR_API
#define VORN_ESTIMATOR_API __attribute__((visibility("default")))
#endif

namespace vorn {

/// How the estimator's current or most recent run stands.
enum class EstimationRunState {
  NotStarted,        ///< no run has been started yet
  Running,           ///< a run is in progress
  Converged,         ///< the last run converged; the compensator file was written
  TimeLimitReached,  ///< the last run passed max_time without converging
  StoppedByHost,     ///< the last run was stopped by a second startPayloadEstimation()
  Failed             ///< the last run ended with an exception out of update
};

/// The conditions a run must meet to converge, in the order they are tested.
enum class ConvergenceCondition {
  None,                 ///< nothing holds the run back
  MassStdDev,           ///< standard deviation of the mass below its threshold
  CenterOfMassStdDev,   ///< standard deviations of cx, cy, cz below their threshold
  InertiaStdDev,        ///< standard deviations of the six inertia entries below theirs
  WrenchBiasStdDev,     ///< standard deviations of the six bias components below theirs
  ResidualWindow,       ///< half a second of samples absorbed (for the residual check)
  Residual,             ///< the last half second's samples fit the estimate within the noise
  PhysicalConsistency,  ///< the estimate describes a body that can exist
  MinimumTime           ///< more than min_time of run time has passed
};

/// One threshold group (mass, centre of mass, inertia or wrench bias) against its bound.
struct ThresholdGroupState {
  /// Largest standard deviation in the group, in the group's unit (kg, m, kg·m², N or N·m;
  /// the bias group mixes N and N·m under one bound). NaN for a negative variance.
  double worstStdDev = 0.0;
  /// The configured bound, same unit.
  double threshold = 0.0;
  /// worstStdDev / threshold: below 1 when met; infinite for a negative or non-finite variance
  /// or a zero bound.
  double worstRatio = 0.0;
  /// Index in `PayloadEstimate::solution` of the entry with the worst ratio.
  int worstIndex = 0;
  /// Every standard deviation of the group lies strictly below the bound.
  bool met = false;
};

/// The minimum run time before convergence is tested, and the time limit.
struct RunTimeState {
  double runSeconds = 0.0;  ///< steady-clock run time (s) since the start (frozen at the end)
  double minTime = 0.0;     ///< configured min_time (s)
  double maxTime = 0.0;     ///< configured max_time (s)
  bool met = false;         ///< runSeconds > minTime
};

/// How well the estimate explains the samples of the last half second.
struct ResidualState {
  /// Root mean square of the last half second's normalised residuals, in multiples of the residual
  /// the configured noise predicts (about 1 for a good fit); NaN before the first sample.
  double value = 0.0;
  /// Largest accepted value.
  double limit = 0.0;
  /// The samples absorbed span half a second.
  bool windowFull = false;
  /// windowFull and value <= limit.
  bool met = false;
};

/// Whether the estimate describes a body that can exist.
struct PhysicalConsistencyState {
  /// Principal moments of the inertia about the estimated centre of mass (kg·m²), ascending, of
  /// the estimate as it stands (before the written file's projection onto a possible body).
  std::array<double, 3> principalMoments{};
  /// A body that can exist (positive mass, positive moments, each at most the sum of the other
  /// two) lies within two standard deviations of the estimate in every inertia entry: the test
  /// the convergence gate makes.
  bool met = false;
};

/// Guidance for the person moving the tool: the motion that would help the estimate most.
struct ExcitationHint {
  enum class Move {
    Start,         ///< nothing absorbed yet
    RotateAbout,   ///< rotate back and forth about `axis`
    TiltAxisDown,  ///< tilt until `axis` (signed) points down, so gravity falls along it
    HoldStill,     ///< the samples are noisier than configured: hold still for a moment
    KeepGoing,     ///< nothing in particular is missing: keep the motion going
    Done           ///< converged
  };
  Move move = Move::Start;
  /// Unit vector in the sensor frame; zero where the move has no axis.
  std::array<double, 3> axis{};
  /// The threshold condition the move mainly serves (one of the four StdDev conditions), or
  /// None.
  ConvergenceCondition serves = ConvergenceCondition::None;
  /// The advice in words, NUL-terminated.
  std::array<char, 160> text{};
};

/// A read-only snapshot of an estimation: what is known, how well, and what is still missing.
/// A plain value; taking one allocates nothing.
///
/// All quantities are in the sensor frame.
struct PayloadEstimate {
  EstimationRunState state = EstimationRunState::NotStarted;
  /// Seconds of data absorbed (by the sample stamps) and samples absorbed in this run.
  double dataSeconds = 0.0;
  std::int64_t samplesAbsorbed = 0;
  /// 0 mass (kg); 1-3 centre of mass x, y, z (m); 4-9 inertia about the sensor origin Ixx, Ixy,
  /// Ixz, Iyy, Iyz, Izz (kg·m²); 10-12 force bias x, y, z (N); 13-15 torque bias x, y, z (N·m).
  std::array<double, 16> solution{};
  /// Standard deviations of the 16 solution values, same order and units; NaN for a negative
  /// variance.
  std::array<double, 16> stdDev{};
  ThresholdGroupState mass;
  ThresholdGroupState centerOfMass;
  ThresholdGroupState inertia;
  ThresholdGroupState wrenchBias;
  RunTimeState runTime;
  ResidualState residual;
  PhysicalConsistencyState physicalConsistency;
  /// The first condition, in the order of ConvergenceCondition, that is not met; None when
  /// every one is.
  ConvergenceCondition blocking = ConvergenceCondition::ResidualWindow;
  ExcitationHint hint;
};

/// Identifies the payload (tool) mounted on a six-axis force-torque sensor with a built-in IMU,
/// together with the sensor's wrench bias.
///
/// Construct it with the path of an estimator configuration file, call
/// `startPayloadEstimation()` while the payload is free of contact, move the payload about and
/// pass every sensor sample to `update`. The run ends inside the `update` call that finds the
/// estimate converged after the configured minimum time (a compensator configuration file is
/// written next to the estimator's configuration file and a report is printed), or that passes
/// the configured maximum time. Poll `isEstimatorRunning()` and `isEstimationSuccessful()`.
///
/// All calls come from one thread. Console output goes to standard output.
class VORN_ESTIMATOR_API VornPayloadEstimator {
 public:
  /// Loads the configuration at `configPath`. Throws std::runtime_error when the file cannot be
  /// opened ("Failed to open configuration file: " + path) or is invalid ("Error parsing
  /// estimator configuration file: " + reason).
  explicit VornPayloadEstimator(const std::string& configPath);
  ~VornPayloadEstimator();

  VornPayloadEstimator(const VornPayloadEstimator&) = delete;
  VornPayloadEstimator& operator=(const VornPayloadEstimator&) = delete;
  VornPayloadEstimator(VornPayloadEstimator&&) = delete;
  VornPayloadEstimator& operator=(VornPayloadEstimator&&) = delete;

  /// Passes one sample to a running estimation.
  /// @param stamp time stamp in seconds on the host's clock.
  /// @param sample sensor frame: 0-2 force (N), 3-5 torque (N·m), 6-8 linear acceleration as the
  ///        accelerometer reports it (m/s², gravity included), 9-11 angular velocity (rad/s).
  /// @return 0 when the sample was processed or ignored (no run, out-of-order stamp), 5 when it
  ///         was rejected (non-finite value).
  /// Throws std::runtime_error when the six IMU values are all zero (IMU disabled), in any state,
  /// and rethrows a failure of the estimation, which ends the run.
  int update(double stamp, std::array<double, 12> sample);

  /// Starts a run from the configured prior; called during a run, stops it and discards its
  /// estimate. Returns true unless the estimator could not be initialised.
  bool startPayloadEstimation();

  /// True while a run is in progress.
  bool isEstimatorRunning() const;

  /// True when no run is in progress and the last run ended by converging; false before any run
  /// and after a run that was stopped, hit the time limit or failed.
  bool isEstimationSuccessful() const;

  /// A snapshot of the current run (or of the last one, once it has ended): the estimate, its
  /// standard deviations, every convergence condition and a hint for the motion. Cheap enough to
  /// call after every `update`; allocates nothing. From the thread that calls `update`.
  PayloadEstimate currentEstimate() const;

 private:
  class VornPayloadEstimatorImpl;
  std::unique_ptr<VornPayloadEstimatorImpl> impl_;
};

}  // namespace vorn
