#include "identification/AngularAccelerationCorrelation.hpp"

#include <algorithm>
#include <cmath>

namespace vorn {

void AngularAccelerationCorrelation::setCorrelation(const std::vector<double>& correlation) {
  const int lags = correlation.size() >= 2 ? static_cast<int>(correlation.size()) - 1 : 0;
  // The samples held move to rings of the new reach, oldest first, newest last.
  const int kept = std::min(held_, lags);
  Eigen::MatrixXd unweighted = Eigen::MatrixXd::Zero(kStacked, std::max(lags, 1));
  Eigen::MatrixXd whitened = Eigen::MatrixXd::Zero(kParameters, 3 * std::max(lags, 1));
  for (int d = 0; d < kept; ++d) {
    const int from = (newest_ - d + lags_) % lags_;
    unweighted.col(kept - 1 - d) = unweightedRing_.col(from);
    whitened.middleCols<3>(3 * (kept - 1 - d)) = whitenedRing_.middleCols<3>(3 * from);
  }
  unweightedRing_.swap(unweighted);
  whitenedRing_.swap(whitened);
  correlation_ = correlation;
  lags_ = lags;
  held_ = kept;
  newest_ = kept > 0 ? kept - 1 : 0;
  if (lags_ == 0) {
    clear();
  }
}

void AngularAccelerationCorrelation::clear() {
  unweightedRing_.setZero();
  whitenedRing_.setZero();
  newest_ = 0;
  held_ = 0;
  pairs_.setZero();
  for (Response& r : responses_) {
    r.setZero();
  }
  unweightedSeen_ = false;
  whitened_.setZero();
}

template <typename Sum>
Sum AngularAccelerationCorrelation::laggedSum(const Eigen::MatrixXd& ring) const {
  constexpr int width = Sum::ColsAtCompileTime;
  Sum sum = Sum::Zero();
  int slot = newest_;
  for (int d = 1; d <= held_; ++d) {
    sum.noalias() +=
        correlation_[static_cast<std::size_t>(d)] * ring.middleCols<width>(width * slot);
    slot = slot == 0 ? lags_ - 1 : slot - 1;
  }
  return sum;
}

void AngularAccelerationCorrelation::advance() {
  newest_ = held_ == 0 ? 0 : (newest_ + 1) % lags_;
  held_ = std::min(held_ + 1, lags_);
}

void AngularAccelerationCorrelation::setUnweightedResponses(
    const std::array<Response, kEquations>& responses) {
  responses_ = responses;
}

void AngularAccelerationCorrelation::addUnweighted(const Rows& rows) {
  if (lags_ == 0) {
    return;
  }
  Stacked a;
  for (int i = 0; i < kStacked; ++i) {
    a[i] = rows(kEquationOf[static_cast<std::size_t>(i)], kParameterOf[static_cast<std::size_t>(i)]);
  }
  const Stacked lagged = laggedSum<Stacked>(unweightedRing_);
  // The sample with itself and with the samples before it, both orders:
  // a·(a + l)ᵀ + l·aᵀ = (a + l)·(a + l)ᵀ − l·lᵀ, less each row with itself. Lower triangle
  // only, fixed-size blocks: nothing on the heap.
  const Stacked sum = a + lagged;
  pairs_.selfadjointView<Eigen::Lower>().rankUpdate(sum, 1.0);
  pairs_.selfadjointView<Eigen::Lower>().rankUpdate(lagged, -1.0);
  for (int r = 0; r < kEquations; ++r) {
    const int o = kOffset[static_cast<std::size_t>(r)];
    if (r < 3) {
      pairs_.block<kForceEntries, kForceEntries>(o, o).noalias() -=
          a.segment<kForceEntries>(o) * a.segment<kForceEntries>(o).transpose();
    } else {
      pairs_.block<kTorqueEntries, kTorqueEntries>(o, o).noalias() -=
          a.segment<kTorqueEntries>(o) * a.segment<kTorqueEntries>(o).transpose();
    }
  }
  advance();
  unweightedRing_.col(newest_) = a;
  whitenedRing_.middleCols<3>(3 * newest_).setZero();
  unweightedSeen_ = true;
}

Eigen::Matrix<double, 3, AngularAccelerationCorrelation::kEquations>
AngularAccelerationCorrelation::responsesAt(const Eigen::VectorXd& theta) const {
  Eigen::Matrix<double, kAugmented, 1> z;
  z.head<kParameters>() = theta;
  z(kParameters) = -1.0;
  Eigen::Matrix<double, 3, kEquations> g;
  for (int r = 0; r < kEquations; ++r) {
    g.col(r) = responses_[static_cast<std::size_t>(r)] * z;
  }
  return g;
}

void AngularAccelerationCorrelation::holdUnweightedAsWhitened(const Eigen::VectorXd& theta) {
  if (lags_ == 0 || !unweightedSeen_ || theta.size() != kParameters) {
    return;
  }
  const Eigen::Matrix<double, 3, kEquations> g = responsesAt(theta);
  int slot = newest_;
  for (int d = 0; d < held_; ++d) {
    auto b = whitenedRing_.middleCols<3>(3 * slot);
    for (int i = 0; i < kStacked; ++i) {
      b.row(kParameterOf[static_cast<std::size_t>(i)]) +=
          unweightedRing_(i, slot) * g.col(kEquationOf[static_cast<std::size_t>(i)]).transpose();
    }
    unweightedRing_.col(slot).setZero();
    slot = slot == 0 ? lags_ - 1 : slot - 1;
  }
}

void AngularAccelerationCorrelation::addWhitened(
    const Rows& rows, const Eigen::Matrix<double, kEquations, 3>& responses) {
  if (lags_ == 0) {
    return;
  }
  const Sensitivity sensitivity = rows.transpose() * responses;
  const Sensitivity lagged = laggedSum<Sensitivity>(whitenedRing_);
  // B·Bᵀ less each row with itself is Hᵀ·(R·Rᵀ without its diagonal)·H.
  Eigen::Matrix<double, kEquations, kEquations> shared = responses * responses.transpose();
  shared.diagonal().setZero();
  const Eigen::Matrix<double, kEquations, kParameters> weighted = shared * rows;
  whitened_.noalias() += rows.transpose() * weighted;
  const Square cross = sensitivity * lagged.transpose();
  whitened_ += cross + cross.transpose();
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
  if (lags_ == 0) {
    return;
  }
  Stacked f;
  for (int r = 0; r < kEquations; ++r) {
    f.segment(kOffset[static_cast<std::size_t>(r)], kEntries[static_cast<std::size_t>(r)])
        .setConstant(factors[static_cast<std::size_t>(r)]);
  }
  pairs_ = f.asDiagonal() * pairs_ * f.asDiagonal();
  // A held row pairs with later rows through its h, and its g is read at θ unscaled: the held
  // entry carries both factors.
  for (int i = 0; i < kStacked; ++i) {
    unweightedRing_.row(i) *= f[i];
  }
}

AngularAccelerationCorrelation::Square AngularAccelerationCorrelation::correction(
    const Eigen::VectorXd& theta) const {
  Square sum = whitened_;
  if (!unweightedSeen_ || theta.size() != kParameters) {
    return sum;
  }
  const Eigen::Matrix<double, 3, kEquations> g = responsesAt(theta);
  const Eigen::Matrix<double, kEquations, kEquations> weights = g.transpose() * g;
  // Each pair of entries once (the sums are symmetric), added to both of its places.
  for (int j = 0; j < kStacked; ++j) {
    const int pj = kParameterOf[static_cast<std::size_t>(j)];
    const int rj = kEquationOf[static_cast<std::size_t>(j)];
    sum(pj, pj) += weights(rj, rj) * pairs_(j, j);
    for (int i = j + 1; i < kStacked; ++i) {
      const int pi = kParameterOf[static_cast<std::size_t>(i)];
      const double v = weights(kEquationOf[static_cast<std::size_t>(i)], rj) * pairs_(i, j);
      sum(pi, pj) += v;
      sum(pj, pi) += v;
    }
  }
  return sum;
}

}  // namespace vorn
