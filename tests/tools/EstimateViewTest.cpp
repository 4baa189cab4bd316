// What vorn-payload shows of the estimator's snapshot: the reason a run was held back, the live
// view's lines and the --json text.

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "commands/EstimateCommand.hpp"
#include "console/ProgressDisplay.hpp"

namespace vorn::tools {
namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

PayloadEstimate thinTool() {
  PayloadEstimate e;
  e.state = EstimationRunState::Running;
  e.dataSeconds = 4.0;
  e.samplesAbsorbed = 1000;
  e.solution[0] = 0.4;
  e.mass = {1e-3, 5e-3, 0.2, 0, true};
  e.centerOfMass = {2e-4, 2e-3, 0.1, 3, true};
  e.inertia = {3e-4, 1e-2, 0.03, 9, true};
  e.wrenchBias = {4e-3, 5e-2, 0.08, 12, true};
  e.residual = {1.1, 3.0, true, true};
  e.physicalConsistency = {{1.5e-3, 1.7e-3, 4.0e-3}, false};
  e.blocking = ConvergenceCondition::PhysicalConsistency;
  return e;
}

TEST(EstimateView, TheReasonNamesTheBlockingConditionAndByHowMuch) {
  PayloadEstimate e = thinTool();
  const std::string consistency = ProgressDisplay::blockingReason(e);
  EXPECT_TRUE(has(consistency, "physical consistency: all standard deviations are below"))
      << consistency;
  EXPECT_TRUE(has(consistency, "1.5e-03, 1.7e-03, 4.0e-03 kg m^2")) << consistency;

  e.blocking = ConvergenceCondition::InertiaStdDev;
  e.inertia = {2.5e-2, 1e-2, 2.5, 9, false};
  const std::string inertia = ProgressDisplay::blockingReason(e);
  EXPECT_TRUE(has(inertia,
                  "the inertia's standard deviation: Izz has σ 2.5e-02 kg m^2, 2.50 "
                  "times its threshold of 0.01 kg m^2"))
      << inertia;

  e.blocking = ConvergenceCondition::WrenchBiasStdDev;
  e.wrenchBias = {0.2, 0.05, 4.0, 14, false};
  EXPECT_TRUE(has(ProgressDisplay::blockingReason(e), "Ty has σ 2.0e-01 N m, 4.00 times"));

  e.blocking = ConvergenceCondition::Residual;
  e.residual = {4.25, 3.0, true, false};
  EXPECT_TRUE(has(ProgressDisplay::blockingReason(e),
                  "fit the estimate to 4.25 times the configured noise, above the limit of 3"));

  e.blocking = ConvergenceCondition::MinimumTime;
  e.runTime = {2.5, 15.0, 60.0, false};
  EXPECT_TRUE(
      has(ProgressDisplay::blockingReason(e), "only 2.50 s of run time passed of the 15 s"));

  e.blocking = ConvergenceCondition::None;
  EXPECT_EQ(ProgressDisplay::blockingReason(e), "");
}

TEST(EstimateView, LiveLinesShowEachGroupWithItsBarAndTheGates) {
  PayloadEstimate e = thinTool();
  e.centerOfMass = {1e-3, 5e-4, 2.0, 2, false};
  const auto lines = ProgressDisplay::liveLines(e);
  ASSERT_EQ(lines.size(), 7U);
  EXPECT_TRUE(has(lines[1], "[####################] ok")) << lines[1];
  // Twice the threshold: half the bar, and the ratio instead of "ok".
  EXPECT_TRUE(has(lines[2], "[##########..........] 2.00x")) << lines[2];
  EXPECT_TRUE(has(lines[2], "(cy ) of 5.0e-04 m")) << lines[2];
  EXPECT_TRUE(has(lines[5], "physically consistent no")) << lines[5];
}

TEST(EstimateView, JsonHoldsTheFinalSnapshotAndTheTrajectoryWithoutNaN) {
  PayloadEstimate e = thinTool();
  e.stdDev[4] = std::numeric_limits<double>::quiet_NaN();
  e.inertia.worstRatio = std::numeric_limits<double>::infinity();
  std::snprintf(e.hint.text.data(), e.hint.text.size(), "rotate about z");
  const nlohmann::json json = nlohmann::json::parse(EstimateCommand::snapshotsJson(e, {e, e}));
  EXPECT_EQ(json["final"]["blocking"], "physical_consistency");
  EXPECT_EQ(json["final"]["state"], "running");
  EXPECT_TRUE(json["final"]["std_dev"][4].is_null());
  EXPECT_TRUE(json["final"]["inertia"]["worst_ratio"].is_null());
  EXPECT_EQ(json["final"]["hint"]["text"], "rotate about z");
  EXPECT_EQ(json["trajectory"].size(), 2U);
  EXPECT_EQ(json["solution_order"][9], "Izz");
}

}  // namespace
}  // namespace vorn::tools
