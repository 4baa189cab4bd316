#pragma once

#include <cstddef>
#include <vector>

#include <Eigen/Core>

#include "data/DynamicsStamped.hpp"

namespace vorn {

/// Angular acceleration from the slope of a least-squares line through the angular velocity of
/// the records within ±`halfWidth` seconds, at the record in the middle of that window.
///
/// Every channel of the record it returns belongs to one instant: the middle record's linear
/// acceleration, angular velocity, force and torque are passed on unchanged, delayed by the half
/// width, together with the slope centred on them. A one-sided (causal) derivative would lag
/// behind the other channels and bias the inertial parameters. The slope passes white gyro noise
/// of variance σ² with variance σ²/Σ(t − t̄)², about 3σ²/(2·h³·rate) for a half width h; over a
/// window of 2h, curvature of the angular velocity biases it by about h²/6 times the third
/// derivative of the angular velocity.
///
/// Holds its window in a ring that grows only while the sample interval shrinks.
class CentredDifferentiator {
 public:
  /// Half width used by the estimation pipeline (s).
  static constexpr double kDefaultHalfWidth = 0.02;

  explicit CentredDifferentiator(double halfWidth = kDefaultHalfWidth);

  /// Adds the newest record (stamps increasing). Returns true when the window spans twice the
  /// half width: `centred()` then holds the middle record with its centred angular acceleration,
  /// and the oldest record leaves the window.
  bool push(const DynamicsStamped& record);

  /// The last record completed by `push`; all zero before the first one.
  const DynamicsStamped& centred() const { return centred_; }

  /// Empties the window; the half width is kept.
  void reset();

  double halfWidth() const { return halfWidth_; }
  /// Number of records in the window.
  std::size_t size() const { return count_; }

 private:
  const DynamicsStamped& at(std::size_t index) const;

  double halfWidth_;
  std::vector<DynamicsStamped> ring_;
  std::size_t first_ = 0;
  std::size_t count_ = 0;
  DynamicsStamped centred_;
};

}  // namespace vorn
