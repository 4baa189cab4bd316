#pragma once

#include <array>
#include <cstdint>

#include <Eigen/Core>

#include "identification/AngularAccelerationCorrelation.hpp"

namespace vorn {

/// Covariance of the recursive total-least-squares estimate, tracked row by row.
///
/// n is the number of estimated parameters, m = n + 1 the length of an augmented row. Two
/// variants, fixed by `initialize`: with exponential forgetting (λ ≤ 0.999999) and without.
/// Singular matrices and a zero row variance are not detected; non-finite values propagate.
class CovarianceEstimator {
 public:
  /// An empty estimator; `initialize` must run before any other call.
  CovarianceEstimator();

  /// Resets all sums for n parameters and forgetting factor λ.
  void initialize(int numberOfParameters, double forgettingFactor);

  /// Absorbs one augmented row with the variant chosen at initialisation.
  /// @param parameters θ (n), already updated for this row.
  /// @param inverseInformation P (m x m), already updated for this row.
  /// @param row h (1 x m), the augmented data row.
  /// @param rowCovariance C (m x m), covariance of the errors in h.
  void update(const Eigen::VectorXd& parameters, const Eigen::MatrixXd& inverseInformation,
              const Eigen::RowVectorXd& row, const Eigen::MatrixXd& rowCovariance);
  /// The same for a row of group `equation` (0 … kEquations − 1): force x, y, z, torque x, y, z
  /// of a sample as they are (0-5), or the six rows of a sample whitened by their joint error
  /// covariance (6-11, in the order of the whitening). Rows of one group share their noise level; the covariance without forgetting weighs each group's
  /// rows by it.
  void update(const Eigen::VectorXd& parameters, const Eigen::MatrixXd& inverseInformation,
              const Eigen::RowVectorXd& row, const Eigen::MatrixXd& rowCovariance, int equation);

  /// Number of row groups told apart by `update`: six equations, unweighted and whitened.
  static constexpr int kEquations = 12;
  void updateWithForgetting(const Eigen::VectorXd& parameters,
                            const Eigen::MatrixXd& inverseInformation,
                            const Eigen::RowVectorXd& row, const Eigen::MatrixXd& rowCovariance);
  void updateWithoutForgetting(const Eigen::VectorXd& parameters,
                               const Eigen::MatrixXd& inverseInformation,
                               const Eigen::RowVectorXd& row, const Eigen::MatrixXd& rowCovariance);

  /// Computes, stores and returns the n x n parameter covariance of the chosen variant.
  Eigen::MatrixXd computeCovariance();
  /// As `computeCovariance`, then adds the result to `sum` (n x n) instead of returning a copy.
  void addCovarianceTo(Eigen::MatrixXd& sum);
  void computeWithForgetting();
  void computeWithoutForgetting();

  /// True when the forgetting variant runs (λ ≤ 0.999999).
  bool withForgetting() const { return forgettingEnabled; }

  /// Σ hᵀ·h (m x m) of the rows of group `equation` absorbed so far (no forgetting only).
  const Eigen::MatrixXd& equationRowSum(int equation) const { return equationRowSums[equation]; }
  /// Running mean (m x m) of the error covariances of the rows of group `equation`.
  const Eigen::MatrixXd& equationMeanCovariance(int equation) const {
    return equationMeanCovariances[equation];
  }
  /// Number of rows of group `equation` absorbed so far.
  std::int64_t equationRowCount(int equation) const { return equationRowCounts[equation]; }

  /// Rescales the rows absorbed so far as if each row of group g had been multiplied by
  /// sqrt(factors[g]): their outer products and error covariances by factors[g], in the group
  /// sums and in the sums over all rows. Without forgetting only (no effect otherwise); the
  /// next `update` recomputes the noise scale from the rescaled sums.
  void rescaleEquations(const std::array<double, kEquations>& factors);

  /// The correction for the derived angular acceleration's noise shared between samples, added
  /// to the covariance without forgetting (16 parameters only); off until its correlation is
  /// set. `initialize` clears its sums and keeps the correlation.
  AngularAccelerationCorrelation& angularAccelerationCorrelation() { return alphaCorrelation; }

 protected:
  /// k, rows absorbed since `initialize`; 64-bit so that long runs cannot overflow it.
  int64_t sampleCount;
  /// λ.
  double forgettingFactor;
  /// λ ≤ 0.999999.
  bool forgettingEnabled;
  /// A (m x m): weighted sum of row outer products; starts at 0.01·I.
  Eigen::MatrixXd weightedRowSum;
  /// B (m x m): sum of row outer products with squared weights (forgetting only); 0.01·I.
  Eigen::MatrixXd squaredWeightRowSum;
  /// C̄ (m x m): running mean of the row error covariances (no forgetting only); starts at I.
  Eigen::MatrixXd meanRowCovariance;
  /// s: scalar factor of the covariance.
  double covarianceScale;
  /// E (n x n): inverse of the noise-corrected information block.
  Eigen::MatrixXd correctedInverse;
  /// F (n x n): noise-corrected squared-weight block (forgetting only).
  Eigen::MatrixXd correctedSquaredSum;
  /// D (n x n): the last computed parameter covariance.
  Eigen::MatrixXd covariance;
  /// σ²·k of the latest update: the noise to take out of the information, in units of C̄.
  double noiseCorrection = 0.0;
  /// θ of the latest update.
  Eigen::VectorXd latestParameters;
  /// Per equation: Σ hᵀ·h of its rows, the running mean of their error covariances, their number.
  std::array<Eigen::MatrixXd, kEquations> equationRowSums;
  std::array<Eigen::MatrixXd, kEquations> equationMeanCovariances;
  std::array<std::int64_t, kEquations> equationRowCounts{};
  AngularAccelerationCorrelation alphaCorrelation;
};

}  // namespace vorn
