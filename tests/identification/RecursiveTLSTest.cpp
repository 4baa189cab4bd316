// The recursive TLS estimator: initial state, banner, per-equation step, NaN guard, read-outs,
// progress line, and agreement with a literal transcription of its recursions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <Eigen/Core>

#include "identification/EstimationAlgorithm.hpp"
#include "identification/LiteralRecursiveTls.hpp"
#include "identification/PayloadSamples.hpp"
#include "identification/RecursiveTLSWrenchBias.hpp"
#include "support/LogLines.hpp"
#include "support/StdoutCapture.hpp"

namespace vorn {
namespace {

using vorn::test::PayloadTruth;
using vorn::test::SensorNoise;
using vorn::test::StdoutCapture;

constexpr char kNaNMessage[] =
    "[FATAL ERROR] parameterVector already has NaN at start of updateParameterVector!";
constexpr char kProgressMessage[] = "[ESTIMATOR] Estimating, keep moving the payload...";

/// Exposes the estimator's state. Runs the plain recursion the literal reference writes out:
/// rows at their units, every column in the power-iteration metric.
class EstimatorProbe : public RecursiveTLSWrenchBias {
 public:
  EstimatorProbe() {
    setWrenchNoiseWeighting(false);
    setInertiaHoldout(false);
  }
  using EstimationAlgorithm::augmentedSize;
  using EstimationAlgorithm::forgettingFactor;
  using EstimationAlgorithm::inverseInformation;
  using EstimationAlgorithm::measurementNoise;
  using EstimationAlgorithm::parameterCount;
  using EstimationAlgorithm::parameterCovariance;
  using EstimationAlgorithm::parameterVector;
  using EstimationAlgorithm::previousParameterVector;
};

std::string infoLine(const std::string& message) { return vorn::test::logLine("INFO", message); }

std::string progressLine() { return vorn::test::logLine("INFO_RUNTIME", kProgressMessage); }

std::size_t countOf(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + piece.size())) {
    ++count;
  }
  return count;
}

Eigen::VectorXd tenEntryPrior() {
  Eigen::VectorXd prior(10);
  prior << 1.0, 0.1, 0.2, 0.3, 0.01, 0.0, 0.0, 0.02, 0.0, 0.03;
  return prior;
}

Eigen::Matrix<double, 15, 1> realisticNoise() {
  return SensorNoise::variances(0.02, 0.003, 0.2, 0.05, 0.003);
}

/// Initialises quietly (the banner is checked on its own).
void initializeQuietly(EstimationAlgorithm& algorithm, const Eigen::VectorXd& prior,
                       const Eigen::Matrix<double, 15, 1>& noise, double lambda) {
  StdoutCapture quiet;
  algorithm.initialize(prior, noise, lambda);
}

std::vector<DynamicsStamped> noisySamples(int count, unsigned seed) {
  return vorn::test::generateSamples(PayloadTruth(), SensorNoise{0.02, 0.003, 0.2, 0.05, 0.003},
                                        count, 500.0, seed);
}

bool sameIncludingNaN(const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (Eigen::Index i = 0; i < a.size(); ++i) {
    if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) {
      return false;
    }
  }
  return true;
}

TEST(RecursiveTLSWrenchBias, CreateMakesTheWrenchBiasEstimator) {
  std::unique_ptr<EstimationAlgorithm> algorithm(EstimationAlgorithm::create());
  ASSERT_NE(dynamic_cast<RecursiveTLSWrenchBias*>(algorithm.get()), nullptr);
  EXPECT_EQ(algorithm->getNumberOfEstimatedParameters(), 16);
  const EstimatorProbe fresh;
  EXPECT_EQ(fresh.parameterCount, 16);
  EXPECT_EQ(fresh.augmentedSize, 17);
  EXPECT_EQ(fresh.forgettingFactor, 1.0);
  EXPECT_EQ(fresh.parameterVector.size(), 0);
}

TEST(RecursiveTLSWrenchBias, UpdateBeforeInitializeIsRefused) {
  EstimatorProbe algorithm;
  StdoutCapture capture;
  EXPECT_FALSE(algorithm.update(noisySamples(1, 1U).front()));
  EXPECT_EQ(algorithm.parameterVector.size(), 0);
  EXPECT_EQ(capture.text(), "");
}

TEST(RecursiveTLSWrenchBias, InitialStateFromATenEntryPrior) {
  EstimatorProbe algorithm;
  const Eigen::Matrix<double, 15, 1> noise = realisticNoise();
  initializeQuietly(algorithm, tenEntryPrior(), noise, 0.98);

  Eigen::VectorXd expected = Eigen::VectorXd::Zero(16);
  expected.head(10) = tenEntryPrior();
  EXPECT_EQ(algorithm.parameterVector, expected);
  EXPECT_EQ(algorithm.previousParameterVector, expected);
  EXPECT_EQ(algorithm.parameterCovariance, Eigen::MatrixXd::Ones(16, 16));
  EXPECT_EQ(algorithm.inverseInformation, 100.0 * Eigen::MatrixXd::Identity(17, 17));
  EXPECT_EQ(algorithm.measurementNoise, noise);
  EXPECT_EQ(algorithm.forgettingFactor, 0.98);
  EXPECT_EQ(algorithm.parameterCount, 16);
  EXPECT_EQ(algorithm.augmentedSize, 17);
}

TEST(RecursiveTLSWrenchBias, InitializeRestartsFromThePrior) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  StdoutCapture quiet;
  for (const DynamicsStamped& sample : noisySamples(20, 2U)) {
    algorithm.update(sample);
  }
  ASSERT_NE(algorithm.inverseInformation, 100.0 * Eigen::MatrixXd::Identity(17, 17));
  Eigen::VectorXd full(16);
  full << tenEntryPrior(), 0.5, -0.5, 1.0, 0.01, 0.02, 0.03;
  algorithm.initialize(full, realisticNoise(), 1.0);
  EXPECT_EQ(algorithm.parameterVector, full);
  EXPECT_EQ(algorithm.previousParameterVector, full);
  EXPECT_EQ(algorithm.parameterCovariance, Eigen::MatrixXd::Ones(16, 16));
  EXPECT_EQ(algorithm.inverseInformation, 100.0 * Eigen::MatrixXd::Identity(17, 17));
}

TEST(RecursiveTLSWrenchBias, BannerShowsPriorAndNoiseInItsOwnOrder) {
  Eigen::VectorXd prior(16);
  prior << 0.5, 0.05, -0.1, 0.15, 0.011, -0.0012, 0.0013, 0.014, 0.0015, 0.016, 1.25, -2.5, 3.75,
      0.125, -0.25, 0.375;
  Eigen::Matrix<double, 15, 1> noise;
  for (int i = 0; i < 15; ++i) {
    noise[i] = 0.001 * (i + 1);  // index i prints as 0.00(i+1)
  }
  std::unique_ptr<EstimationAlgorithm> algorithm(EstimationAlgorithm::create());
  StdoutCapture capture;
  algorithm->initialize(prior, noise, 1.0);

  const std::string expected =
      infoLine(std::string(88, '=')) + infoLine("[ESTIMATOR ALGORITHM] Payload prior set to:") +
      infoLine("  Mass: 0.500000") +  //
      infoLine("  CoM: [0.050000, -0.100000, 0.150000]") +
      infoLine("  Inertia: [0.011000, -0.001200, 0.001300, 0.014000, 0.001500, 0.016000]") +
      infoLine("  Force bias: [1.250000, -2.500000, 3.750000]") +
      infoLine("  Torque bias: [0.125000, -0.250000, 0.375000]") + infoLine(std::string(89, '-')) +
      infoLine("[ESTIMATOR ALGORITHM] Measurement noise covariance set to:") +
      infoLine("  Force: [0.010000, 0.011000, 0.012000]") +
      infoLine("  Torque: [0.013000, 0.014000, 0.015000]") +
      infoLine("  Lin acc: [0.001000, 0.002000, 0.003000]") +
      infoLine("  Ang vel: [0.004000, 0.005000, 0.006000]") +
      infoLine("  Ang acc: [0.007000, 0.008000, 0.009000]") + infoLine(std::string(88, '='));
  EXPECT_EQ(capture.text(), expected);
  // The banner formats through std::to_string and leaves the stream's formatting alone.
  EXPECT_EQ(std::cout.flags() & std::ios_base::floatfield, std::ios_base::fmtflags{});
  EXPECT_EQ(std::cout.precision(), 6);
}

TEST(RecursiveTLSWrenchBias, BannerOfATenEntryPriorShowsZeroBias) {
  std::unique_ptr<EstimationAlgorithm> algorithm(EstimationAlgorithm::create());
  StdoutCapture capture;
  algorithm->initialize(tenEntryPrior(), Eigen::Matrix<double, 15, 1>::Constant(0.01), 1.0);
  const std::string text = capture.text();
  EXPECT_NE(text.find(infoLine("  Mass: 1.000000")), std::string::npos);
  EXPECT_NE(text.find(infoLine("  CoM: [0.100000, 0.200000, 0.300000]")), std::string::npos);
  EXPECT_NE(text.find(infoLine("  Force bias: [0.000000, 0.000000, 0.000000]")), std::string::npos);
  EXPECT_NE(text.find(infoLine("  Torque bias: [0.000000, 0.000000, 0.000000]")),
            std::string::npos);
  EXPECT_NE(text.find(infoLine("  Force: [0.010000, 0.010000, 0.010000]")), std::string::npos);
}

struct LiteralCase {
  double lambda;
  int samples;
};

class MatchesLiteralRecursion : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(MatchesLiteralRecursion, SameEstimateInformationAndCovariance) {
  const double lambda = GetParam().lambda;
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), lambda);
  vorn::test::LiteralRecursiveTls literal(tenEntryPrior(), realisticNoise(), lambda);
  StdoutCapture quiet;
  for (const DynamicsStamped& sample : noisySamples(GetParam().samples, 3U)) {
    ASSERT_TRUE(algorithm.update(sample));
    literal.update(sample);
  }
  EXPECT_TRUE(algorithm.parameterVector.isApprox(literal.theta, 1e-9))
      << (algorithm.parameterVector - literal.theta).transpose();
  EXPECT_TRUE(algorithm.previousParameterVector.isApprox(literal.previous, 1e-9));
  EXPECT_TRUE(algorithm.inverseInformation.isApprox(literal.p, 1e-9));
  EXPECT_TRUE(algorithm.parameterCovariance.isApprox(literal.sigma, 1e-6))
      << (algorithm.parameterCovariance - literal.sigma).cwiseAbs().maxCoeff() << " vs "
      << literal.sigma.cwiseAbs().maxCoeff();
}

INSTANTIATE_TEST_SUITE_P(ForgettingFactors, MatchesLiteralRecursion,
                         // 240 samples at 500 Hz stay within the first residual window, before
                         // the rows are whitened or the inertia is released.
                         ::testing::Values(LiteralCase{1.0, 240}, LiteralCase{0.999, 400},
                                           LiteralCase{0.99, 100}));

TEST(RecursiveTLSWrenchBias, NaNInTheEstimateStopsTheSampleBeforeAnyChange) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  algorithm.parameterVector[3] = std::numeric_limits<double>::quiet_NaN();
  const Eigen::VectorXd theta = algorithm.parameterVector;
  const Eigen::MatrixXd p = algorithm.inverseInformation;

  StdoutCapture quiet;
  try {
    algorithm.update(noisySamples(1, 4U).front());
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), kNaNMessage);
  }
  EXPECT_EQ(algorithm.inverseInformation, p);
  EXPECT_TRUE(sameIncludingNaN(algorithm.parameterVector, theta));
  EXPECT_TRUE(sameIncludingNaN(algorithm.previousParameterVector, theta));
  EXPECT_EQ(algorithm.parameterCovariance, Eigen::MatrixXd::Zero(16, 16));

  // The per-equation step refuses on its own as well.
  EXPECT_THROW(algorithm.updateParameterVector(Eigen::RowVectorXd::Ones(17),
                                               Eigen::MatrixXd::Identity(17, 17)),
               std::runtime_error);
  EXPECT_EQ(algorithm.inverseInformation, p);
}

TEST(RecursiveTLSWrenchBias, NaNArisingWithinASampleKeepsTheEarlierEquations) {
  // With zero noise every row covariance is zero: the first equation's power step divides 0 by
  // 0, and the second equation finds the NaN. Nothing of the first equation is rolled back.
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), Eigen::Matrix<double, 15, 1>::Zero(), 1.0);
  Eigen::VectorXd prior = Eigen::VectorXd::Zero(16);
  prior.head(10) = tenEntryPrior();

  StdoutCapture quiet;
  try {
    algorithm.update(noisySamples(1, 5U).front());
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), kNaNMessage);
  }
  EXPECT_TRUE(algorithm.parameterVector.array().isNaN().all());
  EXPECT_EQ(algorithm.previousParameterVector, prior);
  EXPECT_NE(algorithm.inverseInformation, 100.0 * Eigen::MatrixXd::Identity(17, 17));
  EXPECT_TRUE(algorithm.inverseInformation.allFinite());
  // The sample's covariance is formed after its last equation, which was not reached.
  EXPECT_EQ(algorithm.parameterCovariance, Eigen::MatrixXd::Zero(16, 16));
}

TEST(RecursiveTLSWrenchBias, ZeroRowLeavesInformationAndTakesOnePowerStep) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  Eigen::MatrixXd c = Eigen::MatrixXd::Identity(17, 17);
  c(16, 16) = 4.0;
  c(0, 16) = c(16, 0) = 0.5;
  Eigen::VectorXd z(17);
  z << algorithm.parameterVector, -1.0;
  const Eigen::VectorXd y = 100.0 * (c * z);

  algorithm.updateParameterVector(Eigen::RowVectorXd::Zero(17), c);
  EXPECT_EQ(algorithm.inverseInformation, 100.0 * Eigen::MatrixXd::Identity(17, 17));
  EXPECT_TRUE(algorithm.parameterVector.isApprox(-y.head(16) / y[16], 1e-15));
}

TEST(RecursiveTLSWrenchBias, NearSingularDenominatorSkipsTheEquation) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  algorithm.inverseInformation = -Eigen::MatrixXd::Identity(17, 17);  // 1 + h·P·hᵀ = 0
  const Eigen::VectorXd theta = algorithm.parameterVector;
  Eigen::RowVectorXd h = Eigen::RowVectorXd::Zero(17);
  h[0] = 1.0;
  algorithm.updateParameterVector(h, Eigen::MatrixXd::Identity(17, 17));
  EXPECT_EQ(algorithm.inverseInformation, -Eigen::MatrixXd::Identity(17, 17));
  EXPECT_EQ(algorithm.parameterVector, theta);
}

class PerEquationStep : public ::testing::TestWithParam<double> {};

TEST_P(PerEquationStep, AnySizeFollowsTheRecursion) {
  // The 17-entry rows take a fixed-size path; other sizes the general one. Both must follow
  // the recursion: here a two-parameter problem against the formulas written out.
  const double lambda = GetParam();
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), lambda);
  for (const int n : {2, 16}) {
    const int m = n + 1;
    std::srand(static_cast<unsigned>(n));
    const Eigen::MatrixXd r = Eigen::MatrixXd::Random(m, m);
    const Eigen::MatrixXd p0 = r * r.transpose() + Eigen::MatrixXd::Identity(m, m);
    const Eigen::MatrixXd q = Eigen::MatrixXd::Random(m, m);
    const Eigen::MatrixXd c = q * q.transpose();
    Eigen::RowVectorXd h = Eigen::RowVectorXd::Random(m);
    h[0] = 0.0;  // a zero entry, as the data rows have many
    const Eigen::VectorXd theta0 = Eigen::VectorXd::Random(n);
    algorithm.inverseInformation = p0;
    algorithm.parameterVector = theta0;

    algorithm.updateParameterVector(h, c);

    const Eigen::MatrixXd identity = Eigen::MatrixXd::Identity(m, m);
    const double hph = (h * p0 * h.transpose())(0, 0);
    const bool forgetting = lambda <= 0.999999;
    const Eigen::VectorXd k = p0 * h.transpose() / ((forgetting ? lambda : 1.0) + hph);
    Eigen::MatrixXd p1 = (identity - k * h) * p0;
    if (forgetting) {
      p1 /= lambda;
    }
    Eigen::VectorXd z(m);
    z << theta0, -1.0;
    const Eigen::VectorXd y = p1 * (c * z);
    EXPECT_TRUE(algorithm.inverseInformation.isApprox(p1, 1e-13)) << "n = " << n;
    EXPECT_TRUE(algorithm.parameterVector.isApprox(-y.head(n) / y[n], 1e-12)) << "n = " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(ForgettingFactors, PerEquationStep, ::testing::Values(1.0, 0.5));

TEST(RecursiveTLSWrenchBias, PreviousEstimateIsTheOneBeforeTheLatestSample) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  StdoutCapture quiet;
  const std::vector<DynamicsStamped> samples = noisySamples(3, 6U);
  algorithm.update(samples[0]);
  algorithm.update(samples[1]);
  const Eigen::VectorXd before = algorithm.parameterVector;
  const Eigen::Matrix<double, 10, 1> inertiaBefore = algorithm.getInertia();
  algorithm.update(samples[2]);
  EXPECT_EQ(algorithm.previousParameterVector, before);
  EXPECT_EQ(algorithm.getPreviousInertia(), inertiaBefore);
  EXPECT_NE(algorithm.parameterVector, before);
}

// --- read-out -----------------------------------------------------------------------------

TEST(RecursiveTLSWrenchBias, ReadOutWithUnitScalesIsTheState) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  StdoutCapture quiet;
  for (const DynamicsStamped& sample : noisySamples(10, 7U)) {
    algorithm.update(sample);
  }
  EXPECT_EQ(algorithm.getParameterVector(), algorithm.parameterVector);
  EXPECT_EQ(algorithm.getParameterCovariance(), algorithm.parameterCovariance);
}

TEST(RecursiveTLSWrenchBias, InertiaReadOutDividesFirstMomentsByMass) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  algorithm.parameterVector.head(10) << 2.0, 0.2, 0.0, -0.4, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0;
  algorithm.previousParameterVector.head(4) << 4.0, 0.4, 0.8, 1.2;
  Eigen::Matrix<double, 10, 1> expected;
  expected << 2.0, 0.1, 0.0, -0.2, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0;
  EXPECT_EQ(algorithm.getInertia(), expected);
  EXPECT_EQ(algorithm.getPreviousInertia().head<4>(), Eigen::Vector4d(4.0, 0.1, 0.2, 0.3));

  algorithm.parameterVector[0] = 0.0;
  EXPECT_FALSE(algorithm.getInertia().segment<3>(1).allFinite());
  EXPECT_FALSE(algorithm.getInertiaCovariance().allFinite());
}

TEST(RecursiveTLSWrenchBias, InertiaCovarianceIsTheFirstOrderPropagation) {
  // Compare with the Jacobian of (m, h, I) ↦ (m, h/m, I) taken by central differences.
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  algorithm.parameterVector.head(10) << 1.7, 0.05, -0.12, 0.2, 0.01, 0.001, -0.002, 0.02, 0.003,
      0.03;
  std::srand(5);
  const Eigen::MatrixXd r = Eigen::MatrixXd::Random(16, 16);
  algorithm.parameterCovariance = r * r.transpose();

  const Eigen::Matrix<double, 10, 1> x = algorithm.parameterVector.head(10);
  auto readOut = [](const Eigen::Matrix<double, 10, 1>& v) {
    Eigen::Matrix<double, 10, 1> out = v;
    out.segment<3>(1) /= v[0];
    return out;
  };
  Eigen::Matrix<double, 10, 10> g;
  const double step = 1e-6;
  for (int j = 0; j < 10; ++j) {
    Eigen::Matrix<double, 10, 1> plus = x;
    Eigen::Matrix<double, 10, 1> minus = x;
    plus[j] += step;
    minus[j] -= step;
    g.col(j) = (readOut(plus) - readOut(minus)) / (2.0 * step);
  }
  const Eigen::Matrix<double, 10, 10> sigma = algorithm.parameterCovariance.topLeftCorner(10, 10);
  const Eigen::Matrix<double, 10, 10> expected = g * sigma * g.transpose();
  EXPECT_TRUE(algorithm.getInertiaCovariance().isApprox(expected, 1e-8));
}

TEST(RecursiveTLSWrenchBias, CovarianceReadOutsRightAfterInitialize) {
  EstimatorProbe algorithm;
  Eigen::VectorXd prior = tenEntryPrior();
  prior[0] = 1.0;
  initializeQuietly(algorithm, prior, realisticNoise(), 1.0);
  EXPECT_EQ(algorithm.getWrenchBiasCovariance(), (Eigen::Matrix<double, 6, 6>::Ones()));
  // G·1·Gᵀ: the rows of the centre of mass are (−h_i/m² + 1/m)·(1, …, 1) for unit mass.
  Eigen::Matrix<double, 10, 1> rowSums = Eigen::Matrix<double, 10, 1>::Ones();
  rowSums.segment<3>(1) = Eigen::Vector3d::Ones() - prior.segment<3>(1);
  const Eigen::Matrix<double, 10, 10> expected = rowSums * rowSums.transpose();
  EXPECT_TRUE(algorithm.getInertiaCovariance().isApprox(expected, 1e-15));
}

TEST(RecursiveTLSWrenchBias, WrenchBiasCovarianceIsTheBottomRightBlock) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      algorithm.parameterCovariance(i, j) = 100.0 * i + j;
    }
  }
  const Eigen::Matrix<double, 6, 6> expected =
      algorithm.parameterCovariance.bottomRightCorner(6, 6);
  EXPECT_EQ(algorithm.getWrenchBiasCovariance(), expected);
}

TEST(RecursiveTLSWrenchBias, EstimatedBiasIsARecordAtStampZero) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  const DynamicsStamped initial = algorithm.getEstimatedBias();
  EXPECT_EQ(initial.stamp(), 0.0);
  EXPECT_EQ(initial.force(), Eigen::Vector3d::Zero());
  EXPECT_EQ(initial.torque(), Eigen::Vector3d::Zero());

  algorithm.parameterVector.tail(6) << 1.0, 2.0, 3.0, 4.0, 5.0, 6.0;
  const DynamicsStamped bias = algorithm.getEstimatedBias();
  EXPECT_EQ(bias.force(), Eigen::Vector3d(1.0, 2.0, 3.0));
  EXPECT_EQ(bias.torque(), Eigen::Vector3d(4.0, 5.0, 6.0));
  EXPECT_EQ(bias.linAcc(), Eigen::Vector3d::Zero());
  EXPECT_EQ(bias.stamp(), 0.0);
}

TEST(RecursiveTLSWrenchBias, BiasVarianceIsNotProvided) {
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  StdoutCapture capture;
  for (int call = 0; call < 2; ++call) {
    const DynamicsStamped variance = algorithm.getBiasVariance();
    EXPECT_EQ(variance.force(), Eigen::Vector3d::Zero());
    EXPECT_EQ(variance.torque(), Eigen::Vector3d::Zero());
    EXPECT_EQ(variance.stamp(), 0.0);
  }
  EXPECT_EQ(capture.text(),
            "RecursiveTLSWrenchBias Bias Variance not implemented!\n"
            "RecursiveTLSWrenchBias Bias Variance not implemented!\n");
}

// --- progress line ------------------------------------------------------------------------
// The time point of the last progress line is shared by the whole process. CTest runs every
// test in its own process; the checks of the very first sample only apply there.

std::atomic<bool> estimatorSampleSeen{false};

class ProgressLine : public ::testing::Test {
 protected:
  static bool firstSampleOfProcess() { return !estimatorSampleSeen.exchange(true); }
};

TEST_F(ProgressLine, AtMostOncePerSecondAndNeverOnTheFirstSample) {
  const bool fresh = firstSampleOfProcess();
  EstimatorProbe algorithm;
  initializeQuietly(algorithm, tenEntryPrior(), realisticNoise(), 1.0);
  const std::vector<DynamicsStamped> samples = noisySamples(6, 8U);
  {
    StdoutCapture capture;
    EXPECT_TRUE(algorithm.update(samples[0]));
    if (fresh) {
      EXPECT_EQ(capture.text(), "") << "no progress line on the first sample of the process";
    }
    const std::string before = capture.text();
    EXPECT_TRUE(algorithm.update(samples[1]));
    EXPECT_EQ(capture.text(), before) << "a second line within the same second";
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  StdoutCapture capture;
  EXPECT_TRUE(algorithm.update(samples[2]));
  EXPECT_EQ(capture.text(), progressLine());
  // The line switches the stream to fixed notation with four decimals, for good.
  EXPECT_EQ(std::cout.flags() & std::ios_base::floatfield, std::ios_base::fixed);
  EXPECT_EQ(std::cout.precision(), 4);
  std::cout << 1.5 << ' ' << 2.0 / 3.0 << '\n';
  EXPECT_EQ(capture.text(), progressLine() + "1.5000 0.6667\n");
  EXPECT_TRUE(algorithm.update(samples[3]));
  EXPECT_EQ(countOf(capture.text(), kProgressMessage), 1U);
}

TEST_F(ProgressLine, SharedByConcurrentEstimatorsWithoutRace) {
  firstSampleOfProcess();
  // Two estimators fed from two threads for about 2.4 s: one shared time point allows at most
  // three lines in total (a time point per estimator would allow about twice as many).
  const std::vector<DynamicsStamped> samples = noisySamples(64, 9U);
  std::unique_ptr<EstimationAlgorithm> first(EstimationAlgorithm::create());
  std::unique_ptr<EstimationAlgorithm> second(EstimationAlgorithm::create());
  initializeQuietly(*first, tenEntryPrior(), realisticNoise(), 1.0);
  initializeQuietly(*second, tenEntryPrior(), realisticNoise(), 1.0);

  vorn::test::InterleavingBuffer buffer;
  {
    vorn::test::CoutRedirect redirect(&buffer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2400);
    auto feed = [&](EstimationAlgorithm& algorithm) {
      std::size_t next = 0;
      while (std::chrono::steady_clock::now() < deadline) {
        algorithm.update(samples[next]);
        next = (next + 1) % samples.size();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    };
    std::thread a(feed, std::ref(*first));
    std::thread b(feed, std::ref(*second));
    a.join();
    b.join();
  }
  const std::size_t lines = countOf(buffer.str(), kProgressMessage);
  EXPECT_GE(lines, 1U);
  EXPECT_LE(lines, 3U);
  EXPECT_EQ(countOf(buffer.str(), "\n"), lines) << "every line complete";
}

}  // namespace
}  // namespace vorn
