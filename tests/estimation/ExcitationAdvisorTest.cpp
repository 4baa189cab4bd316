// The excitation advisor on hand-made covariances: a single poorly known parameter must draw
// the move that observes it, and the conditions past the thresholds their own advice.

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "estimation/ExcitationAdvisor.hpp"

namespace vorn {
namespace {

// A 1.2 kg payload 8 cm out along z, every parameter known to a tenth of its threshold except
// the one given, which is ten thresholds off.
ExcitationInput inputWithUnknown(int parameter) {
  ExcitationInput input;
  input.solution << 1.2, 0.02, -0.01, 0.08, 0.01, 0.0, 0.0, 0.01, 0.0, 0.004, 0, 0, 0, 0, 0, 0;
  input.thresholds = {2e-3, 5e-4, 2e-4, 1e-2};
  const double thresholds[16] = {2e-3, 5e-4 * 1.2, 5e-4 * 1.2, 5e-4 * 1.2, 2e-4, 2e-4, 2e-4, 2e-4,
                                 2e-4, 2e-4,       1e-2,       1e-2,       1e-2, 1e-2, 1e-2, 1e-2};
  for (int i = 0; i < 16; ++i) {
    const double sigma = (i == parameter ? 10.0 : 0.1) * thresholds[i];
    input.covariance(i, i) = sigma * sigma;
  }
  input.noise << 4e-4, 4e-4, 4e-4, 9e-6, 9e-6, 9e-6, 1.7e-3, 1.7e-3, 1.7e-3, 2.5e-3, 2.5e-3, 2.5e-3,
      9e-6, 9e-6, 9e-6;
  input.specificForce = Eigen::Vector3d(0.0, 0.0, 9.81);
  input.sampleRate = 500.0;
  input.samplesAbsorbed = 1000;
  return input;
}

std::string words(const ExcitationAdvice& advice) {
  char text[160];
  ExcitationAdvisor::describe(advice, text, sizeof text);
  return text;
}

TEST(ExcitationAdvisor, AnUnknownDiagonalInertiaEntryAsksForARotationAboutItsAxis) {
  for (int axis = 0; axis < 3; ++axis) {
    const int parameter = axis == 0 ? 4 : axis == 1 ? 7 : 9;
    const ExcitationAdvice advice = ExcitationAdvisor::advise(inputWithUnknown(parameter));
    EXPECT_EQ(advice.move, ExcitationMove::RotateAbout) << words(advice);
    EXPECT_EQ(advice.axisIndex, axis) << words(advice);
    EXPECT_EQ(advice.group, 2);
  }
}

TEST(ExcitationAdvisor, AnUnknownForceOffsetAlongGravityAsksForATilt) {
  // With gravity along z only, the mass and the z force offset are one unknown.
  ExcitationInput input = inputWithUnknown(-1);
  Eigen::Matrix<double, 16, 1> unseen = Eigen::Matrix<double, 16, 1>::Zero();
  unseen[0] = 10.0 * 2e-3;
  unseen[12] = 9.81 * unseen[0];
  input.covariance += unseen * unseen.transpose();
  const ExcitationAdvice advice = ExcitationAdvisor::advise(input);
  EXPECT_EQ(advice.move, ExcitationMove::TiltAxisDown) << words(advice);
  // Any pose but the present one (sensor z up) tells the two apart; upside down does it best.
  EXPECT_FALSE(advice.axisIndex == 2 && advice.axis[2] < 0.0) << words(advice);
  EXPECT_TRUE(advice.group == 0 || advice.group == 3) << advice.group;
}

TEST(ExcitationAdvisor, ConditionsPastTheThresholdsHaveTheirOwnAdvice) {
  ExcitationInput input = inputWithUnknown(-1);
  input.stdDevsWithinThresholds = true;
  input.residualWindowFull = true;
  input.residualWithinLimit = false;
  EXPECT_EQ(ExcitationAdvisor::advise(input).move, ExcitationMove::HoldStill);

  input.residualWithinLimit = true;
  input.physicallyConsistent = false;
  // A rod along z: its smallest moment about the centre of mass is about z.
  input.solution.segment<6>(4) << 0.01 + 1.2 * (0.0001 + 0.0064), 1.2 * 0.0002, -1.2 * 0.0016,
      0.01 + 1.2 * (0.0004 + 0.0064), 1.2 * 0.0008, -0.0001 + 1.2 * 0.0005;
  const ExcitationAdvice rod = ExcitationAdvisor::advise(input);
  EXPECT_EQ(rod.move, ExcitationMove::RotateAbout) << words(rod);
  EXPECT_EQ(rod.axisIndex, 2);

  input.physicallyConsistent = true;
  EXPECT_EQ(ExcitationAdvisor::advise(input).move, ExcitationMove::KeepGoing);
  input.converged = true;
  EXPECT_EQ(ExcitationAdvisor::advise(input).move, ExcitationMove::Done);
  input.converged = false;
  input.samplesAbsorbed = 0;
  EXPECT_EQ(ExcitationAdvisor::advise(input).move, ExcitationMove::Start);
}

TEST(ExcitationAdvisor, WordsNameTheAxisAndTheDirection) {
  EXPECT_EQ(words(ExcitationAdvisor::moveAdvice(1)),
            "rotate the tool back and forth about the sensor's y axis (for the estimate)");
  EXPECT_EQ(words(ExcitationAdvisor::moveAdvice(4)),
            "tilt the tool until the sensor's -x axis points down (for the estimate)");
  char small[8];
  ExcitationAdvisor::describe(ExcitationAdvisor::moveAdvice(0), small, sizeof small);
  EXPECT_EQ(std::strlen(small), 7U);
}

}  // namespace
}  // namespace vorn
