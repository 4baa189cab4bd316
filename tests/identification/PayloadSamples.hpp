#pragma once

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "data/DynamicsStamped.hpp"
#include "identification/InertialParameters.hpp"
#include "support/RigidBodySamples.hpp"

namespace vorn {
namespace test {

/// A rigid payload on the sensor and the sensor's wrench bias, in the sensor frame.
struct PayloadTruth {
  double mass = 1.2;                                                                  // kg
  Eigen::Vector3d centreOfMass{0.02, -0.01, 0.06};                                    // m
  Eigen::Matrix3d inertiaAboutCentre = (Eigen::Matrix3d() << 0.004, 0.0003, -0.0002,  //
                                        0.0003, 0.005, 0.0001,                        //
                                        -0.0002, 0.0001, 0.003)
                                           .finished();  // kg·m²
  Eigen::Vector3d forceBias{0.8, -0.5, 1.5};             // N
  Eigen::Vector3d torqueBias{0.05, -0.03, 0.02};         // N·m

  /// The body alone (mass, centre of mass, inertia about it).
  InertialParameters body() const { return {mass, centreOfMass, inertiaAboutCentre}; }
  Eigen::Vector3d firstMoments() const { return body().firstMoment(); }
  /// Inertia about the sensor origin (parallel-axis theorem).
  Eigen::Matrix3d inertiaAboutOrigin() const { return body().inertiaAboutOrigin(); }
  /// (Ixx, Ixy, Ixz, Iyy, Iyz, Izz) about the sensor origin.
  Eigen::Matrix<double, 6, 1> inertiaVech() const {
    return InertialParameters::vech(inertiaAboutOrigin());
  }
  /// The 16 estimated parameters: m, m·c, inertia (vech), force bias, torque bias.
  Eigen::Matrix<double, 16, 1> parameters() const {
    Eigen::Matrix<double, 16, 1> p;
    p << body().originVector(), forceBias, torqueBias;
    return p;
  }
};

/// Standard deviations of the measurement noise added to the generated samples.
struct SensorNoise {
  double linAcc = 0.0;  // m/s²
  double angVel = 0.0;  // rad/s
  double angAcc = 0.0;  // rad/s²
  double force = 0.0;   // N
  double torque = 0.0;  // N·m

  /// The estimator's 15-entry variance vector (a, ω, α, F, τ), from the given deviations.
  static Eigen::Matrix<double, 15, 1> variances(double linAcc, double angVel, double angAcc,
                                                double force, double torque) {
    Eigen::Matrix<double, 15, 1> v;
    v << Eigen::Vector3d::Constant(linAcc * linAcc), Eigen::Vector3d::Constant(angVel * angVel),
        Eigen::Vector3d::Constant(angAcc * angAcc), Eigen::Vector3d::Constant(force * force),
        Eigen::Vector3d::Constant(torque * torque);
    return v;
  }
};

/// Samples of the payload moved about: ω and α are smooth sums of sines (α the exact derivative
/// of ω), the accelerometer reads gravity (9.81 m/s²) of slowly turning direction plus a smooth
/// linear acceleration. The wrench is the rigid-body model of support/RigidBodySamples.hpp
/// (`sensorSample`) evaluated on the true kinematics; noise is then added to every measured
/// channel. `pace` scales the rotation's amplitudes and frequencies (ω by pace, α by pace²): below
/// 1 the motion turns slowly and shows little of the inertia.
inline std::vector<DynamicsStamped> generateSamples(const PayloadTruth& truth,
                                                    const SensorNoise& noise, int count,
                                                    double rate, unsigned seed, double pace = 1.0) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0.0, 1.0);
  auto noisy = [&](const Eigen::Vector3d& v, double sigma) {
    return Eigen::Vector3d(v.x() + sigma * gauss(rng), v.y() + sigma * gauss(rng),
                           v.z() + sigma * gauss(rng));
  };
  const auto vec3 = [](const Eigen::Vector3d& v) { return Vec3{v.x(), v.y(), v.z()}; };
  Payload body;
  body.mass = truth.mass;
  body.com = vec3(truth.centreOfMass);
  const Eigen::Matrix<double, 6, 1> inertia = truth.inertiaVech();
  for (int i = 0; i < 6; ++i) {
    body.inertia[static_cast<std::size_t>(i)] = inertia[i];
  }
  const Vec3 forceBias = vec3(truth.forceBias);
  const Vec3 torqueBias = vec3(truth.torqueBias);
  // Per axis: amplitudes [rad/s], angular frequencies [rad/s], phases.
  const double amp[3][3] = {{1.2, 0.6, 0.3}, {0.9, 0.7, 0.4}, {1.0, 0.5, 0.35}};
  const double freq[3][3] = {{0.9, 2.3, 4.1}, {1.1, 2.9, 3.7}, {0.7, 1.9, 5.3}};
  const double phase[3][3] = {{0.0, 1.0, 2.0}, {0.5, 1.7, 0.3}, {1.2, 0.2, 2.5}};

  std::vector<DynamicsStamped> samples;
  samples.reserve(static_cast<std::size_t>(count));
  for (int s = 0; s < count; ++s) {
    const double t = s / rate;
    Eigen::Vector3d w = Eigen::Vector3d::Zero();
    Eigen::Vector3d alpha = Eigen::Vector3d::Zero();
    for (int axis = 0; axis < 3; ++axis) {
      for (int k = 0; k < 3; ++k) {
        const double f = pace * freq[axis][k];
        const double arg = f * t + phase[axis][k];
        w[axis] += pace * amp[axis][k] * std::sin(arg);
        alpha[axis] += pace * amp[axis][k] * f * std::cos(arg);
      }
    }
    const Eigen::Vector3d down(std::sin(0.31 * t) * std::cos(0.17 * t),
                               std::cos(0.31 * t) * std::sin(0.23 * t + 0.4),
                               std::cos(0.31 * t) * std::cos(0.23 * t + 0.4) + 0.3);
    const Eigen::Vector3d a =
        9.81 * down.normalized() + Eigen::Vector3d(1.5 * std::sin(1.7 * t),
                                                   1.2 * std::sin(2.3 * t + 1.0),
                                                   1.0 * std::sin(3.1 * t + 2.0));
    Kinematics motion;
    motion.linAcc = vec3(a);
    motion.angVel = vec3(w);
    motion.angAcc = vec3(alpha);
    const Sample wrench = sensorSample(body, motion, forceBias, torqueBias);
    const Eigen::Vector3d force(wrench[0], wrench[1], wrench[2]);
    const Eigen::Vector3d torque(wrench[3], wrench[4], wrench[5]);
    samples.emplace_back(KinematicsStamped(t, noisy(a, noise.linAcc), noisy(w, noise.angVel),
                                           noisy(alpha, noise.angAcc)),
                         WrenchStamped(t, noisy(force, noise.force), noisy(torque, noise.torque)));
  }
  return samples;
}

}  // namespace test
}  // namespace vorn
