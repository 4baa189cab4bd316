// Constant bias and timestamp calibration.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <Eigen/Core>

#include "filters/ConstantBiasCalibration.hpp"
#include "filters/TimestampCalibration.hpp"

namespace vorn {
namespace {

using Eigen::Vector3d;

// Distinct offsets per stream, so that a correction applying the wrong one is noticed.
const Vector3d kLinAccOffset(0.1, -0.2, 9.9);
const Vector3d kAngVelOffset(0.01, 0.02, -0.03);
const Vector3d kForceOffset(1.5, -2.5, 3.5);
const Vector3d kTorqueOffset(-0.4, 0.5, -0.6);
const Vec3dStamped kInput(12.5, Vector3d(10.0, 20.0, 30.0));

// ---------------------------------------------------------------------------------------------
// ConstantBiasCalibration

using BiasCorrection =
    std::function<Vec3dStamped(const ConstantBiasCalibration&, const Vec3dStamped&)>;

struct BiasCase {
  const char* name;
  BiasCorrection correct;
  Vector3d offset;
};

class ConstantBiasCorrection : public ::testing::TestWithParam<BiasCase> {};

ConstantBiasCalibration configuredBias() {
  ConstantBiasCalibration calibration;
  calibration.setImuBias(kLinAccOffset, kAngVelOffset);
  calibration.setWrenchBias(kForceOffset, kTorqueOffset);
  return calibration;
}

TEST_P(ConstantBiasCorrection, SubtractsItsOwnOffsetAndKeepsTheStamp) {
  const BiasCase& c = GetParam();
  const Vec3dStamped out = c.correct(configuredBias(), kInput);
  EXPECT_EQ(out.stamp(), kInput.stamp());
  EXPECT_EQ(out.vec(), kInput.vec() - c.offset);
}

TEST_P(ConstantBiasCorrection, ZeroOffsetsReturnTheInput) {
  const BiasCase& c = GetParam();
  const Vec3dStamped out = c.correct(ConstantBiasCalibration(), kInput);
  EXPECT_EQ(out.stamp(), kInput.stamp());
  EXPECT_EQ(out.vec(), kInput.vec());
}

INSTANTIATE_TEST_SUITE_P(
    Part2_3, ConstantBiasCorrection,
    ::testing::Values(
        BiasCase{"LinAcc", [](const ConstantBiasCalibration& c, const Vec3dStamped& v) {
                   return c.calibrateConstLinAccBias(v);
                 }, kLinAccOffset},
        BiasCase{"AngVel", [](const ConstantBiasCalibration& c, const Vec3dStamped& v) {
                   return c.calibrateConstAngVelBias(v);
                 }, kAngVelOffset},
        BiasCase{"Force", [](const ConstantBiasCalibration& c, const Vec3dStamped& v) {
                   return c.calibrateConstForceBias(v);
                 }, kForceOffset},
        BiasCase{"Torque", [](const ConstantBiasCalibration& c, const Vec3dStamped& v) {
                   return c.calibrateConstTorqueBias(v);
                 }, kTorqueOffset}),
    [](const ::testing::TestParamInfo<BiasCase>& info) { return std::string(info.param.name); });

TEST(ConstantBiasCalibration, DefaultBiasVectorIsTwelveZeros) {
  const Eigen::VectorXd bias = ConstantBiasCalibration().getBiasVector();
  ASSERT_EQ(bias.size(), 12);
  EXPECT_EQ(bias, Eigen::VectorXd::Zero(12));
}

TEST(ConstantBiasCalibration, BiasVectorIsInSampleArrayOrderForceTorqueLinAccAngVel) {
  const Eigen::VectorXd bias = configuredBias().getBiasVector();
  ASSERT_EQ(bias.size(), 12);
  EXPECT_EQ(Vector3d(bias.segment<3>(0)), kForceOffset);
  EXPECT_EQ(Vector3d(bias.segment<3>(3)), kTorqueOffset);
  EXPECT_EQ(Vector3d(bias.segment<3>(6)), kLinAccOffset);
  EXPECT_EQ(Vector3d(bias.segment<3>(9)), kAngVelOffset);
}

TEST(ConstantBiasCalibration, SettersReplaceOnlyTheirOwnPair) {
  ConstantBiasCalibration calibration = configuredBias();
  calibration.setWrenchBias(Vector3d::Zero(), Vector3d::Ones());
  const Eigen::VectorXd bias = calibration.getBiasVector();
  EXPECT_EQ(Vector3d(bias.segment<3>(0)), Vector3d::Zero());
  EXPECT_EQ(Vector3d(bias.segment<3>(3)), Vector3d::Ones());
  EXPECT_EQ(Vector3d(bias.segment<3>(6)), kLinAccOffset);
  EXPECT_EQ(Vector3d(bias.segment<3>(9)), kAngVelOffset);
}

TEST(ConstantBiasCalibration, ExplicitOffsetUsesNoStoredField) {
  const Vector3d offset(-1.0, 0.0, 100.0);
  for (const ConstantBiasCalibration& calibration : {ConstantBiasCalibration(), configuredBias()}) {
    const Vec3dStamped out = calibration.calibrateConstVec3dBias(kInput, offset);
    EXPECT_EQ(out.stamp(), kInput.stamp());
    EXPECT_EQ(out.vec(), Vector3d(11.0, 20.0, -70.0));
  }
}

TEST(ConstantBiasCalibration, PositiveOffsetIsWhatTheSensorReadsAtZero) {
  ConstantBiasCalibration calibration;
  calibration.setWrenchBias(Vector3d(0.5, 0.0, 0.0), Vector3d::Zero());
  // The sensor reads the offset when the true force is zero: the correction gives zero.
  EXPECT_EQ(calibration.calibrateConstForceBias(Vec3dStamped(1.0, Vector3d(0.5, 0.0, 0.0))).vec(),
            Vector3d::Zero());
}

// ---------------------------------------------------------------------------------------------
// TimestampCalibration

TEST(TimestampCalibration, ZeroDelaysReturnTheInput) {
  const TimestampCalibration calibration;
  EXPECT_EQ(calibration.getWrenchDelay(), 0.0);
  for (const Vec3dStamped& out :
       {calibration.calibrateLinAccDelay(kInput), calibration.calibrateAngVelDelay(kInput),
        calibration.calibrateForceDelay(kInput), calibration.calibrateTorqueDelay(kInput)}) {
    EXPECT_EQ(out.stamp(), kInput.stamp());
    EXPECT_EQ(out.vec(), kInput.vec());
  }
}

TEST(TimestampCalibration, PositiveDelayMakesTheStampEarlier) {
  TimestampCalibration calibration;
  calibration.setImuDelays(0.25, 0.5);
  calibration.setWrenchDelay(2.0);
  EXPECT_EQ(calibration.getWrenchDelay(), 2.0);
  EXPECT_EQ(calibration.calibrateLinAccDelay(kInput).stamp(), 12.25);
  EXPECT_EQ(calibration.calibrateAngVelDelay(kInput).stamp(), 12.0);
  EXPECT_EQ(calibration.calibrateForceDelay(kInput).stamp(), 10.5);
  EXPECT_EQ(calibration.calibrateTorqueDelay(kInput).stamp(), 10.5);
  for (const Vec3dStamped& out :
       {calibration.calibrateLinAccDelay(kInput), calibration.calibrateAngVelDelay(kInput),
        calibration.calibrateForceDelay(kInput), calibration.calibrateTorqueDelay(kInput)}) {
    EXPECT_EQ(out.vec(), kInput.vec());
  }
}

TEST(TimestampCalibration, WrenchDelayShiftsForceAndTorqueOnly) {
  TimestampCalibration calibration;
  calibration.setWrenchDelay(0.75);
  EXPECT_EQ(calibration.calibrateForceDelay(kInput).stamp(), 11.75);
  EXPECT_EQ(calibration.calibrateTorqueDelay(kInput).stamp(), 11.75);
  EXPECT_EQ(calibration.calibrateLinAccDelay(kInput).stamp(), 12.5);
  EXPECT_EQ(calibration.calibrateAngVelDelay(kInput).stamp(), 12.5);
}

TEST(TimestampCalibration, ImuDelaysDoNotAffectTheWrench) {
  TimestampCalibration calibration;
  calibration.setImuDelays(1.0, 3.0);
  EXPECT_EQ(calibration.calibrateForceDelay(kInput).stamp(), 12.5);
  EXPECT_EQ(calibration.calibrateTorqueDelay(kInput).stamp(), 12.5);
  EXPECT_EQ(calibration.getWrenchDelay(), 0.0);
}

TEST(TimestampCalibration, NegativeDelaysAreAcceptedAndMoveTheStampLater) {
  TimestampCalibration calibration;
  calibration.setImuDelays(-0.5, 0.0);
  calibration.setWrenchDelay(-1.0);
  EXPECT_EQ(calibration.calibrateLinAccDelay(kInput).stamp(), 13.0);
  EXPECT_EQ(calibration.calibrateForceDelay(kInput).stamp(), 13.5);
}

TEST(TimestampCalibration, ExplicitDelayUsesNoStoredField) {
  TimestampCalibration calibration;
  calibration.setImuDelays(5.0, 5.0);
  calibration.setWrenchDelay(5.0);
  const Vec3dStamped out = calibration.calibrateVec3dDelay(kInput, 0.5);
  EXPECT_EQ(out.stamp(), 12.0);
  EXPECT_EQ(out.vec(), kInput.vec());
}

TEST(Calibration, BiasAndDelayCommute) {
  TimestampCalibration delays;
  delays.setWrenchDelay(0.125);
  const ConstantBiasCalibration bias = configuredBias();
  const Vec3dStamped delayFirst = bias.calibrateConstForceBias(delays.calibrateForceDelay(kInput));
  const Vec3dStamped biasFirst = delays.calibrateForceDelay(bias.calibrateConstForceBias(kInput));
  EXPECT_EQ(delayFirst.stamp(), biasFirst.stamp());
  EXPECT_EQ(delayFirst.vec(), biasFirst.vec());
  EXPECT_EQ(delayFirst.stamp(), 12.375);
  EXPECT_EQ(delayFirst.vec(), kInput.vec() - kForceOffset);
}

}  // namespace
}  // namespace vorn
