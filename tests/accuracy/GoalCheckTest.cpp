// The goals a group of benchmark runs is held to: each limit is met at its edge and missed just
// beyond it, with the group's figure, and only the goals a group has runs for are judged.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "GoalCheck.hpp"

namespace vorn::accuracy {
namespace {

/// A group exactly at every limit.
GoalCheck::Group atTheLimits(bool brisk) {
  GoalCheck::Group g;
  g.name = "brisk 1000Hz x1 box";
  g.briskAtOneKilohertz = brisk;
  GroupSummary& s = g.summary;
  s.runs = 10;
  s.converged = 9;
  s.feasible = 10;
  s.feasibleConverged = 9;
  s.medianSeconds = 2.0;
  s.medianTimeRatio = 1.5;
  s.withinThreeSigmaPercent = 95.0;
  s.rmsMass = 0.7;
  s.rmsCom = 1.4;
  s.rmsInertia = 1.0;
  s.rmsBias = 1.0;
  s.medianEfficiency = {1.5, 1.5, 2.0, 2.0};
  return g;
}

std::vector<std::string> figures(const std::vector<GoalCheck::Miss>& misses) {
  std::vector<std::string> out;
  for (const auto& m : misses) {
    out.push_back(GoalCheck::goals()[m.goal] + ": " + m.figure);
  }
  return out;
}

TEST(GoalCheck, EveryLimitIsMetAtItsEdgeAndMissedJustBeyondWithTheGroupsFigure) {
  EXPECT_TRUE(GoalCheck::misses(atTheLimits(true)).empty());

  GoalCheck::Group g = atTheLimits(true);
  GroupSummary& s = g.summary;
  s.feasibleConverged = 8;
  s.medianTimeRatio = 1.51;
  s.medianSeconds = 2.1;
  s.withinThreeSigmaPercent = 94.0;
  s.rmsCom = 1.41;
  s.rmsBias = 0.69;
  s.medianEfficiency = {1.0, 1.51, 2.01, 1.0};
  const std::vector<std::string>& goal = GoalCheck::goals();
  EXPECT_EQ(figures(GoalCheck::misses(g)),
            (std::vector<std::string>{goal[0] + ": 8/10", goal[1] + ": 1.51", goal[2] + ": 2.1 s",
                                      goal[3] + ": 94 %", goal[4] + ": c 1.41, b 0.69",
                                      goal[5] + ": c 1.51, I 2.01"}));

  // The 2 s median is for brisk motion at 1 kHz with typical noise only.
  GoalCheck::Group other = atTheLimits(false);
  other.summary.medianSeconds = 30.0;
  EXPECT_TRUE(GoalCheck::misses(other).empty());
}

TEST(GoalCheck, GroupsAreJudgedOnlyOnWhatTheirRunsShow) {
  // No run feasible and none converged: nothing to judge but the brisk median, which fails.
  GoalCheck::Group none = atTheLimits(true);
  none.summary = GroupSummary{};
  none.summary.runs = 4;
  none.summary.rmsMass = 0.0;  // no converged run: the zero figures are not misses
  EXPECT_EQ(figures(GoalCheck::misses(none)),
            (std::vector<std::string>{GoalCheck::goals()[2] + ": none converged"}));

  GoalCheck::Group missing = atTheLimits(false);
  missing.name = "slow 100Hz x3 box";
  missing.summary.feasibleConverged = 5;
  std::ostringstream out;
  GoalCheck::print(out, {atTheLimits(true), missing, none});
  const std::string text = out.str();
  // Feasible runs converged: judged in the two groups with feasible runs, one misses.
  EXPECT_NE(text.find("feasible runs converged >= 90 %            1 of   2\n"
                      "      slow 100Hz x3 box (10 runs): 5/10\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("brisk 1 kHz x1: median time <= 2 s         1 of   2\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("rms error/std in 0.7-1.4 (m, c, I, b)      2 of   2\n"), std::string::npos)
      << text;
}

}  // namespace
}  // namespace vorn::accuracy
