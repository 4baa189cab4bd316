#include "sim/Payload.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>

#include <Eigen/Eigenvalues>
#include <Eigen/Geometry>

#include "sim/Noise.hpp"

namespace vorn::sim {

Eigen::Vector3d Payload::firstMoment() const { return mass * com; }

Eigen::Matrix3d Payload::inertiaAboutOrigin() const {
  return inertia_com +
         mass * (com.squaredNorm() * Eigen::Matrix3d::Identity() - com * com.transpose());
}

InertialParameters Payload::inertialParameters() const {
  const Eigen::Vector3d h = firstMoment();
  const Eigen::Matrix3d I = inertiaAboutOrigin();
  InertialParameters theta;
  theta << mass, h.x(), h.y(), h.z(), I(0, 0), I(0, 1), I(0, 2), I(1, 1), I(1, 2), I(2, 2);
  return theta;
}

Payload Payload::fromInertialParameters(const InertialParameters& theta) {
  Payload p;
  p.mass = theta[0];
  p.com = theta.segment<3>(1) / theta[0];
  Eigen::Matrix3d I;
  I << theta[4], theta[5], theta[6],  //
      theta[5], theta[7], theta[8],   //
      theta[6], theta[8], theta[9];
  p.inertia_com =
      I - p.mass * (p.com.squaredNorm() * Eigen::Matrix3d::Identity() - p.com * p.com.transpose());
  return p;
}

Vector6d Payload::wrenchOnSensor(const Eigen::Vector3d& a, const Eigen::Vector3d& w,
                                 const Eigen::Vector3d& alpha) const {
  const Eigen::Vector3d h = firstMoment();
  const Eigen::Matrix3d I = inertiaAboutOrigin();
  Vector6d wrench;
  wrench.head<3>() = -(mass * a + alpha.cross(h) + w.cross(w.cross(h)));
  wrench.tail<3>() = -(h.cross(a) + I * alpha + w.cross(I * w));
  return wrench;
}

bool Payload::isPhysicallyConsistent(double tolerance) const {
  if (!std::isfinite(mass) || mass < 0.0 || !com.allFinite() || !inertia_com.allFinite()) {
    return false;
  }
  const double scale = std::max(1.0, inertia_com.cwiseAbs().maxCoeff());
  if ((inertia_com - inertia_com.transpose()).cwiseAbs().maxCoeff() > tolerance * scale) {
    return false;
  }
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(inertia_com,
                                                              Eigen::EigenvaluesOnly);
  const Eigen::Vector3d l = solver.eigenvalues();  // ascending
  return l[0] >= -tolerance * scale && l[0] + l[1] >= l[2] - tolerance * scale;
}

Payload Payload::pointMass(double mass, const Eigen::Vector3d& com) {
  return Payload{mass, com, Eigen::Matrix3d::Zero()};
}

Payload Payload::solidBox(double mass, const Eigen::Vector3d& size, const Eigen::Vector3d& com,
                          const Eigen::Matrix3d& orientation) {
  const Eigen::Vector3d s2 = size.cwiseProduct(size);
  const Eigen::Vector3d principal =
      (mass / 12.0) * Eigen::Vector3d(s2.y() + s2.z(), s2.x() + s2.z(), s2.x() + s2.y());
  const Eigen::Matrix3d I = orientation * principal.asDiagonal() * orientation.transpose();
  return Payload{mass, com, 0.5 * (I + I.transpose())};
}

Payload Payload::solidCylinder(double mass, double radius, double length,
                               const Eigen::Vector3d& com, const Eigen::Matrix3d& orientation) {
  const double transverse = mass * (3.0 * radius * radius + length * length) / 12.0;
  const Eigen::Vector3d principal(transverse, transverse, 0.5 * mass * radius * radius);
  const Eigen::Matrix3d I = orientation * principal.asDiagonal() * orientation.transpose();
  return Payload{mass, com, 0.5 * (I + I.transpose())};
}

Payload randomPayload(std::uint64_t seed, const RandomPayloadOptions& options) {
  Rng rng(seed);
  const double mass =
      options.min_mass * std::pow(options.max_mass / options.min_mass, rng.uniform());
  const Eigen::Vector3d size(rng.uniform(options.min_size, options.max_size),
                             rng.uniform(options.min_size, options.max_size),
                             rng.uniform(options.min_size, options.max_size));
  // Uniformly distributed rotation: a normalised 4-vector of standard normals.
  Eigen::Vector4d q(rng.normal(), rng.normal(), rng.normal(), rng.normal());
  q.normalize();
  const Eigen::Matrix3d orientation =
      Eigen::Quaterniond(q[0], q[1], q[2], q[3]).toRotationMatrix();
  // Centre of mass: uniform direction, uniform distance.
  Eigen::Vector3d direction(rng.normal(), rng.normal(), rng.normal());
  direction.normalize();
  const Eigen::Vector3d com = rng.uniform(0.0, options.max_com_offset) * direction;
  return Payload::solidBox(mass, size, com, orientation);
}

std::ostream& operator<<(std::ostream& os, const Payload& p) {
  const Eigen::Matrix3d& I = p.inertia_com;
  os << "mass " << p.mass << " kg, com (" << p.com.x() << ", " << p.com.y() << ", "
     << p.com.z() << ") m, inertia about com (xx " << I(0, 0) << ", xy " << I(0, 1) << ", xz "
     << I(0, 2) << ", yy " << I(1, 1) << ", yz " << I(1, 2) << ", zz " << I(2, 2)
     << ") kg*m^2";
  return os;
}

}  // namespace vorn::sim
