#include "estimation/InertiaEstimator.hpp"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "support/EstimatorTestSupport.hpp"

namespace vorn {
namespace {

using test::ConfigText;
using test::CoutCapture;
using test::swingSample;
using test::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

enum Series {
  LinAccRaw,
  AngVelRaw,
  ForceRaw,
  TorqueRaw,
  LinAccFiltered,
  AngVelFiltered,
  AngAcc,
  Kinematics,
  Wrenches
};

PayloadEstimatorConfig loadConfig(const ConfigText& text) {
  TempDir dir;
  CoutCapture quiet;
  return PayloadEstimatorConfig(text.writeTo(dir.file("estimator.json")));
}

// An estimator configured and initialised from `text`, with its console output swallowed.
struct Fixture {
  explicit Fixture(const ConfigText& text = ConfigText()) : config(loadConfig(text)), est(config) {
    CoutCapture quiet;
    est.setConfig(config);
  }

  // One sensor sample through the pipeline, as the facade passes it.
  void feed(double stamp, const std::array<double, 12>& s) {
    est.setCalibratedImu(Vec3dStamped(stamp, Eigen::Vector3d(s[6], s[7], s[8])),
                         Vec3dStamped(stamp, Eigen::Vector3d(s[9], s[10], s[11])));
    est.setCalibratedWrench(Vec3dStamped(stamp, Eigen::Vector3d(s[0], s[1], s[2])),
                            Vec3dStamped(stamp, Eigen::Vector3d(s[3], s[4], s[5])));
  }

  PayloadEstimatorConfig config;
  InertiaEstimator est;
};

TEST(InertiaEstimator, FirstKinematicsRecordNeedsTwoImuSamplesAndDynamicsNeedKinematics) {
  Fixture f;
  f.feed(1.000, swingSample(1.000));
  auto sizes = f.est.seriesSizes();
  EXPECT_EQ(sizes[LinAccFiltered], 1u);
  EXPECT_EQ(sizes[AngVelFiltered], 1u);
  EXPECT_EQ(sizes[AngAcc], 0u);
  EXPECT_EQ(sizes[Kinematics], 0u);
  EXPECT_EQ(sizes[Wrenches], 1u);  // the wrench is stored but cannot be synchronised yet
  EXPECT_FALSE(f.est.hasNewDynamics());

  f.feed(1.001, swingSample(1.001));
  sizes = f.est.seriesSizes();
  EXPECT_EQ(sizes[AngAcc], 1u);
  EXPECT_EQ(sizes[Kinematics], 1u);
  ASSERT_TRUE(f.est.hasNewDynamics());
  // The first angular acceleration after a start is zero (the filter's first use).
  EXPECT_TRUE(f.est.getLatestDynamics().angAcc().isZero(0.0));
  EXPECT_EQ(f.est.getLatestDynamics().stamp(), 1.001);
}

TEST(InertiaEstimator, DuplicateImuStampIsDroppedButItsWrenchIsKept) {
  Fixture f;
  f.feed(2.0, swingSample(2.0));
  f.feed(2.0 + 0.9e-5, swingSample(2.1));  // later, within tolerance
  f.feed(2.0 - 0.9e-5, swingSample(2.2));  // earlier, within tolerance
  const auto sizes = f.est.seriesSizes();
  EXPECT_EQ(sizes[LinAccRaw], 1u);
  EXPECT_EQ(sizes[AngVelRaw], 1u);
  EXPECT_EQ(sizes[ForceRaw], 3u);
  EXPECT_EQ(sizes[Wrenches], 3u);
}

TEST(InertiaEstimator, UpdateFeedsEachSynchronisedRecordExactlyOnce) {
  Fixture f;
  CoutCapture quiet;
  const Eigen::VectorXd prior = f.est.getParamsSolution();

  // Nothing synchronised yet: the estimate stays the prior (no all-zero record is fed).
  EXPECT_TRUE(f.est.update());
  EXPECT_EQ(f.est.getParamsSolution(), prior);

  f.feed(1.0, swingSample(1.0));
  f.feed(1.001, swingSample(1.001));
  ASSERT_TRUE(f.est.hasNewDynamics());
  f.est.update();
  EXPECT_FALSE(f.est.hasNewDynamics());
  const Eigen::VectorXd afterOne = f.est.getParamsSolution();
  EXPECT_NE(afterOne, prior);

  // The same record is not offered twice.
  f.est.update();
  EXPECT_EQ(f.est.getParamsSolution(), afterOne);
}

TEST(InertiaEstimator, ReinitialisationForgetsTheLastRecordAndRestartsTheFilters) {
  Fixture f;
  CoutCapture quiet;
  for (int i = 0; i < 20; ++i) {
    f.feed(1.0 + 0.001 * i, swingSample(1.0 + 0.001 * i));
    f.est.update();
  }
  f.est.setConfig(f.config);
  EXPECT_FALSE(f.est.hasNewDynamics());
  EXPECT_EQ(f.est.getLatestDynamics().stamp(), 0.0);
  for (const auto size : f.est.seriesSizes()) {
    EXPECT_EQ(size, 0u);
  }
  const Eigen::VectorXd prior = f.est.getParamsSolution();
  f.est.update();
  EXPECT_EQ(f.est.getParamsSolution(), prior);

  // A fresh EMA filter: the first angular acceleration of the new run is zero, not the jump
  // from the previous run's angular velocity.
  std::array<double, 12> still = swingSample(5.0);
  still[9] = 0.0;
  still[10] = 0.0;
  still[11] = 0.0;
  f.feed(5.0, still);
  f.feed(5.001, still);
  ASSERT_TRUE(f.est.hasNewDynamics());
  EXPECT_TRUE(f.est.getLatestDynamics().angAcc().isZero(0.0));
}

TEST(InertiaEstimator, SolutionHoldsInertiaThenBiasAndVariancesFollowTheSameOrder) {
  Fixture f;
  const Eigen::VectorXd solution = f.est.getParamsSolution();
  ASSERT_EQ(solution.size(), 16);
  Eigen::VectorXd expected(16);
  expected << 1.5, 0.01, -0.02, 0.05, 0.01, 0.0, 0.0, 0.02, 0.0, 0.03, 0, 0, 0, 0, 0, 0;
  EXPECT_TRUE(solution.isApprox(expected, 1e-12)) << solution.transpose();

  // Right after initialisation the parameter covariance is all ones: the mass, inertia and
  // bias variances are 1 and the centre-of-mass ones follow (1 - c)/m.
  const Eigen::VectorXd variances = f.est.getParamsSolutionCovariance();
  ASSERT_EQ(variances.size(), 16);
  EXPECT_DOUBLE_EQ(variances[0], 1.0);
  EXPECT_NEAR(variances[1], std::pow(0.99 / 1.5, 2), 1e-12);
  EXPECT_NEAR(variances[2], std::pow(1.02 / 1.5, 2), 1e-12);
  EXPECT_NEAR(variances[3], std::pow(0.95 / 1.5, 2), 1e-12);
  for (int i = 4; i < 16; ++i) {
    EXPECT_DOUBLE_EQ(variances[i], 1.0) << i;
  }
  EXPECT_EQ(f.est.getStdDevInertialParameters().size(), 10);
  EXPECT_EQ(f.est.getStdDevWrenchBias().size(), 6);
}

// The premise of the facade's stop test: a run's estimate meets thresholds that the fresh
// estimate (standard deviations near 1) does not.
TEST(InertiaEstimator, AMovingRunMeetsThresholdsThatThePriorMisses) {
  Fixture f(ConfigText().setThresholds("0.5"));
  CoutCapture quiet;
  EXPECT_FALSE(f.est.isConverged());
  for (int i = 0; i < 1000; ++i) {
    const double t = 1.0 + 0.001 * i;
    f.feed(t, swingSample(t));
    f.est.update();
  }
  EXPECT_TRUE(f.est.isConverged());
  f.est.setConfig(f.config);
  EXPECT_FALSE(f.est.isConverged());
}

TEST(InertiaEstimator, NeverConvergedBeforeConfiguration) {
  const PayloadEstimatorConfig config = loadConfig(ConfigText());
  const InertiaEstimator est(config);
  EXPECT_FALSE(est.isConverged());
}

TEST(InertiaEstimator, ConvergenceNeedsAFiniteSolution) {
  // Loose thresholds: the prior alone passes the covariance test.
  Fixture regular;
  EXPECT_TRUE(regular.est.isConverged());

  // A zero prior mass makes the centre of mass 0/0 and its variances non-finite.
  Fixture massless(ConfigText().set("prior_payload_properties.mass", "0"));
  EXPECT_FALSE(massless.est.getParamsSolution().allFinite());
  EXPECT_FALSE(massless.est.isConverged());
}

struct ThresholdCase {
  std::string name;
  int index;        // diagonal entry: 0..9 inertia covariance, 10..15 bias covariance
  double variance;  // its value; every other variance is 0.0001 (standard deviation 0.01)
  bool converged;
};

void PrintTo(const ThresholdCase& c, std::ostream* os) { *os << c.name; }

class ConvergenceThresholds : public ::testing::TestWithParam<ThresholdCase> {};

// Thresholds: mass 0.5, com 0.25, inertia 2, bias 4 (exact squares of the variances used).
TEST_P(ConvergenceThresholds, ComparesStandardDeviationsStrictly) {
  Fixture f(ConfigText()
                .set("estimation_covariance_convergence_threshold.mass", "0.5")
                .set("estimation_covariance_convergence_threshold.com", "0.25")
                .set("estimation_covariance_convergence_threshold.inertia", "2")
                .set("estimation_covariance_convergence_threshold.wrench_bias", "4"));
  Eigen::Matrix<double, 10, 10> inertia = Eigen::Matrix<double, 10, 10>::Identity() * 1e-4;
  Eigen::Matrix<double, 6, 6> bias = Eigen::Matrix<double, 6, 6>::Identity() * 1e-4;
  const ThresholdCase& c = GetParam();
  if (c.index < 10) {
    inertia(c.index, c.index) = c.variance;
  } else {
    bias(c.index - 10, c.index - 10) = c.variance;
  }
  EXPECT_EQ(f.est.covarianceWithinThresholds(inertia, bias), c.converged);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, ConvergenceThresholds,
    ::testing::Values(
        ThresholdCase{"AllSmall", 0, 1e-4, true}, ThresholdCase{"MassJustBelow", 0, 0.2499, true},
        ThresholdCase{"MassEqual", 0, 0.25, false}, ThresholdCase{"ComEqual", 3, 0.0625, false},
        ThresholdCase{"ComBelow", 2, 0.06, true}, ThresholdCase{"InertiaEqual", 9, 4.0, false},
        ThresholdCase{"InertiaBelow", 4, 3.99, true}, ThresholdCase{"BiasEqual", 15, 16.0, false},
        ThresholdCase{"BiasAbove", 10, 20.0, false},
        ThresholdCase{"NegativeVarianceCountsAsZero", 5, -3.0, true},
        ThresholdCase{"NaNVarianceFails", 1, kNaN, false},
        ThresholdCase{"InfiniteVarianceFails", 12, kInf, false},
        ThresholdCase{"NegativeInfiniteVarianceFails", 7, -kInf, false}),
    [](const auto& info) { return info.param.name; });

TEST(InertiaEstimator, OutOfOrderStampsAreRefusedAndAClockResetRestartsTheSeries) {
  Fixture f;
  CoutCapture out;
  for (int i = 0; i < 20; ++i) {
    const double t = 10.0 + 0.001 * i;
    ASSERT_TRUE(f.est.admitSample(t));
    f.feed(t, swingSample(t));
    f.est.update();
  }
  out.clear();
  const double newest = 10.019;
  EXPECT_TRUE(f.est.admitSample(newest + 0.001));
  EXPECT_TRUE(f.est.admitSample(newest - 0.9e-5));  // a duplicate: handled by the pipeline
  EXPECT_FALSE(f.est.admitSample(newest - 2e-5));
  EXPECT_FALSE(f.est.admitSample(newest - 0.999));
  EXPECT_EQ(out.text(), "");

  const Eigen::VectorXd estimate = f.est.getParamsSolution();
  EXPECT_TRUE(f.est.admitSample(newest - 2.5));
  EXPECT_TRUE(test::contains(out.text(),
                             "[\033[38;2;255;127;0mvrn\033[0m_\033[38;2;255;255;0mWARN"
                             "\033[0m] Sample time stamp jumped back by 2.500000 "
                             "seconds"));
  for (const auto size : f.est.seriesSizes()) {
    EXPECT_EQ(size, 0u);
  }
  EXPECT_FALSE(f.est.hasNewDynamics());
  EXPECT_EQ(f.est.getParamsSolution(), estimate);
  // The restarted series accept the new time line.
  f.feed(newest - 2.5, swingSample(0.0));
  f.feed(newest - 2.499, swingSample(0.001));
  EXPECT_TRUE(f.est.hasNewDynamics());
}

// The counter is process-wide: these tests need a process of their own (CTest gives each test
// one).
TEST(InertiaEstimatorSampleCount, SeriesGrowUntilTheTenthRecordThenStayShort) {
  if (InertiaEstimator::sampleCount() != 0) {
    GTEST_SKIP() << "needs a process of its own";
  }
  Fixture f;
  CoutCapture quiet;
  int synchronised = 0;
  std::uint32_t largestAfterShrinking = 0;
  for (int i = 0; i < 300; ++i) {
    const double t = 1.0 + 0.001 * i;
    f.feed(t, swingSample(t));
    if (f.est.hasNewDynamics()) {
      ++synchronised;
      f.est.update();
    }
    const auto sizes = f.est.seriesSizes();
    if (synchronised <= 9) {
      EXPECT_EQ(sizes[LinAccRaw], static_cast<std::uint32_t>(i + 1));
    } else if (synchronised > 11) {  // the first shrink only places the marks
      for (const auto size : sizes) {
        largestAfterShrinking = std::max(largestAfterShrinking, size);
      }
    }
  }
  EXPECT_EQ(InertiaEstimator::sampleCount(), synchronised);
  EXPECT_GT(synchronised, 250);
  EXPECT_LE(largestAfterShrinking, 8u);
}

TEST(InertiaEstimatorSampleCount, ASecondEstimatorShrinksFromItsFirstRecord) {
  if (InertiaEstimator::sampleCount() != 0) {
    GTEST_SKIP() << "needs a process of its own";
  }
  {
    Fixture first;
    for (int i = 0; i < 12; ++i) {
      first.feed(1.0 + 0.001 * i, swingSample(0.001 * i));
    }
  }
  ASSERT_GE(InertiaEstimator::sampleCount(), 10);
  Fixture second;
  for (int i = 0; i < 40; ++i) {
    second.feed(1.0 + 0.001 * i, swingSample(0.001 * i));
    EXPECT_LE(second.est.seriesSizes()[LinAccRaw], 8u) << i;
  }
}

}  // namespace
}  // namespace vorn
