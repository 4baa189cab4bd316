// Finite-difference helpers for validating the simulator independently of its formulas.
#pragma once

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "sim/Motion.hpp"

namespace vorn::test {

/// The vector of the skew-symmetric part of M: for M = [v]x this is v.
inline Eigen::Vector3d vee(const Eigen::Matrix3d& M) {
  const Eigen::Matrix3d S = 0.5 * (M - M.transpose());
  return {S(2, 1), S(0, 2), S(1, 0)};
}

/// dR/dt by a central difference of the orientation only.
inline Eigen::Matrix3d orientationRate(const sim::MotionProfile& motion, double t, double h) {
  return (motion.evaluate(t + h).orientation - motion.evaluate(t - h).orientation) / (2.0 * h);
}

/// Angular velocity in the SENSOR frame from R^T * dR/dt.
inline Eigen::Vector3d bodyRateFD(const sim::MotionProfile& motion, double t, double h = 1e-5) {
  return vee(motion.evaluate(t).orientation.transpose() * orientationRate(motion, t, h));
}

/// Angular velocity in the WORLD frame from dR/dt * R^T.
inline Eigen::Vector3d worldRateFD(const sim::MotionProfile& motion, double t, double h = 1e-5) {
  return vee(orientationRate(motion, t, h) * motion.evaluate(t).orientation.transpose());
}

/// Second derivative of a world point rigidly attached to the sensor (r in the sensor frame),
/// from positions and orientations only.
inline Eigen::Vector3d attachedPointAccelerationFD(const sim::MotionProfile& motion,
                                                   const Eigen::Vector3d& r, double t,
                                                   double h = 1e-4) {
  auto point = [&](double s) {
    const sim::MotionState m = motion.evaluate(s);
    return Eigen::Vector3d(m.position + m.orientation * r);
  };
  return (point(t + h) - 2.0 * point(t) + point(t - h)) / (h * h);
}

}  // namespace vorn::test
