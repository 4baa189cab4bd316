#include "identification/SampleWhitener.hpp"

#include <cmath>

#include <Eigen/Cholesky>

#include "identification/NormalizationConstants.hpp"

namespace vorn {

namespace {
constexpr int kParameters = SampleWhitener::kAugmented - 1;

/// A row's Jacobian (17 x 15, checked by `factor`) as a fixed-size matrix.
Eigen::Map<const Eigen::Matrix<double, SampleWhitener::kAugmented, SampleWhitener::kChannels>>
fixedJacobian(const Eigen::MatrixXd& jacobian) {
  return Eigen::Map<
      const Eigen::Matrix<double, SampleWhitener::kAugmented, SampleWhitener::kChannels>>(
      jacobian.data());
}
}  // namespace

Eigen::Matrix<double, SampleWhitener::kAugmented, 1> SampleWhitener::scaledAugmented(
    const Eigen::VectorXd& theta) const {
  Eigen::Matrix<double, kAugmented, 1> z;
  z.head<kParameters>() = theta;
  z(kParameters) = -1.0;
  return z.cwiseProduct(rowScale);
}

bool SampleWhitener::factor(const ErrorModel& error, const Eigen::VectorXd& reference,
                            const Noise& noise, double scale) {
  activeRows = 0;
  if (reference.size() != kParameters) {
    return false;
  }
  for (int r = 0; r < kAugmented; ++r) {
    rowScale[r] = r < kParameters ? NormalizationConstants::inv_input_scale[r] : 1.0;
  }
  const Eigen::Matrix<double, kAugmented, 1> z = scaledAugmented(reference);
  Eigen::Matrix<double, kChannels, 6> g;
  Eigen::Matrix<bool, kAugmented, 1> active = Eigen::Matrix<bool, kAugmented, 1>::Zero();
  for (int i = 0; i < 6; ++i) {
    const Eigen::MatrixXd& j = error.jacobian(i);
    if (j.rows() != kAugmented || j.cols() != kChannels) {
      return false;
    }
    jacobians[static_cast<std::size_t>(i)] = &j;
    g.col(i).noalias() = fixedJacobian(j).transpose() * z;
    for (int r = 0; r < kAugmented; ++r) {
      active[r] = active[r] || !j.row(r).isZero(0.0);
    }
  }
  for (int r = 0; r < kAugmented; ++r) {
    if (active[r]) {
      rowIndex[static_cast<std::size_t>(activeRows++)] = r;
    }
  }
  if (!(scale > 0.0) || !std::isfinite(scale) || !noise.allFinite()) {
    return false;
  }
  const Eigen::Matrix<double, 6, 6> sigma = g.transpose() * noise.asDiagonal() * g / scale;
  if (!sigma.allFinite()) {
    return false;
  }
  const Eigen::LLT<Eigen::Matrix<double, 6, 6>> llt(sigma);
  if (llt.info() != Eigen::Success) {
    return false;
  }
  inverseFactor.setIdentity();
  llt.matrixL().solveInPlace(inverseFactor);
  // Channels 6-8 are the derived angular acceleration's.
  alphaResponse.noalias() =
      inverseFactor.triangularView<Eigen::Lower>() * g.middleRows<3>(6).transpose();
  return inverseFactor.allFinite();
}

void SampleWhitener::whitenRows(const Eigen::MatrixXd& augmented) {
  const Eigen::Map<const Augmented> h(augmented.data());
  rows.noalias() = inverseFactor.triangularView<Eigen::Lower>() * h;
}

void SampleWhitener::rowCovariance(int k, const Noise& noise, Eigen::MatrixXd& out) const {
  // Over the rows some Jacobian reaches only, one entry at a time and each pair once: at this
  // size the general product kernels spend more on packing than on the arithmetic (the
  // whitened sample cost about 5 us more than an unweighted one through them).
  using Rows = Eigen::Matrix<double, kAugmented, kChannels, Eigen::RowMajor>;
  Rows jw;
  jw.topRows(activeRows).setZero();
  for (int i = 0; i <= k; ++i) {
    const double f = inverseFactor(k, i);
    const auto j = fixedJacobian(*jacobians[static_cast<std::size_t>(i)]);
    for (int a = 0; a < activeRows; ++a) {
      const int r = rowIndex[static_cast<std::size_t>(a)];
      jw.row(a) += (f * rowScale[r]) * j.row(r);
    }
  }
  Eigen::Map<Eigen::Matrix<double, kAugmented, kAugmented>> o(out.data());
  o.setZero();
  for (int a = 0; a < activeRows; ++a) {
    const Eigen::Matrix<double, 1, kChannels> weighted = jw.row(a).cwiseProduct(noise.transpose());
    const int ra = rowIndex[static_cast<std::size_t>(a)];
    for (int b = 0; b <= a; ++b) {
      const int rb = rowIndex[static_cast<std::size_t>(b)];
      const double c = weighted.dot(jw.row(b));
      o(ra, rb) = c;
      o(rb, ra) = c;
    }
  }
}

double SampleWhitener::normalisedResidual(const Eigen::MatrixXd& augmented,
                                          const Eigen::VectorXd& parameters,
                                          const Noise& noise) const {
  const Eigen::Matrix<double, kAugmented, 1> z = scaledAugmented(parameters);
  Eigen::Matrix<double, kAugmented, 1> zRow;
  zRow.head<kParameters>() = parameters;
  zRow(kParameters) = -1.0;
  double sum = 0.0;
  for (int i = 0; i < 6; ++i) {
    const double residual = augmented.row(i).dot(zRow.transpose());
    const Noise g = fixedJacobian(*jacobians[static_cast<std::size_t>(i)]).transpose() * z;
    const double variance = g.dot(noise.asDiagonal() * g);
    sum += variance > 0.0 ? residual * residual / variance : 0.0;
  }
  return sum;
}

}  // namespace vorn
