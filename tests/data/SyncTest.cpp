// Series synchronisation (namespace vorn::sync).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "data/Sync.hpp"

namespace vorn {
namespace {

using Eigen::Vector3d;

constexpr double kInterpolationTol = 1e-12;

// Vector of sample i of a series tagged `tag`: different for every series and every sample, and
// not linear in i, so that interpolating between the wrong samples is noticed.
Vector3d tagged(double tag, std::size_t i) {
  const double x = static_cast<double>(i);
  return Vector3d(tag + x, tag - x * x, 10.0 * tag + 0.5 * x);
}

Vec3dSeries vecSeries(double tag, const std::vector<double>& stamps) {
  Vec3dSeries series;
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    series.emplaceBack(Vec3dStamped(stamps[i], tagged(tag, i)));
  }
  return series;
}

KinematicsSeries kinematicsSeries(const std::vector<double>& stamps) {
  KinematicsSeries series;
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    series.emplaceBack(KinematicsStamped(stamps[i], tagged(1.0, i), tagged(2.0, i), tagged(3.0, i)));
  }
  return series;
}

WrenchSeries wrenchSeries(const std::vector<double>& stamps) {
  WrenchSeries series;
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    series.emplaceBack(WrenchStamped(stamps[i], tagged(4.0, i), tagged(5.0, i)));
  }
  return series;
}

// Linear interpolation between samples lo and lo + 1 of a tagged series, independent of the code.
Vector3d between(double tag, std::size_t lo, double fraction) {
  return (1.0 - fraction) * tagged(tag, lo) + fraction * tagged(tag, lo + 1);
}

double fractionOf(double t, double lo, double hi) { return (t - lo) / (hi - lo); }

// ---------------------------------------------------------------------------------------------
// kinematicsIsSyncable

struct KinematicsSyncableCase {
  const char* name;
  std::vector<double> linAcc;
  std::vector<double> angVel;
  std::vector<double> angAcc;
  bool expected;
};

class KinematicsIsSyncable : public ::testing::TestWithParam<KinematicsSyncableCase> {};

TEST_P(KinematicsIsSyncable, ComparesTheRightSeriesWithTheCommonTime) {
  const KinematicsSyncableCase& c = GetParam();
  Vec3dSeries linAcc = vecSeries(1.0, c.linAcc);
  Vec3dSeries angVel = vecSeries(2.0, c.angVel);
  Vec3dSeries angAcc = vecSeries(3.0, c.angAcc);
  EXPECT_EQ(sync::kinematicsIsSyncable(linAcc, angVel, angAcc), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Part1_3, KinematicsIsSyncable,
    ::testing::Values(
        // linAcc ends first (t = 1.0): only the earliest angVel stamp is tested against t, so the
        // first angAcc stamp does not matter , nor does the first linAcc stamp.
        KinematicsSyncableCase{"LinAccFirst_AngAccFromZero", {0.0, 0.5, 1.0}, {0.5, 1.2},
                               {0.0, 1.1}, true},
        KinematicsSyncableCase{"LinAccFirst_AngAccStartsAfterT", {0.0, 0.5, 1.0}, {0.5, 1.2},
                               {1.05, 1.1}, true},
        KinematicsSyncableCase{"LinAccFirst_AngAccSingleSample", {1.0}, {0.5}, {1.1}, true},
        KinematicsSyncableCase{"LinAccFirst_AngVelStartsAtT", {0.0, 1.0}, {1.0, 1.2}, {0.0, 1.1},
                               true},
        KinematicsSyncableCase{"LinAccFirst_AngVelStartsAfterT", {0.0, 1.0}, {1.05, 1.2},
                               {0.0, 1.1}, false},
        // angAcc ends first or together (t = newest angAcc): only the earliest linAcc stamp is
        // tested, angVel is not consulted at all.
        KinematicsSyncableCase{"AngAccFirst_LinAccStartsBefore", {0.0, 1.2}, {5.0, 6.0},
                               {0.5, 1.0}, true},
        KinematicsSyncableCase{"AngAccFirst_LinAccStartsAtT", {1.0, 1.2}, {5.0}, {0.5, 1.0},
                               true},
        KinematicsSyncableCase{"AngAccFirst_LinAccStartsAfterT", {1.05, 1.2}, {0.0, 2.0},
                               {0.0, 1.0}, false},
        KinematicsSyncableCase{"EqualNewest_LinAccStartsBefore", {0.5, 1.0}, {3.0}, {0.9, 1.0},
                               true},
        KinematicsSyncableCase{"EqualNewest_SingleSamples", {1.0}, {0.0}, {1.0}, true}),
    [](const ::testing::TestParamInfo<KinematicsSyncableCase>& info) {
      return std::string(info.param.name);
    });

// ---------------------------------------------------------------------------------------------
// dynamicsIsSyncable

struct DynamicsSyncableCase {
  const char* name;
  std::vector<double> kinematics;
  std::vector<double> wrenches;
  bool expected;
};

class DynamicsIsSyncable : public ::testing::TestWithParam<DynamicsSyncableCase> {};

TEST_P(DynamicsIsSyncable, TheLaterSeriesMustHaveBegunByTheCommonTime) {
  const DynamicsSyncableCase& c = GetParam();
  KinematicsSeries kinematics = kinematicsSeries(c.kinematics);
  WrenchSeries wrenches = wrenchSeries(c.wrenches);
  EXPECT_EQ(sync::dynamicsIsSyncable(kinematics, wrenches), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Part1_3, DynamicsIsSyncable,
    ::testing::Values(
        DynamicsSyncableCase{"SpecExample_WrenchesBracketKinematics", {0.96, 1.00},
                             {0.98, 1.02}, true},
        // Wrenches newest at 2.0 but kinematics starting at 2.5.
        DynamicsSyncableCase{"KinematicsStartAfterWrenchesEnd", {2.5, 3.0}, {1.0, 2.0}, false},
        // Kinematics end first and the wrenches start after the kinematics' newest stamp.
        DynamicsSyncableCase{"WrenchesStartAfterKinematicsEnd", {0.5, 1.0}, {1.5, 2.0}, false},
        DynamicsSyncableCase{"WrenchesStartAtT", {0.5, 1.0}, {1.0, 2.0}, true},
        DynamicsSyncableCase{"KinematicsStartAtT", {2.0, 3.0}, {1.0, 2.0}, true},
        // Kinematics end first: their own first stamp is not consulted.
        DynamicsSyncableCase{"KinematicsFirst_SingleKinematics", {1.0}, {0.0, 2.0}, true},
        // Equal newest stamps: the kinematics must have begun by then.
        DynamicsSyncableCase{"EqualNewest", {0.5, 1.0}, {1.0}, true},
        DynamicsSyncableCase{"EqualNewest_SingleSamples", {1.0}, {1.0}, true}),
    [](const ::testing::TestParamInfo<DynamicsSyncableCase>& info) {
      return std::string(info.param.name);
    });

// ---------------------------------------------------------------------------------------------
// syncKinematics

TEST(SyncKinematics, LinAccEndsFirst_LinAccUsedAsIsOthersInterpolated) {
  Vec3dSeries linAcc = vecSeries(1.0, {0.90, 0.95, 1.00});
  Vec3dSeries angVel = vecSeries(2.0, {0.90, 0.96, 1.04, 1.08});
  Vec3dSeries angAcc = vecSeries(3.0, {0.92, 0.98, 1.02, 1.10});
  linAcc.shrink();  // marks on the newest samples
  angVel.shrink();
  angAcc.shrink();
  ASSERT_TRUE(sync::kinematicsIsSyncable(linAcc, angVel, angAcc));

  const KinematicsStamped k = sync::syncKinematics(linAcc, angVel, angAcc);

  EXPECT_EQ(k.stamp(), 1.00);
  EXPECT_EQ(k.linAcc(), tagged(1.0, 2));
  EXPECT_LT((k.angVel() - between(2.0, 1, fractionOf(1.00, 0.96, 1.04))).norm(),
            kInterpolationTol);
  EXPECT_LT((k.angAcc() - between(3.0, 1, fractionOf(1.00, 0.98, 1.02))).norm(),
            kInterpolationTol);
  EXPECT_EQ(linAcc.oldestUsedIndex(), 2U);  // not read through atTime: unchanged
  EXPECT_EQ(angVel.oldestUsedIndex(), 1U);
  EXPECT_EQ(angAcc.oldestUsedIndex(), 1U);
  EXPECT_EQ(linAcc.size(), 3U);
  EXPECT_EQ(angVel.size(), 4U);
  EXPECT_EQ(angAcc.size(), 4U);
}

TEST(SyncKinematics, AngAccEndsFirst_AngAccUsedAsIsOthersInterpolated) {
  Vec3dSeries linAcc = vecSeries(1.0, {0.90, 0.96, 1.04});
  Vec3dSeries angVel = vecSeries(2.0, {0.90, 0.98, 1.02});
  Vec3dSeries angAcc = vecSeries(3.0, {0.92, 1.00});
  linAcc.shrink();
  angVel.shrink();
  angAcc.shrink();
  ASSERT_TRUE(sync::kinematicsIsSyncable(linAcc, angVel, angAcc));

  const KinematicsStamped k = sync::syncKinematics(linAcc, angVel, angAcc);

  EXPECT_EQ(k.stamp(), 1.00);
  EXPECT_LT((k.linAcc() - between(1.0, 1, fractionOf(1.00, 0.96, 1.04))).norm(),
            kInterpolationTol);
  EXPECT_LT((k.angVel() - between(2.0, 1, fractionOf(1.00, 0.98, 1.02))).norm(),
            kInterpolationTol);
  EXPECT_EQ(k.angAcc(), tagged(3.0, 1));
  EXPECT_EQ(linAcc.oldestUsedIndex(), 1U);
  EXPECT_EQ(angVel.oldestUsedIndex(), 1U);
  EXPECT_EQ(angAcc.oldestUsedIndex(), 1U);  // not read through atTime: unchanged
}

TEST(SyncKinematics, EqualNewestStamps_LinAccEvaluatedAtItsOwnNewestWithoutMovingItsMark) {
  Vec3dSeries linAcc = vecSeries(1.0, {0.90, 0.95, 1.00});
  Vec3dSeries angVel = vecSeries(2.0, {0.90, 0.98, 1.02});
  Vec3dSeries angAcc = vecSeries(3.0, {0.97, 1.00});
  linAcc.shrink();
  angVel.shrink();
  angAcc.shrink();

  const KinematicsStamped k = sync::syncKinematics(linAcc, angVel, angAcc);

  EXPECT_EQ(k.stamp(), 1.00);
  EXPECT_EQ(k.linAcc(), tagged(1.0, 2));
  EXPECT_EQ(k.angAcc(), tagged(3.0, 1));
  EXPECT_LT((k.angVel() - between(2.0, 1, fractionOf(1.00, 0.98, 1.02))).norm(),
            kInterpolationTol);
  EXPECT_EQ(linAcc.oldestUsedIndex(), 2U);
  EXPECT_EQ(angAcc.oldestUsedIndex(), 1U);
  EXPECT_EQ(angVel.oldestUsedIndex(), 1U);
}

TEST(SyncKinematics, EqualNewestStamps_TheAngAccStampIsTheTimeBase) {
  // -0.0 and +0.0 compare equal, so the second branch must be taken and the result carries the
  // stamp of the newest angular-acceleration sample, bit for bit.
  Vec3dSeries linAcc = vecSeries(1.0, {-1.0, 0.0});
  Vec3dSeries angVel = vecSeries(2.0, {-1.0, 1.0});
  Vec3dSeries angAcc = vecSeries(3.0, {-1.0, -0.0});
  const KinematicsStamped k = sync::syncKinematics(linAcc, angVel, angAcc);
  EXPECT_EQ(k.stamp(), 0.0);
  EXPECT_TRUE(std::signbit(k.stamp()));
}

TEST(SyncKinematics, AngVelNewestStampIsNotConsulted) {
  // angVel ends long before the others: it is held at its last value, and t is still the
  // earlier newest stamp of linAcc and angAcc.
  Vec3dSeries linAcc = vecSeries(1.0, {0.0, 1.0});
  Vec3dSeries angVel = vecSeries(2.0, {0.0, 0.2});
  Vec3dSeries angAcc = vecSeries(3.0, {0.0, 2.0});
  ASSERT_TRUE(sync::kinematicsIsSyncable(linAcc, angVel, angAcc));
  const KinematicsStamped k = sync::syncKinematics(linAcc, angVel, angAcc);
  EXPECT_EQ(k.stamp(), 1.0);
  EXPECT_EQ(k.angVel(), tagged(2.0, 1));
}

// ---------------------------------------------------------------------------------------------
// syncDynamics

TEST(SyncDynamics, SpecExample_KinematicsAt100WrenchesAt098And102) {
  KinematicsSeries kinematics = kinematicsSeries({0.96, 1.00});
  WrenchSeries wrenches = wrenchSeries({0.94, 0.96, 0.98, 1.02});
  kinematics.shrink();
  wrenches.shrink();
  ASSERT_EQ(wrenches.forceSeries().oldestUsedIndex(), 3U);
  ASSERT_TRUE(sync::dynamicsIsSyncable(kinematics, wrenches));

  const DynamicsStamped d = sync::syncDynamics(kinematics, wrenches);

  EXPECT_EQ(d.stamp(), 1.00);
  EXPECT_EQ(d.linAcc(), tagged(1.0, 1));
  EXPECT_EQ(d.angVel(), tagged(2.0, 1));
  EXPECT_EQ(d.angAcc(), tagged(3.0, 1));
  // Halfway between the wrenches stamped 0.98 (index 2) and 1.02 (index 3).
  EXPECT_LT((d.force() - between(4.0, 2, 0.5)).norm(), 1e-9);
  EXPECT_LT((d.torque() - between(5.0, 2, 0.5)).norm(), 1e-9);
  EXPECT_EQ(wrenches.forceSeries().oldestUsedIndex(), 2U);
  EXPECT_EQ(wrenches.torqueSeries().oldestUsedIndex(), 2U);
  EXPECT_EQ(kinematics.linAccSeries().oldestUsedIndex(), 1U);  // used as is: unchanged
  EXPECT_EQ(kinematics.angVelSeries().oldestUsedIndex(), 1U);
  EXPECT_EQ(kinematics.angAccSeries().oldestUsedIndex(), 1U);
  EXPECT_EQ(kinematics.size(), 2U);
  EXPECT_EQ(wrenches.size(), 4U);
}

TEST(SyncDynamics, WrenchesEndFirst_WrenchUsedAsIsKinematicsInterpolated) {
  KinematicsSeries kinematics = kinematicsSeries({0.90, 0.98, 1.02});
  WrenchSeries wrenches = wrenchSeries({0.95, 1.00});
  kinematics.shrink();
  wrenches.shrink();
  ASSERT_TRUE(sync::dynamicsIsSyncable(kinematics, wrenches));

  const DynamicsStamped d = sync::syncDynamics(kinematics, wrenches);

  EXPECT_EQ(d.stamp(), 1.00);
  EXPECT_EQ(d.force(), tagged(4.0, 1));
  EXPECT_EQ(d.torque(), tagged(5.0, 1));
  const double f = fractionOf(1.00, 0.98, 1.02);
  EXPECT_LT((d.linAcc() - between(1.0, 1, f)).norm(), kInterpolationTol);
  EXPECT_LT((d.angVel() - between(2.0, 1, f)).norm(), kInterpolationTol);
  EXPECT_LT((d.angAcc() - between(3.0, 1, f)).norm(), kInterpolationTol);
  EXPECT_EQ(kinematics.linAccSeries().oldestUsedIndex(), 1U);
  EXPECT_EQ(kinematics.angVelSeries().oldestUsedIndex(), 1U);
  EXPECT_EQ(kinematics.angAccSeries().oldestUsedIndex(), 1U);
  EXPECT_EQ(wrenches.forceSeries().oldestUsedIndex(), 1U);
  EXPECT_EQ(wrenches.torqueSeries().oldestUsedIndex(), 1U);
}

TEST(SyncDynamics, EqualNewestStamps_BothNewestSamplesUnchangedMarksUnmoved) {
  KinematicsSeries kinematics = kinematicsSeries({0.90, 0.95, 1.00});
  WrenchSeries wrenches = wrenchSeries({0.97, 1.00});
  kinematics.shrink();
  wrenches.shrink();
  ASSERT_TRUE(sync::dynamicsIsSyncable(kinematics, wrenches));

  const DynamicsStamped d = sync::syncDynamics(kinematics, wrenches);

  EXPECT_EQ(d.stamp(), 1.00);
  EXPECT_EQ(d.linAcc(), tagged(1.0, 2));
  EXPECT_EQ(d.angVel(), tagged(2.0, 2));
  EXPECT_EQ(d.angAcc(), tagged(3.0, 2));
  EXPECT_EQ(d.force(), tagged(4.0, 1));
  EXPECT_EQ(d.torque(), tagged(5.0, 1));
  EXPECT_EQ(kinematics.linAccSeries().oldestUsedIndex(), 2U);
  EXPECT_EQ(kinematics.angAccSeries().oldestUsedIndex(), 2U);
  EXPECT_EQ(wrenches.forceSeries().oldestUsedIndex(), 1U);
}

TEST(SyncDynamics, EqualNewestStamps_TheWrenchStampIsTheTimeBase) {
  KinematicsSeries kinematics = kinematicsSeries({-1.0, 0.0});
  WrenchSeries wrenches = wrenchSeries({-1.0, -0.0});
  const DynamicsStamped d = sync::syncDynamics(kinematics, wrenches);
  EXPECT_EQ(d.stamp(), 0.0);
  EXPECT_TRUE(std::signbit(d.stamp()));
}

TEST(SyncDynamics, KinematicsHeldAtTheirFirstValueBeforeTheyBegin) {
  // Syncable (kinematics begin exactly at t) and t equals the first kinematics stamp: the
  // interpolation at the first stamp returns the first record and lowers the marks to 0.
  KinematicsSeries kinematics = kinematicsSeries({1.0, 1.1, 1.2});
  WrenchSeries wrenches = wrenchSeries({0.5, 1.0});
  kinematics.shrink();
  ASSERT_TRUE(sync::dynamicsIsSyncable(kinematics, wrenches));
  const DynamicsStamped d = sync::syncDynamics(kinematics, wrenches);
  EXPECT_EQ(d.stamp(), 1.0);
  EXPECT_EQ(d.linAcc(), tagged(1.0, 0));
  EXPECT_EQ(kinematics.linAccSeries().oldestUsedIndex(), 0U);
}

}  // namespace
}  // namespace vorn
