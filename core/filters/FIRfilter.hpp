#pragma once

#include <cstdint>
#include <string>

#include <Eigen/Core>

#include "data/Vec3dSeries.hpp"
#include "data/Vec3dStamped.hpp"

namespace vorn {

/// Short finite-impulse-response filter over the newest samples of a series, for smoothing or
/// for differentiation (result per second). Tap 0 weights the newest sample.
class FIRfilter {
public:
  FIRfilter();

  /// Loads the built-in differentiation set when `differentiation` is true, otherwise the
  /// smoothing set. The four name parts only label the set for the caller.
  void readCoeffs(const std::string& group, const std::string& kind, const std::string& purpose,
                  const std::string& signal, bool differentiation);

  /// Number of taps.
  uint32_t size() const { return size_; }
  bool isDifferentiator() const { return differentiator_; }

  /// Filtered value of the newest samples, stamped at the centre of the filter window.
  /// With fewer samples than taps, or with no coefficients loaded, the newest sample is returned
  /// unchanged. Reading lowers the series' mark to the oldest sample of the window.
  Vec3dStamped filter(Vec3dSeries& series) const {
    const uint32_t n = series.size();
    if (n >= size_ && size_ == 1 && !differentiator_ && coeffs_.size() >= 1) {
      // One smoothing tap, the pipelines' case on every sample, inlined: the same sum and the
      // same stamp (the window's centre is the newest sample) without the general loop.
      const Vec3dStamped newest = series.at(n - 1);
      Eigen::Vector3d acc = Eigen::Vector3d::Zero();
      acc = acc + coeffs_[0] * newest.vec();
      return Vec3dStamped(newest.stamp(), acc);
    }
    return filterGeneral(series);
  }

  /// Stamp at the centre of the filter window over the newest samples.
  double calculateDelayedStamp(Vec3dSeries& series) const;

private:
  /// Every case but the one-tap smoothing of a long enough series.
  Vec3dStamped filterGeneral(Vec3dSeries& series) const;

  bool differentiator_ = false;
  uint32_t size_ = 1;
  bool evenSize_ = false;
  Eigen::VectorXd coeffs_;
};

}  // namespace vorn
