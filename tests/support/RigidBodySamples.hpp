#pragma once

// Analytic rigid-body samples for the tests, in plain C++ (no Eigen), so that both the core tests
// and the public-header-only facade tests can use them.
//
// A payload of mass m, first mass moment h = m·c and inertia I (about the sensor origin) mounted
// on the sensor exerts on it the wrench −(m·a + α×h + ω×(ω×h), h×a + I·α + ω×(I·ω)), where a is the
// accelerometer's specific force (gravity included), ω the angular velocity and α the angular
// acceleration, all in the sensor frame. The sensor adds its own bias b:
//   F = b_F − (m·a + α×h + ω×(ω×h)),   T = b_T − (h×a + I·α + ω×(I·ω)).

#include <array>
#include <cmath>

namespace vorn::test {

using Vec3 = std::array<double, 3>;
using Sample = std::array<double, 12>;

inline Vec3 add(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Vec3 scale(double s, const Vec3& a) { return {s * a[0], s * a[1], s * a[2]}; }
inline double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline double norm(const Vec3& a) { return std::sqrt(dot(a, a)); }
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

struct Payload {
  double mass = 0.0;
  Vec3 com{0.0, 0.0, 0.0};
  /// Ixx, Ixy, Ixz, Iyy, Iyz, Izz about the sensor origin.
  std::array<double, 6> inertia{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};

  Vec3 firstMoment() const { return scale(mass, com); }
  Vec3 inertiaTimes(const Vec3& v) const {
    const auto& q = inertia;
    return {q[0] * v[0] + q[1] * v[1] + q[2] * v[2], q[1] * v[0] + q[3] * v[1] + q[4] * v[2],
            q[2] * v[0] + q[4] * v[1] + q[5] * v[2]};
  }
  /// Spectral norm bound of I: its Frobenius norm.
  double inertiaNormBound() const {
    const auto& q = inertia;
    return std::sqrt(q[0] * q[0] + q[3] * q[3] + q[5] * q[5] +
                     2.0 * (q[1] * q[1] + q[2] * q[2] + q[4] * q[4]));
  }
};

struct Kinematics {
  Vec3 linAcc{0.0, 0.0, 0.0};  ///< accelerometer reading a (gravity included)
  Vec3 angVel{0.0, 0.0, 0.0};  ///< ω
  Vec3 angAcc{0.0, 0.0, 0.0};  ///< α = dω/dt
};

/// The payload's gravity part (m·a, h×a), as static compensation removes it.
inline void gravityWrench(const Payload& p, const Kinematics& k, Vec3& force, Vec3& torque) {
  const Vec3 h = p.firstMoment();
  force = scale(p.mass, k.linAcc);
  torque = cross(h, k.linAcc);
}

/// The payload's angular part (α×h + ω×(ω×h), I·α + ω×(I·ω)), which only dynamic compensation
/// removes.
inline void angularWrench(const Payload& p, const Kinematics& k, Vec3& force, Vec3& torque) {
  const Vec3 h = p.firstMoment();
  force = add(cross(k.angAcc, h), cross(k.angVel, cross(k.angVel, h)));
  torque = add(p.inertiaTimes(k.angAcc), cross(k.angVel, p.inertiaTimes(k.angVel)));
}

/// The twelve sensor values of the payload on the sensor with bias (biasForce, biasTorque).
inline Sample sensorSample(const Payload& p, const Kinematics& k, const Vec3& biasForce,
                           const Vec3& biasTorque) {
  Vec3 fg, tg, fw, tw;
  gravityWrench(p, k, fg, tg);
  angularWrench(p, k, fw, tw);
  const Vec3 f = sub(biasForce, add(fg, fw));
  const Vec3 t = sub(biasTorque, add(tg, tw));
  return {f[0],        f[1],        f[2],        t[0],        t[1],        t[2],
          k.linAcc[0], k.linAcc[1], k.linAcc[2], k.angVel[0], k.angVel[1], k.angVel[2]};
}

/// World gravity (m/s²), z up.
inline Vec3 gravity() { return {0.0, 0.0, -9.81}; }

/// Translation without rotation: the sensor frame stays parallel to the world frame and moves
/// along p(t) = (0.3 sin 4.4t, 0.2 cos 6.9t, 0.1 sin 2.5t) m; a = p̈ − g, ω = α = 0.
inline Kinematics translationOnly(double t) {
  const Vec3 pdd{-0.3 * 4.4 * 4.4 * std::sin(4.4 * t), -0.2 * 6.9 * 6.9 * std::cos(6.9 * t),
                 -0.1 * 2.5 * 2.5 * std::sin(2.5 * t)};
  Kinematics k;
  k.linAcc = sub(pdd, gravity());
  return k;
}

/// Orientation R(t) = Rz(ψ(t))·Rx(φ(t)) with smooth angles, and the translation of
/// translationOnly. In the sensor frame:
///   ω = (φ̇, ψ̇ sin φ, ψ̇ cos φ),
///   α = dω/dt = (φ̈, ψ̈ sin φ + ψ̇ φ̇ cos φ, ψ̈ cos φ − ψ̇ φ̇ sin φ),
///   a = Rx(φ)ᵀ Rz(ψ)ᵀ (p̈ − g).
/// Angles: φ(t) = 0.8 sin(1.0 t) + 0.3 sin(0.6 t), ψ(t) = 1.2 sin(0.7 t + 0.4) rad.
inline Kinematics tumbling(double t) {
  const double phi = 0.8 * std::sin(1.0 * t) + 0.3 * std::sin(0.6 * t);
  const double phiD = 0.8 * std::cos(1.0 * t) + 0.3 * 0.6 * std::cos(0.6 * t);
  const double phiDD = -0.8 * std::sin(1.0 * t) - 0.3 * 0.36 * std::sin(0.6 * t);
  const double psi = 1.2 * std::sin(0.7 * t + 0.4);
  const double psiD = 1.2 * 0.7 * std::cos(0.7 * t + 0.4);
  const double psiDD = -1.2 * 0.49 * std::sin(0.7 * t + 0.4);
  const double sf = std::sin(phi), cf = std::cos(phi);
  const double sp = std::sin(psi), cp = std::cos(psi);

  Kinematics k;
  k.angVel = {phiD, psiD * sf, psiD * cf};
  k.angAcc = {phiDD, psiDD * sf + psiD * phiD * cf, psiDD * cf - psiD * phiD * sf};

  const Vec3 world = translationOnly(t).linAcc;  // p̈ − g in the world frame
  const Vec3 afterZ{cp * world[0] + sp * world[1], -sp * world[0] + cp * world[1], world[2]};
  k.linAcc = {afterZ[0], cf * afterZ[1] + sf * afterZ[2], -sf * afterZ[1] + cf * afterZ[2]};
  return k;
}

/// Rotation about the sensor's x axis with constant angular acceleration β (rad/s²) from rest:
/// φ = β t²/2, ω = (β t, 0, 0), α = (β, 0, 0); the sensor is at rest otherwise, so a = Rx(φ)ᵀ(−g).
inline Kinematics constantAngularAcceleration(double t, double beta) {
  const double phi = 0.5 * beta * t * t;
  const Vec3 up = scale(-1.0, gravity());
  Kinematics k;
  k.angVel = {beta * t, 0.0, 0.0};
  k.angAcc = {beta, 0.0, 0.0};
  k.linAcc = {up[0], std::cos(phi) * up[1] + std::sin(phi) * up[2],
              -std::sin(phi) * up[1] + std::cos(phi) * up[2]};
  return k;
}

}  // namespace vorn::test
