#pragma once

#include <cstdint>

#include <Eigen/Core>

#include "data/Vec3dSeries.hpp"
#include "data/Vec3dStamped.hpp"

namespace vorn {

/// Exponential moving average with a weight that follows the actual time step, differentiated:
/// turns filtered angular velocity (rad/s) into angular acceleration (rad/s²).
class EMAFilter {
public:
  EMAFilter();

  /// Time constant τ in seconds (0.1 after construction).
  void setTimeConstant(double tau) { timeConstant_ = tau; }
  double timeConstant() const { return timeConstant_; }
  /// Number of samples the series must hold before filtering works.
  uint32_t size() const { return 2; }

  /// Rate of change of the filtered newest sample over the last step, stamped with the newest
  /// sample's stamp. Returns a zero vector on the first use, on a non-positive step and on a
  /// series with fewer than two samples.
  Vec3dStamped filterAndDifferentiate(Vec3dSeries& series);

  /// Forgets the filtered value; τ is kept.
  void reset();

private:
  double timeConstant_ = 0.1;
  Eigen::Vector3d filtered_;
  bool initialized_ = false;
};

}  // namespace vorn
