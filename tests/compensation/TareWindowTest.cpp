// The tare window's ring: order across wrap-around and growth, the mean, and the reservation.

#include <gtest/gtest.h>

#include "compensation/TareWindow.hpp"

namespace {

using vorn::TareWindow;

TareWindow::Wrench wrenchOf(double v) {
  TareWindow::Wrench w;
  w << v, 2.0 * v, -v, 0.5 * v, 0.0, v * v;
  return w;
}

TEST(TareWindow, KeepsOrderAcrossWrapAroundAndGrowth) {
  TareWindow window(4);
  EXPECT_EQ(window.capacity(), 4U);
  // Slide past the end of the ring several times without growing.
  double next = 0.0;
  for (int k = 0; k < 3; ++k) {
    window.pushBack(next, wrenchOf(next));
    next += 1.0;
  }
  for (int k = 0; k < 10; ++k) {
    window.popFront();
    window.pushBack(next, wrenchOf(next));
    next += 1.0;
  }
  EXPECT_EQ(window.capacity(), 4U);
  ASSERT_EQ(window.size(), 3U);
  EXPECT_EQ(window.front().stamp, 10.0);
  EXPECT_EQ(window.back().stamp, 12.0);
  // Growing while wrapped keeps the oldest-first order.
  for (int k = 0; k < 6; ++k) {
    window.pushBack(next, wrenchOf(next));
    next += 1.0;
  }
  EXPECT_EQ(window.capacity(), 16U);
  ASSERT_EQ(window.size(), 9U);
  for (std::size_t i = 0; i < window.size(); ++i) {
    EXPECT_EQ(window.at(i).stamp, 10.0 + static_cast<double>(i));
    EXPECT_EQ(window.at(i).wrench, wrenchOf(10.0 + static_cast<double>(i)));
  }
}

TEST(TareWindow, MeanSumsOldestToNewestAndClearKeepsStorage) {
  TareWindow window(8);
  // 1e16 + 1 - 1e16 in this order gives 0; another order would give 1 or 2.
  window.pushBack(0.0, TareWindow::Wrench::Constant(1e16));
  window.pushBack(0.1, TareWindow::Wrench::Constant(1.0));
  window.pushBack(0.2, TareWindow::Wrench::Constant(-1e16));
  window.pushBack(0.3, TareWindow::Wrench::Constant(3.0));
  EXPECT_EQ(window.mean(), TareWindow::Wrench::Constant(0.75));
  window.popFront();
  EXPECT_EQ(window.mean(), TareWindow::Wrench::Constant((1.0 - 1e16 + 3.0) / 3.0));
  window.clear();
  EXPECT_TRUE(window.empty());
  EXPECT_EQ(window.capacity(), 8U);
  window.pushBack(5.0, wrenchOf(2.0));
  EXPECT_EQ(window.mean(), wrenchOf(2.0));
  EXPECT_EQ(window.front().stamp, window.back().stamp);
}

TEST(TareWindow, OneSecondAtOneKilohertzFitsTheDefaultReservation) {
  TareWindow window;
  EXPECT_GE(window.capacity(), 1001U);
}

}  // namespace
