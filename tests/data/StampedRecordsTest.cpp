// Stamped measurement records.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <iostream>
#include <string>
#include <type_traits>
#include <utility>

#include <Eigen/Core>

#include "data/DynamicsStamped.hpp"
#include "data/KinematicsStamped.hpp"
#include "data/StampedMeasurement.hpp"
#include "data/Vec3dStamped.hpp"
#include "data/WrenchStamped.hpp"
#include "support/StdoutCapture.hpp"

namespace vorn {
namespace {

using Eigen::Vector3d;

// Distinct vectors, so that a field routed to the wrong place is noticed.
const Vector3d kA(1.0, 2.0, 3.0);
const Vector3d kB(-4.0, 5.5, 6.25);
const Vector3d kC(7.0, -8.0, 9.5);
const Vector3d kD(10.0, 11.0, -12.0);
const Vector3d kE(-13.5, 14.0, 15.0);

// ---------------------------------------------------------------------------------------------
// Time comparison

struct ComparisonCase {
  double first;
  double second;
  bool before;
  bool after;
};

class StampComparison : public ::testing::TestWithParam<ComparisonCase> {};

TEST_P(StampComparison, IsBeforeAndIsAfterAreStrict) {
  const ComparisonCase c = GetParam();
  const StampedMeasurement first(c.first);
  const StampedMeasurement second(c.second);
  EXPECT_EQ(first.isBefore(second), c.before);
  EXPECT_EQ(first.isAfter(second), c.after);
  // And the mirrored question.
  EXPECT_EQ(second.isAfter(first), c.before);
  EXPECT_EQ(second.isBefore(first), c.after);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Part1_1, StampComparison,
    ::testing::Values(ComparisonCase{1.0, 2.0, true, false}, ComparisonCase{2.0, 1.0, false, true},
                      ComparisonCase{1.5, 1.5, false, false},  // equal: neither
                      ComparisonCase{-0.0, 0.0, false, false},
                      ComparisonCase{kNaN, 1.0, false, false},  // NaN: neither
                      ComparisonCase{1.0, kNaN, false, false},
                      ComparisonCase{kNaN, kNaN, false, false}));

TEST(StampedRecords, AnyRecordComparesWithAnyOther) {
  const KinematicsStamped kinematics(1.0, kA, kB, kC);
  const WrenchStamped wrench(2.0, kD, kE);
  const Vec3dStamped vec(2.0, kA);
  const StampedMeasurement query(1.0);
  EXPECT_TRUE(kinematics.isBefore(wrench));
  EXPECT_TRUE(wrench.isAfter(kinematics));
  EXPECT_FALSE(vec.isBefore(wrench));
  EXPECT_FALSE(vec.isAfter(wrench));
  EXPECT_FALSE(query.isBefore(kinematics));
  EXPECT_FALSE(query.isAfter(kinematics));
  EXPECT_TRUE(query.isBefore(vec));
}

// ---------------------------------------------------------------------------------------------
// Default construction

TEST(StampedRecords, DefaultRecordsHaveStampZeroAndZeroVectors) {
  const Vec3dStamped vec;
  EXPECT_EQ(vec.stamp(), 0.0);
  EXPECT_EQ(vec.vec(), Vector3d::Zero());

  const WrenchStamped wrench;
  EXPECT_EQ(wrench.stamp(), 0.0);
  EXPECT_EQ(wrench.force(), Vector3d::Zero());
  EXPECT_EQ(wrench.torque(), Vector3d::Zero());

  const KinematicsStamped kinematics;
  EXPECT_EQ(kinematics.stamp(), 0.0);
  EXPECT_EQ(kinematics.linAcc(), Vector3d::Zero());
  EXPECT_EQ(kinematics.angVel(), Vector3d::Zero());
  EXPECT_EQ(kinematics.angAcc(), Vector3d::Zero());

  const DynamicsStamped dynamics;
  EXPECT_EQ(dynamics.stamp(), 0.0);
  for (const Vector3d& v : {dynamics.linAcc(), dynamics.angVel(), dynamics.angAcc(),
                            dynamics.force(), dynamics.torque()}) {
    EXPECT_EQ(v, Vector3d::Zero());
  }
}

// ---------------------------------------------------------------------------------------------
// Vec3dStamped construction and assignment

TEST(Vec3dStamped, ConstructorsAndAssignmentCopyStampAndVector) {
  const Vec3dStamped original(3.25, kB);
  EXPECT_EQ(original.stamp(), 3.25);
  EXPECT_EQ(original.vec(), kB);

  const Vec3dStamped copy(original);
  EXPECT_EQ(copy.stamp(), 3.25);
  EXPECT_EQ(copy.vec(), kB);

  // The const-rvalue constructor copies and leaves the source unchanged.
  const Vec3dStamped source(4.5, kC);
  const Vec3dStamped moved(std::move(source));
  EXPECT_EQ(moved.stamp(), 4.5);
  EXPECT_EQ(moved.vec(), kC);
  EXPECT_EQ(source.stamp(), 4.5);  // NOLINT(bugprone-use-after-move): the copying constructor promises it
  EXPECT_EQ(source.vec(), kC);     // NOLINT(bugprone-use-after-move)
  static_assert(std::is_nothrow_constructible<Vec3dStamped, const Vec3dStamped&&>::value,
                "the const-rvalue constructor is declared noexcept");

  // Rvalue stamp and vector: same effect as the lvalue form.
  const Vec3dStamped fromTemporaries(5.75, Vector3d(kD));
  EXPECT_EQ(fromTemporaries.stamp(), 5.75);
  EXPECT_EQ(fromTemporaries.vec(), kD);

  Vec3dStamped assigned;
  Vec3dStamped& result = (assigned = original);
  EXPECT_EQ(&result, &assigned);
  EXPECT_EQ(assigned.stamp(), 3.25);
  EXPECT_EQ(assigned.vec(), kB);
}

TEST(Vec3dStamped, VecReturnsACopy) {
  const Vec3dStamped record(1.0, kA);
  Vector3d v = record.vec();
  v.setConstant(99.0);
  EXPECT_EQ(record.vec(), kA);
}

// ---------------------------------------------------------------------------------------------
// Composite records: one stamp, taken from the first argument

TEST(WrenchStamped, StampComesFromTheForce) {
  const WrenchStamped wrench(Vec3dStamped(2.0, kA), Vec3dStamped(5.0, kB));
  EXPECT_EQ(wrench.stamp(), 2.0);
  EXPECT_EQ(wrench.force(), kA);
  EXPECT_EQ(wrench.torque(), kB);
  EXPECT_EQ(wrench.forceStamped().stamp(), 2.0);
  EXPECT_EQ(wrench.forceStamped().vec(), kA);
  EXPECT_EQ(wrench.torqueStamped().stamp(), 2.0);
  EXPECT_EQ(wrench.torqueStamped().vec(), kB);
}

TEST(WrenchStamped, StampAndVectorConstructor) {
  const WrenchStamped wrench(7.5, kC, kD);
  EXPECT_EQ(wrench.stamp(), 7.5);
  EXPECT_EQ(wrench.force(), kC);
  EXPECT_EQ(wrench.torque(), kD);
}

TEST(KinematicsStamped, StampComesFromTheLinearAcceleration) {
  const KinematicsStamped kinematics(Vec3dStamped(1.0, kA), Vec3dStamped(7.0, kB),
                                     Vec3dStamped(-3.0, kC));
  EXPECT_EQ(kinematics.stamp(), 1.0);
  EXPECT_EQ(kinematics.linAcc(), kA);
  EXPECT_EQ(kinematics.angVel(), kB);
  EXPECT_EQ(kinematics.angAcc(), kC);
  for (const Vec3dStamped& part :
       {kinematics.linAccStamped(), kinematics.angVelStamped(), kinematics.angAccStamped()}) {
    EXPECT_EQ(part.stamp(), 1.0);
  }
  EXPECT_EQ(kinematics.linAccStamped().vec(), kA);
  EXPECT_EQ(kinematics.angVelStamped().vec(), kB);
  EXPECT_EQ(kinematics.angAccStamped().vec(), kC);
}

TEST(KinematicsStamped, StampAndVectorConstructor) {
  const KinematicsStamped kinematics(0.25, kC, kA, kB);
  EXPECT_EQ(kinematics.stamp(), 0.25);
  EXPECT_EQ(kinematics.linAcc(), kC);
  EXPECT_EQ(kinematics.angVel(), kA);
  EXPECT_EQ(kinematics.angAcc(), kB);
}

class DynamicsKeepsKinematicsStamp : public ::testing::TestWithParam<double> {};

TEST_P(DynamicsKeepsKinematicsStamp, WhateverTheWrenchStamp) {
  const KinematicsStamped kinematics(10.0, kA, kB, kC);
  const WrenchStamped wrench(GetParam(), kD, kE);
  const DynamicsStamped dynamics(kinematics, wrench);
  EXPECT_EQ(dynamics.stamp(), 10.0);
  EXPECT_EQ(dynamics.linAcc(), kA);
  EXPECT_EQ(dynamics.angVel(), kB);
  EXPECT_EQ(dynamics.angAcc(), kC);
  EXPECT_EQ(dynamics.force(), kD);
  EXPECT_EQ(dynamics.torque(), kE);
  const Vec3dStamped parts[] = {dynamics.linAccStamped(), dynamics.angVelStamped(),
                                dynamics.angAccStamped(), dynamics.forceStamped(),
                                dynamics.torqueStamped()};
  const Vector3d expected[] = {kA, kB, kC, kD, kE};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(parts[i].stamp(), 10.0) << "part " << i;
    EXPECT_EQ(parts[i].vec(), expected[i]) << "part " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Part1_1, DynamicsKeepsKinematicsStamp,
                         ::testing::Values(9.0, 10.0, 11.0, kNaN));

TEST(DynamicsStamped, IsNeitherKinematicsNorWrench) {
  static_assert(std::is_base_of<StampedMeasurement, DynamicsStamped>::value, "");
  static_assert(!std::is_base_of<KinematicsStamped, DynamicsStamped>::value, "");
  static_assert(!std::is_base_of<WrenchStamped, DynamicsStamped>::value, "");
  static_assert(std::is_copy_assignable<DynamicsStamped>::value, "");
  SUCCEED();
}

TEST(StampedRecords, AssignmentReplacesTheWholeRecord) {
  DynamicsStamped target(KinematicsStamped(1.0, kA, kB, kC), WrenchStamped(1.0, kD, kE));
  target = DynamicsStamped();
  EXPECT_EQ(target.stamp(), 0.0);
  EXPECT_EQ(target.force(), Vector3d::Zero());
  EXPECT_EQ(target.linAcc(), Vector3d::Zero());
}

// ---------------------------------------------------------------------------------------------
// Vec3dStamped::print

struct PrintCase {
  const char* name;
  double stamp;
  Vector3d vec;
  const char* expected;
};

class Vec3dStampedPrint : public ::testing::TestWithParam<PrintCase> {};

TEST_P(Vec3dStampedPrint, WritesOneLineInTheSpecifiedFormat) {
  const PrintCase c = GetParam();
  vorn::test::StdoutCapture capture;
  Vec3dStamped(c.stamp, c.vec).print();
  EXPECT_EQ(capture.text(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Part1_1, Vec3dStampedPrint,
    ::testing::Values(
        // The documented example: the widest coefficient is "-2", so every field is two wide.
        PrintCase{"SpecExample", 1.5, Vector3d(1.0, -2.0, 3.0),
                  "Stamp:  1.5,  Value:  [ 1 -2  3]\n"},
        PrintCase{"EqualWidths", 0.0, Vector3d(1.0, 2.0, 3.0), "Stamp:  0,  Value:  [1 2 3]\n"},
        // Six significant digits for the stamp by default.
        PrintCase{"DefaultPrecision", 0.123456789, Vector3d(0.5, 10.0, -3.0),
                  "Stamp:  0.123457,  Value:  [0.5  10  -3]\n"},
        PrintCase{"Scientific", 1.0e-7, Vector3d(-1.0, 0.0, 100.0),
                  "Stamp:  1e-07,  Value:  [ -1   0 100]\n"}),
    [](const ::testing::TestParamInfo<PrintCase>& info) { return std::string(info.param.name); });

TEST(Vec3dStampedPrint, FollowsTheStreamsCurrentFormatting) {
  vorn::test::StdoutCapture capture;
  std::cout << std::fixed;
  std::cout.precision(2);
  Vec3dStamped(1.5, Vector3d(1.0, -2.0, 3.0)).print();
  EXPECT_EQ(capture.text(), "Stamp:  1.50,  Value:  [ 1.00 -2.00  3.00]\n");
}

}  // namespace
}  // namespace vorn
