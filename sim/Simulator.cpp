#include "sim/Simulator.hpp"

#include <cmath>
#include <stdexcept>
#include <utility>

#include <Eigen/Geometry>

namespace vorn::sim {
namespace {

SampleArray pack(const Eigen::Vector3d& force, const Eigen::Vector3d& torque,
                 const Eigen::Vector3d& accel, const Eigen::Vector3d& gyro) {
  SampleArray v{};
  for (int i = 0; i < 3; ++i) {
    const auto k = static_cast<std::size_t>(i);
    v[k] = force[i];
    v[3 + k] = torque[i];
    v[6 + k] = accel[i];
    v[9 + k] = gyro[i];
  }
  return v;
}

Truth truthFromModel(double mass, const Eigen::Vector3d& h, const Eigen::Matrix3d& I,
                     const MotionState& motion, const Vector6d& bias, double gravity) {
  Truth t;
  const Eigen::Matrix3d& R = motion.orientation;
  t.specific_force = R.transpose() * (motion.acceleration - Eigen::Vector3d(0.0, 0.0, -gravity));
  t.angular_velocity = motion.angular_velocity;
  t.angular_acceleration = motion.angular_acceleration;
  const Eigen::Vector3d& a = t.specific_force;
  const Eigen::Vector3d& w = motion.angular_velocity;
  const Eigen::Vector3d& alpha = motion.angular_acceleration;
  t.payload_force = -(mass * a + alpha.cross(h) + w.cross(w.cross(h)));
  t.payload_torque = -(h.cross(a) + I * alpha + w.cross(I * w));
  t.force = bias.head<3>() + t.payload_force;
  t.torque = bias.tail<3>() + t.payload_torque;
  return t;
}

bool finiteNonNegative(double x) { return std::isfinite(x) && x >= 0.0; }

}  // namespace

Vector6d Truth::wrench() const {
  Vector6d w;
  w << force, torque;
  return w;
}

Vector6d Truth::payloadWrench() const {
  Vector6d w;
  w << payload_force, payload_torque;
  return w;
}

SampleArray Truth::values() const {
  return pack(force, torque, specific_force, angular_velocity);
}

Truth computeTruth(const Payload& payload, const MotionState& motion, const Vector6d& bias,
                   double gravity) {
  return truthFromModel(payload.mass, payload.firstMoment(), payload.inertiaAboutOrigin(), motion,
                        bias, gravity);
}

Simulator::Simulator(SimulatorConfig config)
    : config_(std::move(config)),
      first_moment_(config_.payload.firstMoment()),
      inertia_origin_(config_.payload.inertiaAboutOrigin()),
      rng_(config_.noise_seed) {
  if (!std::isfinite(config_.rate_hz) || config_.rate_hz <= 0.0) {
    throw std::invalid_argument("vorn::sim::Simulator: rate_hz must be positive and finite");
  }
  const NoiseConfig& n = config_.noise;
  if (!finiteNonNegative(n.force_std) || !finiteNonNegative(n.torque_std) ||
      !finiteNonNegative(n.accel_std) || !finiteNonNegative(n.gyro_std)) {
    throw std::invalid_argument(
        "vorn::sim::Simulator: noise standard deviations must be non-negative and finite");
  }
  if (!finiteNonNegative(config_.payload.mass)) {
    throw std::invalid_argument("vorn::sim::Simulator: payload mass must be non-negative and finite");
  }
  if (!std::isfinite(config_.gravity) || config_.gravity <= 0.0) {
    throw std::invalid_argument("vorn::sim::Simulator: gravity must be positive and finite");
  }
}

double Simulator::stampOf(std::size_t index) const {
  return config_.start_stamp + static_cast<double>(index) / config_.rate_hz;
}

void Simulator::fill(Sample& sample, double elapsed) const {
  sample.elapsed = elapsed;
  sample.motion = config_.motion.evaluate(elapsed);
  sample.truth = truthFromModel(config_.payload.mass, first_moment_, inertia_origin_,
                                sample.motion, config_.bias, config_.gravity);
}

Sample Simulator::next() {
  Sample s;
  s.index = index_;
  s.stamp = stampOf(index_);
  fill(s, static_cast<double>(index_) / config_.rate_hz);
  ++index_;

  const NoiseConfig& n = config_.noise;
  const double stds[4] = {n.force_std, n.torque_std, n.accel_std, n.gyro_std};
  s.values = s.truth.values();
  for (std::size_t k = 0; k < s.values.size(); ++k) {
    s.values[k] += stds[k / 3] * rng_.normal();
  }
  return s;
}

std::vector<Sample> Simulator::generate(std::size_t count) {
  std::vector<Sample> samples;
  samples.reserve(count);
  for (std::size_t i = 0; i < count; ++i) samples.push_back(next());
  return samples;
}

std::vector<Sample> Simulator::generateFor(double duration) {
  if (!(duration > 0.0)) return {};
  return generate(static_cast<std::size_t>(std::ceil(duration * config_.rate_hz - 1e-9)));
}

Sample Simulator::noiseFreeAt(double elapsed) const {
  Sample s;
  s.stamp = config_.start_stamp + elapsed;
  fill(s, elapsed);
  s.values = s.truth.values();
  return s;
}

void Simulator::reset() {
  rng_.reseed(config_.noise_seed);
  index_ = 0;
}

}  // namespace vorn::sim
