#pragma once

#include <array>
#include <optional>

#include <Eigen/Core>

#include "sim/Noise.hpp"
#include "sim/Payload.hpp"

namespace vorn::accuracy {

/// Standard deviations of the white noise on each measured channel group, as the estimator's
/// errors-in-variables model sees them.
struct ChannelNoise {
  /// The sensor's own channels: force, torque, accelerometer and gyro.
  sim::NoiseConfig sensor = sim::NoiseConfig::none();
  double angularAcc = 0.0;  ///< rad/s², of the derived angular acceleration
};

/// Cramér-Rao lower bound of the 16 parameters (mass, first moments, inertia about the origin,
/// force and torque bias) from noise-free samples of a known payload.
///
/// The model is the estimator's, linearised at the true parameters: each sample's six wrench
/// residuals r = w − Y(a, ω, α)·θ − b have the covariance R = diag(σ_F², σ_T²) + Σ_k J_k·σ_k²·J_kᵀ,
/// J_k the response of Y·θ to the accelerometer, gyro and angular-acceleration channels, and
/// the samples are independent. The information is Σ Yᵀ·R⁻¹·Y; its inverse bounds the covariance
/// of every unbiased estimator, and the bound of the reported quantities (centre of mass instead
/// of first moments) follows by first-order propagation.
class CramerRaoBound {
 public:
  using Matrix16 = Eigen::Matrix<double, 16, 16>;
  using Regressor = Eigen::Matrix<double, 6, 16>;

  CramerRaoBound(const sim::Payload& payload, const ChannelNoise& noise);

  /// Y with wrench = Y·(m, m·c, vech(I_o), b_F, b_T) for the specific force a, angular velocity
  /// ω and angular acceleration α, all in the sensor frame.
  static Regressor regressor(const Eigen::Vector3d& a, const Eigen::Vector3d& w,
                             const Eigen::Vector3d& alpha);

  /// R of one sample at the true parameters.
  Eigen::Matrix<double, 6, 6> residualCovariance(const Eigen::Vector3d& a,
                                                 const Eigen::Vector3d& w,
                                                 const Eigen::Vector3d& alpha) const;

  /// Adds one noise-free sample's information.
  void add(const Eigen::Vector3d& a, const Eigen::Vector3d& w, const Eigen::Vector3d& alpha);

  const Matrix16& information() const { return information_; }
  int samples() const { return samples_; }

  /// Bound of the standard deviations of the 16 reported quantities (mass, centre of mass x, y,
  /// z, Ixx … Izz about the origin, bias Fx … Tz); nothing while the information is singular.
  std::optional<std::array<double, 16>> standardDeviations() const;

  /// The same from an information matrix of the parameters of `payload`.
  static std::optional<std::array<double, 16>> standardDeviations(const Matrix16& information,
                                                                  const sim::Payload& payload);

 private:
  sim::Payload payload_;
  ChannelNoise noise_;
  Matrix16 information_ = Matrix16::Zero();
  int samples_ = 0;
};

}  // namespace vorn::accuracy
