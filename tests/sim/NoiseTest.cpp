// Portable random numbers: uniform range, normal moments, determinism.
#include <cmath>

#include <gtest/gtest.h>

#include "sim/Noise.hpp"

namespace vorn::sim {
namespace {

constexpr int kDraws = 400000;

TEST(SimNoise, UniformIsInUnitInterval) {
  Rng rng(1);
  double sum = 0.0;
  for (int i = 0; i < kDraws; ++i) {
    const double u = rng.uniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    sum += u;
  }
  EXPECT_NEAR(sum / kDraws, 0.5, 5.0 * std::sqrt(1.0 / 12.0 / kDraws));
}

TEST(SimNoise, NormalHasStandardMoments) {
  Rng rng(7);
  double m1 = 0.0, m2 = 0.0, m4 = 0.0;
  int within1 = 0, within2 = 0;
  for (int i = 0; i < kDraws; ++i) {
    const double z = rng.normal();
    ASSERT_TRUE(std::isfinite(z));
    m1 += z;
    m2 += z * z;
    m4 += z * z * z * z;
    within1 += std::abs(z) < 1.0;
    within2 += std::abs(z) < 2.0;
  }
  const double n = kDraws;
  EXPECT_NEAR(m1 / n, 0.0, 5.0 / std::sqrt(n));
  EXPECT_NEAR(m2 / n, 1.0, 5.0 * std::sqrt(2.0 / n));
  EXPECT_NEAR(m4 / n, 3.0, 5.0 * std::sqrt(96.0 / n));  // var(z^4) = 105 - 9
  const double p1 = 0.6826894921370859, p2 = 0.9544997361036416;
  EXPECT_NEAR(within1 / n, p1, 5.0 * std::sqrt(p1 * (1 - p1) / n));
  EXPECT_NEAR(within2 / n, p2, 5.0 * std::sqrt(p2 * (1 - p2) / n));
}

TEST(SimNoise, SeedsAreReproducible) {
  Rng a(123), b(123), c(124);
  bool all_equal_c = true;
  for (int i = 0; i < 1000; ++i) {
    const double x = a.normal();
    EXPECT_EQ(x, b.normal());
    all_equal_c = all_equal_c && (x == c.normal());
  }
  EXPECT_FALSE(all_equal_c);
  a.reseed(123);
  Rng fresh(123);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(a.normal(), fresh.normal()) << "reseed drops the spare";
}

TEST(SimNoise, NoiseConfigHelpers) {
  const NoiseConfig d;
  EXPECT_EQ(d.force_std, 0.05);
  EXPECT_EQ(d.torque_std, 0.003);
  EXPECT_EQ(d.accel_std, 0.02);
  EXPECT_EQ(d.gyro_std, 0.003);
  const NoiseConfig z = NoiseConfig::none();
  EXPECT_EQ(z.force_std + z.torque_std + z.accel_std + z.gyro_std, 0.0);
  const NoiseConfig s = d.scaled(2.0);
  EXPECT_EQ(s.torque_std, 0.006);
}

}  // namespace
}  // namespace vorn::sim
