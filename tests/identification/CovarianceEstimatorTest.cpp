// Covariance of the recursive TLS estimate: first recursions against hand-computed values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <type_traits>

#include <Eigen/Cholesky>
#include <Eigen/Core>
#include <Eigen/LU>

#include "identification/CovarianceEstimator.hpp"

namespace vorn {
namespace {

constexpr double kTight = 1e-14;

/// Exposes the sums for inspection.
class CovarianceProbe : public CovarianceEstimator {
 public:
  using CovarianceEstimator::correctedInverse;
  using CovarianceEstimator::correctedSquaredSum;
  using CovarianceEstimator::covariance;
  using CovarianceEstimator::covarianceScale;
  using CovarianceEstimator::meanRowCovariance;
  using CovarianceEstimator::sampleCount;
  using CovarianceEstimator::squaredWeightRowSum;
  using CovarianceEstimator::weightedRowSum;
};

/// A two-parameter problem small enough to follow by hand:
/// θ = (1, 2), ‖θ‖² = 5, z = (1, 2, −1)/√6; P = diag(2, 4, 1), so zᵀ·P⁻¹·z = 2.5/6;
/// C = diag(1, 2, 3), so zᵀ·C·z = 12/6 = 2; h = (1, 0, 2), hᵀ·h = [1 0 2; 0 0 0; 2 0 4].
struct HandCase {
  Eigen::VectorXd theta = (Eigen::VectorXd(2) << 1.0, 2.0).finished();
  Eigen::MatrixXd p = Eigen::Vector3d(2.0, 4.0, 1.0).asDiagonal();
  Eigen::RowVectorXd h = (Eigen::RowVectorXd(3) << 1.0, 0.0, 2.0).finished();
  Eigen::MatrixXd c = Eigen::Vector3d(1.0, 2.0, 3.0).asDiagonal();
  double a = 2.5 / 6.0;
  double b = 2.0;
};

struct VariantCase {
  double forgettingFactor;
  bool forgetting;
};

class CovarianceVariant : public ::testing::TestWithParam<VariantCase> {};

TEST_P(CovarianceVariant, ThresholdAndInitialState) {
  CovarianceProbe estimator;
  estimator.initialize(16, GetParam().forgettingFactor);
  EXPECT_EQ(estimator.withForgetting(), GetParam().forgetting);
  EXPECT_EQ(estimator.sampleCount, 0);
  EXPECT_EQ(estimator.weightedRowSum, Eigen::MatrixXd::Identity(17, 17) * 0.01);
  EXPECT_EQ(estimator.squaredWeightRowSum, Eigen::MatrixXd::Identity(17, 17) * 0.01);
  EXPECT_EQ(estimator.meanRowCovariance, Eigen::MatrixXd::Identity(17, 17));
  EXPECT_EQ(estimator.covarianceScale, 0.0);
  EXPECT_EQ(estimator.correctedInverse, Eigen::MatrixXd::Zero(16, 16));
  EXPECT_EQ(estimator.correctedSquaredSum, Eigen::MatrixXd::Zero(16, 16));
  EXPECT_EQ(estimator.computeCovariance(), Eigen::MatrixXd::Zero(16, 16));
}

INSTANTIATE_TEST_SUITE_P(ForgettingFactors, CovarianceVariant,
                         ::testing::Values(VariantCase{1.0, false}, VariantCase{0.9999995, false},
                                           VariantCase{0.999999, true}, VariantCase{0.99, true},
                                           VariantCase{0.5, true}));

TEST(CovarianceEstimator, SampleCountIsSixtyFourBit) {
  static_assert(std::is_same<decltype(CovarianceProbe::sampleCount), int64_t>::value,
                "a long run must not overflow the row count");
  // θ = 0: z = (0, 0, −1), so s = a/k with a = A(2, 2) = 0.01 + 2²; past 2³¹ rows k keeps
  // counting.
  CovarianceProbe estimator;
  estimator.initialize(2, 1.0);
  estimator.sampleCount = std::numeric_limits<int32_t>::max();
  const HandCase hand;
  estimator.update(Eigen::VectorXd::Zero(2), hand.p, hand.h, hand.c);
  EXPECT_EQ(estimator.sampleCount, int64_t{1} << 31);
  EXPECT_NEAR(estimator.covarianceScale, 4.01 / 2147483648.0, 1e-22);
}

TEST(CovarianceEstimator, FirstUpdateWithoutForgetting) {
  const HandCase hand;
  CovarianceProbe estimator;
  estimator.initialize(2, 1.0);
  estimator.update(hand.theta, hand.p, hand.h, hand.c);

  EXPECT_EQ(estimator.sampleCount, 1);
  // The initial identity counts as one earlier row: C̄ = (I + C)/2.
  EXPECT_TRUE(estimator.meanRowCovariance.isApprox(
      Eigen::MatrixXd(Eigen::Vector3d(1.0, 1.5, 2.0).asDiagonal()), kTight));

  // A = 0.01·I + hᵀ·h, symmetric: the rows are not weighted by C̄⁻¹, whose noise scale s
  // already carries.
  Eigen::Matrix3d expectedA;
  expectedA << 1.01, 0.0, 2.0,  //
      0.0, 0.01, 0.0,           //
      2.0, 0.0, 4.01;
  EXPECT_TRUE(estimator.weightedRowSum.isApprox(Eigen::MatrixXd(expectedA), kTight))
      << estimator.weightedRowSum;

  // a = zᵀ·A·z = 1.06/6 (A equals P⁻¹, read without inverting P); b = zᵀ·C̄·z = 9/6 with the
  // mean covariance; s = σ²·(1 + ‖θ‖²)·b = a·6/k: the squared residual of the row, 1.06.
  const double a = 1.06 / 6.0;
  const double b = 1.5;
  const double sigma2 = a / b;  // k = 1
  EXPECT_NEAR(estimator.covarianceScale, 1.06, kTight);

  // E = (A_nn − σ²·k·C̄_nn)⁻¹: diagonal here, the second entry negative.
  const Eigen::MatrixXd d = estimator.computeCovariance();
  const Eigen::Vector2d corrected(1.01 - sigma2 * 1.0, 0.01 - sigma2 * 1.5);
  const Eigen::MatrixXd expectedE = corrected.cwiseInverse().asDiagonal();
  EXPECT_TRUE(estimator.correctedInverse.isApprox(expectedE, kTight));
  EXPECT_LT(estimator.correctedInverse(1, 1), 0.0);

  // The forgetting-only sums stay as initialised.
  EXPECT_EQ(estimator.squaredWeightRowSum, Eigen::MatrixXd::Identity(3, 3) * 0.01);
  EXPECT_EQ(estimator.correctedSquaredSum, Eigen::MatrixXd::Zero(2, 2));

  // Rows given without their equation count as one equation: D = s·E.
  EXPECT_TRUE(d.isApprox(1.06 * expectedE, kTight));
  EXPECT_EQ(d, estimator.covariance);
}

TEST(CovarianceEstimator, FirstUpdateWithForgetting) {
  const HandCase hand;
  const double lambda = 0.5;
  CovarianceProbe estimator;
  estimator.initialize(2, lambda);
  estimator.update(hand.theta, hand.p, hand.h, hand.c);

  // k = 1: N₁ = N₂ = 1, so σ² = a/b.
  const double sigma2 = hand.a / hand.b;
  EXPECT_NEAR(estimator.covarianceScale, sigma2 * 6.0 * hand.b, kTight);
  Eigen::Matrix3d outer;
  outer << 1.0, 0.0, 2.0,  //
      0.0, 0.0, 0.0,       //
      2.0, 0.0, 4.0;
  const Eigen::Matrix3d expectedA = lambda * 0.01 * Eigen::Matrix3d::Identity() + outer;
  const Eigen::Matrix3d expectedB = lambda * lambda * 0.01 * Eigen::Matrix3d::Identity() + outer;
  EXPECT_TRUE(estimator.weightedRowSum.isApprox(Eigen::MatrixXd(expectedA), kTight));
  EXPECT_TRUE(estimator.squaredWeightRowSum.isApprox(Eigen::MatrixXd(expectedB), kTight));
  // C̄ belongs to the other variant.
  EXPECT_EQ(estimator.meanRowCovariance, Eigen::MatrixXd::Identity(3, 3));

  const Eigen::Matrix2d cnn = hand.c.topLeftCorner(2, 2);
  const Eigen::Matrix2d e = (expectedA.topLeftCorner<2, 2>() - sigma2 * cnn).inverse();
  const Eigen::Matrix2d f = expectedB.topLeftCorner<2, 2>() - sigma2 * cnn;
  EXPECT_TRUE(estimator.correctedInverse.isApprox(Eigen::MatrixXd(e), kTight));
  EXPECT_TRUE(estimator.correctedSquaredSum.isApprox(Eigen::MatrixXd(f), kTight));
  const Eigen::Matrix2d sandwich = (2.5 * e) * f * e;
  EXPECT_TRUE(estimator.computeCovariance().isApprox(Eigen::MatrixXd(sandwich), kTight));
}

TEST(CovarianceEstimator, SecondUpdateWithForgettingWeighsTheEffectiveRowCount) {
  // θ = 0 keeps the numbers plain: z = (0, 0, −1), a = 1/P(2, 2) = 1, b = C(2, 2) = 3.
  const HandCase hand;
  const double lambda = 0.5;
  CovarianceProbe estimator;
  estimator.initialize(2, lambda);
  const Eigen::VectorXd zero = Eigen::VectorXd::Zero(2);
  estimator.update(zero, hand.p, hand.h, hand.c);
  estimator.update(zero, hand.p, hand.h, hand.c);
  // k = 2: N₁ = (1 − λ²)/(1 − λ) = 1.5, σ² = a/b/N₁; s = σ²·1·b = 1/1.5.
  EXPECT_NEAR(estimator.covarianceScale, 1.0 / 1.5, kTight);
  // N₂ = (1 − λ⁴)/(1 − λ²) = 1.25; F = B_nn − N₂·σ²·C_nn with B = λ²·B₁ + hᵀ·h.
  const double sigma2 = 1.0 / 3.0 / 1.5;
  Eigen::Matrix2d outer;
  outer << 1.0, 0.0, 0.0, 0.0;
  const Eigen::Matrix2d b1 = 0.25 * 0.01 * Eigen::Matrix2d::Identity() + outer;
  const Eigen::Matrix2d b2 = 0.25 * b1 + outer;
  const Eigen::Matrix2d expectedF =
      b2 - 1.25 * sigma2 * Eigen::Matrix2d(hand.c.topLeftCorner(2, 2));
  EXPECT_TRUE(estimator.correctedSquaredSum.isApprox(Eigen::MatrixXd(expectedF), kTight))
      << estimator.correctedSquaredSum;
}

TEST(CovarianceEstimator, ScaleIsTheMeanSquaredResidualPerRow) {
  // θ = 0: every row's residual is −h[2] = −2, so s = (0.01 + k·4)/k (the prior information
  // 0.01 included); the inverse information P is not needed.
  const HandCase hand;
  CovarianceProbe estimator;
  estimator.initialize(2, 1.0);
  const Eigen::VectorXd zero = Eigen::VectorXd::Zero(2);
  estimator.update(zero, Eigen::MatrixXd::Zero(3, 3), hand.h, hand.c);
  EXPECT_NEAR(estimator.covarianceScale, 4.01, kTight);
  estimator.update(zero, Eigen::MatrixXd::Zero(3, 3), hand.h, hand.c);
  EXPECT_NEAR(estimator.covarianceScale, 8.01 / 2.0, kTight);
}

TEST(CovarianceEstimator, ZeroRowVarianceGivesNonFiniteCovarianceWithoutFailing) {
  // Only with forgetting: without, b is taken from the mean covariance, which keeps its
  // initial identity.
  const HandCase hand;
  for (const double lambda : {0.9}) {
    CovarianceProbe estimator;
    estimator.initialize(2, lambda);
    const Eigen::MatrixXd zeroC = Eigen::MatrixXd::Zero(3, 3);
    ASSERT_NO_THROW(estimator.update(hand.theta, hand.p, hand.h, zeroC));
    EXPECT_EQ(estimator.sampleCount, 1);
    EXPECT_FALSE(std::isfinite(estimator.covarianceScale));
    EXPECT_FALSE(estimator.computeCovariance().allFinite());
  }
  CovarianceProbe estimator;
  estimator.initialize(2, 1.0);
  estimator.update(hand.theta, hand.p, hand.h, Eigen::MatrixXd::Zero(3, 3));
  // C̄ = (I + 0)/2, not 0.
  EXPECT_EQ(estimator.meanRowCovariance, Eigen::MatrixXd::Identity(3, 3) * 0.5);
  EXPECT_TRUE(std::isfinite(estimator.covarianceScale));
}

TEST(CovarianceEstimator, SingularInformationPropagatesWithoutFailing) {
  // The forgetting variant reads a through P⁻¹.
  const HandCase hand;
  CovarianceProbe estimator;
  estimator.initialize(2, 0.9);
  ASSERT_NO_THROW(estimator.update(hand.theta, Eigen::MatrixXd::Zero(3, 3), hand.h, hand.c));
  EXPECT_FALSE(std::isfinite(estimator.covarianceScale));
}

TEST(CovarianceEstimator, SeventeenEntryRowsMatchTheLiteralRecursion) {
  // The estimator's 17-entry rows take a fixed-size path with its own kernels; it must agree
  // with a literal transcription (explicit inverses by Eigen) up to rounding.
  std::srand(17);
  const int n = 16;
  CovarianceProbe estimator;
  estimator.initialize(n, 1.0);
  Eigen::MatrixXd a = Eigen::MatrixXd::Identity(n + 1, n + 1) / 100.0;
  Eigen::MatrixXd meanC = Eigen::MatrixXd::Identity(n + 1, n + 1);
  Eigen::MatrixXd e;
  double s = 0.0;
  for (int k = 1; k <= 40; ++k) {
    const Eigen::VectorXd theta = Eigen::VectorXd::Random(n);
    const Eigen::MatrixXd r = Eigen::MatrixXd::Random(n + 1, n + 1);
    const Eigen::MatrixXd p = r * r.transpose() + Eigen::MatrixXd::Identity(n + 1, n + 1);
    const Eigen::RowVectorXd h = Eigen::RowVectorXd::Random(n + 1);
    const Eigen::MatrixXd q = Eigen::MatrixXd::Random(n + 1, 4);
    const Eigen::MatrixXd c = 0.1 * q * q.transpose();
    estimator.update(theta, p, h, c);

    Eigen::VectorXd z(n + 1);
    z << theta, -1.0;
    z /= std::sqrt(1.0 + theta.squaredNorm());
    meanC = (k * meanC + c) / (k + 1.0);
    a = a + h.transpose() * h;
    const double av = z.dot(a * z);
    const double bv = z.dot(meanC * z);
    const double sigma2 = av / bv / k;
    s = sigma2 * (1.0 + theta.squaredNorm()) * bv;
    e = (a.topLeftCorner(n, n) - (sigma2 * k) * meanC.topLeftCorner(n, n)).inverse();
  }
  const Eigen::MatrixXd d = estimator.computeCovariance();
  EXPECT_NEAR(estimator.covarianceScale, s, 1e-9 * std::abs(s));
  EXPECT_TRUE(estimator.weightedRowSum.isApprox(a, 1e-12));
  EXPECT_TRUE(estimator.correctedInverse.isApprox(e, 1e-8));
  EXPECT_TRUE(d.isApprox(s * e, 1e-8));
}

/// A linear model with two equations per sample: y₀ = x·θ + e₀ and y₁ = x'·θ + e₁ with noise of
/// very different size (as force and torque rows), the regressor noise-free.
struct TwoEquationProblem {
  static constexpr int kSamples = 300;
  Eigen::Vector2d theta{0.8, -1.5};
  double noise[2] = {1.0, 0.05};
  Eigen::MatrixXd x = Eigen::MatrixXd::Zero(2 * kSamples, 2);

  TwoEquationProblem() {
    std::srand(5);
    for (int i = 0; i < kSamples; ++i) {
      x.row(2 * i) = Eigen::RowVector2d::Random() + Eigen::RowVector2d(1.0, 0.0);
      x.row(2 * i + 1) = Eigen::RowVector2d::Random() + Eigen::RowVector2d(0.0, 1.0);
    }
  }
  /// Measurements of one noise draw.
  Eigen::VectorXd measure(unsigned seed) const {
    std::srand(seed);
    Eigen::VectorXd y = x * theta;
    for (int r = 0; r < y.size(); ++r) {
      // Sum of uniforms: zero mean, variance 1.
      double u = 0.0;
      for (int j = 0; j < 12; ++j) {
        u += static_cast<double>(std::rand()) / RAND_MAX;
      }
      y[r] += noise[r % 2] * (u - 6.0);
    }
    return y;
  }
  /// Error covariance of a row of equation g: noise on the measurement entry only.
  Eigen::MatrixXd rowCovariance(int g) const {
    Eigen::MatrixXd c = Eigen::MatrixXd::Zero(3, 3);
    c(2, 2) = noise[g] * noise[g];
    return c;
  }
};

/// The unweighted least-squares estimate of one draw and the covariance the estimator reports
/// for it, fed every row with its equation.
void fitAndReport(const TwoEquationProblem& problem, const Eigen::VectorXd& y, bool withEquations,
                  Eigen::Vector2d& estimate, Eigen::Matrix2d& reported) {
  estimate = (problem.x.transpose() * problem.x).ldlt().solve(problem.x.transpose() * y);
  CovarianceEstimator estimator;
  estimator.initialize(2, 1.0);
  const Eigen::MatrixXd unused = Eigen::MatrixXd::Identity(3, 3);
  for (int r = 0; r < y.size(); ++r) {
    Eigen::RowVectorXd h(3);
    h << problem.x.row(r), y[r];  // h·[θ; −1] = x·θ − y
    if (withEquations) {
      estimator.update(estimate, unused, h, problem.rowCovariance(r % 2), r % 2);
    } else {
      estimator.update(estimate, unused, h, problem.rowCovariance(r % 2));
    }
  }
  reported = estimator.computeCovariance();
}

TEST(CovarianceEstimator, ReportedCovarianceMatchesTheSpreadOverNoiseDraws) {
  // Over 400 draws the estimates' spread must match the reported standard deviations (within
  // the sampling error of the spread, about 4 %): rows of unequal noise need the per-equation
  // sandwich; pooling them into one scale misreports both parameters several times over.
  const TwoEquationProblem problem;
  const int draws = 400;
  Eigen::Vector2d sum = Eigen::Vector2d::Zero();
  Eigen::Vector2d sumSquares = Eigen::Vector2d::Zero();
  Eigen::Vector2d reportedVariance = Eigen::Vector2d::Zero();
  Eigen::Vector2d pooledVariance = Eigen::Vector2d::Zero();
  for (int k = 0; k < draws; ++k) {
    const Eigen::VectorXd y = problem.measure(1000U + static_cast<unsigned>(k));
    Eigen::Vector2d estimate;
    Eigen::Matrix2d reported;
    Eigen::Matrix2d pooled;
    fitAndReport(problem, y, true, estimate, reported);
    fitAndReport(problem, y, false, estimate, pooled);
    const Eigen::Vector2d error = estimate - problem.theta;
    sum += error;
    sumSquares += error.cwiseAbs2();
    reportedVariance += reported.diagonal() / draws;
    pooledVariance += pooled.diagonal() / draws;
  }
  const Eigen::Vector2d spread = sumSquares / draws - (sum / draws).cwiseAbs2();
  for (int i = 0; i < 2; ++i) {
    const double ratio = std::sqrt(spread[i] / reportedVariance[i]);
    EXPECT_GT(ratio, 0.88) << "parameter " << i;
    EXPECT_LT(ratio, 1.12) << "parameter " << i;
    const double pooledRatio = std::sqrt(spread[i] / pooledVariance[i]);
    EXPECT_TRUE(pooledRatio < 0.8 || pooledRatio > 1.25) << "parameter " << i;
  }
}

TEST(CovarianceEstimator, OneEquationGivesTheLeastSquaresCovariance) {
  // Equal noise σ on every row and a noise-free regressor: the reported covariance is
  // σ²·(XᵀX)⁻¹ up to the difference between the sample and the true noise variance.
  TwoEquationProblem problem;
  problem.noise[0] = problem.noise[1] = 0.2;
  const Eigen::VectorXd y = problem.measure(77U);
  Eigen::Vector2d estimate;
  Eigen::Matrix2d reported;
  fitAndReport(problem, y, true, estimate, reported);
  const Eigen::Matrix2d expected = 0.04 * (problem.x.transpose() * problem.x).inverse();
  EXPECT_TRUE(reported.isApprox(expected, 0.12)) << reported << "\nvs\n" << expected;
}

}  // namespace
}  // namespace vorn
