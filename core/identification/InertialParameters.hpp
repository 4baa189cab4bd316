// A rigid body's inertial parameters and the ten-entry vector the regressor estimates.
#pragma once

#include <algorithm>
#include <cmath>

#include <Eigen/Core>
#include <Eigen/Eigenvalues>

namespace vorn {

/// The inertial parameters of a rigid body fixed to the sensor, all in the sensor frame:
/// mass m (kg), centre of mass c (m) and the inertia I_c about the centre of mass (kg·m², sensor
/// axes, symmetric).
///
/// Two ten-entry layouts carry the same body, both with the inertia about the sensor origin
/// I_o = I_c + m·(|c|²·1 − c·cᵀ) as its six upper-triangle entries (Ixx, Ixy, Ixz, Iyy, Iyz, Izz):
/// - the origin vector (m, m·cx, m·cy, m·cz, Ixx, ..., Izz): the rigid-body regressor's
///   parameters, linear in the wrench, and the compensator's θ;
/// - the estimate vector (m, cx, cy, cz, Ixx, ..., Izz): what the estimator reports and writes.
///
/// Header-only and Eigen-only, so that the simulator and the benchmarks can use it without the
/// core library.
struct InertialParameters {
  using Vector10 = Eigen::Matrix<double, 10, 1>;
  using Vector6 = Eigen::Matrix<double, 6, 1>;

  double mass = 0.0;                                          ///< kg
  Eigen::Vector3d com = Eigen::Vector3d::Zero();              ///< centre of mass (m)
  Eigen::Matrix3d inertiaAboutCom = Eigen::Matrix3d::Zero();  ///< kg·m², about com

  /// m·(|c|²·1 − c·cᵀ) (kg·m²): what the inertia gains when its reference point moves from the
  /// centre of mass c to the origin (parallel-axis theorem). I_o = I_c + term, I_c = I_o − term.
  static Eigen::Matrix3d parallelAxisTerm(double mass, const Eigen::Vector3d& com) {
    return mass * (com.squaredNorm() * Eigen::Matrix3d::Identity() - com * com.transpose());
  }

  /// The symmetric matrix of the upper-triangle entries (xx, xy, xz, yy, yz, zz).
  static Eigen::Matrix3d symmetricFromVech(const Vector6& v) {
    Eigen::Matrix3d m;
    m << v[0], v[1], v[2], v[1], v[3], v[4], v[2], v[4], v[5];
    return m;
  }

  /// The upper-triangle entries (xx, xy, xz, yy, yz, zz) of a matrix.
  static Vector6 vech(const Eigen::Matrix3d& m) {
    Vector6 v;
    v << m(0, 0), m(0, 1), m(0, 2), m(1, 1), m(1, 2), m(2, 2);
    return v;
  }

  /// The origin vector of a body given by mass (kg), centre of mass (m) and the inertia about
  /// the origin (vech, kg·m²), as a configuration holds it; no inertia is shifted.
  static Vector10 originVectorOf(double mass, const Eigen::Vector3d& com,
                                 const Vector6& inertiaAboutOriginVech) {
    Vector10 theta;
    theta << mass, mass * com.x(), mass * com.y(), mass * com.z(), inertiaAboutOriginVech;
    return theta;
  }

  /// The body of an origin vector (m, m·c, vech I_o). Requires a non-zero mass.
  static InertialParameters fromOriginVector(const Vector10& theta) {
    InertialParameters p;
    p.mass = theta[0];
    p.com = theta.segment<3>(1) / theta[0];
    p.inertiaAboutCom = symmetricFromVech(theta.segment<6>(4)) - parallelAxisTerm(p.mass, p.com);
    return p;
  }

  /// The body of an estimate vector (m, c, vech I_o).
  static InertialParameters fromEstimateVector(const Vector10& estimate) {
    InertialParameters p;
    p.mass = estimate[0];
    p.com = estimate.segment<3>(1);
    p.inertiaAboutCom = symmetricFromVech(estimate.segment<6>(4)) - parallelAxisTerm(p.mass, p.com);
    return p;
  }

  /// h = m·c (kg·m).
  Eigen::Vector3d firstMoment() const { return mass * com; }

  /// I_o = I_c + m·(|c|²·1 − c·cᵀ) (kg·m²), about the sensor origin.
  Eigen::Matrix3d inertiaAboutOrigin() const {
    return inertiaAboutCom + parallelAxisTerm(mass, com);
  }

  /// (m, m·c, vech I_o): the regressor's layout.
  Vector10 originVector() const {
    const Eigen::Vector3d h = firstMoment();
    Vector10 theta;
    theta << mass, h, vech(inertiaAboutOrigin());
    return theta;
  }

  /// (m, c, vech I_o): the estimator's reported layout.
  Vector10 estimateVector() const {
    Vector10 estimate;
    estimate << mass, com, vech(inertiaAboutOrigin());
    return estimate;
  }

  /// Eigenvalues of the inertia about the centre of mass (kg·m², ascending).
  Eigen::Vector3d principalMoments() const {
    return Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(inertiaAboutCom, Eigen::EigenvaluesOnly)
        .eigenvalues();
  }

  /// A body that can exist: finite entries, mass ≥ 0, a symmetric inertia about the centre of
  /// mass whose principal moments are ≥ 0 and satisfy λ_min + λ_mid ≥ λ_max (the triangle
  /// inequalities). Symmetry and the moments are tested within tolerance·max(1, max|I_c(i,j)|),
  /// so a rod (one moment zero) and a flat plate (λ_min + λ_mid = λ_max) pass.
  bool isPhysicallyConsistent(double tolerance = 1e-12) const {
    if (!std::isfinite(mass) || mass < 0.0 || !com.allFinite() || !inertiaAboutCom.allFinite()) {
      return false;
    }
    const double scale = std::max(1.0, inertiaAboutCom.cwiseAbs().maxCoeff());
    if ((inertiaAboutCom - inertiaAboutCom.transpose()).cwiseAbs().maxCoeff() > tolerance * scale) {
      return false;
    }
    const Eigen::Vector3d l = principalMoments();  // ascending
    return l[0] >= -tolerance * scale && l[0] + l[1] >= l[2] - tolerance * scale;
  }
};

}  // namespace vorn
