#pragma once

#include <array>
#include <vector>

#include <Eigen/Core>

namespace vorn {

/// The part of the estimate's covariance that comes from the derived angular acceleration's
/// noise being shared between neighbouring samples.
///
/// The derived α of a sample is a weighted sum of the gyro over a window of records, so the
/// α noise of records d apart has correlation ρ_d, and the weights sum to zero: over samples
/// whose rows change little, the α noise of one sample cancels that of its neighbours, and only
/// the record's ends and the rows' change carry it into the estimate. Counted as independent
/// from sample to sample, a long record's α share of the covariance is several times too large,
/// a short one's too small.
///
/// A row r of sample k (parameter part h_kr, 16, internal units) has a residual whose response
/// to the α noise of each axis, in deviations of that noise, is g_kr (1 x 3). With α noise of
/// autocorrelation ρ, the score's α part has covariance Σ_k Σ_l ρ_{k−l}·B_k·B_lᵀ,
/// B_k = Σ_r h_krᵀ·g_kr; the independent model of the rows counts Σ_k Σ_r ‖g_kr‖²·h_krᵀ·h_kr of
/// it. `correction` is the difference.
///
/// Unweighted rows respond to α through constant entries of their Jacobians, so g_r(θ) is
/// linear in the estimate and the same for every sample: the sums are kept per pair of
/// equations, S_rr' = Σ_k Σ_l ρ_{k−l}·h_krᵀ·h_lr', and weighed by g_r·g_r' at the estimate the
/// covariance is read at. Whitened rows mix the equations with weights of their own sample;
/// their B is formed at the whitening's reference estimate.
///
/// Fixed size (16 parameters, the rows of the payload model with wrench bias); memory is taken
/// by `setCorrelation` only.
class AngularAccelerationCorrelation {
 public:
  static constexpr int kParameters = 16;
  static constexpr int kAugmented = kParameters + 1;
  static constexpr int kEquations = 6;
  using Sensitivity = Eigen::Matrix<double, kParameters, 3>;
  using Square = Eigen::Matrix<double, kParameters, kParameters>;
  using Rows = Eigen::Matrix<double, kEquations, kParameters>;
  /// Maps [θ; −1] (internal units) to an unweighted row's α response g (1 x 3).
  using Response = Eigen::Matrix<double, 3, kAugmented>;

  /// Sets ρ_0 … ρ_D (ρ_0 = 1). The sums so far are kept (they hold the pairs at the correlation
  /// of their time: the derivative's window grows by a record when the stamps jitter), and so
  /// are the samples held for the lags, as many as the new reach takes. Fewer than two entries
  /// turn the correction off (every later call does nothing, `correction` is zero) and clear
  /// the sums. Allocates.
  void setCorrelation(const std::vector<double>& correlation);
  /// Clears the sums, the samples held and the responses; keeps ρ.
  void clear();
  /// Forgets the samples held for the lags, keeping the sums: the samples to come share no noise
  /// with those before (the sensor's clock restarted).
  void forgetHeldSamples() { held_ = 0; }
  /// True when ρ has been set.
  bool enabled() const { return lags_ > 0; }

  /// Each equation's α response map for the unweighted rows (the same for every sample).
  void setUnweightedResponses(const std::array<Response, kEquations>& responses);
  /// One sample of unweighted rows (parameter parts, as absorbed).
  void addUnweighted(const Rows& rows);
  /// One sample of whitened rows (parameter parts, 6 x 16) and their residuals' responses to
  /// the α noise at the whitening's reference estimate (6 x 3, in deviations of the noise).
  void addWhitened(const Rows& rows, const Eigen::Matrix<double, kEquations, 3>& responses);
  /// At the switch to whitened rows: the unweighted samples held for the lags become B at θ
  /// (the whitening's reference, internal units), so that the whitened samples after them pair
  /// with them.
  void holdUnweightedAsWhitened(const Eigen::VectorXd& theta);
  /// A sample left out between two absorbed ones: it keeps the lags of the others right.
  void addGap();
  /// Rescales the unweighted rows absorbed so far as if equation r's rows had been multiplied
  /// by sqrt(factors[r]) (their scores by factors[r]).
  void rescale(const std::array<double, kEquations>& factors);

  /// Σ_{r,r'} (g_r·g_r')·S_rr' − Σ_r ‖g_r‖²·Σ_k h_krᵀ·h_kr at θ (16, internal units), plus the
  /// whitened rows' Σ_k (B_k·B_kᵀ − own_k) + Σ_k Σ_{d ≥ 1} ρ_d·(B_k·B_{k−d}ᵀ + B_{k−d}·B_kᵀ).
  Square correction(const Eigen::VectorXd& theta) const;

 private:
  // Only a row's non-zero parameters are kept: a force row has the mass, the three first mass
  // moments and its own force bias; a torque row the first mass moments, the six inertia
  // entries and its own torque bias. Equation r's entries start at kOffset[r] of the stack.
  static constexpr int kForceEntries = 5;
  static constexpr int kTorqueEntries = 10;
  static constexpr int kStacked = 3 * kForceEntries + 3 * kTorqueEntries;
  static constexpr std::array<int, kEquations> kOffset{{0, 5, 10, 15, 25, 35}};
  static constexpr std::array<int, kEquations> kEntries{{5, 5, 5, 10, 10, 10}};
  /// Parameter index and equation of each entry of the stack.
  static constexpr std::array<int, kStacked> kParameterOf{
      {0, 1, 2, 3, 10, 0, 1, 2, 3, 11, 0, 1, 2, 3, 12,  //
       1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15}};
  static constexpr std::array<int, kStacked> kEquationOf{
      {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2,  //
       3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5}};
  using Stacked = Eigen::Matrix<double, kStacked, 1>;
  using StackedSquare = Eigen::Matrix<double, kStacked, kStacked>;
  void advance();
  /// Σ_{d ≥ 1} ρ_d times the sample held d back, over the samples held in `ring` (entries of
  /// Sum's width, newest at `newest_`).
  template <typename Sum>
  Sum laggedSum(const Eigen::MatrixXd& ring) const;
  /// g_r(θ) of every equation (3 x 6).
  Eigen::Matrix<double, 3, kEquations> responsesAt(const Eigen::VectorXd& theta) const;

  std::vector<double> correlation_;
  int lags_ = 0;
  int newest_ = 0;
  int held_ = 0;
  // The last `lags_` samples: unweighted rows stacked, whitened B (16 x 3 each).
  Eigen::MatrixXd unweightedRing_;
  Eigen::MatrixXd whitenedRing_;
  // S_rr' of every pair of equations less each row with itself (which the independent model
  // counts): symmetric, kept in its lower triangle only.
  StackedSquare pairs_ = StackedSquare::Zero();
  std::array<Response, kEquations> responses_{};
  bool unweightedSeen_ = false;
  Square whitened_ = Square::Zero();
};

}  // namespace vorn
