#include "filters/CentredDifferentiator.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Cholesky>

namespace vorn {

namespace {

/// Tolerance on the window span (s), so that rounding of the stamps does not delay a window.
constexpr double kSpanTolerance = 1e-9;

/// Fewest records on either side of the middle for a polynomial of `degree`.
long minimumSide(int degree) { return degree >= 3 ? 2 : 1; }

}  // namespace

CentredDifferentiator::CentredDifferentiator(double halfWidth, int degree)
    : halfWidth_(halfWidth), degree_(degree >= 3 ? 3 : 1), ring_(8) {}

double CentredDifferentiator::slopeVariance(double gyroVariance, double rateHz, double halfWidth,
                                            int degree) {
  const double rate = std::max(rateHz, 1e-3);
  // push() completes a window once it spans 2·halfWidth and holds an odd number of records.
  const long half = std::max(
      minimumSide(degree), static_cast<long>(std::ceil(halfWidth * rate - kSpanTolerance * rate)));
  // Even and odd powers decouple on a symmetric window: the slope depends on t and t³ only.
  double s2 = 0.0;
  double s4 = 0.0;
  double s6 = 0.0;
  for (long j = -half; j <= half; ++j) {
    const double t = static_cast<double>(j) / rate;
    s2 += t * t;
    s4 += t * t * t * t;
    s6 += t * t * t * t * t * t;
  }
  if (degree < 3) {
    return gyroVariance / s2;
  }
  return gyroVariance * s6 / (s2 * s6 - s4 * s4);
}

std::vector<double> CentredDifferentiator::noiseCorrelation(std::size_t side, int degree) {
  const long half = std::max(minimumSide(degree), static_cast<long>(side));
  // The centre slope's weights in record units (their scale cancels): w_j = j/S2 for the line,
  // w_j = c1·j + c3·j³ for the cubic, whose t and t³ columns give Σ w_j·j = 1, Σ w_j·j³ = 0.
  double s2 = 0.0;
  double s4 = 0.0;
  double s6 = 0.0;
  for (long j = -half; j <= half; ++j) {
    const double t = static_cast<double>(j);
    s2 += t * t;
    s4 += t * t * t * t;
    s6 += t * t * t * t * t * t;
  }
  const double det = s2 * s6 - s4 * s4;
  const double c1 = degree >= 3 ? s6 / det : 1.0 / s2;
  const double c3 = degree >= 3 ? -s4 / det : 0.0;
  std::vector<double> weights(static_cast<std::size_t>(2 * half + 1));
  for (long j = -half; j <= half; ++j) {
    const double t = static_cast<double>(j);
    weights[static_cast<std::size_t>(j + half)] = c1 * t + c3 * t * t * t;
  }
  std::vector<double> correlation(static_cast<std::size_t>(2 * half + 1), 0.0);
  for (std::size_t d = 0; d < correlation.size(); ++d) {
    for (std::size_t j = 0; j + d < weights.size(); ++j) {
      correlation[d] += weights[j] * weights[j + d];
    }
  }
  const double zeroLag = correlation[0];
  for (double& c : correlation) {
    c /= zeroLag;
  }
  return correlation;
}

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
  countRest(record, 1);
  if (record.stamp() - at(0).stamp() < 2.0 * halfWidth_ - kSpanTolerance) {
    return false;
  }

  const std::size_t side = static_cast<std::size_t>(minimumSide(degree_));
  if (count_ < 2 * side + 1 || count_ % 2 == 0) {
    return false;
  }

  side_ = count_ / 2;
  const DynamicsStamped& middle = at(count_ / 2);
  const Eigen::Vector3d slope = degree_ >= 3 ? cubicSlope(middle.stamp()) : lineSlope();
  centred_ =
      DynamicsStamped(KinematicsStamped(middle.stamp(), middle.linAcc(), middle.angVel(), slope),
                      WrenchStamped(middle.stamp(), middle.force(), middle.torque()));
  // Still over the outer eighth of the window at one end, not merely somewhere in it: where the
  // angular velocity passes through zero (a turn reversing about every axis at once) it is
  // still for a few milliseconds only, the cubic follows the turn, and those samples show the
  // inertia best.
  const std::size_t inner = (count_ - 1) / kStillEdgeFraction;
  const std::size_t last = count_ - 1;
  straddlesRest_ = restDeviation_ > 0.0 && movingRecords_ >= kMovingRecords &&
                   ((isStill(at(0)) && isStill(at(inner))) ||
                    (isStill(at(last)) && isStill(at(last - inner))));
  countRest(at(0), -1);
  first_ = (first_ + 1) % ring_.size();
  --count_;
  return true;
}

Eigen::Vector3d CentredDifferentiator::lineSlope() const {
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
  return spread > 0.0 ? Eigen::Vector3d(covariation / spread) : Eigen::Vector3d::Zero();
}

Eigen::Vector3d CentredDifferentiator::cubicSlope(double centre) const {
  // Fit ω(t) ≈ c0 + c1·τ + c2·τ² + c3·τ³ in τ = (t − centre)/h, which keeps the normal
  // equations well scaled; the derivative at the centre is c1/h.
  Eigen::Matrix4d normal = Eigen::Matrix4d::Zero();
  Eigen::Matrix<double, 4, 3> moments = Eigen::Matrix<double, 4, 3>::Zero();
  for (std::size_t i = 0; i < count_; ++i) {
    const double tau = (at(i).stamp() - centre) / halfWidth_;
    const Eigen::Vector4d basis(1.0, tau, tau * tau, tau * tau * tau);
    normal.noalias() += basis * basis.transpose();
    moments.noalias() += basis * at(i).angVel().transpose();
  }
  const Eigen::LDLT<Eigen::Matrix4d> factor(normal);
  const Eigen::Vector4d pivots = factor.vectorD();
  if (factor.info() != Eigen::Success || !(pivots.minCoeff() > 1e-9 * pivots.maxCoeff())) {
    // Stamps too bunched for a cubic: the line still has a slope.
    return lineSlope();
  }
  const Eigen::Matrix<double, 4, 3> coefficients = factor.solve(moments);
  return coefficients.row(1).transpose() / halfWidth_;
}

void CentredDifferentiator::setRestDeviation(double gyroStd) {
  restDeviation_ = std::isfinite(gyroStd) && gyroStd > 0.0 ? gyroStd : 0.0;
  movingRecords_ = 0;
  for (std::size_t i = 0; i < count_; ++i) {
    countRest(at(i), 1);
  }
  straddlesRest_ = false;
}

double CentredDifferentiator::speedOf(const DynamicsStamped& record) {
  const Eigen::Vector3d speed = record.angVel().cwiseAbs();
  // NaN on any axis makes the record neither still nor moving.
  return speed.allFinite() ? speed.maxCoeff() : std::numeric_limits<double>::quiet_NaN();
}

bool CentredDifferentiator::isStill(const DynamicsStamped& record) const {
  return speedOf(record) < kStillDeviations * restDeviation_;
}

void CentredDifferentiator::countRest(const DynamicsStamped& record, int sign) {
  if (restDeviation_ > 0.0 && speedOf(record) > kMovingDeviations * restDeviation_) {
    movingRecords_ += sign;
  }
}

void CentredDifferentiator::reset() {
  first_ = 0;
  count_ = 0;
  centred_ = DynamicsStamped();
  movingRecords_ = 0;
  straddlesRest_ = false;
}

}  // namespace vorn
