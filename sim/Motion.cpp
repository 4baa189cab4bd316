#include "sim/Motion.hpp"

#include <algorithm>
#include <cmath>

#include <Eigen/Geometry>

#include "sim/Noise.hpp"

namespace vorn::sim {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr double kPi = 3.141592653589793238462643383280;

/// Rotation by angle q about the unit axis e_k (k = 0: x, 1: y, 2: z).
Eigen::Matrix3d elementaryRotation(int axis, double q) {
  const double c = std::cos(q);
  const double s = std::sin(q);
  Eigen::Matrix3d r;
  switch (axis) {
    case 0:
      r << 1, 0, 0, 0, c, -s, 0, s, c;
      break;
    case 1:
      r << c, 0, s, 0, 1, 0, -s, 0, c;
      break;
    default:
      r << c, -s, 0, s, c, 0, 0, 0, 1;
      break;
  }
  return r;
}

struct PresetParameters {
  double tilt;        // roll and pitch amplitude (rad), split over the terms
  double yaw;         // yaw amplitude (rad)
  double angular_f_min;
  double angular_f_max;  // Hz
  double translation;    // per-axis amplitude (m)
  double linear_f_min;
  double linear_f_max;  // Hz
};

PresetParameters presetParameters(MotionPreset preset) {
  switch (preset) {
    case MotionPreset::Slow:
      return {0.35, 0.35, 0.04, 0.12, 0.01, 0.05, 0.15};
    case MotionPreset::Brisk:
      return {1.0, 1.0, 0.15, 0.5, 0.06, 0.2, 0.8};
    case MotionPreset::Fast:
      return {0.5, 0.5, 0.7, 1.6, 0.03, 1.0, 2.5};
    case MotionPreset::Static:
    case MotionPreset::Robot:
      break;
  }
  return {0, 0, 0, 0, 0, 0, 0};
}

constexpr int kTermsPerChannel = 3;

SumOfSines randomSignal(Rng& rng, double amplitude, double f_min, double f_max) {
  SumOfSines signal;
  signal.terms.resize(kTermsPerChannel);
  double total_weight = 0.0;
  for (SineTerm& term : signal.terms) {
    term.amplitude = rng.uniform(0.5, 1.5);
    total_weight += term.amplitude;
  }
  for (SineTerm& term : signal.terms) {
    term.amplitude *= amplitude / total_weight;
    term.frequency = rng.uniform(f_min, f_max);
    term.phase = rng.uniform(0.0, kTwoPi);
  }
  return signal;
}

}  // namespace

SignalSample SumOfSines::evaluate(double t) const {
  SignalSample s;
  s.value = offset;
  for (const SineTerm& term : terms) {
    const double w = kTwoPi * term.frequency;
    const double arg = w * t + term.phase;
    const double sn = std::sin(arg);
    const double cs = std::cos(arg);
    s.value += term.amplitude * sn;
    s.rate += term.amplitude * w * cs;
    s.acceleration -= term.amplitude * w * w * sn;
  }
  return s;
}

double SumOfSines::amplitudeBound() const {
  double b = 0.0;
  for (const SineTerm& term : terms) b += std::abs(term.amplitude);
  return b;
}

double SumOfSines::rateBound() const {
  double b = 0.0;
  for (const SineTerm& term : terms) b += std::abs(term.amplitude * kTwoPi * term.frequency);
  return b;
}

double SumOfSines::accelerationBound() const {
  double b = 0.0;
  for (const SineTerm& term : terms) {
    const double w = kTwoPi * term.frequency;
    b += std::abs(term.amplitude) * w * w;
  }
  return b;
}

std::array<SignalSample, 6> StopAndGo::evaluate(double t) const {
  std::array<SignalSample, 6> out{};
  if (poses.empty()) {
    return out;
  }
  const auto hold = [&](std::size_t k) {
    for (std::size_t c = 0; c < 6; ++c) out[c] = {poses[k][c], 0.0, 0.0};
    return out;
  };
  const std::size_t count = std::min({moves.size(), pauses.size(), poses.size() - 1});
  double clock = 0.0;
  for (std::size_t k = 0; k < count; ++k) {
    const double moveStart = clock + pauses[k];
    if (t < moveStart) {
      return hold(k);
    }
    const double duration = moves[k];
    if (t < moveStart + duration) {
      // Minimum jerk: s(u) = 10u³ − 15u⁴ + 6u⁵.
      const double u = (t - moveStart) / duration;
      const double s = u * u * u * (10.0 + u * (-15.0 + 6.0 * u));
      const double ds = 30.0 * u * u * (1.0 - u) * (1.0 - u) / duration;
      const double dds = 60.0 * u * (1.0 - u) * (1.0 - 2.0 * u) / (duration * duration);
      for (std::size_t c = 0; c < 6; ++c) {
        const double delta = poses[k + 1][c] - poses[k][c];
        out[c] = {poses[k][c] + delta * s, delta * ds, delta * dds};
      }
      return out;
    }
    clock = moveStart + duration;
  }
  return hold(count);
}

MotionState MotionProfile::evaluate(double t) const {
  MotionState state;
  state.time = t;

  // Serial chain of three elementary rotations, outermost first: frame k = frame k-1 * R_k(q_k).
  // Body-frame recursion (u_k the joint axis, invariant under R_k):
  //   w_k = R_k^T w_{k-1} + u_k q'_k
  //   a_k = R_k^T a_{k-1} + (R_k^T w_{k-1}) x (u_k q'_k) + u_k q''_k
  const SumOfSines* const channels[3] = {&yaw, &pitch, &roll};
  const int axes[3] = {2, 1, 0};
  Eigen::Matrix3d R = base_orientation;
  Eigen::Vector3d w = Eigen::Vector3d::Zero();
  Eigen::Vector3d a = Eigen::Vector3d::Zero();
  const std::array<SignalSample, 6> scheduled = schedule.evaluate(t);
  const auto plus = [](SignalSample a, const SignalSample& b) {
    a.value += b.value;
    a.rate += b.rate;
    a.acceleration += b.acceleration;
    return a;
  };
  for (int k = 0; k < 3; ++k) {
    const SignalSample q = plus(channels[k]->evaluate(t), scheduled[static_cast<std::size_t>(k)]);
    const Eigen::Matrix3d Rk = elementaryRotation(axes[k], q.value);
    const Eigen::Vector3d u = Eigen::Vector3d::Unit(axes[k]);
    const Eigen::Vector3d w_carried = Rk.transpose() * w;
    a = Rk.transpose() * a + w_carried.cross(u * q.rate) + u * q.acceleration;
    w = w_carried + u * q.rate;
    R = R * Rk;
  }
  state.orientation = R;
  state.angular_velocity = w;
  state.angular_acceleration = a;

  for (int i = 0; i < 3; ++i) {
    const SignalSample x = plus(translation[static_cast<std::size_t>(i)].evaluate(t),
                                scheduled[static_cast<std::size_t>(3 + i)]);
    state.position[i] = base_position[i] + x.value;
    state.velocity[i] = x.rate;
    state.acceleration[i] = x.acceleration;
  }
  return state;
}

MotionProfile MotionProfile::stationary(const Eigen::Matrix3d& orientation) {
  MotionProfile profile;
  profile.base_orientation = orientation;
  return profile;
}

namespace {

/// Length of the generated stop-and-go schedule (s); the last pose is held after it.
constexpr double kScheduleLength = 150.0;

MotionProfile robotMotion(std::uint64_t seed) {
  Rng rng(seed);
  MotionProfile profile;
  StopAndGo& s = profile.schedule;
  StopAndGo::Pose pose{rng.uniform(-kPi, kPi), 0.0, 0.0, 0.0, 0.0, 0.0};
  s.poses.push_back(pose);
  double clock = 0.0;
  while (clock < kScheduleLength) {
    const double pause = rng.uniform(0.2, 1.0);
    const double move = rng.uniform(0.5, 1.0);
    for (std::size_t c = 0; c < 3; ++c) {
      pose[c] += rng.uniform(-0.8, 0.8);
    }
    for (std::size_t c = 1; c < 3; ++c) {
      pose[c] = std::clamp(pose[c], -1.3, 1.3);
    }
    for (std::size_t c = 3; c < 6; ++c) {
      pose[c] = std::clamp(pose[c] + rng.uniform(-0.1, 0.1), -0.2, 0.2);
    }
    s.pauses.push_back(pause);
    s.moves.push_back(move);
    s.poses.push_back(pose);
    clock += pause + move;
  }
  return profile;
}

}  // namespace

MotionProfile makeMotion(MotionPreset preset, std::uint64_t seed) {
  if (preset == MotionPreset::Static) return MotionProfile::stationary();
  if (preset == MotionPreset::Robot) return robotMotion(seed);
  const PresetParameters p = presetParameters(preset);
  Rng rng(seed);
  MotionProfile profile;
  profile.yaw = randomSignal(rng, p.yaw, p.angular_f_min, p.angular_f_max);
  profile.yaw.offset = rng.uniform(-kPi, kPi);
  profile.pitch = randomSignal(rng, p.tilt, p.angular_f_min, p.angular_f_max);
  profile.roll = randomSignal(rng, p.tilt, p.angular_f_min, p.angular_f_max);
  for (SumOfSines& axis : profile.translation) {
    axis = randomSignal(rng, p.translation, p.linear_f_min, p.linear_f_max);
  }
  return profile;
}

std::optional<MotionPreset> parseMotionPreset(std::string_view name) {
  if (name == "static") return MotionPreset::Static;
  if (name == "slow") return MotionPreset::Slow;
  if (name == "brisk") return MotionPreset::Brisk;
  if (name == "fast") return MotionPreset::Fast;
  if (name == "robot") return MotionPreset::Robot;
  return std::nullopt;
}

const char* toString(MotionPreset preset) {
  switch (preset) {
    case MotionPreset::Static:
      return "static";
    case MotionPreset::Slow:
      return "slow";
    case MotionPreset::Brisk:
      return "brisk";
    case MotionPreset::Fast:
      return "fast";
    case MotionPreset::Robot:
      return "robot";
  }
  return "unknown";
}

}  // namespace vorn::sim
