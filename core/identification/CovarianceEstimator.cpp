#include "identification/CovarianceEstimator.hpp"

#include <cmath>

#include "identification/DenseKernels.hpp"

namespace vorn {

namespace {

/// A forgetting factor above this literal runs the variant without forgetting.
constexpr double kForgettingThreshold = 0.999999;

/// Matrix types of one recursion: M is the augmented size (17 here, or Eigen::Dynamic for any
/// other size), N = M − 1 the number of parameters. The fixed-size instance keeps every
/// temporary on the stack; both instances do the same arithmetic.
template <int M>
struct Shapes {
  static constexpr int N = M == Eigen::Dynamic ? Eigen::Dynamic : M - 1;
  using MatM = Eigen::Matrix<double, M, M>;
  using MatN = Eigen::Matrix<double, N, N>;
  using VecM = Eigen::Matrix<double, M, 1>;
  using RowM = Eigen::Matrix<double, 1, M>;
};

constexpr int kFixedAugmentedSize = 17;

/// True when all arguments have the sizes of the fixed-size instance.
bool hasFixedShape(const Eigen::VectorXd& parameters, const Eigen::MatrixXd& inverseInformation,
                   const Eigen::RowVectorXd& row, const Eigen::MatrixXd& rowCovariance,
                   const Eigen::MatrixXd& weightedRowSum) {
  constexpr int m = kFixedAugmentedSize;
  return parameters.size() == m - 1 && inverseInformation.rows() == m &&
         inverseInformation.cols() == m && row.size() == m && rowCovariance.rows() == m &&
         rowCovariance.cols() == m && weightedRowSum.rows() == m && weightedRowSum.cols() == m;
}

/// The quantities shared by both recursions for the current estimate θ and row:
/// z = [θ; −1]/sqrt(1 + ‖θ‖²), a = zᵀ·P⁻¹·z, b = zᵀ·C·z.
struct RowStatistics {
  double normSquared;
  double a;
  double b;
};

template <int M>
RowStatistics rowStatistics(const Eigen::VectorXd& parameters,
                            const Eigen::MatrixXd& inverseInformation,
                            const Eigen::MatrixXd& rowCovariance) {
  using S = Shapes<M>;
  const Eigen::Index n = parameters.size();
  const Eigen::Index m = n + 1;
  RowStatistics r{};
  r.normSquared = parameters.squaredNorm();
  typename S::VecM z(m);
  z.head(n) = parameters;
  z(n) = -1.0;
  z /= std::sqrt(1.0 + r.normSquared);
  // zᵀ·P⁻¹·z through a solve with the LU factors of P: the inverse itself is not needed.
  const typename S::MatM p = Eigen::Map<const typename S::MatM>(inverseInformation.data(), m, m);
  const typename S::VecM pInvZ = kernels::luSolve<M>(p, z);
  r.a = z.dot(pInvZ);
  const Eigen::Map<const typename S::MatM> c(rowCovariance.data(), m, m);
  const typename S::VecM cz = c * z;
  r.b = z.dot(cz);
  return r;
}

}  // namespace

CovarianceEstimator::CovarianceEstimator()
    : sampleCount(0), forgettingFactor(1.0), forgettingEnabled(false), covarianceScale(0.0) {}

void CovarianceEstimator::initialize(int numberOfParameters, double forgettingFactorIn) {
  const Eigen::Index n = numberOfParameters;
  const Eigen::Index m = n + 1;
  sampleCount = 0;
  forgettingFactor = forgettingFactorIn;
  forgettingEnabled = forgettingFactorIn <= kForgettingThreshold;
  weightedRowSum = Eigen::MatrixXd::Identity(m, m) / 100.0;
  squaredWeightRowSum = Eigen::MatrixXd::Identity(m, m) / 100.0;
  meanRowCovariance = Eigen::MatrixXd::Identity(m, m);
  covarianceScale = 0.0;
  correctedInverse = Eigen::MatrixXd::Zero(n, n);
  correctedSquaredSum = Eigen::MatrixXd::Zero(n, n);
  covariance = Eigen::MatrixXd::Zero(n, n);
}

void CovarianceEstimator::update(const Eigen::VectorXd& parameters,
                                 const Eigen::MatrixXd& inverseInformation,
                                 const Eigen::RowVectorXd& row,
                                 const Eigen::MatrixXd& rowCovariance) {
  if (forgettingEnabled) {
    updateWithForgetting(parameters, inverseInformation, row, rowCovariance);
  } else {
    updateWithoutForgetting(parameters, inverseInformation, row, rowCovariance);
  }
}

namespace {

/// State of the estimator as seen by the recursions (references to its members).
struct CovarianceState {
  int64_t& sampleCount;
  double forgettingFactor;
  Eigen::MatrixXd& weightedRowSum;
  Eigen::MatrixXd& squaredWeightRowSum;
  Eigen::MatrixXd& meanRowCovariance;
  double& covarianceScale;
  Eigen::MatrixXd& correctedInverse;
  Eigen::MatrixXd& correctedSquaredSum;
};

template <int M>
void updateWithoutForgettingImpl(CovarianceState& st, const Eigen::VectorXd& parameters,
                                 const Eigen::MatrixXd& inverseInformation,
                                 const Eigen::RowVectorXd& row,
                                 const Eigen::MatrixXd& rowCovariance) {
  using S = Shapes<M>;
  const Eigen::Index n = parameters.size();
  const Eigen::Index m = n + 1;
  ++st.sampleCount;
  const double k = static_cast<double>(st.sampleCount);

  // Running mean of the row error covariances; the initial identity counts as one sample.
  Eigen::Map<typename S::MatM> meanCov(st.meanRowCovariance.data(), m, m);
  const Eigen::Map<const typename S::MatM> c(rowCovariance.data(), m, m);
  meanCov = (k * meanCov + c) / (k + 1.0);

  const RowStatistics r = rowStatistics<M>(parameters, inverseInformation, rowCovariance);
  const double sigma2 = r.a / r.b / k;
  st.covarianceScale = sigma2 * (1.0 + r.normSquared) * r.b;

  // A ← A + (hᵀ·h)·C̄⁻¹, formed as hᵀ·(h·C̄⁻¹) with h·C̄⁻¹ solved from C̄ᵀ·uᵀ = hᵀ:
  // a rank-one update instead of an inverse and a full product.
  const Eigen::Map<const typename S::RowM> h(row.data(), m);
  const typename S::MatM meanCovTransposed = meanCov.transpose();
  // C̄ has zero blocks wherever the Jacobians have zero rows (the bias rows).
  const typename S::VecM u = kernels::luSolve<M>(meanCovTransposed, h.transpose(), true);
  const typename S::MatM weighted = h.transpose() * u.transpose();
  Eigen::Map<typename S::MatM> a(st.weightedRowSum.data(), m, m);
  a += weighted;

  // E ← (A_nn − (σ²·k)·C_nn)⁻¹
  const typename S::MatN corrected = a.topLeftCorner(n, n) - (sigma2 * k) * c.topLeftCorner(n, n);
  Eigen::Map<typename S::MatN> e(st.correctedInverse.data(), n, n);
  e = kernels::luInverse<Shapes<M>::N>(corrected);
}

template <int M>
void updateWithForgettingImpl(CovarianceState& st, const Eigen::VectorXd& parameters,
                              const Eigen::MatrixXd& inverseInformation,
                              const Eigen::RowVectorXd& row, const Eigen::MatrixXd& rowCovariance) {
  using S = Shapes<M>;
  const Eigen::Index n = parameters.size();
  const Eigen::Index m = n + 1;
  ++st.sampleCount;
  const double k = static_cast<double>(st.sampleCount);
  const RowStatistics r = rowStatistics<M>(parameters, inverseInformation, rowCovariance);
  const double lambda = st.forgettingFactor;
  const double lambdaK = std::pow(lambda, k);
  const double lambda2K = std::pow(lambda, 2.0 * k);

  // Effective number of rows under exponential weighting.
  const double n1 = (1.0 - lambdaK) / (1.0 - lambda);
  const double sigma2 = r.a / r.b / n1;
  st.covarianceScale = sigma2 * (1.0 + r.normSquared) * r.b;

  const Eigen::Map<const typename S::RowM> h(row.data(), m);
  const Eigen::Map<const typename S::MatM> c(rowCovariance.data(), m, m);
  const typename S::MatM outer = h.transpose() * h;

  Eigen::Map<typename S::MatM> a(st.weightedRowSum.data(), m, m);
  a = lambda * a + outer;
  const typename S::MatN corrected = a.topLeftCorner(n, n) - (n1 * sigma2) * c.topLeftCorner(n, n);
  Eigen::Map<typename S::MatN> e(st.correctedInverse.data(), n, n);
  e = kernels::luInverse<Shapes<M>::N>(corrected);

  const double lambda2 = lambda * lambda;
  Eigen::Map<typename S::MatM> b(st.squaredWeightRowSum.data(), m, m);
  b = lambda2 * b + outer;
  const double n2 = (1.0 - lambda2K) / (1.0 - lambda2);
  Eigen::Map<typename S::MatN> f(st.correctedSquaredSum.data(), n, n);
  f = b.topLeftCorner(n, n) - (n2 * sigma2) * c.topLeftCorner(n, n);
}

}  // namespace

void CovarianceEstimator::updateWithoutForgetting(const Eigen::VectorXd& parameters,
                                                  const Eigen::MatrixXd& inverseInformation,
                                                  const Eigen::RowVectorXd& row,
                                                  const Eigen::MatrixXd& rowCovariance) {
  CovarianceState st{sampleCount,       forgettingFactor, weightedRowSum,   squaredWeightRowSum,
                     meanRowCovariance, covarianceScale,  correctedInverse, correctedSquaredSum};
  if (hasFixedShape(parameters, inverseInformation, row, rowCovariance, weightedRowSum)) {
    updateWithoutForgettingImpl<kFixedAugmentedSize>(st, parameters, inverseInformation, row,
                                                     rowCovariance);
  } else {
    updateWithoutForgettingImpl<Eigen::Dynamic>(st, parameters, inverseInformation, row,
                                                rowCovariance);
  }
}

void CovarianceEstimator::updateWithForgetting(const Eigen::VectorXd& parameters,
                                               const Eigen::MatrixXd& inverseInformation,
                                               const Eigen::RowVectorXd& row,
                                               const Eigen::MatrixXd& rowCovariance) {
  CovarianceState st{sampleCount,       forgettingFactor, weightedRowSum,   squaredWeightRowSum,
                     meanRowCovariance, covarianceScale,  correctedInverse, correctedSquaredSum};
  if (hasFixedShape(parameters, inverseInformation, row, rowCovariance, weightedRowSum)) {
    updateWithForgettingImpl<kFixedAugmentedSize>(st, parameters, inverseInformation, row,
                                                  rowCovariance);
  } else {
    updateWithForgettingImpl<Eigen::Dynamic>(st, parameters, inverseInformation, row,
                                             rowCovariance);
  }
}

Eigen::MatrixXd CovarianceEstimator::computeCovariance() {
  if (forgettingEnabled) {
    computeWithForgetting();
  } else {
    computeWithoutForgetting();
  }
  return covariance;
}

void CovarianceEstimator::addCovarianceTo(Eigen::MatrixXd& sum) {
  if (forgettingEnabled) {
    computeWithForgetting();
  } else {
    computeWithoutForgetting();
  }
  sum += covariance;
}

void CovarianceEstimator::computeWithoutForgetting() {
  covariance = covarianceScale * correctedInverse;
}

void CovarianceEstimator::computeWithForgetting() {
  // Sandwich form; E is symmetric only up to rounding and is used as it is.
  const Eigen::MatrixXd scaled = covarianceScale * correctedInverse;
  const Eigen::MatrixXd left = scaled * correctedSquaredSum;
  covariance = left * correctedInverse;
}

}  // namespace vorn
