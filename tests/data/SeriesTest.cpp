// Measurement series (Vec3dSeries, WrenchSeries, KinematicsSeries).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "data/KinematicsSeries.hpp"
#include "data/Vec3dSeries.hpp"
#include "data/WrenchSeries.hpp"

namespace vorn {
namespace {

using Eigen::Vector3d;

constexpr double kInterpolationTol = 1e-12;

// A series whose sample i is stamped stamps[i] and carries vectors[i].
Vec3dSeries makeSeries(const std::vector<double>& stamps, const std::vector<Vector3d>& vectors) {
  Vec3dSeries series;
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    series.emplaceBack(Vec3dStamped(stamps[i], vectors[i]));
  }
  return series;
}

// Sample i of a long series: stamped 0.1 * i, vector that identifies i uniquely.
Vec3dStamped numbered(unsigned int i) {
  return Vec3dStamped(0.1 * i, Vector3d(i, 100.0 + i, -static_cast<double>(i)));
}

Vec3dSeries numberedSeries(unsigned int count) {
  Vec3dSeries series;
  for (unsigned int i = 0; i < count; ++i) {
    series.emplaceBack(numbered(i));
  }
  return series;
}

// A fresh series has its mark at 0, and a shrink with a mark of at most 5 removes nothing and
// moves the mark to the newest index. That is the only way to raise a mark.
void markNewest(Vec3dSeries& series) {
  const uint32_t size = series.size();
  ASSERT_EQ(series.oldestUsedIndex(), 0U) << "markNewest expects a fresh mark";
  series.shrink();
  ASSERT_EQ(series.size(), size);
  ASSERT_EQ(series.oldestUsedIndex(), size - 1U);
}

// Sets the mark of a fresh series to `mark` (newest, then lowered by `at`).
void setMark(Vec3dSeries& series, uint32_t mark) {
  markNewest(series);
  series.at(mark);
  ASSERT_EQ(series.oldestUsedIndex(), mark);
}

// ---------------------------------------------------------------------------------------------
// Basic access

TEST(Vec3dSeries, NewSeriesIsEmptyWithMarkZero) {
  Vec3dSeries series;
  EXPECT_TRUE(series.empty());
  EXPECT_EQ(series.size(), 0U);
  EXPECT_EQ(series.oldestUsedIndex(), 0U);
}

TEST(Vec3dSeries, EmplaceBackKeepsInsertionOrder) {
  Vec3dSeries series = numberedSeries(4);
  EXPECT_FALSE(series.empty());
  EXPECT_EQ(series.size(), 4U);
  EXPECT_EQ(series.earliest().stamp(), numbered(0).stamp());
  EXPECT_EQ(series.earliest().vec(), numbered(0).vec());
  EXPECT_EQ(series.latest().stamp(), numbered(3).stamp());
  EXPECT_EQ(series.latest().vec(), numbered(3).vec());
  for (unsigned int i = 0; i < 4; ++i) {
    EXPECT_EQ(series.at(i).vec(), numbered(i).vec());
  }
}

TEST(Vec3dSeries, EarliestAndLatestDoNotMoveTheMark) {
  Vec3dSeries series = numberedSeries(8);
  markNewest(series);
  series.earliest();
  series.latest();
  EXPECT_EQ(series.oldestUsedIndex(), 7U);
}

TEST(Vec3dSeries, AtLowersTheMarkOnlyToASmallerIndex) {
  Vec3dSeries series = numberedSeries(10);
  markNewest(series);
  EXPECT_EQ(series.at(7).vec(), numbered(7).vec());
  EXPECT_EQ(series.oldestUsedIndex(), 7U);
  series.at(8);  // larger: the mark stays
  EXPECT_EQ(series.oldestUsedIndex(), 7U);
  series.at(7);
  EXPECT_EQ(series.oldestUsedIndex(), 7U);
  series.at(2);
  EXPECT_EQ(series.oldestUsedIndex(), 2U);
}

TEST(Vec3dSeries, AtPastTheEndThrowsOutOfRangeWithMessageVector) {
  Vec3dSeries series = numberedSeries(10);
  markNewest(series);
  series.at(3);  // lower the mark first
  ASSERT_EQ(series.oldestUsedIndex(), 3U);
  for (const unsigned int index : {10U, 11U, std::numeric_limits<unsigned int>::max()}) {
    try {
      series.at(index);
      ADD_FAILURE() << "at(" << index << ") did not throw";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "vector");
    }
    // An index past the end is never below a valid mark, so the mark is unchanged.
    EXPECT_EQ(series.oldestUsedIndex(), 3U);
  }
  EXPECT_EQ(series.size(), 10U);
}

TEST(Vec3dSeries, AtOnEmptySeriesThrows) {
  Vec3dSeries series;
  EXPECT_THROW(series.at(0), std::out_of_range);
  EXPECT_EQ(series.oldestUsedIndex(), 0U);
}

TEST(Vec3dSeries, ReadsReturnCopies) {
  Vec3dSeries series = numberedSeries(3);
  Vec3dStamped copy = series.at(1);
  copy = Vec3dStamped(42.0, Vector3d::Constant(42.0));
  EXPECT_EQ(series.at(1).vec(), numbered(1).vec());
}

// ---------------------------------------------------------------------------------------------
// atTime: interpolation and hold-constant branches, and their effect on the mark

// Five samples at 1, 2, 3, 4, 5 with vectors that are not linear in time, so that interpolating
// between the wrong pair of samples gives a wrong answer.
const std::vector<double> kStamps = {1.0, 2.0, 3.0, 4.0, 5.0};
const std::vector<Vector3d> kVectors = {Vector3d(0, 0, 0), Vector3d(2, 4, -6), Vector3d(10, -1, 3),
                                        Vector3d(7, 7, 7), Vector3d(-5, 2, 8)};

struct AtTimeCase {
  const char* name;
  double t;
  Vector3d expected;
  uint32_t markAfter;  // the mark starts at the newest index, 4
};

class Vec3dSeriesAtTime : public ::testing::TestWithParam<AtTimeCase> {};

TEST_P(Vec3dSeriesAtTime, ValueStampAndMark) {
  const AtTimeCase c = GetParam();
  Vec3dSeries series = makeSeries(kStamps, kVectors);
  markNewest(series);
  const Vec3dStamped result = series.atTime(StampedMeasurement(c.t));
  EXPECT_EQ(result.stamp(), c.t);  // always the query stamp
  EXPECT_LT((result.vec() - c.expected).norm(), kInterpolationTol)
      << "got " << result.vec().transpose() << ", expected " << c.expected.transpose();
  EXPECT_EQ(series.oldestUsedIndex(), c.markAfter);
  EXPECT_EQ(series.size(), 5U);  // lookups never add or remove samples
}

INSTANTIATE_TEST_SUITE_P(
    Part1_2, Vec3dSeriesAtTime,
    ::testing::Values(
        // Held constant before the first sample: first vector, mark unchanged.
        AtTimeCase{"BeforeFirst", 0.5, kVectors[0], 4},
        // Exactly at the first stamp: interpolation with zero elapsed time lowers the mark to 0.
        AtTimeCase{"AtFirst", 1.0, kVectors[0], 0},
        // The documented halfway example between (1.0, (0,0,0)) and (2.0, (2,4,-6)).
        AtTimeCase{"HalfwayFirstPair", 1.5, Vector3d(1, 2, -3), 0},
        AtTimeCase{"QuarterSecondPair", 2.25, Vector3d(4, 2.75, -3.75), 1},
        // Exactly at an interior stamp: that sample, mark lowered to its index.
        AtTimeCase{"AtInterior", 3.0, kVectors[2], 2},
        AtTimeCase{"HalfwayLastPair", 4.5, Vector3d(1, 4.5, 7.5), 3},
        // Exactly at the last stamp: last vector, mark unchanged.
        AtTimeCase{"AtLast", 5.0, kVectors[4], 4},
        // Held constant after the last sample: last vector, mark unchanged.
        AtTimeCase{"AfterLast", 9.0, kVectors[4], 4}),
    [](const ::testing::TestParamInfo<AtTimeCase>& info) { return std::string(info.param.name); });

TEST(Vec3dSeriesAtTimeExact, ExactHitsReturnTheStoredVectorBitForBit) {
  Vec3dSeries series = makeSeries(kStamps, kVectors);
  for (std::size_t i = 0; i < kStamps.size(); ++i) {
    EXPECT_EQ(series.atTime(StampedMeasurement(kStamps[i])).vec(), kVectors[i]) << "index " << i;
  }
}

TEST(Vec3dSeriesAtTimeExact, InterpolationNeverRaisesTheMark) {
  Vec3dSeries series = makeSeries(kStamps, kVectors);  // mark 0
  series.atTime(StampedMeasurement(4.5));
  EXPECT_EQ(series.oldestUsedIndex(), 0U);
}

TEST(Vec3dSeriesAtTimeExact, OneSampleSeriesHoldsItsVectorAtAnyTime) {
  for (const double t : {-10.0, 2.0, 2.5, 100.0}) {
    Vec3dSeries series = makeSeries({2.0}, {Vector3d(1.5, -2.5, 3.5)});
    const Vec3dStamped result = series.atTime(StampedMeasurement(t));
    EXPECT_EQ(result.stamp(), t);
    EXPECT_EQ(result.vec(), Vector3d(1.5, -2.5, 3.5));
    EXPECT_EQ(series.oldestUsedIndex(), 0U);
  }
}

TEST(Vec3dSeriesAtTimeExact, SamplesStampedExactlyTLieBeforeTheUpperBound) {
  // Two samples share stamp 2: a query at 2 takes the later of them as the lower sample.
  Vec3dSeries series = makeSeries({1.0, 2.0, 2.0, 3.0},
                                  {Vector3d(0, 0, 0), Vector3d(1, 1, 1), Vector3d(5, 5, 5),
                                   Vector3d(9, 9, 9)});
  markNewest(series);
  const Vec3dStamped result = series.atTime(StampedMeasurement(2.0));
  EXPECT_EQ(result.vec(), Vector3d(5, 5, 5));
  EXPECT_EQ(series.oldestUsedIndex(), 2U);
}

TEST(Vec3dSeriesAtTimeExact, ReproducesALinearSignalBetweenIrregularSamples) {
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> step(0.001, 0.05);
  std::uniform_real_distribution<double> coefficient(-10.0, 10.0);
  constexpr int kTrials = 50;
  constexpr int kSamples = 40;
  constexpr int kQueries = 25;
  for (int trial = 0; trial < kTrials; ++trial) {
    const Vector3d offset(coefficient(rng), coefficient(rng), coefficient(rng));
    const Vector3d slope(coefficient(rng), coefficient(rng), coefficient(rng));
    Vec3dSeries series;
    double stamp = coefficient(rng);
    const double first = stamp;
    for (int i = 0; i < kSamples; ++i) {
      series.emplaceBack(Vec3dStamped(stamp, offset + slope * stamp));
      stamp += step(rng);
    }
    const double last = series.latest().stamp();
    std::uniform_real_distribution<double> query(first, last);
    for (int q = 0; q < kQueries; ++q) {
      const double t = query(rng);
      const Vector3d expected = offset + slope * t;
      const Vector3d got = series.atTime(StampedMeasurement(t)).vec();
      EXPECT_LT((got - expected).norm(), 1e-9 * (1.0 + expected.norm()))
          << "trial " << trial << " t " << t;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// shrink

struct ShrinkCase {
  const char* name;
  uint32_t size;
  uint32_t mark;  // mark before the shrink
  uint32_t sizeAfter;
  uint32_t markAfter;
};

class Vec3dSeriesShrink : public ::testing::TestWithParam<ShrinkCase> {};

TEST_P(Vec3dSeriesShrink, DropsAllButFiveSamplesBeforeTheMark) {
  const ShrinkCase c = GetParam();
  Vec3dSeries series = numberedSeries(c.size);
  setMark(series, c.mark);
  series.shrink();
  ASSERT_EQ(series.size(), c.sizeAfter);
  EXPECT_EQ(series.oldestUsedIndex(), c.markAfter);
  // The survivors are the newest sizeAfter samples, in their original order.
  const uint32_t dropped = c.size - c.sizeAfter;
  for (uint32_t i = 0; i < series.size(); ++i) {
    EXPECT_EQ(series.at(i).vec(), numbered(dropped + i).vec()) << "index " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Part1_2, Vec3dSeriesShrink,
    ::testing::Values(
        // The documented example: 20 samples, mark 12: drop 7, leave 13, mark 12.
        ShrinkCase{"Size20Mark12", 20, 12, 13, 12},
        ShrinkCase{"Size20Mark6DropsOne", 20, 6, 19, 18},
        // Mark 5 or less: nothing removed, the mark moves to the newest index.
        ShrinkCase{"Size20Mark5", 20, 5, 20, 19}, ShrinkCase{"Size20Mark0", 20, 0, 20, 19},
        ShrinkCase{"Size3Mark1", 3, 1, 3, 2},
        // Mark already on the newest sample: nothing at all happens.
        ShrinkCase{"MarkAlreadyNewest", 20, 19, 20, 19},
        ShrinkCase{"Size12Mark7", 12, 7, 10, 9}),
    [](const ::testing::TestParamInfo<ShrinkCase>& info) { return std::string(info.param.name); });

TEST(Vec3dSeriesShrinkEdges, EmptySeriesIsLeftAlone) {
  Vec3dSeries series;
  series.shrink();
  EXPECT_TRUE(series.empty());
  EXPECT_EQ(series.oldestUsedIndex(), 0U);
  // And the series then behaves like a fresh one.
  for (unsigned int i = 0; i < 20; ++i) {
    series.emplaceBack(numbered(i));
  }
  series.shrink();
  EXPECT_EQ(series.size(), 20U);
  EXPECT_EQ(series.oldestUsedIndex(), 19U);
}

TEST(Vec3dSeriesShrinkEdges, ShrinkAfterClearOfAShrunkSeriesLeavesTheMarkAtZero) {
  WrenchSeries wrenches;
  for (unsigned int i = 0; i < 10; ++i) {
    wrenches.emplaceBack(WrenchStamped(0.1 * i, Vector3d::Constant(i), Vector3d::Constant(-i)));
  }
  wrenches.shrink();
  wrenches.clear();
  wrenches.shrink();
  EXPECT_EQ(wrenches.forceSeries().oldestUsedIndex(), 0U);
  EXPECT_EQ(wrenches.torqueSeries().oldestUsedIndex(), 0U);
}

TEST(Vec3dSeriesShrinkEdges, SingleSampleSeriesIsLeftAlone) {
  Vec3dSeries series = numberedSeries(1);
  series.shrink();
  EXPECT_EQ(series.size(), 1U);
  EXPECT_EQ(series.oldestUsedIndex(), 0U);
}

TEST(Vec3dSeriesShrinkEdges, RepeatedShrinkWithoutReadsDoesNothing) {
  Vec3dSeries series = numberedSeries(20);
  setMark(series, 12);
  series.shrink();
  series.shrink();
  EXPECT_EQ(series.size(), 13U);
  EXPECT_EQ(series.oldestUsedIndex(), 12U);
}

TEST(Vec3dSeriesShrinkEdges, UnreadSeriesKeepsOldNewestFiveBeforeItAndEverythingNewer) {
  Vec3dSeries series = numberedSeries(20);
  setMark(series, 12);
  series.shrink();  // 13 left (samples 7..19), mark 12 on sample 19
  for (unsigned int i = 20; i < 30; ++i) {
    series.emplaceBack(numbered(i));
  }
  series.shrink();  // mark 12 -> drop 7: samples 14..29 survive
  ASSERT_EQ(series.size(), 16U);
  EXPECT_EQ(series.oldestUsedIndex(), 15U);
  EXPECT_EQ(series.earliest().vec(), numbered(14).vec());
  EXPECT_EQ(series.at(5).vec(), numbered(19).vec());  // the sample that was newest before
  EXPECT_EQ(series.latest().vec(), numbered(29).vec());
}

TEST(Vec3dSeriesShrinkEdges, ClearResetsTheMarkSoTheNextShrinkRemovesNothing) {
  Vec3dSeries series = numberedSeries(20);
  setMark(series, 12);
  series.clear();
  EXPECT_TRUE(series.empty());
  EXPECT_EQ(series.size(), 0U);
  EXPECT_EQ(series.oldestUsedIndex(), 0U);
  for (unsigned int i = 0; i < 20; ++i) {
    series.emplaceBack(numbered(i));
  }
  series.shrink();
  EXPECT_EQ(series.size(), 20U);
  EXPECT_EQ(series.oldestUsedIndex(), 19U);
}

TEST(Vec3dSeriesShrinkEdges, InterpolatingAtTimeProtectsItsLowerSample) {
  Vec3dSeries series = numberedSeries(20);
  markNewest(series);
  series.atTime(StampedMeasurement(1.25));  // between samples 12 and 13
  EXPECT_EQ(series.oldestUsedIndex(), 12U);
  series.shrink();
  EXPECT_EQ(series.size(), 13U);
  EXPECT_EQ(series.earliest().vec(), numbered(7).vec());
}

// ---------------------------------------------------------------------------------------------
// WrenchSeries

WrenchStamped wrenchNumber(unsigned int i) {
  return WrenchStamped(1.0 + i, Vector3d(i, 2.0 * i, 3.0), Vector3d(-1.0 * i, 5.0, i * i));
}

WrenchSeries wrenchSeries(unsigned int count) {
  WrenchSeries series;
  for (unsigned int i = 0; i < count; ++i) {
    series.emplaceBack(wrenchNumber(i));
  }
  return series;
}

TEST(WrenchSeries, StoresWholeWrenches) {
  WrenchSeries series;
  EXPECT_TRUE(series.empty());
  EXPECT_EQ(series.size(), 0U);
  series = wrenchSeries(3);  // stamps 1, 2, 3
  EXPECT_FALSE(series.empty());
  EXPECT_EQ(series.size(), 3U);
  const WrenchStamped latest = series.latest();
  EXPECT_EQ(latest.stamp(), 3.0);
  EXPECT_EQ(latest.force(), wrenchNumber(2).force());
  EXPECT_EQ(latest.torque(), wrenchNumber(2).torque());
  const WrenchStamped earliest = series.earliest();
  EXPECT_EQ(earliest.stamp(), 1.0);
  EXPECT_EQ(earliest.force(), wrenchNumber(0).force());
  EXPECT_EQ(earliest.torque(), wrenchNumber(0).torque());
  EXPECT_EQ(series.forceSeries().size(), 3U);
  EXPECT_EQ(series.torqueSeries().size(), 3U);
  EXPECT_EQ(series.torqueSeries().latest().stamp(), 3.0);
}

TEST(WrenchSeries, AtReadsBothComponentsAndLowersBothMarks) {
  WrenchSeries series = wrenchSeries(10);
  series.shrink();  // marks to the newest index
  ASSERT_EQ(series.forceSeries().oldestUsedIndex(), 9U);
  ASSERT_EQ(series.torqueSeries().oldestUsedIndex(), 9U);
  const WrenchStamped w = series.at(4);
  EXPECT_EQ(w.stamp(), 5.0);
  EXPECT_EQ(w.force(), wrenchNumber(4).force());
  EXPECT_EQ(w.torque(), wrenchNumber(4).torque());
  EXPECT_EQ(series.forceSeries().oldestUsedIndex(), 4U);
  EXPECT_EQ(series.torqueSeries().oldestUsedIndex(), 4U);
  EXPECT_THROW(series.at(10), std::out_of_range);
}

TEST(WrenchSeries, AtTimeInterpolatesForceAndTorque) {
  WrenchSeries series = wrenchSeries(10);
  series.shrink();
  const WrenchStamped w = series.atTime(StampedMeasurement(3.5));  // between wrenches 2 and 3
  EXPECT_EQ(w.stamp(), 3.5);
  const Vector3d expectedForce = 0.5 * (wrenchNumber(2).force() + wrenchNumber(3).force());
  const Vector3d expectedTorque = 0.5 * (wrenchNumber(2).torque() + wrenchNumber(3).torque());
  EXPECT_LT((w.force() - expectedForce).norm(), kInterpolationTol);
  EXPECT_LT((w.torque() - expectedTorque).norm(), kInterpolationTol);
  EXPECT_EQ(series.forceSeries().oldestUsedIndex(), 2U);
  EXPECT_EQ(series.torqueSeries().oldestUsedIndex(), 2U);
}

TEST(WrenchSeries, ShrinkKeepsComponentsAligned) {
  WrenchSeries series = wrenchSeries(20);
  series.shrink();
  series.at(12);
  series.shrink();
  ASSERT_EQ(series.size(), 13U);
  EXPECT_EQ(series.torqueSeries().size(), 13U);
  for (unsigned int i = 0; i < 13; ++i) {
    const WrenchStamped w = series.at(i);
    EXPECT_EQ(w.stamp(), wrenchNumber(7 + i).stamp());
    EXPECT_EQ(w.force(), wrenchNumber(7 + i).force());
    EXPECT_EQ(w.torque(), wrenchNumber(7 + i).torque());
  }
}

TEST(WrenchSeries, ClearEmptiesBothComponentsAndResetsMarks) {
  WrenchSeries series = wrenchSeries(10);
  series.shrink();
  series.clear();
  EXPECT_TRUE(series.empty());
  EXPECT_TRUE(series.torqueSeries().empty());
  EXPECT_EQ(series.forceSeries().oldestUsedIndex(), 0U);
  EXPECT_EQ(series.torqueSeries().oldestUsedIndex(), 0U);
}

// ---------------------------------------------------------------------------------------------
// KinematicsSeries

KinematicsStamped kinematicsNumber(unsigned int i) {
  return KinematicsStamped(0.5 * i, Vector3d(i, 0.0, 9.81), Vector3d(0.0, -1.0 * i, 2.0),
                           Vector3d(i * i, 1.0, -3.0 * i));
}

KinematicsSeries kinematicsSeries(unsigned int count) {
  KinematicsSeries series;
  for (unsigned int i = 0; i < count; ++i) {
    series.emplaceBack(kinematicsNumber(i));
  }
  return series;
}

void expectSameKinematics(const KinematicsStamped& got, const KinematicsStamped& expected) {
  EXPECT_EQ(got.stamp(), expected.stamp());
  EXPECT_EQ(got.linAcc(), expected.linAcc());
  EXPECT_EQ(got.angVel(), expected.angVel());
  EXPECT_EQ(got.angAcc(), expected.angAcc());
}

TEST(KinematicsSeries, StoresWholeRecordsInThreeAlignedSeries) {
  KinematicsSeries series = kinematicsSeries(4);
  EXPECT_EQ(series.size(), 4U);
  EXPECT_EQ(series.angVelSeries().size(), 4U);
  EXPECT_EQ(series.angAccSeries().size(), 4U);
  expectSameKinematics(series.earliest(), kinematicsNumber(0));
  expectSameKinematics(series.latest(), kinematicsNumber(3));
  expectSameKinematics(series.at(2), kinematicsNumber(2));
}

TEST(KinematicsSeries, AtLowersAllThreeMarks) {
  KinematicsSeries series = kinematicsSeries(10);
  series.shrink();
  series.at(3);
  EXPECT_EQ(series.linAccSeries().oldestUsedIndex(), 3U);
  EXPECT_EQ(series.angVelSeries().oldestUsedIndex(), 3U);
  EXPECT_EQ(series.angAccSeries().oldestUsedIndex(), 3U);
  EXPECT_THROW(series.at(10), std::out_of_range);
}

TEST(KinematicsSeries, AtTimeInterpolatesEveryComponent) {
  KinematicsSeries series = kinematicsSeries(10);
  series.shrink();
  const double t = 0.5 * 6 + 0.125;  // a quarter of the way from record 6 to record 7
  const KinematicsStamped k = series.atTime(StampedMeasurement(t));
  EXPECT_EQ(k.stamp(), t);
  const KinematicsStamped lo = kinematicsNumber(6);
  const KinematicsStamped hi = kinematicsNumber(7);
  EXPECT_LT((k.linAcc() - (0.75 * lo.linAcc() + 0.25 * hi.linAcc())).norm(), kInterpolationTol);
  EXPECT_LT((k.angVel() - (0.75 * lo.angVel() + 0.25 * hi.angVel())).norm(), kInterpolationTol);
  EXPECT_LT((k.angAcc() - (0.75 * lo.angAcc() + 0.25 * hi.angAcc())).norm(), kInterpolationTol);
  EXPECT_EQ(series.linAccSeries().oldestUsedIndex(), 6U);
  EXPECT_EQ(series.angVelSeries().oldestUsedIndex(), 6U);
  EXPECT_EQ(series.angAccSeries().oldestUsedIndex(), 6U);
}

TEST(KinematicsSeries, ShrinkAndClearApplyToEveryComponent) {
  KinematicsSeries series = kinematicsSeries(20);
  series.shrink();
  series.at(12);
  series.shrink();
  ASSERT_EQ(series.size(), 13U);
  EXPECT_EQ(series.angVelSeries().size(), 13U);
  EXPECT_EQ(series.angAccSeries().size(), 13U);
  expectSameKinematics(series.earliest(), kinematicsNumber(7));
  series.clear();
  EXPECT_TRUE(series.empty());
  EXPECT_TRUE(series.angVelSeries().empty());
  EXPECT_TRUE(series.angAccSeries().empty());
  EXPECT_EQ(series.angAccSeries().oldestUsedIndex(), 0U);
}

}  // namespace
}  // namespace vorn
