// EMA filter and differentiator.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include <Eigen/Core>

#include "data/Vec3dSeries.hpp"
#include "filters/EMAFilter.hpp"
#include "support/StdoutCapture.hpp"

namespace vorn {
namespace {

using Eigen::Vector3d;
using vorn::test::StdoutCapture;

constexpr double kTol = 1e-9;

// Appends a sample and runs the filter once on the grown series.
Vec3dStamped step(EMAFilter& filter, Vec3dSeries& series, double stamp, const Vector3d& v) {
  series.emplaceBack(Vec3dStamped(stamp, v));
  return filter.filterAndDifferentiate(series);
}

TEST(EMAFilter, NeedsTwoSamples) {
  const EMAFilter filter;
  EXPECT_EQ(filter.size(), 2U);
  EXPECT_EQ(filter.timeConstant(), 0.1);
}

TEST(EMAFilter, OneSampleSeriesPrintsNotEnoughDataAndReturnsZeroAtItsStamp) {
  EMAFilter filter;
  Vec3dSeries series;
  series.emplaceBack(Vec3dStamped(4.25, Vector3d(1, 2, 3)));
  StdoutCapture capture;
  const Vec3dStamped out = filter.filterAndDifferentiate(series);
  EXPECT_EQ(capture.text(), "EMAFilter: Not enough data (need at least 2 samples)\n");
  EXPECT_EQ(out.stamp(), 4.25);
  EXPECT_EQ(out.vec(), Vector3d::Zero());
}

TEST(EMAFilter, FirstCallSeedsWithTheNewestVectorAndReturnsZero) {
  EMAFilter filter;
  Vec3dSeries series;
  series.emplaceBack(Vec3dStamped(0.0, Vector3d(9, 9, 9)));
  StdoutCapture capture;
  const Vec3dStamped first = step(filter, series, 0.1, Vector3d(2, -4, 6));
  EXPECT_EQ(first.stamp(), 0.1);
  EXPECT_EQ(first.vec(), Vector3d::Zero());
  // Seeded with the newest vector (2, -4, 6), not the previous one: a constant continuation has
  // zero derivative.
  const Vec3dStamped second = step(filter, series, 0.2, Vector3d(2, -4, 6));
  EXPECT_EQ(second.stamp(), 0.2);
  EXPECT_LT(second.vec().norm(), kTol);
  EXPECT_EQ(capture.text(), "");
}

TEST(EMAFilter, SpecExample_HalfWeightGives51015) {
  // τ = 0.1, filtered (0, 0, 0), newest (1, 2, 3), dt = 0.1: alpha = 0.5, filtered becomes
  // (0.5, 1, 1.5), result (5, 10, 15).
  EMAFilter filter;
  Vec3dSeries series;
  series.emplaceBack(Vec3dStamped(0.0, Vector3d(7, 7, 7)));
  step(filter, series, 0.1, Vector3d::Zero());  // seeds filtered = 0
  const Vec3dStamped out = step(filter, series, 0.2, Vector3d(1, 2, 3));
  EXPECT_EQ(out.stamp(), 0.2);
  EXPECT_LT((out.vec() - Vector3d(5, 10, 15)).norm(), kTol);
  // The filtered value is now (0.5, 1, 1.5): repeating it once more with dt = 0.1 moves half of
  // the remaining way, (0.25, 0.5, 0.75) per 0.1 s.
  const Vec3dStamped next = step(filter, series, 0.3, Vector3d(1, 2, 3));
  EXPECT_LT((next.vec() - Vector3d(2.5, 5, 7.5)).norm(), kTol);
}

TEST(EMAFilter, ReadsThePreviousSampleThroughAt) {
  EMAFilter filter;
  Vec3dSeries series;
  for (int i = 0; i < 6; ++i) {
    series.emplaceBack(Vec3dStamped(0.01 * i, Vector3d::Constant(i)));
  }
  series.shrink();
  ASSERT_EQ(series.oldestUsedIndex(), 5U);
  filter.filterAndDifferentiate(series);
  EXPECT_EQ(series.oldestUsedIndex(), 4U);
}

// ---------------------------------------------------------------------------------------------
// Invalid time steps

struct InvalidDtCase {
  const char* name;
  double previous;
  double newest;
  const char* message;
};

class EMAFilterInvalidDt : public ::testing::TestWithParam<InvalidDtCase> {};

TEST_P(EMAFilterInvalidDt, PrintsTheMessageReturnsZeroAndKeepsTheState) {
  const InvalidDtCase c = GetParam();
  // Initialised filter: seeded with (1, 1, 1) at stamp 1.0.
  EMAFilter filter;
  Vec3dSeries series;
  series.emplaceBack(Vec3dStamped(0.9, Vector3d::Constant(5)));
  step(filter, series, 1.0, Vector3d::Constant(1));

  Vec3dSeries bad;
  bad.emplaceBack(Vec3dStamped(c.previous, Vector3d(100, 100, 100)));
  bad.emplaceBack(Vec3dStamped(c.newest, Vector3d(-50, 20, 30)));
  {
    StdoutCapture capture;
    const Vec3dStamped out = filter.filterAndDifferentiate(bad);
    EXPECT_EQ(capture.text(), c.message);
    EXPECT_EQ(out.stamp(), c.newest);
    EXPECT_EQ(out.vec(), Vector3d::Zero());
  }
  // State untouched: the next good step continues from filtered = (1, 1, 1) with τ = 0.1:
  // dt = 0.1, alpha = 0.5, filtered -> (2, 2, 2), derivative (10, 10, 10).
  const Vec3dStamped out = step(filter, series, 1.1, Vector3d::Constant(3));
  EXPECT_LT((out.vec() - Vector3d::Constant(10)).norm(), kTol);
}

TEST_P(EMAFilterInvalidDt, DoesNotInitialiseAnUninitialisedFilter) {
  const InvalidDtCase c = GetParam();
  EMAFilter filter;
  Vec3dSeries bad;
  bad.emplaceBack(Vec3dStamped(c.previous, Vector3d(100, 100, 100)));
  bad.emplaceBack(Vec3dStamped(c.newest, Vector3d(-50, 20, 30)));
  {
    StdoutCapture capture;
    filter.filterAndDifferentiate(bad);
    EXPECT_EQ(capture.text(), c.message);
  }
  // Still uninitialised: the next good step seeds and returns zero.
  Vec3dSeries good;
  good.emplaceBack(Vec3dStamped(0.0, Vector3d::Zero()));
  const Vec3dStamped out = step(filter, good, 0.1, Vector3d(8, 8, 8));
  EXPECT_EQ(out.vec(), Vector3d::Zero());
}

INSTANTIATE_TEST_SUITE_P(
    Part2_2, EMAFilterInvalidDt,
    ::testing::Values(InvalidDtCase{"EqualStamps", 0.5, 0.5, "EMAFilter: Invalid dt=0, returning zero\n"},
                      InvalidDtCase{"Backwards", 1.0, 0.5,
                                    "EMAFilter: Invalid dt=-0.5, returning zero\n"},
                      InvalidDtCase{"BackwardsSmall", 2.0, 1.75,
                                    "EMAFilter: Invalid dt=-0.25, returning zero\n"}),
    [](const ::testing::TestParamInfo<InvalidDtCase>& info) { return std::string(info.param.name); });

TEST(EMAFilter, NaNTimeStepIsNotRejected) {
  EMAFilter filter;
  Vec3dSeries series;
  series.emplaceBack(Vec3dStamped(std::numeric_limits<double>::quiet_NaN(), Vector3d::Zero()));
  series.emplaceBack(Vec3dStamped(1.0, Vector3d(1, 2, 3)));
  StdoutCapture capture;
  const Vec3dStamped out = filter.filterAndDifferentiate(series);
  EXPECT_EQ(capture.text(), "");  // NaN passes the dt <= 0 test and seeds the filter
  EXPECT_EQ(out.stamp(), 1.0);
  EXPECT_EQ(out.vec(), Vector3d::Zero());
}

// ---------------------------------------------------------------------------------------------
// Time constant, reset, irregular steps

TEST(EMAFilter, SetTimeConstantChangesOnlyTheNextStep) {
  EMAFilter filter;
  Vec3dSeries series;
  series.emplaceBack(Vec3dStamped(0.0, Vector3d::Zero()));
  step(filter, series, 0.1, Vector3d::Zero());  // seed 0
  // τ = 0.1, dt = 0.1: alpha 1/2, filtered 0 -> 2, derivative 20.
  EXPECT_LT((step(filter, series, 0.2, Vector3d::Constant(4)).vec() - Vector3d::Constant(20)).norm(),
            kTol);
  filter.setTimeConstant(0.3);
  EXPECT_EQ(filter.timeConstant(), 0.3);
  // τ = 0.3, dt = 0.1: alpha 1/4, filtered 2 -> 2 + (6 - 2)/4 = 3, derivative 10. The filtered
  // value was not touched by setTimeConstant.
  EXPECT_LT((step(filter, series, 0.3, Vector3d::Constant(6)).vec() - Vector3d::Constant(10)).norm(),
            kTol);
}

TEST(EMAFilter, ResetForgetsTheFilteredValueButKeepsTau) {
  EMAFilter filter;
  filter.setTimeConstant(0.3);
  Vec3dSeries series;
  series.emplaceBack(Vec3dStamped(0.0, Vector3d::Zero()));
  step(filter, series, 0.1, Vector3d::Constant(50));
  step(filter, series, 0.2, Vector3d::Constant(60));
  filter.reset();
  EXPECT_EQ(filter.timeConstant(), 0.3);
  EXPECT_EQ(step(filter, series, 0.3, Vector3d::Constant(2)).vec(), Vector3d::Zero());  // seeds
  // τ = 0.3, dt = 0.1, alpha 1/4: filtered 2 -> 2 + (6 - 2)/4 = 3, derivative 10.
  EXPECT_LT((step(filter, series, 0.4, Vector3d::Constant(6)).vec() - Vector3d::Constant(10)).norm(),
            kTol);
}

// Against a first-order low-pass written out here: for irregular steps, the derivative is the
// change of the filtered value over the step, with the weight dt / (dt + τ) of that step.
TEST(EMAFilter, FollowsTheFirstOrderRecursionForIrregularSteps) {
  std::mt19937 rng(7U);
  std::uniform_real_distribution<double> dtDist(0.0005, 0.05);
  std::uniform_real_distribution<double> valueDist(-3.0, 3.0);
  constexpr int kSteps = 500;
  constexpr double kTau = 0.1;

  EMAFilter filter;
  Vec3dSeries series;
  double t = 0.0;
  series.emplaceBack(Vec3dStamped(t, Vector3d::Zero()));
  Vector3d reference = Vector3d::Zero();
  bool seeded = false;
  for (int i = 0; i < kSteps; ++i) {
    const double dt = dtDist(rng);
    t += dt;
    const Vector3d v(valueDist(rng), valueDist(rng), valueDist(rng));
    const Vec3dStamped out = step(filter, series, t, v);
    const double actualDt = series.at(series.size() - 1).stamp() - series.at(series.size() - 2).stamp();
    Vector3d expected = Vector3d::Zero();
    if (!seeded) {
      reference = v;
      seeded = true;
    } else {
      const double w = actualDt / (actualDt + kTau);
      const Vector3d next = reference + w * (v - reference);
      expected = (next - reference) / actualDt;
      reference = next;
    }
    EXPECT_EQ(out.stamp(), t);
    EXPECT_LT((out.vec() - expected).norm(), 1e-7 * (1.0 + expected.norm())) << "step " << i;
    series.shrink();
  }
}

}  // namespace
}  // namespace vorn
