#include "filters/CentredDifferentiator.hpp"

namespace vorn {

namespace {

/// Tolerance on the window span (s), so that rounding of the stamps does not delay a window.
constexpr double kSpanTolerance = 1e-9;

}  // namespace

CentredDifferentiator::CentredDifferentiator(double halfWidth) : halfWidth_(halfWidth), ring_(8) {}

const DynamicsStamped& CentredDifferentiator::at(std::size_t index) const {
  return ring_[(first_ + index) % ring_.size()];
}

bool CentredDifferentiator::push(const DynamicsStamped& record) {
  if (count_ == ring_.size()) {
    // Unroll the ring into a larger one; happens only while the window fills for the first time
    // (or the sample rate rises).
    std::vector<DynamicsStamped> larger(2 * ring_.size());
    for (std::size_t i = 0; i < count_; ++i) {
      larger[i] = at(i);
    }
    ring_.swap(larger);
    first_ = 0;
  }
  ring_[(first_ + count_) % ring_.size()] = record;
  ++count_;
  if (record.stamp() - at(0).stamp() < 2.0 * halfWidth_ - kSpanTolerance) {
    return false;
  }

  // Least-squares slope of each angular-velocity component against time.
  double meanStamp = 0.0;
  Eigen::Vector3d meanVelocity = Eigen::Vector3d::Zero();
  for (std::size_t i = 0; i < count_; ++i) {
    meanStamp += at(i).stamp();
    meanVelocity += at(i).angVel();
  }
  meanStamp /= static_cast<double>(count_);
  meanVelocity /= static_cast<double>(count_);
  double spread = 0.0;
  Eigen::Vector3d covariation = Eigen::Vector3d::Zero();
  for (std::size_t i = 0; i < count_; ++i) {
    const double dt = at(i).stamp() - meanStamp;
    spread += dt * dt;
    covariation += dt * (at(i).angVel() - meanVelocity);
  }
  const Eigen::Vector3d slope =
      spread > 0.0 ? Eigen::Vector3d(covariation / spread) : Eigen::Vector3d::Zero();

  const DynamicsStamped& middle = at(count_ / 2);
  centred_ =
      DynamicsStamped(KinematicsStamped(middle.stamp(), middle.linAcc(), middle.angVel(), slope),
                      WrenchStamped(middle.stamp(), middle.force(), middle.torque()));
  first_ = (first_ + 1) % ring_.size();
  --count_;
  return true;
}

void CentredDifferentiator::reset() {
  first_ = 0;
  count_ = 0;
  centred_ = DynamicsStamped();
}

}  // namespace vorn
