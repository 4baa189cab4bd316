#pragma once

#include <array>

#include <Eigen/Core>

#include "identification/ErrorModel.hpp"

namespace vorn {

/// The six rows of one sample whitened by their joint error covariance. The rows share the
/// accelerometer, gyro and derived angular-acceleration noise (a force error from the
/// accelerometer comes with a torque error of about c × it), so their residuals are correlated;
/// dividing each row by its own deviation leaves that correlation in. With
/// Σ = Gᵀ·diag(noise)·G, G's column i = J_iᵀ·z the response of row i's residual at z = [θ; −1]
/// to the 15 channels, and Σ/scale = L·Lᵀ, the rows L⁻¹·H have uncorrelated residuals of
/// variance `scale` at z, and row k's errors have the Jacobian Σ_{i ≤ k} L⁻¹(k, i)·J_i.
/// Fixed sizes throughout (16 parameters, 17 augmented columns, 15 channels, internal units):
/// nothing is allocated. Calling order per sample: `factor`, then the other calls.
class SampleWhitener {
 public:
  static constexpr int kAugmented = 17;
  static constexpr int kChannels = 15;
  using Augmented = Eigen::Matrix<double, 6, kAugmented>;
  using Noise = Eigen::Matrix<double, kChannels, 1>;

  /// Factors the sample's residual covariance at `reference` (θ, 16 internal entries) over
  /// `scale`, with the Jacobians of `error` (read in place: valid until its next
  /// `updateJacobians`). False when the Jacobians have other sizes or the covariance is not
  /// finite and positive definite (the rows are then to be absorbed as they are).
  bool factor(const ErrorModel& error, const Eigen::VectorXd& reference, const Noise& noise,
              double scale);

  /// Writes L⁻¹·H into `rows` for the sample's augmented data matrix H (6 x 17).
  void whitenRows(const Eigen::MatrixXd& augmented);

  /// Error covariance (17 x 17, internal units) of whitened row k (0 … 5) into `out` (17 x 17):
  /// Jw·diag(noise)·Jwᵀ with Jw = Σ_{i ≤ k} L⁻¹(k, i)·J_i, over the augmented entries some
  /// Jacobian reaches (the bias entries carry no noise); the others are set to 0.
  void rowCovariance(int k, const Noise& noise, Eigen::MatrixXd& out) const;

  /// Σ_i r_i²/b_i over the sample's unwhitened rows at θ: r_i = h_i·[θ; −1] its residual, b_i
  /// the variance its Jacobian predicts (0 for a row without predicted noise).
  double normalisedResidual(const Eigen::MatrixXd& augmented, const Eigen::VectorXd& parameters,
                            const Noise& noise) const;

  /// The whitened rows of the latest `whitenRows`.
  Augmented rows;

  /// Response (6 x 3) of the whitened rows' residuals at the reference of the latest `factor` to
  /// the angular-acceleration channels (per unit of each, in whitened units).
  const Eigen::Matrix<double, 6, 3>& angularAccelerationResponse() const { return alphaResponse; }

 private:
  /// [θ; −1] with the parameter entries in the units of the Jacobians' scaled rows.
  Eigen::Matrix<double, kAugmented, 1> scaledAugmented(const Eigen::VectorXd& theta) const;

  // The sample's Jacobians and the scale of their rows (the parameter rows to internal units).
  std::array<const Eigen::MatrixXd*, 6> jacobians{};
  Eigen::Matrix<double, kAugmented, 1> rowScale;
  Eigen::Matrix<double, 6, 6> inverseFactor;
  Eigen::Matrix<double, 6, 3> alphaResponse;
  // The augmented entries some Jacobian reaches, ascending, and their number.
  std::array<int, kAugmented> rowIndex{};
  int activeRows = 0;
};

}  // namespace vorn
