#pragma once

#include <array>
#include <cstddef>

#include <Eigen/Core>

namespace vorn {

/// The kind of motion the estimator asks for next.
enum class ExcitationMove {
  Start,         ///< nothing absorbed yet: start moving
  RotateAbout,   ///< rotate back and forth about `axis` (sensor frame)
  TiltAxisDown,  ///< tilt until `axis` (sensor frame, signed) points down
  HoldStill,     ///< the samples are noisier than configured: hold still for a moment
  KeepGoing,     ///< nothing in particular is missing: keep the motion going
  Done           ///< converged
};

/// Advice for the person moving the tool: a move, its sensor axis and its words.
struct ExcitationAdvice {
  ExcitationMove move = ExcitationMove::Start;
  /// Unit vector in the sensor frame (zero where the move has no axis).
  Eigen::Vector3d axis = Eigen::Vector3d::Zero();
  /// Index (0 x, 1 y, 2 z) of the sensor axis; -1 where the move has no axis.
  int axisIndex = -1;
  /// Which of the groups (0 mass, 1 centre of mass, 2 inertia, 3 wrench bias) the move mainly
  /// helps; -1 where it serves none in particular.
  int group = -1;
};

/// What the advisor looks at: the estimate, the covariance of what the estimator has absorbed,
/// the thresholds, the sensor noise, and where gravity points now.
struct ExcitationInput {
  /// m (kg), centre of mass (m), inertia about the sensor origin (kg·m²), bias (N, N·m).
  Eigen::Matrix<double, 16, 1> solution = Eigen::Matrix<double, 16, 1>::Zero();
  /// Covariance of (m, m·c, inertia about the origin, bias) in the estimator's units.
  Eigen::Matrix<double, 16, 16> covariance = Eigen::Matrix<double, 16, 16>::Zero();
  /// Bounds on the standard deviations: mass, centre of mass, inertia, wrench bias.
  std::array<double, 4> thresholds{};
  /// Noise variances: linear acceleration, angular velocity, angular acceleration, force,
  /// torque (x, y, z each).
  Eigen::Matrix<double, 15, 1> noise = Eigen::Matrix<double, 15, 1>::Zero();
  /// The latest accelerometer reading (m/s², sensor frame, gravity included).
  Eigen::Vector3d specificForce = Eigen::Vector3d::Zero();
  /// Samples per second of data.
  double sampleRate = 0.0;
  std::size_t samplesAbsorbed = 0;
  bool stdDevsWithinThresholds = false;
  bool residualWindowFull = false;
  bool residualWithinLimit = false;
  bool physicallyConsistent = false;
  bool converged = false;
};

/// Turns what the estimator has absorbed into the next motion to make. While standard
/// deviations are above their thresholds, it predicts, for each of nine moves (rotating back and
/// forth about one of the sensor's three axes, tilting so that one of its six half-axes points
/// down), the covariance after one more second of that move, and picks the move that leaves the
/// least of the parameters still at or above their thresholds. Past that, it names the remaining
/// condition: hold still for a residual that exceeds the noise, rotate about the axis of the
/// smallest principal moment for an inertia that is not physically consistent, keep going
/// otherwise.
///
/// Allocates nothing.
class ExcitationAdvisor {
 public:
  static constexpr int kMoves = 9;

  /// The advice for `input`.
  static ExcitationAdvice advise(const ExcitationInput& input);

  /// What would remain after one second of each move: moves 0-2 rotate about x, y, z; moves 3-8
  /// tilt +x, -x, +y, -y, +z, -z down. The sum of (σ/threshold)² over the parameters whose σ is
  /// now at or above its threshold.
  static std::array<double, kMoves> moveScores(const ExcitationInput& input);
  /// The same sum for the covariance of `input` as it is.
  static double currentScore(const ExcitationInput& input);

  /// The move `index` of `moveScores` as advice.
  static ExcitationAdvice moveAdvice(int index);

  /// Words for `advice`, NUL-terminated in `text` (cut to fit).
  static void describe(const ExcitationAdvice& advice, char* text, std::size_t size);
};

}  // namespace vorn
