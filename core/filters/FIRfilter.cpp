#include "filters/FIRfilter.hpp"

#include <iostream>

namespace vorn {
namespace {

// Smoothing passes the newest sample through; differentiation is the five-point least-squares
// (Savitzky-Golay) first-derivative set, newest sample first.
Eigen::VectorXd smoothingTaps() {
  Eigen::VectorXd taps(1);
  taps << 1.0;
  return taps;
}

Eigen::VectorXd differentiationTaps() {
  Eigen::VectorXd taps(5);
  taps << 0.2, 0.1, 0.0, -0.1, -0.2;
  return taps;
}

}  // namespace

FIRfilter::FIRfilter() = default;

void FIRfilter::readCoeffs(const std::string& /*group*/, const std::string& /*kind*/,
                           const std::string& /*purpose*/, const std::string& /*signal*/,
                           bool differentiation) {
  differentiator_ = differentiation;
  coeffs_ = differentiation ? differentiationTaps() : smoothingTaps();
  size_ = static_cast<uint32_t>(coeffs_.size());
  evenSize_ = (size_ % 2U) == 0U;
}

Vec3dStamped FIRfilter::filterGeneral(Vec3dSeries& series) const {
  const uint32_t n = series.size();
  if (n == 0) {
    return Vec3dStamped();
  }
  if (n < size_) {
    std::cout << "Not enough historic data stored for filtering of size " << size_
              << ", using unfiltered value." << std::endl;
    return series.latest();
  }
  // A filter whose taps were never loaded passes the newest sample through.
  if (coeffs_.size() < static_cast<Eigen::Index>(size_)) {
    return series.latest();
  }
  Eigen::Vector3d acc = Eigen::Vector3d::Zero();
  for (uint32_t k = 0; k < size_; ++k) {
    acc = acc + coeffs_[k] * series.at(n - 1 - k).vec();
  }
  if (differentiator_) {
    const double dt =
        (series.at(n - 1).stamp() - series.at(n - size_).stamp()) / static_cast<double>(size_ - 1);
    acc = acc / dt;
  }
  return Vec3dStamped(calculateDelayedStamp(series), acc);
}

double FIRfilter::calculateDelayedStamp(Vec3dSeries& series) const {
  const uint32_t n = series.size();
  const uint32_t half = size_ / 2U;
  if (n == 0 || n < size_) {
    return series.latest().stamp();
  }
  if (!evenSize_) {
    return series.at(n - 1 - half).stamp();
  }
  return (series.at(n - 1 - half).stamp() + series.at(n - half).stamp()) * 0.5;
}

}  // namespace vorn
