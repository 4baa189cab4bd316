// Mean of the normalised residuals over the last second of samples.
#include "identification/ResidualWindow.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace vorn {
namespace {

TEST(ResidualWindow, MeanCoversTheLastSpanOnly) {
  ResidualWindow window(0.995);
  EXPECT_TRUE(std::isnan(window.mean()));
  EXPECT_FALSE(window.isFull());
  // 2 s at 100 Hz: 100 samples of value 9, then 100 of value 1.
  for (int i = 0; i < 200; ++i) {
    window.add(10.0 + 0.01 * i, i < 100 ? 9.0 : 1.0);
  }
  EXPECT_TRUE(window.isFull());
  EXPECT_NEAR(window.coveredTime(), 1.99, 1e-12);
  // Samples from 11.00 to 11.99: all of value 1.
  EXPECT_NEAR(window.mean(), 1.0, 1e-12);
  EXPECT_LE(window.size(), 102u);
}

TEST(ResidualWindow, FullOnlyAfterASpanOfSamplesSinceClear) {
  ResidualWindow window(1.0);
  for (int i = 0; i < 1000; ++i) {
    window.add(0.001 * i, 2.0);
  }
  EXPECT_FALSE(window.isFull());  // 0.999 s
  window.add(1.0, 2.0);
  EXPECT_TRUE(window.isFull());
  EXPECT_DOUBLE_EQ(window.mean(), 2.0);
  window.clear();
  EXPECT_FALSE(window.isFull());
  EXPECT_EQ(window.size(), 0u);
  window.add(50.0, 4.0);
  EXPECT_DOUBLE_EQ(window.mean(), 4.0);
  EXPECT_EQ(window.coveredTime(), 0.0);
}

}  // namespace
}  // namespace vorn
