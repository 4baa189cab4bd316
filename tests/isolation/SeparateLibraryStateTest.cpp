// Both shared libraries in one host process, next to a statically linked copy of the core: each
// copy keeps its own process-wide state, because nothing of the core is exported or interposed.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include <vorn/VornPayloadCompensator.hpp>
#include <vorn/VornPayloadEstimator.hpp>

#include "data/DynamicsStamped.hpp"
#include "identification/EstimationAlgorithm.hpp"
#include "support/EstimatorTestSupport.hpp"

namespace {

using vorn::test::ConfigText;
using vorn::test::StdoutCapture;
using vorn::test::TempDir;
using vorn::test::readFile;

constexpr const char* kProgressLine = "[ESTIMATOR] Estimating, keep moving the payload...";

TEST(SeparateLibraryState, ProgressClockOfTheEstimatorLibraryIsItsOwn) {
  // The host's own copy of the core starts its progress clock here...
  StdoutCapture hostCapture;
  std::unique_ptr<vorn::EstimationAlgorithm> hostAlgorithm(vorn::EstimationAlgorithm::create());
  Eigen::VectorXd prior = Eigen::VectorXd::Zero(10);
  prior[0] = 1.0;
  hostAlgorithm->initialize(prior, Eigen::Matrix<double, 15, 1>::Constant(0.01), 1.0);
  hostAlgorithm->update(vorn::DynamicsStamped());
  hostCapture.clear();

  // ... and more than a second later the library's first samples are the first its copy of the
  // core has seen: they must not print a progress line. A shared clock would print one at once.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  TempDir dir;
  const std::string config = ConfigText().set("max_time", "100").writeTo(dir.file("est.json"));
  StdoutCapture capture;
  vorn::VornPayloadEstimator estimator(config);
  ASSERT_TRUE(estimator.startPayloadEstimation());
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(estimator.update(0.001 * i, vorn::test::swingSample(0.001 * i)), 0);
  }
  EXPECT_EQ(capture.text().find(kProgressLine), std::string::npos) << capture.text();

  // The host's copy, fed again, is past its second and prints.
  hostAlgorithm->update(vorn::DynamicsStamped());
  EXPECT_NE(capture.text().find(kProgressLine), std::string::npos);
}

TEST(SeparateLibraryState, EstimatorAndCompensatorWorkSideBySide) {
  TempDir dir;
  const std::string config = ConfigText().writeTo(dir.file("est.json"));
  StdoutCapture capture;
  vorn::VornPayloadEstimator estimator(config);
  ASSERT_TRUE(estimator.startPayloadEstimation());
  // With the loose default thresholds the run converges once half a second of swing is explained
  // by a physically consistent estimate, and writes payload.json beside the config.
  for (int i = 0; i < 3000 && estimator.isEstimatorRunning(); ++i) {
    estimator.update(0.001 * i, vorn::test::swingSample(0.001 * i));
  }
  ASSERT_TRUE(estimator.isEstimationSuccessful()) << capture.text();
  vorn::VornPayloadCompensator compensator(dir.file("payload.json"));
  std::array<double, 12> in = vorn::test::swingSample(0.5);
  std::array<double, 12> out{};
  EXPECT_EQ(compensator.update(0.5, in, out), 0);
  for (double value : out) {
    EXPECT_TRUE(std::isfinite(value));
  }
}

}  // namespace
