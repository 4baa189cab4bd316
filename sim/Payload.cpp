#include "sim/Payload.hpp"

#include <cmath>
#include <ostream>

#include <Eigen/Geometry>

#include "core/identification/InertialParameters.hpp"
#include "sim/Noise.hpp"

namespace vorn::sim {

Eigen::Vector3d Payload::firstMoment() const { return mass * com; }

Eigen::Matrix3d Payload::inertiaAboutOrigin() const {
  return inertia_com + vorn::InertialParameters::parallelAxisTerm(mass, com);
}

InertialParameters Payload::inertialParameters() const {
  return vorn::InertialParameters{mass, com, inertia_com}.originVector();
}

Payload Payload::fromInertialParameters(const InertialParameters& theta) {
  const vorn::InertialParameters body = vorn::InertialParameters::fromOriginVector(theta);
  return Payload{body.mass, body.com, body.inertiaAboutCom};
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
  return vorn::InertialParameters{mass, com, inertia_com}.isPhysicallyConsistent(tolerance);
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
