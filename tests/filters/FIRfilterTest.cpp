// FIR filter (smoothing and differentiation).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include <Eigen/Core>

#include "data/Vec3dSeries.hpp"
#include "filters/FIRfilter.hpp"
#include "support/StdoutCapture.hpp"

namespace vorn {
namespace {

using Eigen::Vector3d;
using vorn::test::StdoutCapture;

constexpr double kDerivativeTol = 1e-9;

Vec3dSeries makeSeries(const std::vector<double>& stamps, const std::vector<Vector3d>& vectors) {
  Vec3dSeries series;
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    series.emplaceBack(Vec3dStamped(stamps[i], vectors[i]));
  }
  return series;
}

FIRfilter smoothing() {
  FIRfilter f;
  f.readCoeffs("filter", "coeffs", "smoothing", "imu", false);
  return f;
}

FIRfilter differentiation() {
  FIRfilter f;
  f.readCoeffs("filter", "coeffs", "differentiation", "ang_vel", true);
  return f;
}

// ---------------------------------------------------------------------------------------------
// Coefficient sets

TEST(FIRfilter, DefaultFilterHasOneTap) {
  const FIRfilter f;
  EXPECT_EQ(f.size(), 1U);
}

// The four name parts only label the set; the flag alone chooses the taps.
using NameParts = std::tuple<std::string, std::string, std::string, std::string>;

class FIRfilterReadCoeffs : public ::testing::TestWithParam<NameParts> {};

TEST_P(FIRfilterReadCoeffs, FlagAloneChoosesTheSet) {
  const auto& [group, kind, purpose, signal] = GetParam();
  FIRfilter f;
  f.readCoeffs(group, kind, purpose, signal, true);
  EXPECT_EQ(f.size(), 5U);
  f.readCoeffs(group, kind, purpose, signal, false);
  EXPECT_EQ(f.size(), 1U);
  f.readCoeffs(group, kind, purpose, signal, true);
  EXPECT_EQ(f.size(), 5U);
}

INSTANTIATE_TEST_SUITE_P(
    Part2_1, FIRfilterReadCoeffs,
    ::testing::Values(NameParts{"filter", "coeffs", "smoothing", "imu"},
                      NameParts{"filter", "coeffs", "smoothing", "ft"},
                      NameParts{"filter", "coeffs", "differentiation", "ang_vel"},
                      NameParts{"", "", "", ""}, NameParts{"x", "y", "smoothing", "nothing"}));

// ---------------------------------------------------------------------------------------------
// Smoothing

TEST(FIRfilterSmoothing, OneTapReturnsTheNewestSampleExactly) {
  Vec3dSeries series =
      makeSeries({0.0, 0.1, 0.25}, {Vector3d(1, 2, 3), Vector3d(4, 5, 6), Vector3d(0.1, -0.2, 7e9)});
  series.shrink();  // mark at the newest index
  const Vec3dStamped out = smoothing().filter(series);
  EXPECT_EQ(out.stamp(), 0.25);
  EXPECT_EQ(out.vec(), Vector3d(0.1, -0.2, 7e9));
  EXPECT_EQ(series.oldestUsedIndex(), 2U);
  EXPECT_EQ(smoothing().calculateDelayedStamp(series), 0.25);
}

TEST(FIRfilterSmoothing, SingleSampleSeriesIsEnough) {
  Vec3dSeries series = makeSeries({3.0}, {Vector3d(9, 8, 7)});
  StdoutCapture capture;
  const Vec3dStamped out = smoothing().filter(series);
  EXPECT_EQ(out.stamp(), 3.0);
  EXPECT_EQ(out.vec(), Vector3d(9, 8, 7));
  EXPECT_EQ(capture.text(), "");
}

// A filter whose taps were never loaded returns the newest sample unchanged (and must not read
// past its empty coefficient vector; the sanitizer build checks that part).
TEST(FIRfilterSmoothing, UnloadedFilterReturnsTheNewestSampleUnchanged) {
  Vec3dSeries series =
      makeSeries({0.0, 0.1, 0.2}, {Vector3d(1, 2, 3), Vector3d(4, 5, 6), Vector3d(-7, 8.5, 9)});
  const FIRfilter f;
  const Vec3dStamped out = f.filter(series);
  EXPECT_EQ(out.stamp(), 0.2);
  EXPECT_EQ(out.vec(), Vector3d(-7, 8.5, 9));
  EXPECT_EQ(series.size(), 3U);
}

// ---------------------------------------------------------------------------------------------
// Differentiation

TEST(FIRfilterDifferentiation, SpecExample_FiveSamplesGiveStamp02AndVector102030) {
  Vec3dSeries series = makeSeries(
      {0.0, 0.1, 0.2, 0.3, 0.4},
      {Vector3d(0, 0, 0), Vector3d(1, 2, 3), Vector3d(2, 4, 6), Vector3d(3, 6, 9), Vector3d(4, 8, 12)});
  const Vec3dStamped out = differentiation().filter(series);
  EXPECT_EQ(out.stamp(), 0.2);
  EXPECT_LT((out.vec() - Vector3d(10, 20, 30)).norm(), kDerivativeTol);
}

TEST(FIRfilterDifferentiation, DividesByTheMeanSpacingOverTheWindow) {
  // Vectors grow by (1, 2, 3) per sample, so the weighted sum is exactly (1, 2, 3); the stamps
  // are uneven, with a mean spacing over the window of (0.6 - 0.0) / 4 = 0.15, unlike the first
  // (0.05), the last (0.3) or any other single spacing.
  Vec3dSeries series = makeSeries(
      {0.0, 0.05, 0.2, 0.3, 0.6},
      {Vector3d(0, 0, 0), Vector3d(1, 2, 3), Vector3d(2, 4, 6), Vector3d(3, 6, 9), Vector3d(4, 8, 12)});
  const Vec3dStamped out = differentiation().filter(series);
  EXPECT_EQ(out.stamp(), 0.2);  // the third-newest stamp, not the mid time 0.3
  EXPECT_LT((out.vec() - Vector3d(1, 2, 3) / 0.15).norm(), kDerivativeTol);
}

TEST(FIRfilterDifferentiation, TapZeroWeightsTheNewestSample) {
  // Only the newest sample is non-zero: the result is +0.2 times it over the mean spacing.
  Vec3dSeries series = makeSeries({0.0, 1.0, 2.0, 3.0, 4.0},
                                  {Vector3d::Zero(), Vector3d::Zero(), Vector3d::Zero(),
                                   Vector3d::Zero(), Vector3d(5, -10, 1)});
  EXPECT_LT((differentiation().filter(series).vec() - Vector3d(1, -2, 0.2)).norm(), kDerivativeTol);
  // Only the oldest sample of the window is non-zero: -0.2 times it.
  Vec3dSeries oldest = makeSeries({0.0, 1.0, 2.0, 3.0, 4.0},
                                  {Vector3d(5, -10, 1), Vector3d::Zero(), Vector3d::Zero(),
                                   Vector3d::Zero(), Vector3d::Zero()});
  EXPECT_LT((differentiation().filter(oldest).vec() - Vector3d(-1, 2, -0.2)).norm(),
            kDerivativeTol);
}

TEST(FIRfilterDifferentiation, UsesOnlyTheNewestFiveSamplesAndMarksTheWindow) {
  // 12 samples: 7 wild old ones, then a clean ramp of slope (2, -1, 0.5) per second.
  std::vector<double> stamps;
  std::vector<Vector3d> vectors;
  for (int i = 0; i < 12; ++i) {
    const double t = 0.01 * i;
    stamps.push_back(t);
    vectors.push_back(i < 7 ? Vector3d(1e6 * i, -3e5, 42.0) : Vector3d(2, -1, 0.5) * t);
  }
  Vec3dSeries series = makeSeries(stamps, vectors);
  series.shrink();
  ASSERT_EQ(series.oldestUsedIndex(), 11U);
  const Vec3dStamped out = differentiation().filter(series);
  EXPECT_EQ(out.stamp(), stamps[9]);
  EXPECT_LT((out.vec() - Vector3d(2, -1, 0.5)).norm(), 1e-6);
  EXPECT_LE(series.oldestUsedIndex(), 7U);
  EXPECT_EQ(series.size(), 12U);
}

TEST(FIRfilterDifferentiation, ConstantSignalHasZeroDerivative) {
  Vec3dSeries series;
  for (int i = 0; i < 8; ++i) {
    series.emplaceBack(Vec3dStamped(0.003 * i * i, Vector3d(3.5, -2.0, 1e3)));
  }
  EXPECT_LT(differentiation().filter(series).vec().norm(), kDerivativeTol);
}

class FIRfilterRamp : public ::testing::TestWithParam<double> {};

// On samples that grow by one unit per sample period the weighted sum is one unit, so the
// result is one unit divided by the spacing.
TEST_P(FIRfilterRamp, UnitStepPerSampleGivesOneOverTheSpacing) {
  const double spacing = GetParam();
  Vec3dSeries series;
  for (int i = 0; i < 6; ++i) {
    series.emplaceBack(Vec3dStamped(10.0 + spacing * i, Vector3d(i, -i, 2.0 * i)));
  }
  const Vec3dStamped out = differentiation().filter(series);
  const Vector3d expected = Vector3d(1, -1, 2) / spacing;
  EXPECT_LT((out.vec() - expected).norm(), 1e-9 * expected.norm());
  EXPECT_DOUBLE_EQ(out.stamp(), 10.0 + 3.0 * spacing);
}

INSTANTIATE_TEST_SUITE_P(Part2_1, FIRfilterRamp, ::testing::Values(0.001, 0.01, 0.1, 1.0));

// ---------------------------------------------------------------------------------------------
// Too few samples, delayed stamp

TEST(FIRfilterDifferentiation, TooFewSamplesPrintsTheMessageAndReturnsTheNewestSample) {
  for (unsigned int n = 1; n < 5; ++n) {
    Vec3dSeries series;
    for (unsigned int i = 0; i < n; ++i) {
      series.emplaceBack(Vec3dStamped(0.1 * i, Vector3d(i, 2.0 * i, -1.0)));
    }
    StdoutCapture capture;
    const Vec3dStamped out = differentiation().filter(series);
    EXPECT_EQ(capture.text(),
              "Not enough historic data stored for filtering of size 5, using unfiltered value.\n")
        << n << " samples";
    EXPECT_EQ(out.stamp(), series.latest().stamp());
    EXPECT_EQ(out.vec(), series.latest().vec());
  }
}

TEST(FIRfilterDifferentiation, ExactlyFiveSamplesAreEnough) {
  Vec3dSeries series;
  for (int i = 0; i < 5; ++i) {
    series.emplaceBack(Vec3dStamped(0.5 * i, Vector3d(i, 0, 0)));
  }
  StdoutCapture capture;
  const Vec3dStamped out = differentiation().filter(series);
  EXPECT_EQ(capture.text(), "");
  EXPECT_EQ(out.stamp(), 1.0);
  EXPECT_LT((out.vec() - Vector3d(2, 0, 0)).norm(), kDerivativeTol);
}

TEST(FIRfilterDelayedStamp, OddSizesUseTheCentreSample) {
  Vec3dSeries series;
  for (int i = 1; i <= 7; ++i) {
    series.emplaceBack(Vec3dStamped(static_cast<double>(i), Vector3d::Zero()));
  }
  series.shrink();
  EXPECT_EQ(smoothing().calculateDelayedStamp(series), 7.0);        // 1 tap: the newest
  EXPECT_EQ(differentiation().calculateDelayedStamp(series), 5.0);  // 5 taps: third-newest
  EXPECT_EQ(series.oldestUsedIndex(), 4U);                          // read through at
}

}  // namespace
}  // namespace vorn
