#include "identification/CovarianceEstimator.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

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
  noiseCorrection = 0.0;
  latestParameters = Eigen::VectorXd::Zero(n);
  alphaCorrelation.clear();
  for (int g = 0; g < kEquations; ++g) {
    equationRowSums[g] = Eigen::MatrixXd::Zero(m, m);
    equationMeanCovariances[g] = Eigen::MatrixXd::Zero(m, m);
    equationRowCounts[g] = 0;
  }
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

void CovarianceEstimator::update(const Eigen::VectorXd& parameters,
                                 const Eigen::MatrixXd& inverseInformation,
                                 const Eigen::RowVectorXd& row,
                                 const Eigen::MatrixXd& rowCovariance, int equation) {
  update(parameters, inverseInformation, row, rowCovariance);
  if (forgettingEnabled || equation < 0 || equation >= kEquations) {
    return;
  }
  const Eigen::Index m = row.size();
  if (equationRowSums[equation].rows() != m) {
    return;
  }
  equationRowSums[equation].noalias() += row.transpose() * row;
  const double count = static_cast<double>(++equationRowCounts[equation]);
  equationMeanCovariances[equation] +=
      (rowCovariance - equationMeanCovariances[equation]) * (1.0 / count);
  latestParameters = parameters;
}

void CovarianceEstimator::rescaleEquations(const std::array<double, kEquations>& factors) {
  if (forgettingEnabled) {
    return;
  }
  // The running mean over all rows counts the initial identity as one row: the rescaled rows
  // change its sum (k + 1)·C̄ by (f − 1)·N_g·C̄_g each.
  const double total = static_cast<double>(sampleCount) + 1.0;
  for (int g = 0; g < kEquations; ++g) {
    const double f = factors[static_cast<std::size_t>(g)];
    if (equationRowCounts[g] == 0 || f == 1.0 ||
        equationRowSums[g].rows() != weightedRowSum.rows()) {
      continue;
    }
    weightedRowSum += (f - 1.0) * equationRowSums[g];
    meanRowCovariance += ((f - 1.0) * static_cast<double>(equationRowCounts[g]) / total) *
                         equationMeanCovariances[g];
    equationRowSums[g] *= f;
    equationMeanCovariances[g] *= f;
  }
  std::array<double, AngularAccelerationCorrelation::kEquations> unweighted;
  std::copy(factors.begin(), factors.begin() + unweighted.size(), unweighted.begin());
  alphaCorrelation.rescale(unweighted);
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
  double& noiseCorrection;
};

template <int M>
void updateWithoutForgettingImpl(CovarianceState& st, const Eigen::VectorXd& parameters,
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
  // Times the reciprocal: a division of each of the 289 entries of every row cost about a tenth
  // of a sample's update.
  meanCov = (k * meanCov + c) * (1.0 / (k + 1.0));

  // A ← A + hᵀ·h: the information of the rows, unweighted. The noise scale enters the
  // covariance once, through s; weighting the rows by C̄⁻¹ as well counted it twice and made the
  // reported deviations hundreds of times too small. A starts at the prior information 0.01·I,
  // so it equals P⁻¹ and a is read from it without inverting P.
  const Eigen::Map<const typename S::RowM> h(row.data(), m);
  Eigen::Map<typename S::MatM> a(st.weightedRowSum.data(), m, m);
  a.noalias() += h.transpose() * h;

  // a = zᵀ·A·z and b = zᵀ·C̄·z for the normalised z: the sum of squared residuals and the mean
  // expected residual variance per row (over the same normalisation), so σ² = a/b/k is the
  // eigenvalue per row and s = σ²·(1 + ‖θ‖²)·b the mean squared residual per row.
  const double normSquared = parameters.squaredNorm();
  typename S::VecM z(m);
  z.head(n) = parameters;
  z(n) = -1.0;
  z /= std::sqrt(1.0 + normSquared);
  const typename S::VecM az = a * z;
  const typename S::VecM cz = meanCov * z;
  const double residualSum = z.dot(az);
  const double meanVariance = z.dot(cz);
  const double sigma2 = residualSum / meanVariance / k;
  st.covarianceScale = sigma2 * (1.0 + normSquared) * meanVariance;
  // The noise in A is σ²·k times the mean row covariance; E is formed from it when the
  // covariance is computed.
  st.noiseCorrection = sigma2 * k;
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
  CovarianceState st{sampleCount,         forgettingFactor,    weightedRowSum,
                     squaredWeightRowSum, meanRowCovariance,   covarianceScale,
                     correctedInverse,    correctedSquaredSum, noiseCorrection};
  if (hasFixedShape(parameters, inverseInformation, row, rowCovariance, weightedRowSum)) {
    updateWithoutForgettingImpl<kFixedAugmentedSize>(st, parameters, row, rowCovariance);
  } else {
    updateWithoutForgettingImpl<Eigen::Dynamic>(st, parameters, row, rowCovariance);
  }
}

void CovarianceEstimator::updateWithForgetting(const Eigen::VectorXd& parameters,
                                               const Eigen::MatrixXd& inverseInformation,
                                               const Eigen::RowVectorXd& row,
                                               const Eigen::MatrixXd& rowCovariance) {
  CovarianceState st{sampleCount,         forgettingFactor,    weightedRowSum,
                     squaredWeightRowSum, meanRowCovariance,   covarianceScale,
                     correctedInverse,    correctedSquaredSum, noiseCorrection};
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
  // E ← (A_nn − (σ²·k)·C̄_nn)⁻¹: the information with the noise of all rows taken out.
  const Eigen::Index n = correctedInverse.rows();
  if (sampleCount == 0) {
    covariance.setZero(n, n);
    return;
  }
  // The same arithmetic for the fixed size of this estimator (every temporary on the stack, so
  // the per-sample path allocates nothing) and for any other size.
  auto compute = [&](auto size) {
    constexpr int N = decltype(size)::value;
    constexpr int M = N == Eigen::Dynamic ? Eigen::Dynamic : N + 1;
    using MatN = Eigen::Matrix<double, N, N>;
    using VecM = Eigen::Matrix<double, M, 1>;
    using MatM = Eigen::Matrix<double, M, M>;
    const Eigen::Index m = n + 1;
    const MatN corrected = weightedRowSum.topLeftCorner(n, n) -
                           noiseCorrection * meanRowCovariance.topLeftCorner(n, n);
    const MatN inverse = kernels::luInverse<N>(corrected);
    correctedInverse = inverse;
    // The rows' residual variances differ by equation (force rows carry the force noise, torque
    // rows the much smaller torque noise), so the covariance is the sandwich E·F·E with
    // F = Σ_g b_g·(Σ hᵀh over the rows of equation g), b_g the residual variance that equation
    // g predicts at the current θ, scaled so that s stays the mean squared residual per row.
    // With one equation (or equal ones) F = A_nn and this is s·E.
    VecM z(m);
    if (latestParameters.size() == n) {
      z.head(n) = latestParameters;
    } else {
      z.head(n).setZero();
    }
    z(n) = -1.0;
    MatN weighted = MatN::Zero(n, n);
    double predicted = 0.0;
    std::int64_t rows = 0;
    for (int g = 0; g < kEquations; ++g) {
      if (equationRowCounts[g] == 0) {
        continue;
      }
      const Eigen::Map<const MatM> meanCovariance(equationMeanCovariances[g].data(), m, m);
      const VecM cz = meanCovariance * z;
      const double variance = z.dot(cz);
      weighted += variance * equationRowSums[g].topLeftCorner(n, n);
      predicted += variance * static_cast<double>(equationRowCounts[g]);
      rows += equationRowCounts[g];
    }
    if constexpr (N == AngularAccelerationCorrelation::kParameters) {
      if (alphaCorrelation.enabled()) {
        weighted += alphaCorrelation.correction(latestParameters);
      }
    }
    Eigen::Map<MatN> out(covariance.data(), n, n);
    if (rows == 0 || !(predicted > 0.0)) {
      out = covarianceScale * inverse;
      return;
    }
    const MatN middle = weighted * (static_cast<double>(rows) / predicted);
    const MatN scaled = covarianceScale * inverse;
    const MatN left = scaled * middle;
    out.noalias() = left * inverse;
  };
  covariance.resize(n, n);
  if (n == kFixedAugmentedSize - 1) {
    compute(std::integral_constant<int, kFixedAugmentedSize - 1>());
  } else {
    compute(std::integral_constant<int, Eigen::Dynamic>());
  }
}

void CovarianceEstimator::computeWithForgetting() {
  // Sandwich form; E is symmetric only up to rounding and is used as it is.
  const Eigen::MatrixXd scaled = covarianceScale * correctedInverse;
  const Eigen::MatrixXd left = scaled * correctedSquaredSum;
  covariance = left * correctedInverse;
}

}  // namespace vorn
