// Centred angular acceleration: the slope through a window of records, delayed to its middle.
#include "filters/CentredDifferentiator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace vorn {
namespace {

/// A record at `t` whose angular velocity is ω(t) = (c0 + c1·t + c2·t², sin t, 0).
DynamicsStamped record(double t, double c0, double c1, double c2) {
  const Eigen::Vector3d w(c0 + c1 * t + c2 * t * t, std::sin(t), 0.0);
  return DynamicsStamped(
      KinematicsStamped(t, Eigen::Vector3d(1.0, 2.0, 9.81 + t), w, Eigen::Vector3d(7.0, 7.0, 7.0)),
      WrenchStamped(t, Eigen::Vector3d(t, 0.0, 0.0), Eigen::Vector3d(0, 0, t)));
}

TEST(CentredDifferentiator, WaitsForTwiceTheHalfWidthThenGivesTheMiddleRecord) {
  CentredDifferentiator d(0.02);
  int pushed = 0;
  bool ready = false;
  for (; pushed < 200 && !ready; ++pushed) {
    ready = d.push(record(5.0 + 0.001 * pushed, 0.3, 2.0, 0.0));
  }
  ASSERT_TRUE(ready);
  EXPECT_EQ(pushed, 41);  // 5.000 … 5.040
  const DynamicsStamped& c = d.centred();
  EXPECT_NEAR(c.stamp(), 5.020, 1e-12);
  // Every channel of the middle record passes unchanged; the recorded angular acceleration is
  // replaced by the slope (exact for a linear angular velocity).
  EXPECT_NEAR(c.linAcc().z(), 9.81 + 5.020, 1e-12);
  EXPECT_NEAR(c.force().x(), 5.020, 1e-12);
  EXPECT_NEAR(c.torque().z(), 5.020, 1e-12);
  EXPECT_NEAR(c.angVel().x(), 0.3 + 2.0 * 5.020, 1e-12);
  EXPECT_NEAR(c.angAcc().x(), 2.0, 1e-9);
  EXPECT_NEAR(c.angAcc().y(), std::cos(5.020), 1e-4);  // curvature bias ~ h²/6·|ω'''|
  EXPECT_EQ(c.angAcc().z(), 0.0);
  // From then on every record completes one: the window slides by one.
  EXPECT_TRUE(d.push(record(5.041, 0.3, 2.0, 0.0)));
  EXPECT_NEAR(d.centred().stamp(), 5.021, 1e-12);
}

TEST(CentredDifferentiator, SlopeOfAQuadraticIsItsDerivativeAtTheMiddleEvenWithUnevenStamps) {
  CentredDifferentiator d(0.01, 1);
  const double stamps[] = {0.0, 0.0013, 0.004, 0.0045, 0.009, 0.0112, 0.014, 0.0171, 0.02};
  for (const double t : stamps) {
    if (d.push(record(t, 1.0, -3.0, 40.0))) {
      break;
    }
  }
  const double tm = d.centred().stamp();
  // For a quadratic, the least-squares slope equals the derivative at the mean stamp, which is
  // near but not at the middle record for uneven stamps: compare with a tolerance.
  EXPECT_NEAR(d.centred().angAcc().x(), -3.0 + 80.0 * tm, 80.0 * 0.002);
  // The cubic is exact at the middle record itself, uneven stamps or not.
  CentredDifferentiator cubic(0.01, 3);
  for (const double t : stamps) {
    if (cubic.push(record(t, 1.0, -3.0, 40.0))) {
      break;
    }
  }
  EXPECT_NEAR(cubic.centred().angAcc().x(), -3.0 + 80.0 * cubic.centred().stamp(), 1e-9);
}

TEST(CentredDifferentiator, WindowHoldsAnOddNumberOfRecordsSoTheSlopeBelongsToTheMiddleOne) {
  // At 125 Hz, ±20 ms is two and a half samples: six records span the 40 ms, and the middle of
  // six is half a sample from the mean stamp. The window waits for the seventh record.
  for (const int degree : {1, 3}) {
    CentredDifferentiator d(0.02, degree);
    int pushed = 0;
    bool ready = false;
    for (; pushed < 50 && !ready; ++pushed) {
      ready = d.push(record(0.008 * pushed, 1.0, -3.0, 40.0));
    }
    ASSERT_TRUE(ready) << degree;
    EXPECT_EQ(pushed, 7) << degree;
    EXPECT_NEAR(d.centred().stamp(), 0.024, 1e-12) << degree;
    // A quadratic's centred slope is its derivative at the middle record.
    EXPECT_NEAR(d.centred().angAcc().x(), -3.0 + 80.0 * 0.024, 1e-9) << degree;
    for (int i = 0; i < 10; ++i) {
      ASSERT_TRUE(d.push(record(0.008 * (pushed + i), 1.0, -3.0, 40.0))) << degree;
      EXPECT_EQ(d.size(), 6u) << degree;
      const double tm = d.centred().stamp();
      EXPECT_NEAR(d.centred().angAcc().x(), -3.0 + 80.0 * tm, 1e-9) << degree << " at " << tm;
    }
  }
}

TEST(CentredDifferentiator, ResetStartsAFreshWindowAndTheRingGrowsAsNeeded) {
  CentredDifferentiator d(0.05);
  for (int i = 0; i < 60; ++i) {
    d.push(record(0.001 * i, 0.0, 1.0, 0.0));
  }
  EXPECT_GT(d.size(), 8u);  // beyond the initial ring
  d.reset();
  EXPECT_EQ(d.size(), 0u);
  EXPECT_EQ(d.centred().stamp(), 0.0);
  // A new time line: nothing from before the reset enters the slope.
  bool ready = false;
  for (int i = 0; i <= 100 && !ready; ++i) {
    ready = d.push(record(100.0 + 0.001 * i, 0.0, -4.0, 0.0));
  }
  ASSERT_TRUE(ready);
  EXPECT_NEAR(d.centred().angAcc().x(), -4.0, 1e-9);
}


/// Derivative error at the middle of every completed window for ω_x = f(t), sampled at `rate`
/// from 0 to 1 s; returns the largest error.
template <typename F, typename D>
double largestSlopeError(CentredDifferentiator& d, double rate, F f, D derivative) {
  double largest = 0.0;
  for (int i = 0; i <= static_cast<int>(rate); ++i) {
    const double t = static_cast<double>(i) / rate;
    const DynamicsStamped r(
        KinematicsStamped(t, Eigen::Vector3d::Zero(), Eigen::Vector3d(f(t), 0.0, 0.0),
                          Eigen::Vector3d::Zero()),
        WrenchStamped(t, Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero()));
    if (d.push(r)) {
      largest = std::max(largest,
                         std::abs(d.centred().angAcc().x() - derivative(d.centred().stamp())));
    }
  }
  return largest;
}

TEST(CentredDifferentiator, CubicFitHasNoCurvatureBiasWhereTheLineHas) {
  const double h = CentredDifferentiator::kDefaultHalfWidth;
  // A cubic angular velocity: the line's slope is off by about h²·c3 (discretely a little
  // less); the cubic is exact.
  const auto cubic = [](double t) { return 0.2 - 1.5 * t + 4.0 * t * t + 400.0 * t * t * t; };
  const auto cubicRate = [](double t) { return -1.5 + 8.0 * t + 1200.0 * t * t; };
  for (const double rate : {100.0, 250.0, 1000.0}) {
    CentredDifferentiator line(h, 1);
    CentredDifferentiator fit(h, 3);
    EXPECT_GT(largestSlopeError(line, rate, cubic, cubicRate), 0.5 * 400.0 * h * h) << rate;
    EXPECT_LT(largestSlopeError(fit, rate, cubic, cubicRate), 1e-8) << rate;
  }
  // Brisk turning, 2 rad/s at 3 Hz: the line misses the peaks of α by over a per cent, the cubic
  // by a small fraction of that.
  const double w = 2.0 * M_PI * 3.0;
  const auto wave = [w](double t) { return 2.0 * std::sin(w * t); };
  const auto waveRate = [w](double t) { return 2.0 * w * std::cos(w * t); };
  for (const double rate : {250.0, 1000.0}) {
    CentredDifferentiator line(h, 1);
    CentredDifferentiator fit(h, 3);
    const double lineError = largestSlopeError(line, rate, wave, waveRate);
    EXPECT_GT(lineError, 0.01 * 2.0 * w) << rate;
    EXPECT_LT(largestSlopeError(fit, rate, wave, waveRate), 0.1 * lineError) << rate;
  }
}

TEST(CentredDifferentiator, CubicOverTwiceTheWidthHasTheLinesNoiseAndLittleOfItsBias) {
  using D = CentredDifferentiator;
  for (const double rate : {250.0, 500.0, 1000.0}) {
    const double line = D::slopeVariance(1.0, rate, D::kLineHalfWidth, 1);
    const double cubic = D::slopeVariance(1.0, rate, D::kCubicHalfWidth, 3);
    EXPECT_LT(cubic, 0.95 * line) << rate;
    EXPECT_GT(cubic, 0.75 * line) << rate;
  }
  // 1.6 Hz turning at 5 rad/s, the fastest term of the fast hand-held profile.
  const double w = 2.0 * M_PI * 1.6;
  const auto wave = [w](double t) { return 5.0 * std::sin(w * t); };
  const auto waveRate = [w](double t) { return 5.0 * w * std::cos(w * t); };
  for (const double rate : {100.0, 1000.0}) {
    D line(D::kLineHalfWidth, 1);
    D cubic(D::kCubicHalfWidth, 3);
    const double lineError = largestSlopeError(line, rate, wave, waveRate);
    EXPECT_GT(lineError, 3e-3 * 5.0 * w) << rate;
    EXPECT_LT(largestSlopeError(cubic, rate, wave, waveRate), 0.03 * lineError) << rate;
  }
}

TEST(CentredDifferentiator, NoiseFigureMatchesTheSpreadOfTheDerivedSlope) {
  // White gyro noise of σ = 0.01 rad/s about a constant rate; the spread of the slopes over many
  // independent windows must match the figure the configuration is given, at every rate.
  for (const int degree : {1, 3}) {
    // 20 and 60 Hz: fewer records than the half width asks for, 60 and 125 Hz: a half width
    // that is not a whole number of samples.
    for (const double rate : {20.0, 60.0, 100.0, 125.0, 250.0, 500.0, 1000.0}) {
      std::mt19937 generator(7);
      std::normal_distribution<double> noise(0.0, 0.01);
      CentredDifferentiator d(CentredDifferentiator::kDefaultHalfWidth, degree);
      const std::size_t window =
          2 * static_cast<std::size_t>(std::ceil(d.halfWidth() * rate)) + 5;
      double sum = 0.0;
      double squares = 0.0;
      int windows = 0;
      std::size_t sinceLast = window;
      for (int i = 0; windows < 4000; ++i) {
        const double t = static_cast<double>(i) / rate;
        const DynamicsStamped r(
            KinematicsStamped(t, Eigen::Vector3d::Zero(),
                              Eigen::Vector3d(0.5 + noise(generator), 0.0, 0.0),
                              Eigen::Vector3d::Zero()),
            WrenchStamped(t, Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero()));
        if (d.push(r) && ++sinceLast >= window) {
          // Windows that share no sample are independent.
          sinceLast = 0;
          const double a = d.centred().angAcc().x();
          sum += a;
          squares += a * a;
          ++windows;
        }
      }
      const double mean = sum / windows;
      const double variance = squares / windows - mean * mean;
      const double figure = CentredDifferentiator::slopeVariance(1e-4, rate, d.halfWidth(), degree);
      // 4000 draws: the sample variance is within about 2.2 % (1 σ) of the true one.
      EXPECT_NEAR(variance / figure, 1.0, 0.08) << "degree " << degree << " at " << rate << " Hz";
    }
  }
  // The cubic passes about 9.4 / 1.5 = 6.25 times the line's noise on the same window.
  EXPECT_NEAR(CentredDifferentiator::slopeVariance(1.0, 1000.0, 0.035, 3) /
                  CentredDifferentiator::slopeVariance(1.0, 1000.0, 0.035, 1),
              6.25, 0.2);
}


TEST(CentredDifferentiator, NoiseCorrelationMatchesTheSlopesOfNeighbouringRecords) {
  // White gyro noise through the window: consecutive slopes share most of their records, and
  // their correlation at every lag must be the one the covariance is given.
  for (const int degree : {1, 3}) {
    for (const double rate : {100.0, 250.0}) {
      std::mt19937 generator(11);
      std::normal_distribution<double> noise(0.0, 0.01);
      CentredDifferentiator d(CentredDifferentiator::kDefaultHalfWidth, degree);
      std::vector<double> slopes;
      for (int i = 0; slopes.size() < 40000; ++i) {
        const double t = static_cast<double>(i) / rate;
        const DynamicsStamped r(
            KinematicsStamped(t, Eigen::Vector3d::Zero(), Eigen::Vector3d(noise(generator), 0, 0),
                              Eigen::Vector3d::Zero()),
            WrenchStamped(t, Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero()));
        if (d.push(r)) {
          slopes.push_back(d.centred().angAcc().x());
        }
      }
      const std::vector<double> rho = CentredDifferentiator::noiseCorrelation(d.side(), degree);
      ASSERT_EQ(rho.size(), 2 * d.side() + 1);
      EXPECT_DOUBLE_EQ(rho[0], 1.0);
      // The weights sum to zero, so do the correlations over all lags, both signs.
      double total = rho[0];
      for (std::size_t lag = 1; lag < rho.size(); ++lag) {
        total += 2.0 * rho[lag];
      }
      EXPECT_NEAR(total, 0.0, 1e-12);
      double zeroLag = 0.0;
      for (const double a : slopes) {
        zeroLag += a * a;
      }
      for (std::size_t lag = 1; lag < rho.size(); ++lag) {
        double sum = 0.0;
        for (std::size_t k = lag; k < slopes.size(); ++k) {
          sum += slopes[k] * slopes[k - lag];
        }
        const double measured = sum / zeroLag * slopes.size() / (slopes.size() - lag);
        // 40000 slopes: a correlation is within about 0.005-0.03 (1 σ; neighbours share noise).
        EXPECT_NEAR(measured, rho[lag], 0.06)
            << "degree " << degree << " at " << rate << " Hz, lag " << lag;
      }
    }
  }
}

/// Stamps of the centred records marked as straddling rest, for gyro records at `rate` of a
/// minimum-jerk turn of 0.8 rad about x from 1 s to 1.5 s (at rest before and after) with white
/// noise of 0.003 rad/s on every axis, over `seconds`.
std::vector<double> restMarks(CentredDifferentiator& d, double rate, double seconds) {
  std::mt19937 generator(5);
  std::normal_distribution<double> noise(0.0, 0.003);
  std::vector<double> marked;
  for (int i = 0; i < static_cast<int>(seconds * rate); ++i) {
    const double t = i / rate;
    const double s = std::clamp((t - 1.0) / 0.5, 0.0, 1.0);
    const Eigen::Vector3d w(1.6 * 30.0 * s * s * (1 - s) * (1 - s) + noise(generator),
                            noise(generator), noise(generator));
    if (d.push(DynamicsStamped(KinematicsStamped(t, Eigen::Vector3d::Zero(), w, w),
                               WrenchStamped(t, Eigen::Vector3d::Zero(), w))) &&
        d.windowStraddlesRest()) {
      marked.push_back(d.centred().stamp());
    }
  }
  return marked;
}

TEST(CentredDifferentiator, RestTestMarksTheWindowsWhereAMoveStartsOrStopsOnly) {
  const double h = CentredDifferentiator::kDefaultHalfWidth;
  for (const double rate : {100.0, 250.0, 1000.0}) {
    CentredDifferentiator d;
    d.setRestDeviation(0.003);
    const std::vector<double> marks = restMarks(d, rate, 3.0);
    int start = 0;
    int stop = 0;
    for (const double t : marks) {
      start += std::abs(t - 1.0) <= h + 0.01 ? 1 : 0;
      stop += std::abs(t - 1.5) <= h + 0.01 ? 1 : 0;
    }
    // Nothing in the pauses (one noisy record is no motion) nor within the move; at least
    // the windows within half the half width of either end, where the cubic misses most.
    EXPECT_EQ(start + stop, static_cast<int>(marks.size())) << rate << " Hz";
    EXPECT_GE(std::min(start, stop), static_cast<int>(h * rate)) << rate << " Hz";
    // Off by default and for a deviation that is none.
    CentredDifferentiator off;
    EXPECT_TRUE(restMarks(off, rate, 3.0).empty());
    off.setRestDeviation(std::nan(""));
    EXPECT_TRUE(restMarks(off, rate, 3.0).empty());
  }
  // A swing about one axis passes through rest at every reversal, but smoothly: the cubic
  // follows it there, where the angular acceleration is largest. Never marked.
  CentredDifferentiator swing;
  swing.setRestDeviation(0.003);
  std::mt19937 generator(3);
  std::normal_distribution<double> noise(0.0, 0.003);
  for (int i = 0; i < 8000; ++i) {
    const double t = i / 1000.0;
    const double x = 0.8 * std::sin(2.0 * M_PI * t + 1.0);
    const Eigen::Vector3d w(x + noise(generator), noise(generator), noise(generator));
    const DynamicsStamped r(KinematicsStamped(t, w, w, w), WrenchStamped(t, w, w));
    ASSERT_FALSE(swing.push(r) && swing.windowStraddlesRest()) << t;
  }
}

}  // namespace
}  // namespace vorn
