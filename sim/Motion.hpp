// Smooth, analytic excitation motion of the sensor frame.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <Eigen/Core>

namespace vorn::sim {

/// amplitude * sin(2*pi*frequency*t + phase).
struct SineTerm {
  double amplitude = 0.0;  ///< rad or m
  double frequency = 0.0;  ///< Hz
  double phase = 0.0;      ///< rad
};

/// A scalar signal with its first and second time derivatives.
struct SignalSample {
  double value = 0.0;
  double rate = 0.0;
  double acceleration = 0.0;
};

/// offset + sum of sine terms; derivatives are exact.
struct SumOfSines {
  double offset = 0.0;
  std::vector<SineTerm> terms;

  SignalSample evaluate(double t) const;

  /// Upper bounds of |value - offset|, |rate| and |acceleration| over all t.
  double amplitudeBound() const;
  double rateBound() const;
  double accelerationBound() const;
};

/// A robot's stop-and-go schedule: still poses joined by minimum-jerk moves (position, rate and
/// acceleration continuous; rate and acceleration zero at both ends of a move). Channels: yaw,
/// pitch, roll (rad), then world x, y, z offsets (m). Before the first move and after the last
/// pause the first and the last pose are held.
struct StopAndGo {
  using Pose = std::array<double, 6>;
  std::vector<Pose> poses;    ///< poses[0] is the start
  std::vector<double> moves;  ///< moves[k]: duration of the move from poses[k] to poses[k+1] (s)
  std::vector<double> pauses; ///< pauses[k]: still time before moves[k] (s)

  bool empty() const { return poses.empty(); }
  /// The six channels at time t.
  std::array<SignalSample, 6> evaluate(double t) const;
};

/// Pose and motion of the sensor frame at one instant.
struct MotionState {
  double time = 0.0;  ///< s since the start of the motion
  Eigen::Matrix3d orientation = Eigen::Matrix3d::Identity();  ///< R: sensor -> world
  Eigen::Vector3d position = Eigen::Vector3d::Zero();          ///< sensor origin, world (m)
  Eigen::Vector3d velocity = Eigen::Vector3d::Zero();          ///< world (m/s)
  Eigen::Vector3d acceleration = Eigen::Vector3d::Zero();      ///< world, gravity excluded (m/s^2)
  Eigen::Vector3d angular_velocity = Eigen::Vector3d::Zero();  ///< sensor frame (rad/s)
  Eigen::Vector3d angular_acceleration = Eigen::Vector3d::Zero();  ///< sensor frame (rad/s^2)
};

/// Motion of the sensor frame:
///   R(t) = base_orientation * Rz(yaw(t)) * Ry(pitch(t)) * Rx(roll(t)),
///   p(t) = base_position + (x(t), y(t), z(t)),
/// with every angle and coordinate a sum of sines. Angular velocity and acceleration in
/// the sensor frame are propagated exactly through the three elementary rotations, so
/// every quantity is analytic (no integration, no drift). Evaluation does not allocate.
struct MotionProfile {
  Eigen::Matrix3d base_orientation = Eigen::Matrix3d::Identity();
  Eigen::Vector3d base_position = Eigen::Vector3d::Zero();
  SumOfSines yaw;    ///< about z, applied first (outermost)
  SumOfSines pitch;  ///< about the rotated y
  SumOfSines roll;   ///< about the rotated x (innermost)
  std::array<SumOfSines, 3> translation;  ///< world x, y, z offsets (m)
  StopAndGo schedule;  ///< added to the six channels above, when not empty

  MotionState evaluate(double t) const;

  /// At rest forever with the given orientation (identity: sensor z up).
  static MotionProfile stationary(const Eigen::Matrix3d& orientation = Eigen::Matrix3d::Identity());
};

/// Ready-made motions (figures measured over 60 s for many seeds; all angles start from
/// sensor z up, with a random yaw offset):
///  - Static: at rest, sensor z up.
///  - Slow:   nearly static slow tilting: 0.35 rad per axis at 0.04-0.12 Hz; |w| < 0.3 rad/s,
///            |alpha| < 0.2 rad/s^2, linear acceleration ~0.01 m/s^2.
///  - Brisk:  hand-like: 1 rad about each axis at 0.15-0.5 Hz, so gravity sweeps through
///            large angles; |w| ~1.5 rad/s rms (peaks 2-4), |alpha| ~4 rad/s^2 rms (peaks
///            5-11), linear acceleration up to ~1.5 m/s^2.
///  - Fast:   vigorous shaking: 0.5 rad per axis at 0.7-1.6 Hz; |w| ~3 rad/s rms, |alpha|
///            tens of rad/s^2, linear acceleration up to several m/s^2.
///  - Robot:  stop-and-go: still poses 0.2-1 s long joined by 0.5-1 s minimum-jerk moves of up
///            to 0.8 rad per angle (tilt within 1.3 rad of z up) and 0.1 m per axis; |w| up
///            to about 5 rad/s, |alpha| up to about 30 rad/s^2 at the ends of a move.
/// Each angle and coordinate of the hand-held presets is a sum of three sines.
enum class MotionPreset { Static, Slow, Brisk, Fast, Robot };

/// Builds a preset; frequencies, amplitude splits, phases and the yaw offset are drawn from
/// `seed` (portably), so different seeds give different motions of the same character.
MotionProfile makeMotion(MotionPreset preset, std::uint64_t seed = 0);

/// "static", "slow", "brisk", "fast", "robot" (case-sensitive); std::nullopt otherwise.
std::optional<MotionPreset> parseMotionPreset(std::string_view name);

/// Name of the preset as accepted by parseMotionPreset.
const char* toString(MotionPreset preset);

}  // namespace vorn::sim
