#include "estimation/EstimationTool.hpp"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "support/EstimatorTestSupport.hpp"
#include "support/ScopedEnvironment.hpp"

namespace vorn {
namespace {

using test::ConfigText;
using test::StdoutCapture;
using test::TempDir;

PayloadEstimatorConfig loadConfig(const ConfigText& text) {
  TempDir dir;
  StdoutCapture quiet;
  return PayloadEstimatorConfig(text.writeTo(dir.file("estimator.json")));
}

// A moving sample that certainly changes the estimate.
DynamicsStamped movingSample() {
  const KinematicsStamped kinematics(0.5, Eigen::Vector3d(1.0, -2.0, 9.0),
                                     Eigen::Vector3d(0.3, 0.2, -0.1),
                                     Eigen::Vector3d(2.0, -1.0, 0.5));
  const WrenchStamped wrench(0.5, Eigen::Vector3d(-1.0, 3.0, -13.0),
                             Eigen::Vector3d(0.2, 0.1, -0.05));
  return DynamicsStamped(kinematics, wrench);
}

TEST(EstimationTool, WithoutEstimatorUpdateWarnsEveryTimeAndGettersAnswerZerosSilently) {
  EstimationTool tool(loadConfig(ConfigText()));
  StdoutCapture out;
  EXPECT_FALSE(tool.update(movingSample()));
  EXPECT_FALSE(tool.update(movingSample()));
  const std::string warning =
      "Warning: EstimationTool::update() called without initialized algorithm\n";
  EXPECT_EQ(out.text(), warning + warning);

  out.clear();
  EXPECT_TRUE(tool.getInertia().isZero(0.0));
  EXPECT_TRUE(tool.getPreviousInertia().isZero(0.0));
  EXPECT_TRUE(tool.getInertiaCovariance().isZero(0.0));
  EXPECT_TRUE(tool.getWrenchBiasCovariance().isZero(0.0));
  const DynamicsStamped bias = tool.getEstimatedBias();
  EXPECT_EQ(bias.stamp(), 0.0);
  EXPECT_TRUE(bias.force().isZero(0.0));
  EXPECT_TRUE(bias.torque().isZero(0.0));
  EXPECT_EQ(out.text(), "");
}

TEST(EstimationTool, InitWithoutConfigurationOnlyWarns) {
  EstimationTool tool;
  StdoutCapture out;
  tool.init();
  EXPECT_EQ(out.text(), "Warning: EstimationTool::init() called without config\n");
  EXPECT_FALSE(tool.update(movingSample()));
}

TEST(EstimationTool, PriorConvertsTheCentreOfMassToFirstMoments) {
  const EstimationTool tool(loadConfig(ConfigText()
                                           .set("prior_payload_properties.mass", "2.0")
                                           .set("prior_payload_properties.com.x", "0.1")
                                           .set("prior_payload_properties.com.y", "0")
                                           .set("prior_payload_properties.com.z", "-0.05")
                                           .set("prior_payload_properties.inertia.Ixy", "0.007")));
  Eigen::Matrix<double, 10, 1> expected;
  expected << 2.0, 0.2, 0.0, -0.1, 0.01, 0.007, 0.0, 0.02, 0.0, 0.03;
  EXPECT_EQ(tool.loadPrior(), expected);
}

TEST(EstimationTool, NoiseVectorFollowsTheJacobianOrderNotTheFileOrder) {
  const EstimationTool tool(loadConfig(ConfigText()
                                           .setNoise("force", "1")
                                           .setNoise("torque", "2")
                                           .setNoise("linear_acc", "3")
                                           .setNoise("angular_vel", "4")
                                           .setNoise("angular_acc", "5")
                                           .set("measurement_noise_covariance.force.z", "1.5")));
  Eigen::Matrix<double, 15, 1> expected;
  expected << 3, 3, 3, 4, 4, 4, 5, 5, 5, 1, 1, 1.5, 2, 2, 2;
  EXPECT_EQ(tool.loadSensorCov(), expected);
}

TEST(EstimationTool, InitStartsFromThePriorAndASecondInitDiscardsTheEstimate) {
  EstimationTool tool(loadConfig(ConfigText()));
  StdoutCapture out;
  tool.init();
  EXPECT_TRUE(test::contains(out.text(), "Estimation tool has been initialized"));
  Eigen::Matrix<double, 10, 1> prior;
  prior << 1.5, 0.01, -0.02, 0.05, 0.01, 0.0, 0.0, 0.02, 0.0, 0.03;
  EXPECT_TRUE(tool.getInertia().isApprox(prior, 1e-12));

  EXPECT_TRUE(tool.update(movingSample()));
  EXPECT_FALSE(tool.getInertia().isApprox(prior, 1e-6));
  tool.init();
  EXPECT_TRUE(tool.getInertia().isApprox(prior, 1e-12));
}

TEST(EstimationTool, SetConfigTakesEffectOnlyAtTheNextInit) {
  EstimationTool tool(loadConfig(ConfigText()));
  StdoutCapture quiet;
  tool.init();
  tool.setConfig(loadConfig(ConfigText().set("prior_payload_properties.mass", "4")));
  EXPECT_EQ(tool.getInertia()[0], 1.5);
  tool.init();
  EXPECT_EQ(tool.getInertia()[0], 4.0);
}

}  // namespace
}  // namespace vorn

namespace vorn {
namespace {

TEST(EstimationTool, SnapshotReadOutsAgreeWithTheFullCovariancesAndCountTheData) {
  EstimationTool tool(loadConfig(ConfigText()));
  StdoutCapture quiet;
  tool.init();
  const KinematicsStamped second(0.502, Eigen::Vector3d(-3.0, 1.0, 8.5),
                                 Eigen::Vector3d(-0.2, 0.4, 0.3), Eigen::Vector3d(-1.0, 2.0, 1.5));
  const WrenchStamped wrench(0.502, Eigen::Vector3d(2.0, -1.0, -12.0),
                             Eigen::Vector3d(-0.1, 0.3, 0.02));
  // The clock restarting (0.1 after 0.502) adds nothing to the data time.
  const KinematicsStamped restarted(0.1, Eigen::Vector3d(0.5, 0.5, 9.7),
                                    Eigen::Vector3d(0.1, -0.1, 0.2),
                                    Eigen::Vector3d(0.3, 0.2, -1.0));
  for (const DynamicsStamped& sample :
       {movingSample(), DynamicsStamped(second, wrench), DynamicsStamped(restarted, wrench)}) {
    tool.update(sample);
    const Eigen::Matrix<double, 16, 1> variances = tool.getSolutionVariances();
    const Eigen::Matrix<double, 10, 10> inertia = tool.getInertiaCovariance();
    const Eigen::Matrix<double, 6, 6> bias = tool.getWrenchBiasCovariance();
    for (int i = 0; i < 10; ++i) {
      EXPECT_NEAR(variances[i], inertia(i, i), 1e-12 * std::abs(inertia(i, i)) + 1e-300) << i;
    }
    for (int i = 0; i < 6; ++i) {
      EXPECT_NEAR(variances[10 + i], bias(i, i), 1e-12 * std::abs(bias(i, i))) << i;
    }
    EXPECT_EQ(tool.getFixedParameterCovariance()(15, 15), bias(5, 5));
  }
  EXPECT_EQ(tool.absorbedSamples(), 3);
  EXPECT_NEAR(tool.absorbedDataSeconds(), 0.002, 1e-12);
  tool.init();
  EXPECT_EQ(tool.absorbedSamples(), 0);
  EXPECT_EQ(tool.absorbedDataSeconds(), 0.0);
}

}  // namespace
}  // namespace vorn

namespace vorn {
namespace {

using test::ScopedEnvironment;

TEST(EstimationTool, RowWeightingFollowsTheEnvironmentOnlyForZeroAndOne) {
  const char* name = EstimationTool::kRowWeightingVariable;
  const bool fallback = EstimationAlgorithm::kRowWeightingByDefault;
  {
    ScopedEnvironment env(name, nullptr);
    EXPECT_EQ(EstimationTool::rowWeightingFromEnvironment(), fallback);
  }
  {
    ScopedEnvironment env(name, "1");
    EXPECT_TRUE(EstimationTool::rowWeightingFromEnvironment());
  }
  {
    ScopedEnvironment env(name, "0");
    EXPECT_FALSE(EstimationTool::rowWeightingFromEnvironment());
  }
  for (const char* other : {"", "on", "true", "10", " 1"}) {
    ScopedEnvironment env(name, other);
    EXPECT_EQ(EstimationTool::rowWeightingFromEnvironment(), fallback) << "'" << other << "'";
  }
}

}  // namespace
}  // namespace vorn
