#pragma once

#include <cstddef>
#include <vector>

#include <Eigen/Core>

#include "data/DynamicsStamped.hpp"

namespace vorn {

/// Angular acceleration from the derivative, at the record in the middle of the window, of a
/// least-squares polynomial (a line or a cubic) through the angular velocity of the records
/// within ±`halfWidth` seconds.
///
/// Every channel of the record it returns belongs to one instant: the middle record's linear
/// acceleration, angular velocity, force and torque are passed on unchanged, delayed by the half
/// width, together with the slope centred on them. A one-sided (causal) derivative would lag
/// behind the other channels and bias the inertial parameters. A line's slope passes white gyro
/// noise of variance σ² with variance σ²/Σ(t − t̄)², about 1.5·σ²/(h³·rate) for a half width h,
/// but the curvature of the angular velocity biases it by about h²/6 times its third derivative;
/// a quadratic has the same centre slope on a symmetric window. A cubic is exact up to the third
/// derivative (its bias is of order h⁴ times the fifth) and passes the noise with about
/// 9.4·σ²/(h³·rate), so it takes a wider window for the same noise (`slopeVariance`): over
/// ±40 ms it passes 0.8-0.9 times the noise of the line over ±20 ms at 250-1000 Hz, and misses a
/// 1.6 Hz turn by 6e-5 of α instead of 4e-3.
///
/// The window always holds an odd number of records, so that the middle record is the centre of
/// the window's stamps (on even stamps) and the line's slope, which belongs to the mean stamp, is
/// not attributed to a record half a sample away.
///
/// Holds its window in a ring that grows only while the sample interval shrinks.
class CentredDifferentiator {
 public:
  /// Half width of the line's window (s).
  static constexpr double kLineHalfWidth = 0.02;
  /// Half width of the cubic's window (s): about the line's noise, a small fraction of its bias.
  static constexpr double kCubicHalfWidth = 0.04;
  /// Degree of the polynomial used by the estimation pipeline. The cubic over ±40 ms takes the
  /// curvature bias off fast motion (1 kHz, 56 % → 92 % of converged runs with every error within
  /// 3 reported σ on the accuracy benchmark) at no more noise. On slow motion it first came with
  /// early convergences on a wrong centre of mass (6-13 σ off); with the inertia held out of the
  /// estimator's metric while unidentified the centre of mass of those runs is within 1 mm.
  static constexpr int kDefaultDegree = 3;
  /// Half width used by the estimation pipeline (s).
  static constexpr double kDefaultHalfWidth =
      kDefaultDegree >= 3 ? kCubicHalfWidth : kLineHalfWidth;

  /// `degree` is 1 (a line) or 3 (a cubic); anything below 3 is taken as 1.
  explicit CentredDifferentiator(double halfWidth = kDefaultHalfWidth,
                                 int degree = kDefaultDegree);

  /// Variance (rad²/s⁴) of the derivative for white gyro noise of variance `gyroVariance`
  /// (rad²/s²) on evenly spaced records at `rateHz`, with the window this class uses at that rate
  /// (⌈halfWidth·rate⌉ records on either side of the middle, at least one; a cubic needs two).
  /// The defaults are the estimation pipeline's, so this is the `angular_acc` figure to
  /// configure for a gyro of that noise.
  static double slopeVariance(double gyroVariance, double rateHz, double halfWidth = kDefaultHalfWidth,
                              int degree = kDefaultDegree);

  /// Correlation coefficients ρ_d (d = 0 … 2·side) of the derivative's noise between records d
  /// apart, for white gyro noise on evenly spaced records and a window of `side` records on
  /// either side of the middle (at least one; a cubic needs two). The derivative is a weighted
  /// sum Σ w_j·ω_{k+j} of the window, so neighbouring records share most of their noise (ρ_1
  /// near 1) and, as the weights sum to zero, Σ_{d=-2side}^{2side} ρ_d = 0: over a regressor
  /// that changes little, the noise of a record cancels that of its neighbours.
  static std::vector<double> noiseCorrelation(std::size_t side, int degree = kDefaultDegree);

  /// Adds the newest record (stamps increasing). Returns true when the window spans twice the
  /// half width: `centred()` then holds the middle record with its centred angular acceleration,
  /// and the oldest record leaves the window.
  bool push(const DynamicsStamped& record);

  /// The last record completed by `push`; all zero before the first one.
  const DynamicsStamped& centred() const { return centred_; }

  /// Empties the window; the half width and the rest deviation are kept.
  void reset();

  /// Gyro noise deviation (rad/s) of the rest test; 0 (the default) turns the test off.
  /// A record is still when every axis of its angular velocity is within `kStillDeviations` of
  /// zero, moving when some axis is beyond `kMovingDeviations`.
  void setRestDeviation(double gyroStd);
  /// Whether the window of the record `centred()` holds is still at one end (the end record and
  /// the one a `kStillEdgeFraction`th of the window in) and holds at least `kMovingRecords`
  /// moving records: a move starts or stops within the window. A robot's
  /// move from rest starts with a step of the jerk, which the polynomial cannot follow: the
  /// cubic's derivative then misses the angular acceleration by up to about a twelfth of the
  /// jerk step times the half width (0.5-1.3 rad/s² for the moves of 0.5 s the benchmark's
  /// robot makes, 15-35 times the gyro's share of the derivative's noise at 0.003 rad/s), for
  /// records within about a half width of the step. False while the test is off.
  bool windowStraddlesRest() const { return straddlesRest_; }

  static constexpr double kStillDeviations = 3.0;
  /// Twice the still bound, so that a still record's noise does not make it moving.
  static constexpr double kMovingDeviations = 6.0;
  /// Moving records a window needs, so that one noisy record does not make a still one move.
  static constexpr int kMovingRecords = 2;
  /// The still end spans at least this part of the window (10 ms of ±40 ms): a turn through
  /// zero at 2 rad/s² is within 3 deviations of 0.003 rad/s for 9 ms only (turns reversing at
  /// below about 2 rad/s², whose samples show the inertia less, can still be marked). A fifth
  /// (16 ms) left out less of a move's start and ended one more robot run beyond 3 σ.
  static constexpr std::size_t kStillEdgeFraction = 8;

  double halfWidth() const { return halfWidth_; }
  int degree() const { return degree_; }
  /// Number of records in the window.
  std::size_t size() const { return count_; }
  /// Records on either side of the middle in the window of the last completed record; 0 before
  /// the first one.
  std::size_t side() const { return side_; }

 private:
  const DynamicsStamped& at(std::size_t index) const;
  /// Slope of the least-squares line through the window.
  Eigen::Vector3d lineSlope() const;
  /// Derivative at `centre` (s) of the least-squares cubic through the window.
  Eigen::Vector3d cubicSlope(double centre) const;
  /// Largest absolute angular velocity of the record's axes; NaN if any axis is not finite.
  static double speedOf(const DynamicsStamped& record);
  bool isStill(const DynamicsStamped& record) const;
  /// +1/-1 of the record to the moving count as it enters or leaves the window.
  void countRest(const DynamicsStamped& record, int sign);

  double halfWidth_;
  int degree_;
  std::vector<DynamicsStamped> ring_;
  std::size_t first_ = 0;
  std::size_t count_ = 0;
  std::size_t side_ = 0;
  DynamicsStamped centred_;
  double restDeviation_ = 0.0;
  // Moving records in the window (kept only while the rest test is on).
  int movingRecords_ = 0;
  bool straddlesRest_ = false;
};

}  // namespace vorn
