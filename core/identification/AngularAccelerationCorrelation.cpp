#include "identification/AngularAccelerationCorrelation.hpp"

#include <algorithm>
#include <cmath>

namespace vorn {

int AngularAccelerationCorrelation::parameterOf(int r, int e) {
  constexpr int kForceBias = 10;
  constexpr int kTorqueBias = 13;
  if (r < 3) {
    return e < kForceEntries - 1 ? e : kForceBias + r;
  }
  return e < kTorqueEntries - 1 ? 1 + e : kTorqueBias + (r - 3);
}

void AngularAccelerationCorrelation::setCorrelation(const std::vector<double>& correlation) {
  correlation_ = correlation;
  lags_ = correlation.size() >= 2 ? static_cast<int>(correlation.size()) - 1 : 0;
  unweightedRing_ = Eigen::MatrixXd::Zero(kStacked, std::max(lags_, 1));
  whitenedRing_ = Eigen::MatrixXd::Zero(kParameters, 3 * std::max(lags_, 1));
  clear();
}

void AngularAccelerationCorrelation::clear() {
  unweightedRing_.setZero();
  whitenedRing_.setZero();
  newest_ = 0;
  held_ = 0;
  pairs_.setZero();
  own_.setZero();
  for (Response& r : responses_) {
    r.setZero();
  }
  unweightedSeen_ = false;
  whitened_.setZero();
}

void AngularAccelerationCorrelation::advance() {
  newest_ = held_ == 0 ? 0 : (newest_ + 1) % lags_;
  held_ = std::min(held_ + 1, lags_);
}

void AngularAccelerationCorrelation::addUnweighted(
    const Rows& rows, const std::array<Response, kEquations>& responses) {
  if (lags_ == 0) {
    return;
  }
  Stacked a;
  for (int r = 0; r < kEquations; ++r) {
    const int offset = kOffset[static_cast<std::size_t>(r)];
    const int entries = kEntries[static_cast<std::size_t>(r)];
    for (int e = 0; e < entries; ++e) {
      a[offset + e] = rows(r, parameterOf(r, e));
    }
    // Fixed-size blocks: no temporaries on the heap.
    if (entries == kForceEntries) {
      own_.block<kForceEntries, kForceEntries>(offset, offset).noalias() +=
          a.segment<kForceEntries>(offset) * a.segment<kForceEntries>(offset).transpose();
    } else {
      own_.block<kTorqueEntries, kTorqueEntries>(offset, offset).noalias() +=
          a.segment<kTorqueEntries>(offset) * a.segment<kTorqueEntries>(offset).transpose();
    }
  }
  Stacked lagged = Stacked::Zero();
  const int count = std::min(held_, lags_);
  int slot = newest_;
  for (int d = 1; d <= count; ++d) {
    lagged.noalias() += correlation_[static_cast<std::size_t>(d)] * unweightedRing_.col(slot);
    slot = slot == 0 ? lags_ - 1 : slot - 1;
  }
  // The sample with itself and with the samples before it, both orders.
  pairs_.noalias() += a * (a + lagged).transpose();
  pairs_.noalias() += lagged * a.transpose();
  advance();
  unweightedRing_.col(newest_) = a;
  whitenedRing_.middleCols<3>(3 * newest_).setZero();
  responses_ = responses;
  unweightedSeen_ = true;
}

void AngularAccelerationCorrelation::addWhitened(const Sensitivity& sensitivity,
                                                 const Square& own) {
  if (lags_ == 0) {
    return;
  }
  Sensitivity lagged = Sensitivity::Zero();
  const int count = std::min(held_, lags_);
  int slot = newest_;
  for (int d = 1; d <= count; ++d) {
    lagged.noalias() +=
        correlation_[static_cast<std::size_t>(d)] * whitenedRing_.middleCols<3>(3 * slot);
    slot = slot == 0 ? lags_ - 1 : slot - 1;
  }
  const Square cross = sensitivity * lagged.transpose();
  whitened_.noalias() += sensitivity * sensitivity.transpose();
  whitened_ += cross + cross.transpose() - own;
  advance();
  whitenedRing_.middleCols<3>(3 * newest_) = sensitivity;
  unweightedRing_.col(newest_).setZero();
}

void AngularAccelerationCorrelation::addGap() {
  if (lags_ == 0) {
    return;
  }
  advance();
  whitenedRing_.middleCols<3>(3 * newest_).setZero();
  unweightedRing_.col(newest_).setZero();
}

void AngularAccelerationCorrelation::rescale(const std::array<double, kEquations>& factors) {
  Stacked f;
  for (int r = 0; r < kEquations; ++r) {
    f.segment(kOffset[static_cast<std::size_t>(r)], kEntries[static_cast<std::size_t>(r)])
        .setConstant(factors[static_cast<std::size_t>(r)]);
  }
  pairs_ = f.asDiagonal() * pairs_ * f.asDiagonal();
  own_ = f.asDiagonal() * own_ * f.asDiagonal();
  for (int i = 0; i < kStacked; ++i) {
    unweightedRing_.row(i) *= std::sqrt(f[i]);
  }
}

AngularAccelerationCorrelation::Square AngularAccelerationCorrelation::correction(
    const Eigen::VectorXd& theta) const {
  Square sum = whitened_;
  if (!unweightedSeen_ || theta.size() != kParameters) {
    return sum;
  }
  Eigen::Matrix<double, kAugmented, 1> z;
  z.head<kParameters>() = theta;
  z(kParameters) = -1.0;
  Eigen::Matrix<double, 3, kEquations> g;
  for (int r = 0; r < kEquations; ++r) {
    g.col(r) = responses_[static_cast<std::size_t>(r)] * z;
  }
  const Eigen::Matrix<double, kEquations, kEquations> weights = g.transpose() * g;
  for (int r = 0; r < kEquations; ++r) {
    const int ro = kOffset[static_cast<std::size_t>(r)];
    for (int e = 0; e < kEntries[static_cast<std::size_t>(r)]; ++e) {
      const int i = parameterOf(r, e);
      for (int q = 0; q < kEquations; ++q) {
        const int qo = kOffset[static_cast<std::size_t>(q)];
        const double w = weights(r, q);
        for (int f = 0; f < kEntries[static_cast<std::size_t>(q)]; ++f) {
          sum(i, parameterOf(q, f)) += w * pairs_(ro + e, qo + f);
        }
      }
      for (int f = 0; f < kEntries[static_cast<std::size_t>(r)]; ++f) {
        sum(i, parameterOf(r, f)) -= weights(r, r) * own_(ro + e, ro + f);
      }
    }
  }
  return sum;
}

}  // namespace vorn
